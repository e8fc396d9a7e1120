// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_pointertracker.h"

#include <X11/Xlib.h>

ZMPointerTracker::ZMPointerTracker(const QSize& size, const QRect& screen, const QPoint& start)
    : m_size(size), m_screen(screen), m_origin(start)
{
}

// A pointer on another screen of the display cannot be followed: the area stays where it was.
// A broken connection fails the grab itself, so it is not this tracker's to report.
bool ZMPointerTracker::place(Display* display, QPoint* origin, QString*)
{
    Window root, child;
    int x, y, windowX, windowY;
    unsigned buttons;
    if (XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &windowX, &windowY, &buttons))
        m_origin = keepInside(QPoint(x - m_size.width() / 2, y - m_size.height() / 2), m_size, m_screen);
    *origin = m_origin;
    return true;
}
