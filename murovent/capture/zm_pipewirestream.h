// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QRect>
#include <QSize>
#include <QString>

#include <memory>
#include <vector>

// The receiving end of one screen cast: a PipeWire video stream on its own thread loop,
// connected over the descriptor the desktop portal handed out. It offers BGRx, BGRA, RGBx and
// RGBA in shared memory and keeps the two newest pictures received (the compositor sends one
// only when the screen changed), with the areas the compositor says changed in them; taking
// one converts to BGRA and crops in one pass, where it can only what changed.
//
// open() and close() on the controlling thread; takePicture() on one grab thread at a time,
// between them. PipeWire's own thread runs the callbacks.
class ZMPipeWireStream
{
public:
    enum class Take {
        Picture,    // the target holds a picture newer than the last one taken
        NothingNew, // nothing arrived since
        Ended,      // the stream failed or ended for good (see endReason())
    };

    ZMPipeWireStream();
    ~ZMPipeWireStream();
    ZMPipeWireStream(const ZMPipeWireStream&) = delete;
    ZMPipeWireStream& operator=(const ZMPipeWireStream&) = delete;

    // Takes the descriptor in every case. Waits up to timeoutMs for the negotiated format and
    // the first picture; false, with the reason, when there is no format by then.
    bool open(int fd, quint32 node, int timeoutMs, QString* error);
    void close();

    // The stream's picture size and its PipeWire format name ("BGRx", ...).
    QSize size() const;
    const char* formatName() const;

    // Copies the older of the two newest pictures not yet taken, if any, cropped to `area` (inside
    // size()), as BGRA rows of area.width() x 4 bytes into `target`. With `changed`, target
    // holds the picture taken before, and only the blocks that changed since are copied:
    // *changed lists them (target pixels); a picture that changed nothing inside the area is
    // NothingNew.
    Take takePicture(const QRect& area, unsigned char* target, std::vector<QRect>* changed = nullptr);
    QString endReason() const;

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};
