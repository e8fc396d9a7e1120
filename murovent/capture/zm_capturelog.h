// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLoggingCategory>

// Capture's log: which back-end records what. Quiet unless enabled, e.g.
// QT_LOGGING_RULES="murovent.capture.info=true".
Q_DECLARE_LOGGING_CATEGORY(lcCapture)
