// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QPoint>
#include <QRect>
#include <QString>

#include <vector>

struct _XDisplay;

// The top-level windows of an X screen, where they are (frame and border included), and
// picking one with a click. Any thread, over a connection that thread uses alone.
class ZMX11Windows
{
public:
    // A top-level window: a child of the root, which is the frame when a window manager put
    // one around the program's window.
    struct Frame {
        unsigned long id = 0;
        QRect rect;   // device pixels of the screen, outer border included
    };

    // The windows shown now, from the bottom of the stack to the top.
    static std::vector<Frame> shown(_XDisplay* display);
    // The frame holding `window` (the window itself when it is top-level). False when there
    // is no such window or it is the root.
    static bool frameOf(_XDisplay* display, unsigned long window, Frame* frame);
    // The topmost of `frames` (stacked bottom to top) holding the point; -1 when none does.
    static int at(const std::vector<Frame>& frames, const QPoint& point);
    // Waits until the user clicks a window with the first button and gives its frame's id.
    // Another button, or a click on the bare desktop, cancels. False with the reason then, or
    // when the pointer cannot be taken (another program holds it).
    static bool pick(_XDisplay* display, unsigned long* window, QString* error);
};
