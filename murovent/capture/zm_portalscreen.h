// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_screenbackend.h"

#include <QElapsedTimer>

#include <memory>
#include <vector>

class ZMPipeWireStream;
class ZMPortalSession;

// The back-end "portal": a monitor shared through the desktop portal's screen cast and
// received over PipeWire, the way a Wayland desktop lets programs record it. A region is a
// crop of the monitor's stream: the request's area is in desktop coordinates, and the
// monitor's position as the portal reports it maps it onto the stream.
//
// Opened and stopped on the controlling thread (the handshake needs its event loop); next()
// and frame() on one grab thread at a time.
class ZMPortalScreen : public ZMScreenBackend
{
public:
    // Asks the portal for a monitor and waits for the stream's format and first picture.
    // Null, with the reason, when there is no portal, the user cancels, the portal refuses,
    // or the area is not inside the shared monitor; nothing is left open then.
    static std::unique_ptr<ZMScreenBackend> open(const ZMScreenRequest& request, QString* error);
    ~ZMPortalScreen() override;

    const char* name() const override { return "portal"; }
    QSize size() const override { return m_crop.size(); }
    void stop() override;
    QString restoreToken() const override { return m_restoreToken; }

    Next next() override;
    unsigned char* frame() override { return m_frame.data(); }
    const std::vector<QRect>* changed() const override { return m_inParts ? &m_changed : nullptr; }

private:
    ZMPortalScreen();
    static bool acceptable(const ZMScreenRequest& request, QString* error);
    bool setArea(const QRect& area, QString* error);

    std::unique_ptr<ZMPortalSession> m_session;
    std::unique_ptr<ZMPipeWireStream> m_stream;
    QPoint m_position;  // the monitor's top-left corner in the desktop
    QRect m_crop;       // the recorded part, in stream pixels
    QString m_restoreToken;
    std::vector<unsigned char> m_frame;
    // Whether pictures may be taken in parts, where the compositor says what changed; the
    // whole area is taken first and every few seconds all the same.
    bool m_trackChanges = true;
    QElapsedTimer m_sinceWhole;
    bool m_inParts = false;
    std::vector<QRect> m_changed;
};
