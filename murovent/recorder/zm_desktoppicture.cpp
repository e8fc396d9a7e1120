// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_desktoppicture.h"

#include "zm_portalchoice.h"

#include <capture/zm_screenbackend.h>

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QThread>

namespace {

// The cast's first picture follows its start within milliseconds; a still screen may send it
// a moment later.
const int kFirstPictureMs = 2000;

} // namespace

bool ZMDesktopPicture::fromPortal()
{
    return ZMScreenBackend::autoName() == QLatin1String("portal");
}

QPixmap ZMDesktopPicture::grab(QString* error)
{
    if (!fromPortal()) {
        QScreen* screen = QGuiApplication::primaryScreen();
        return screen ? screen->grabWindow(0) : QPixmap();
    }
    ZMScreenRequest request;
    request.restoreToken = ZMPortalChoice::load();
    std::unique_ptr<ZMScreenBackend> cast = ZMScreenBackend::create(QStringLiteral("portal"), request, error);
    if (!cast)
        return QPixmap();
    ZMPortalChoice::store(cast->restoreToken());
    QElapsedTimer clock;
    clock.start();
    ZMScreenBackend::Next next = cast->next();
    for (; next == ZMScreenBackend::Next::NothingNew && clock.elapsed() < kFirstPictureMs; next = cast->next())
        QThread::msleep(10);
    if (next != ZMScreenBackend::Next::Picture) {
        *error = next == ZMScreenBackend::Next::Lost ? cast->error()
                                                     : QStringLiteral("the screen cast sent no picture");
        return QPixmap();
    }
    const QSize size = cast->size();
    // The frame is B, G, R, X bytes: Qt's RGB32 on a little-endian machine.
    const QImage frame(cast->frame(), size.width(), size.height(), size.width() * 4, QImage::Format_RGB32);
    QPixmap picture = QPixmap::fromImage(frame.copy());
    cast->stop();
    return picture;
}
