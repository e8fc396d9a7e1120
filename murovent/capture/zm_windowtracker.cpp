// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_windowtracker.h"

#include <X11/Xlib.h>

ZMWindowTracker::ZMWindowTracker(unsigned long window, const QSize& size, const QRect& screen)
    : m_window(window), m_size(size), m_screen(screen)
{
}

// A top-level window's position is relative to the root, its outer border included: exactly
// the frame's top-left corner on the screen. One round trip per picture.
bool ZMWindowTracker::place(Display* display, QPoint* origin, QString* lost)
{
    Window root;
    int x, y;
    unsigned width, height, border, depth;
    if (!XGetGeometry(display, m_window, &root, &x, &y, &width, &height, &border, &depth)) {
        *lost = QStringLiteral("the window 0x%1 was closed").arg(m_window, 0, 16);
        return false;
    }
    *origin = keepInside(QPoint(x, y), m_size, m_screen);
    return true;
}
