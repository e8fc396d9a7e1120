// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <functional>

// Delivery callback of a capture source: (bytes, byte count) -> accepted. The receiver copies
// what it accepts; the bytes stay the source's and are reused after the call returns.
typedef bool (*DeliverFunc)(const char* bytes, int count);

// The interface every capture source (screen, microphone, system sound) implements.
class ZMGrabBase
{
public:
    virtual ~ZMGrabBase() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;

    // A plain DeliverFunc, or anything callable like one (a mixer feeding itself from two
    // sources needs to know which one delivered). Set before start(), not changed meanwhile.
    std::function<bool(const char* bytes, int count)> m_callback;
};
