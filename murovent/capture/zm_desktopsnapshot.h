// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_x11windows.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <vector>

// A frozen picture of the whole X screen (every monitor) in device pixels, and the windows
// shown on it at that moment, so that a click on the picture can be matched to a window.
// Controlling thread.
class ZMDesktopSnapshot
{
public:
    // False, with the reason, when the display cannot be read; the snapshot is then empty.
    bool take(const QByteArray& display, QString* error);

    // One image pixel per device pixel, opaque.
    const QImage& picture() const { return m_picture; }
    // Stacked bottom to top, in the picture's coordinates.
    const std::vector<ZMX11Windows::Frame>& windows() const { return m_windows; }

private:
    QImage m_picture;
    std::vector<ZMX11Windows::Frame> m_windows;
};
