#include "zm_configlog.h"

Q_LOGGING_CATEGORY(lcConfig, "murovent.config", QtWarningMsg)
