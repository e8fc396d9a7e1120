// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLoggingCategory>

// The hotkey subsystem's log. Quiet unless enabled, e.g.
// QT_LOGGING_RULES="murovent.hotkey.info=true".
Q_DECLARE_LOGGING_CATEGORY(lcHotkey)
