#include "zm_capturelog.h"

Q_LOGGING_CATEGORY(lcCapture, "murovent.capture", QtWarningMsg)
