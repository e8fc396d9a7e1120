// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QPixmap>
#include <QString>

// A still picture of the whole desktop, on which the region selector lets the user draw. On
// X11 the screen is read directly; a Wayland desktop lets no program read it, so there it is
// the first picture of a screen cast through the desktop portal (with the kept choice of
// monitor, which it updates). GUI thread only.
class ZMDesktopPicture
{
public:
    // True when the picture comes from the portal (a Wayland session).
    static bool fromPortal();
    // Null, with the reason, when the portal is missing or refused.
    static QPixmap grab(QString* error);
};
