// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/zm_error.h>

extern "C" {
#include <libavutil/error.h>
}

namespace ZM {

namespace {
std::string joined(const std::string& message, const std::string& reason)
{
    return reason.empty() ? message : message + ": " + reason;
}
} // namespace

ZM_Error::ZM_Error(const std::string& message, const std::string& reason)
    : std::runtime_error(joined(message, reason)), m_message(message), m_reason(reason)
{
}

std::string averrorText(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

} // namespace ZM
