// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_serverlog.h"

Q_LOGGING_CATEGORY(lcServer, "murovent.server", QtWarningMsg)
