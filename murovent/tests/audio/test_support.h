// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

// Helpers shared by the audio tests.
namespace audiotest {

// Plays a sine into the default output of the test's sound server until stopped.
class TonePlayer
{
public:
    ~TonePlayer() { stop(); }
    void start(int hz, double seconds = 60);
    // Plays `command`'s raw output (48000 Hz, 2 channels, s16le) into the default output.
    void startRaw(const std::string& command);
    void stop();

private:
    pid_t m_pid = -1;
};

// Runs the event loop until `done` is true or `ms` have passed; returns `done`'s last value.
bool waitUntil(const std::function<bool()>& done, int ms);
// Runs the event loop for `ms` milliseconds.
void spin(int ms);

// Ends the test environment's sound server.
void killSoundServer();

// Temporary file path in the test's private folder.
std::string tempPath(const std::string& name);

}  // namespace audiotest
