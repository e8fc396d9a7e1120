// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_hotkeylog.h"

Q_LOGGING_CATEGORY(lcHotkey, "murovent.hotkey", QtWarningMsg)
