// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_screenbackend.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

class ZMDamageTracker;

// Xlib stays out of this header: its macros (Bool, Status, ...) break Qt headers after it.
struct _XDisplay;
struct _XImage;
class ZMAreaTracker;

// Grabs a rectangle of an X11 screen, with MIT-SHM when the server shares memory with us and
// XGetImage otherwise (a remote display). The rectangle is in physical screen pixels and must
// lie inside the root window. The cursor, when wanted, comes from XFixes and is alpha-blended.
//
// Following changes (followChanges()), next() asks the server what was drawn since the last
// picture (X DAMAGE) and grabs only that, or reports NothingNew; the cursor's old and new
// places are grabbed again whenever it moves or changes, so it never stays behind in the
// frame. Every couple of seconds the whole area is grabbed anyway, in case something changed
// the screen without the server noticing.
//
// Built on the controlling thread, then used by one grab thread at a time over its own
// display connection. A broken connection does not end the process: grab() returns null.
class Grab_X11 : public ZMScreenBackend
{
public:
    // The back-end "x11": the request's area, monitor or window (see ZMX11Target), or the whole
    // screen rounded down to even sizes (4:2:0 pictures need them). Null, with the reason, when
    // it cannot be grabbed.
    static std::unique_ptr<ZMScreenBackend> open(const ZMScreenRequest& request, QString* error);

    // A connection of its own for looking at the display (monitors, windows), whose X errors
    // make the request fail instead of ending the process, like the grabbers' connections.
    // Null, with the reason, when the display cannot be opened. One thread at a time.
    static _XDisplay* openConnection(const QByteArray& name, QString* error);
    static void closeConnection(_XDisplay* display);

    // displayName null: $DISPLAY. allowShm false forces the XGetImage path.
    Grab_X11(int x, int y, int width, int height, bool grabCursor,
             const char* displayName = nullptr, bool allowShm = true);
    ~Grab_X11() override;
    Grab_X11(const Grab_X11&) = delete;
    Grab_X11& operator=(const Grab_X11&) = delete;

    // False when the display could not be opened, its pixel format is not 32-bit BGRX or the
    // area is not inside the screen; such a grabber never returns a frame.
    bool isValid() const { return m_valid; }
    bool usesShm() const { return m_shmImage != nullptr; }

    // From now on next() grabs only what changed. False (and everything is grabbed every
    // time) when the server cannot tell what changed.
    bool followChanges();
    bool followsChanges() const { return m_damage != nullptr; }

    const char* name() const override { return "x11"; }
    QSize size() const override { return QSize(m_width, m_height); }
    Next next() override;
    unsigned char* frame() override { return m_frame; }
    const std::vector<QRect>* changed() const override { return m_partial ? &m_changed : nullptr; }

    // Captures the whole area into the persistent buffer and returns it; null once the screen
    // is gone for good (the connection broke, the screen shrank below the area, or what the
    // tracker follows went away).
    unsigned char* grab();

    // Moves the area before each grab (a window, the pointer) or watches what it shows (a
    // monitor); its size stays. Before the grab thread starts.
    void setTracker(std::unique_ptr<ZMAreaTracker> tracker);

private:
    bool followArea(QString* lostWhat);
    bool checkFormat() const;
    QSize rootSize() const;
    bool areaInside(const QSize& screen) const;
    bool attachShm();
    void detachShm();
    void closeDisplay();
    bool grabShm();
    bool grabPlain();
    void copyRows(const _XImage* image);
    void drawCursor();
    void loseScreen(const QString& why = QString());

    Next grabChanges();
    bool follow();
    unsigned char* grabWhole();
    Next grabWholeChanged();
    bool wholeGrabDue() const;
    std::vector<QRect> grabbable(const std::vector<QRect>& parts) const;
    bool grabParts(const std::vector<QRect>& parts);
    bool grabShmRows(int y, int height);
    bool grabPlainPart(const QRect& part);
    bool refreshCursor(std::vector<QRect>* changed);

    static void onConnectionLost(_XDisplay* display, void* self);

    _XDisplay* m_display = nullptr;
    unsigned long m_root = 0;
    int m_x, m_y, m_width, m_height;
    bool m_grabCursor;
    bool m_hasXFixes = false;
    bool m_valid = false;
    std::atomic<bool> m_lost{false};

    struct Shm;
    std::unique_ptr<Shm> m_shm;         // the segment's description, which the image points to
    _XImage* m_shmImage = nullptr;
    unsigned char* m_frame = nullptr;   // the shared segment itself when its stride is width x 4
    std::vector<unsigned char> m_copy;  // otherwise the frame lives here
    std::unique_ptr<ZMAreaTracker> m_tracker;

    // Following changes: what the last picture rewrote (m_partial false: all of it), and when
    // the whole area was last grabbed. m_wholeDue makes the next picture a whole one.
    std::unique_ptr<ZMDamageTracker> m_damage;
    std::vector<QRect> m_changed;
    bool m_partial = false;
    bool m_wholeDue = true;
    std::chrono::steady_clock::time_point m_wholeAt;
    // The cursor as it was last drawn into the frame, in frame pixels (unclipped).
    QRect m_cursorArea;
    unsigned long m_cursorSerial = 0;
    bool m_cursorShown = false;
};
