// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_sessionlog.h"

#include <zmav/zmav.h>

Q_LOGGING_CATEGORY(lcRecorder, "murovent.recorder", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLibrary, "murovent.library", QtWarningMsg)

namespace {
void fromLibrary(int level, const char* text, void*)
{
    if (level <= 1)
        qCWarning(lcLibrary, "%s", text);
    else
        qCInfo(lcLibrary, "%s", text);
}
} // namespace

void routeLibraryLog()
{
    ZMAV_SetLogHandler(&fromLibrary, nullptr);
}
