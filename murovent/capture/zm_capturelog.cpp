// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_capturelog.h"

Q_LOGGING_CATEGORY(lcCapture, "murovent.capture", QtWarningMsg)
