// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_x11target.h"

#include "grab_x11.h"
#include "zm_capturelog.h"
#include "zm_monitors.h"
#include "zm_monitorwatch.h"
#include "zm_pointertracker.h"
#include "zm_windowtracker.h"
#include "zm_x11windows.h"

#include <X11/Xlib.h>

namespace {

// 4:2:0 pictures need even sizes: an odd column or row at the end is left out.
QSize even(const QSize& size)
{
    return QSize(size.width() & ~1, size.height() & ~1);
}

} // namespace

bool ZMX11Target::resolve(const ZMScreenRequest& request, ZMX11Target* target, QString* error)
{
    Display* display = Grab_X11::openConnection(request.display, error);
    if (!display)
        return false;
    const int screen = DefaultScreen(display);
    target->m_screen = QRect(0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen));
    bool ok = true;
    if (request.window || request.pickWindow)
        ok = target->resolveWindow(display, request, error);
    else if (!request.monitor.isEmpty())
        ok = target->resolveMonitor(display, request.monitor, error);
    else if (request.followCursor)
        ok = target->resolvePointer(display, request.area, error);
    else
        target->area = request.area.isNull() ? QRect(QPoint(0, 0), even(target->m_screen.size())) : request.area;
    Grab_X11::closeConnection(display);
    return ok;
}

// The window's frame as it is now, as far as it fits on the screen; the tracker then keeps
// the area on it.
bool ZMX11Target::resolveWindow(Display* display, const ZMScreenRequest& request, QString* error)
{
    unsigned long window = request.window;
    if (request.pickWindow && !ZMX11Windows::pick(display, &window, error))
        return false;
    ZMX11Windows::Frame frame;
    if (!ZMX11Windows::frameOf(display, window, &frame)) {
        *error = QStringLiteral("there is no window 0x%1 on the X display").arg(window, 0, 16);
        return false;
    }
    const QSize size = even(frame.rect.size().boundedTo(m_screen.size()));
    area = QRect(ZMAreaTracker::keepInside(frame.rect.topLeft(), size, m_screen), size);
    tracker = std::make_unique<ZMWindowTracker>(frame.id, size, m_screen);
    qCInfo(lcCapture, "following the window 0x%lx (its frame 0x%lx) from %d,%d, %dx%d", window, frame.id,
           area.x(), area.y(), area.width(), area.height());
    return true;
}

bool ZMX11Target::resolveMonitor(Display* display, const QString& monitor, QString* error)
{
    const std::vector<ZMMonitors::Monitor> monitors = ZMMonitors::list(display);
    const int found = ZMMonitors::find(monitors, monitor);
    if (found < 0) {
        *error = monitors.empty()
                     ? QStringLiteral("the X display does not describe its monitors (it needs RandR 1.5)")
                     : QStringLiteral("there is no monitor '%1' (there are: %2)").arg(monitor, ZMMonitors::names(monitors));
        return false;
    }
    const ZMMonitors::Monitor& chosen = monitors[size_t(found)];
    const QRect onScreen = chosen.geometry & m_screen;
    area = QRect(onScreen.topLeft(), even(onScreen.size()));
    tracker = std::make_unique<ZMMonitorWatch>(chosen.name, chosen.geometry);
    qCInfo(lcCapture) << "recording the monitor" << ZMMonitors::describe(chosen);
    return true;
}

// The area's size, placed at once around the pointer.
bool ZMX11Target::resolvePointer(Display* display, const QRect& wanted, QString* error)
{
    if (wanted.isEmpty() || wanted.width() > m_screen.width() || wanted.height() > m_screen.height()) {
        *error = QStringLiteral("following the pointer needs an area of at most the screen's size (%1 x %2)")
                     .arg(m_screen.width())
                     .arg(m_screen.height());
        return false;
    }
    QPoint origin = ZMAreaTracker::keepInside(wanted.topLeft(), wanted.size(), m_screen);
    auto pointer = std::make_unique<ZMPointerTracker>(wanted.size(), m_screen, origin);
    QString unused;
    pointer->place(display, &origin, &unused);
    area = QRect(origin, wanted.size());
    tracker = std::move(pointer);
    qCInfo(lcCapture) << "an area of" << area.size() << "follows the pointer";
    return true;
}
