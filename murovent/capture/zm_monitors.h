// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QString>

#include <vector>

struct _XDisplay;

// The monitors of an X screen as RandR 1.5 describes them, in device pixels: several monitors
// are parts of one screen, and a monitor may split a larger one (the server then lists both).
// Any thread, over a connection that thread uses alone.
class ZMMonitors
{
public:
    struct Monitor {
        QString name;
        QRect geometry;
        bool primary = false;
    };

    // In the server's order, which is what the numbers of find() refer to. Empty, with the
    // reason, when the display cannot be opened or does not describe its monitors.
    static std::vector<Monitor> list(const QByteArray& display, QString* error);
    static std::vector<Monitor> list(_XDisplay* display);

    // The monitor with this name or, for a number, at that place in the list (from 0); -1 when
    // there is none.
    static int find(const std::vector<Monitor>& monitors, const QString& nameOrNumber);
    // The smallest monitor holding the point, so that a monitor wins over the larger one it
    // splits; -1 when none holds it.
    static int at(const std::vector<Monitor>& monitors, const QPoint& point);
    // "NAME WxH+X+Y", with " primary" for the primary monitor.
    static QString describe(const Monitor& monitor);
    // The names, for messages: "LEFT, RIGHT".
    static QString names(const std::vector<Monitor>& monitors);
};
