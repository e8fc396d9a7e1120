#include "zm_hotkeylog.h"

Q_LOGGING_CATEGORY(lcHotkey, "murovent.hotkey", QtWarningMsg)
