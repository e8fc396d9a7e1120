// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <atomic>
#include <thread>
#include <vector>

// A test client that, at given instants, turns the whole screen white and plays a short beep
// into the default output so that both reach the X server and the sound server together. It
// runs on its own thread; each beep's first sample is timed to be played as the screen turns
// white (the playback stream's latency is waited out before flashing).
class FlashBeepClient
{
public:
    // `instants`: seconds after start(); the screen stays white and the beep sounds for 150 ms.
    explicit FlashBeepClient(std::vector<double> instants, int beepHz = 1000);
    ~FlashBeepClient();

    bool start();        // false when the X display or the sound server cannot be opened
    void wait();         // returns once the last flash is over
    bool done() const { return m_done; }

private:
    void run();

    std::vector<double> m_instants;
    int m_beepHz;
    std::thread m_thread;
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_quit{false};
    void* m_display = nullptr;
    unsigned long m_window = 0;
    void* m_pulse = nullptr;
};
