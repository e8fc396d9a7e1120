#include "zm_serverlog.h"

Q_LOGGING_CATEGORY(lcServer, "murovent.server", QtWarningMsg)
