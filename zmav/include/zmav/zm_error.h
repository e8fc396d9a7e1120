// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zmav_export.h>

#include <stdexcept>
#include <string>

namespace ZM {

// A failure inside the library: what failed (a text beginning with "@ ") and, where FFmpeg or
// the system said why, its own words. Set-up code throws it; the recording catches it and
// keeps it as its error (see ZMAV_GetLastError).
class ZMAV_EXPORT ZM_Error : public std::runtime_error {
public:
    explicit ZM_Error(const std::string& message, const std::string& reason = std::string());
    const std::string& message() const { return m_message; }
    const std::string& reason() const { return m_reason; }

private:
    std::string m_message;
    std::string m_reason;
};

// FFmpeg's text for one of its error codes (negative AVERROR values, errno values included).
ZMAV_EXPORT std::string averrorText(int code);

} // namespace ZM
