#pragma once

#include "zm_configmgr.h"

#include <QString>

class QWidget;

// Tells the user, in the panel's language, what was wrong with the theme file when it was
// read: what was found and where the original was kept, and when the folder takes no files.
// GUI thread only.
class SettingsNotice
{
public:
    // The message; empty when all is well.
    static QString text(const ZMConfigMgr::LoadReport& found);
    // Shows the message, if any, in a box beside the parent that does not hold up its window.
    static void show(QWidget* parent, const ZMConfigMgr::LoadReport& found);
};
