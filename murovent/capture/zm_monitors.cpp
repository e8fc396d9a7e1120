// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_monitors.h"

#include "grab_x11.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <QStringList>

std::vector<ZMMonitors::Monitor> ZMMonitors::list(const QByteArray& display, QString* error)
{
    Display* connection = Grab_X11::openConnection(display, error);
    if (!connection)
        return {};
    std::vector<Monitor> monitors = list(connection);
    Grab_X11::closeConnection(connection);
    if (monitors.empty())
        *error = QStringLiteral("the X display does not describe its monitors (it needs RandR 1.5)");
    return monitors;
}

std::vector<ZMMonitors::Monitor> ZMMonitors::list(Display* display)
{
    int eventBase, errorBase, major = 0, minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase) || !XRRQueryVersion(display, &major, &minor)
        || major * 100 + minor < 105)
        return {};
    int count = 0;
    XRRMonitorInfo* info = XRRGetMonitors(display, DefaultRootWindow(display), True, &count);
    std::vector<Monitor> monitors;
    for (int i = 0; info && i < count; ++i) {
        char* name = XGetAtomName(display, info[i].name);
        monitors.push_back({QString::fromUtf8(name ? name : ""),
                            QRect(info[i].x, info[i].y, info[i].width, info[i].height), info[i].primary != 0});
        if (name)
            XFree(name);
    }
    if (info)
        XRRFreeMonitors(info);
    return monitors;
}

int ZMMonitors::find(const std::vector<Monitor>& monitors, const QString& nameOrNumber)
{
    for (size_t i = 0; i < monitors.size(); ++i)
        if (monitors[i].name == nameOrNumber)
            return int(i);
    bool isNumber = false;
    const int number = nameOrNumber.toInt(&isNumber);
    return isNumber && number >= 0 && size_t(number) < monitors.size() ? number : -1;
}

int ZMMonitors::at(const std::vector<Monitor>& monitors, const QPoint& point)
{
    int best = -1;
    for (size_t i = 0; i < monitors.size(); ++i) {
        const QRect& r = monitors[i].geometry;
        if (r.contains(point)
            && (best < 0 || qint64(r.width()) * r.height() < qint64(monitors[best].geometry.width()) * monitors[best].geometry.height()))
            best = int(i);
    }
    return best;
}

QString ZMMonitors::describe(const Monitor& monitor)
{
    const QRect& r = monitor.geometry;
    return QStringLiteral("%1 %2x%3+%4+%5%6")
        .arg(monitor.name)
        .arg(r.width())
        .arg(r.height())
        .arg(r.x())
        .arg(r.y())
        .arg(monitor.primary ? QStringLiteral(" primary") : QString());
}

QString ZMMonitors::names(const std::vector<Monitor>& monitors)
{
    QStringList names;
    for (const Monitor& monitor : monitors)
        names << monitor.name;
    return names.join(QLatin1String(", "));
}
