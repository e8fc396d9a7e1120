// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_areatracker.h"

// Keeps the area centred on the pointer, as far as the screen allows: at an edge the area
// stops and the pointer moves on towards that edge inside it.
class ZMPointerTracker : public ZMAreaTracker
{
public:
    ZMPointerTracker(const QSize& size, const QRect& screen, const QPoint& start);

    bool place(_XDisplay* display, QPoint* origin, QString* lost) override;

private:
    QSize m_size;
    QRect m_screen;
    QPoint m_origin;
};
