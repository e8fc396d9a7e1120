// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

struct _XDisplay;

// Keeps a recording area of fixed size on something that moves or may go away: a window, the
// pointer, a monitor. The X11 grabber asks it where the area is before each grab.
//
// Made on the controlling thread, then used by the grab thread only, over the grabber's own
// connection (whose errors make requests fail instead of ending the process).
class ZMAreaTracker
{
public:
    virtual ~ZMAreaTracker() = default;

    // The area's top-left corner now, in device pixels of the screen. False, with the reason in
    // *lost, once what it follows is gone: no picture can be taken of it any more.
    virtual bool place(_XDisplay* display, QPoint* origin, QString* lost) = 0;

    // Where an area of `size` at `origin` lands when it has to stay inside `bounds`.
    static QPoint keepInside(const QPoint& origin, const QSize& size, const QRect& bounds)
    {
        return QPoint(qBound(bounds.left(), origin.x(), bounds.left() + bounds.width() - size.width()),
                      qBound(bounds.top(), origin.y(), bounds.top() + bounds.height() - size.height()));
    }
};
