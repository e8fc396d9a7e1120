// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

namespace ZM {

// The library's log: set-up failures, write errors and FFmpeg's own warnings go to the
// handler a program installed with ZMAV_SetLogHandler, and nowhere without one. Any thread.
enum LogLevel { LogError = 0, LogWarning = 1, LogInfo = 2 };
void logLine(LogLevel level, const std::string& text);
// A line another library formatted: without its line end, and nothing when that leaves it empty.
void logForeignLine(LogLevel level, char* line);

// Sends FFmpeg's (and so x264's) messages of warning level and above into the library's log
// instead of the process's standard error. Idempotent.
void routeFfmpegLog();

} // namespace ZM
