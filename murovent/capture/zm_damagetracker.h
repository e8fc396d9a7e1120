#pragma once

#include <QRect>

#include <vector>

// Xlib stays out of this header (see grab_x11.h).
struct _XDisplay;

// Follows what changes on an X screen through the DAMAGE extension: the server collects the
// rectangles drawn into the root window (child windows included) and hands them over on
// request, so a grabber can fetch only those instead of the whole screen.
//
// Made and used on the thread that owns the display connection.
class ZMDamageTracker
{
public:
    // Starts following the root window. isActive() is false when the server lacks DAMAGE
    // (or XFixes regions); the caller then grabs everything every time.
    ZMDamageTracker(_XDisplay* display, unsigned long root);
    // Frees the server's objects, unless release() said the connection is gone.
    ~ZMDamageTracker();
    ZMDamageTracker(const ZMDamageTracker&) = delete;
    ZMDamageTracker& operator=(const ZMDamageTracker&) = delete;

    bool isActive() const { return m_damage != 0; }

    // What was drawn since the last call (everything, the first time), clipped to area (root
    // coordinates) and relative to its top-left corner. One round trip to the server.
    std::vector<QRect> take(const QRect& area);

    // After the connection broke: forget the server's objects without talking to it.
    void release();

private:
    _XDisplay* m_display;
    unsigned long m_damage = 0;
    unsigned long m_region = 0;
    int m_eventBase = 0;
};
