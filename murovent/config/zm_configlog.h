// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QLoggingCategory>

// The config subsystem's log. Quiet unless enabled, e.g.
// QT_LOGGING_RULES="murovent.config.info=true".
Q_DECLARE_LOGGING_CATEGORY(lcConfig)
