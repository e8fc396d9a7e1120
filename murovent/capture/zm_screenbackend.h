// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

// What a screen back-end is asked to record: a plain value, filled by the front end.
struct ZMScreenRequest
{
    QByteArray display;  // the X display (empty: $DISPLAY); unused by back-ends without one
    QRect area;          // in device pixels of the whole desktop; null: all of it
    bool cursor = false; // draw the pointer into the pictures
    int fps = 10;        // frame slots per second the pictures are wanted for
    QString restoreToken; // the desktop portal's token from an earlier recording: its monitor
                          // is taken again without asking the user (empty: ask)
    // What to record instead of a fixed area; the back-end turns it into an area when it opens.
    QString monitor;           // a monitor, by name or by its number in the list (from 0), whole
    quint64 window = 0;        // an X11 window, with its frame, followed when it moves; 0: none
    bool pickWindow = false;   // the user chooses the window when the back-end opens (X11: a
                               // click on it; the desktop portal: its own window source)
    bool followCursor = false; // the area keeps its size and follows the pointer on the screen
    bool trackChanges = true; // grab only what the screen reports changed, where it can
};

// A source of screen pictures behind one small table of operations, so that the recording
// does not care where pictures come from (X11 shared memory, a desktop portal stream, ...).
//
// Each next() refreshes one persistent frame of size() pixels in format() (4 bytes per pixel,
// rows top-down, stride width x 4), wholly or, where changed() says so, in parts. The frame is
// writable: watermarks are painted into it in place, over the parts a picture rewrote. A
// back-end is created and started on the controlling thread; next() and frame() are then
// called by one grab thread at a time; stop() comes after that thread has ended.
class ZMScreenBackend
{
public:
    enum class PixelFormat { BGRX };
    enum class Next {
        Picture,    // frame() holds a new picture
        NothingNew, // the screen did not change since the last picture
        Lost,       // the screen went away for good (see error()); no picture will follow
    };

    virtual ~ZMScreenBackend() = default;
    ZMScreenBackend(const ZMScreenBackend&) = delete;
    ZMScreenBackend& operator=(const ZMScreenBackend&) = delete;

    // Creates the named back-end ("x11", "portal", or "auto" for the one that fits the
    // session) for the request. Null, with the reason in *error, when it cannot record it.
    static std::unique_ptr<ZMScreenBackend> create(const QString& name, const ZMScreenRequest& request,
                                                   QString* error);
    // The names create() accepts besides "auto", in the order "auto" tries them.
    static QStringList names();
    // The back-end "auto" stands for in this session: "portal" on a Wayland session, else "x11".
    static QString autoName();

    virtual const char* name() const = 0;
    virtual QSize size() const = 0;
    virtual PixelFormat format() const { return PixelFormat::BGRX; }

    // start() is false, with error(), when the source cannot begin delivering.
    virtual bool start() { return true; }
    virtual void pause() {}
    virtual void resume() {}
    virtual void stop() {}
    // A token with which the next recording's request gets the same screen without asking the
    // user again; to be stored with the settings. Empty for sources that never ask.
    virtual QString restoreToken() const { return QString(); }

    // Grab thread.
    virtual Next next() = 0;
    virtual unsigned char* frame() = 0;
    // The parts of frame() (frame pixels) that the last Picture rewrote; the rest holds what
    // it held before, watermarks included. Null: the whole frame.
    virtual const std::vector<QRect>* changed() const { return nullptr; }

    // Why creating or starting failed, or why the source was lost.
    QString error() const { return m_error; }

protected:
    ZMScreenBackend() = default;
    void setError(const QString& error) { m_error = error; }

private:
    QString m_error;
};
