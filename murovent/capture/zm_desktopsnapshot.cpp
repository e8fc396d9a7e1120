// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_desktopsnapshot.h"

#include "grab_x11.h"

#include <X11/Xlib.h>

#include <cstring>

bool ZMDesktopSnapshot::take(const QByteArray& display, QString* error)
{
    m_picture = QImage();
    m_windows.clear();
    Display* connection = Grab_X11::openConnection(display, error);
    if (!connection)
        return false;
    const int screen = DefaultScreen(connection);
    const int width = DisplayWidth(connection, screen), height = DisplayHeight(connection, screen);
    m_windows = ZMX11Windows::shown(connection);
    Grab_X11::closeConnection(connection);

    Grab_X11 grab(0, 0, width, height, false, display.isEmpty() ? nullptr : display.constData());
    const unsigned char* frame = grab.grab();
    if (!frame) {
        *error = grab.error();
        m_windows.clear();
        return false;
    }
    // The grabber's fourth byte is undefined; an RGB32 image wants it opaque.
    m_picture = QImage(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const auto* source = reinterpret_cast<const quint32*>(frame + size_t(y) * width * 4);
        auto* target = reinterpret_cast<quint32*>(m_picture.scanLine(y));
        for (int x = 0; x < width; ++x)
            target[x] = source[x] | 0xff000000u;
    }
    return true;
}
