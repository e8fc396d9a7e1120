// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_log.h"

#include <zmav/zmav.h>

#include <cstdarg>
#include <cstring>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace ZM {

namespace {

std::mutex g_mutex;
ZMAV_LogHandler g_handler = nullptr;
void* g_user = nullptr;

void fromFfmpeg(void* avcl, int level, const char* format, va_list args)
{
    if (level > AV_LOG_WARNING)
        return;
    char line[1024];
    int prefix = 1;
    av_log_format_line2(avcl, level, format, args, line, sizeof line, &prefix);
    logForeignLine(level <= AV_LOG_ERROR ? LogError : LogWarning, line);
}

} // namespace

void logForeignLine(LogLevel level, char* line)
{
    size_t length = std::strlen(line);
    while (length > 0 && (line[length - 1] == '\n' || line[length - 1] == '\r'))
        line[--length] = '\0';
    if (length > 0)
        logLine(level, line);
}

void logLine(LogLevel level, const std::string& text)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_handler)
        g_handler(level, text.c_str(), g_user);
}

void routeFfmpegLog()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(&fromFfmpeg); });
}

} // namespace ZM

void ZMAV_SetLogHandler(ZMAV_LogHandler handler, void* user)
{
    std::lock_guard<std::mutex> lock(ZM::g_mutex);
    ZM::g_handler = handler;
    ZM::g_user = user;
}
