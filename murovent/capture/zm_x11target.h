// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_areatracker.h"
#include "zm_screenbackend.h"

#include <memory>

// What an X11 recording grabs, decided from the request when the back-end opens: the area to
// start with and, for a window, a monitor or the pointer, the tracker that moves the area or
// notices that what it shows went away.
//
// The request's sources are taken in this order: a window (picked or given), a monitor, the
// area (following the pointer when asked), the whole screen. Controlling thread.
class ZMX11Target
{
public:
    QRect area;                              // device pixels, inside the screen, even sizes
    std::unique_ptr<ZMAreaTracker> tracker;  // null: the area stays where it is

    // False, with the reason, when the request names something the display does not have.
    static bool resolve(const ZMScreenRequest& request, ZMX11Target* target, QString* error);

private:
    bool resolveWindow(_XDisplay* display, const ZMScreenRequest& request, QString* error);
    bool resolveMonitor(_XDisplay* display, const QString& monitor, QString* error);
    bool resolvePointer(_XDisplay* display, const QRect& area, QString* error);

    QRect m_screen;
};
