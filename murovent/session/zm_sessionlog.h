// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLoggingCategory>

// The recording's log and the encoder library's, which the session routes here. Quiet unless
// enabled, e.g. QT_LOGGING_RULES="murovent.recorder.info=true;murovent.library.info=true".
Q_DECLARE_LOGGING_CATEGORY(lcRecorder)
Q_DECLARE_LOGGING_CATEGORY(lcLibrary)

// Sends the library's log (its own failures and FFmpeg's warnings) into lcLibrary. Idempotent.
void routeLibraryLog();
