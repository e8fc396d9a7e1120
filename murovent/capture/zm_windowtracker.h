// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_areatracker.h"

// Keeps the area on a top-level window (the frame a window manager put around it, if any)
// while it moves; the area keeps the size it had at the start and stays on the screen. A
// closed window ends the recording.
class ZMWindowTracker : public ZMAreaTracker
{
public:
    ZMWindowTracker(unsigned long window, const QSize& size, const QRect& screen);

    bool place(_XDisplay* display, QPoint* origin, QString* lost) override;

private:
    unsigned long m_window;
    QSize m_size;
    QRect m_screen;
};
