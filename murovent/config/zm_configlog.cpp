// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_configlog.h"

Q_LOGGING_CATEGORY(lcConfig, "murovent.config", QtWarningMsg)
