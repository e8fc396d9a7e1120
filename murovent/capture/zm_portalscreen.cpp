// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_portalscreen.h"

#include "zm_capturelog.h"
#include "zm_pipewirestream.h"
#include "zm_portalsession.h"

namespace {

// The format and first picture follow the handshake within a few milliseconds.
const int kStreamStartMs = 5000;
// A change the compositor did not report shows within this time.
const int kWholeEveryMs = 2000;

} // namespace

ZMPortalScreen::ZMPortalScreen() = default;

ZMPortalScreen::~ZMPortalScreen()
{
    stop();
}

std::unique_ptr<ZMScreenBackend> ZMPortalScreen::open(const ZMScreenRequest& request, QString* error)
{
    if (!acceptable(request, error))
        return nullptr;
    std::unique_ptr<ZMPortalScreen> screen(new ZMPortalScreen);
    screen->m_session = std::make_unique<ZMPortalSession>();
    if (!screen->m_session->open({request.cursor, request.restoreToken, request.pickWindow}, error))
        return nullptr;
    screen->m_restoreToken = screen->m_session->restoreToken();
    screen->m_trackChanges = request.trackChanges;
    screen->m_position = screen->m_session->streamPosition();
    screen->m_stream = std::make_unique<ZMPipeWireStream>();
    if (!screen->m_stream->open(screen->m_session->takePipeWireFd(), screen->m_session->nodeId(), kStreamStartMs, error)
        || !screen->setArea(request.area, error))
        return nullptr;
    qCInfo(lcCapture) << "portal stream" << screen->m_stream->size() << screen->m_stream->formatName() << "at"
                      << screen->m_position << "recording" << screen->m_crop;
    return screen;
}

// The portal shares what the user picks in its own dialog: a monitor, or a window where it
// offers that. X11 names of monitors and windows mean nothing to it, and the pointer is not
// followed on a Wayland desktop.
bool ZMPortalScreen::acceptable(const ZMScreenRequest& request, QString* error)
{
    QString refusal;
    if (request.window)
        refusal = QStringLiteral("a window id names an X11 window; on a Wayland desktop pick the window instead");
    else if (!request.monitor.isEmpty())
        refusal = QStringLiteral("on a Wayland desktop the monitor is chosen in the desktop's own dialog");
    else if (request.followCursor)
        refusal = QStringLiteral("following the pointer needs X11");
    else if (request.pickWindow && !request.area.isNull())
        refusal = QStringLiteral("a picked window is recorded whole, without an area");
    if (!refusal.isEmpty())
        *error = refusal;
    return refusal.isEmpty();
}

// The whole monitor is rounded down to even sizes, which 4:2:0 pictures need.
bool ZMPortalScreen::setArea(const QRect& area, QString* error)
{
    const QSize stream = m_stream->size();
    m_crop = area.isNull() ? QRect(0, 0, stream.width() & ~1, stream.height() & ~1) : area.translated(-m_position);
    if (m_crop.isEmpty() || !QRect(QPoint(0, 0), stream).contains(m_crop)) {
        *error = QStringLiteral("the area %1,%2,%3,%4 is not inside the shared monitor (%5 x %6 at %7,%8)")
                     .arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height())
                     .arg(stream.width()).arg(stream.height()).arg(m_position.x()).arg(m_position.y());
        return false;
    }
    m_frame.assign(size_t(m_crop.width()) * m_crop.height() * 4, 0);
    return true;
}

void ZMPortalScreen::stop()
{
    if (m_stream)
        m_stream->close();
    if (m_session)
        m_session->close();
}

ZMScreenBackend::Next ZMPortalScreen::next()
{
    const bool inParts = m_trackChanges && m_sinceWhole.isValid() && m_sinceWhole.elapsed() < kWholeEveryMs;
    switch (m_stream->takePicture(m_crop, m_frame.data(), inParts ? &m_changed : nullptr)) {
    case ZMPipeWireStream::Take::Picture:
        m_inParts = inParts;
        if (!m_inParts)
            m_sinceWhole.start();
        return Next::Picture;
    case ZMPipeWireStream::Take::NothingNew:
        if (!m_session->closedByDesktop())
            return Next::NothingNew;
        setError(QStringLiteral("the desktop ended the screen cast"));
        return Next::Lost;
    case ZMPipeWireStream::Take::Ended:
        break;
    }
    setError(m_stream->endReason());
    return Next::Lost;
}
