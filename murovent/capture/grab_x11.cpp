// SPDX-License-Identifier: GPL-2.0-or-later
#include "grab_x11.h"

#include "zm_areatracker.h"
#include "zm_capturelog.h"
#include "zm_damagetracker.h"
#include "zm_x11target.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xfixes.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

// Xlib's error handlers are process-wide and its defaults end the process. Ours take over for
// the grabbers' own connections only and leave every other connection to the handler before.
std::mutex g_mutex;
std::vector<Display*> g_displays;
XErrorHandler g_previousError = nullptr;
XIOErrorHandler g_previousIOError = nullptr;
thread_local int t_lastError = Success;

bool isOurs(Display* display)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return std::find(g_displays.begin(), g_displays.end(), display) != g_displays.end();
}

int onError(Display* display, XErrorEvent* event)
{
    if (isOurs(display)) {
        t_lastError = event->error_code;
        return 0;
    }
    return g_previousError ? g_previousError(display, event) : 0;
}

// Returning lets Xlib go on to the connection's exit handler instead of exiting.
int onIOError(Display* display)
{
    if (isOurs(display))
        return 0;
    return g_previousIOError ? g_previousIOError(display) : 0;
}

void registerDisplay(Display* display)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    XErrorHandler error = XSetErrorHandler(onError);
    if (error != onError)
        g_previousError = error;
    XIOErrorHandler ioError = XSetIOErrorHandler(onIOError);
    if (ioError != onIOError)
        g_previousIOError = ioError;
    g_displays.push_back(display);
}

void unregisterDisplay(Display* display)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_displays.erase(std::remove(g_displays.begin(), g_displays.end(), display), g_displays.end());
}

// Cursor pixels are premultiplied ARGB; one channel of "source over".
inline unsigned char over(unsigned long source, unsigned char destination, unsigned alpha)
{
    return static_cast<unsigned char>((source & 0xff) + (destination * (255 - alpha) + 127) / 255);
}

// Following changes, the whole area is grabbed this often anyway: some ways of changing the
// screen (a client writing straight into a frame buffer, a driver's overlay) raise no damage.
constexpr auto kWholeEvery = std::chrono::seconds(2);
// Rows grabbed between two changed bands rather than a request more.
constexpr int kBandGap = 16;
// Beyond this share of the area, or this many parts, one request for all of it is cheaper.
constexpr int kMostPercent = 50;
constexpr size_t kMostParts = 32;
// Drawing that lands while the parts are fetched is fetched too, this many times at most;
// a screen that keeps changing under the grab is then taken whole, in one request.
constexpr int kMostRounds = 3;

// The image's top-left corner sits at the pointer position minus the hot spot, so the
// tip of an arrow lands exactly where the pointer is. In frame pixels of an area at x, y.
QRect cursorArea(const XFixesCursorImage& cursor, int x, int y)
{
    return QRect(cursor.x - cursor.xhot - x, cursor.y - cursor.yhot - y, cursor.width, cursor.height);
}

void blendCursor(const XFixesCursorImage& cursor, const QRect& area, unsigned char* frame, int width, int height)
{
    const int left = area.x(), top = area.y(), w = area.width();
    const int x0 = std::max(0, -left), x1 = std::min(w, width - left);
    const int y0 = std::max(0, -top), y1 = std::min(area.height(), height - top);
    for (int y = y0; y < y1; ++y) {
        const unsigned long* source = cursor.pixels + size_t(y) * w;
        unsigned char* target = frame + (size_t(top + y) * width + left) * 4;
        for (int x = x0; x < x1; ++x) {
            const unsigned long pixel = source[x];
            const unsigned alpha = (pixel >> 24) & 0xff;
            if (!alpha)
                continue;
            unsigned char* p = target + x * 4;
            p[0] = over(pixel, p[0], alpha);
            p[1] = over(pixel >> 8, p[1], alpha);
            p[2] = over(pixel >> 16, p[2], alpha);
        }
    }
}

long long pixelsIn(const std::vector<QRect>& parts)
{
    long long pixels = 0;
    for (const QRect& part : parts)
        pixels += static_cast<long long>(part.width()) * part.height();
    return pixels;
}

bool touches(const std::vector<QRect>& parts, const QRect& area)
{
    for (const QRect& part : parts)
        if (part.intersects(area))
            return true;
    return false;
}

} // namespace

struct Grab_X11::Shm {
    XShmSegmentInfo info{};
};

Grab_X11::Grab_X11(int x, int y, int width, int height, bool grabCursor,
                   const char* displayName, bool allowShm)
    : m_x(x), m_y(y), m_width(width), m_height(height), m_grabCursor(grabCursor)
{
    if (width <= 0 || height <= 0) {
        setError(QStringLiteral("the area %1x%2 is empty").arg(width).arg(height));
        return;
    }
    m_display = XOpenDisplay(displayName);
    if (!m_display) {
        setError(QStringLiteral("cannot open the X display %1")
                     .arg(QString::fromLocal8Bit(XDisplayName(displayName))));
        return;
    }
    registerDisplay(m_display);
    XSetIOErrorExitHandler(m_display, onConnectionLost, this);
    m_root = DefaultRootWindow(m_display);
    if (!checkFormat()) {
        setError(QStringLiteral("cannot grab this screen (it needs 24- or 32-bit true colour)"));
        return;
    }
    const QSize screen = rootSize();
    if (!areaInside(screen)) {
        setError(QStringLiteral("the area %1,%2,%3,%4 is not inside the screen (%5 x %6)")
                     .arg(x).arg(y).arg(width).arg(height).arg(screen.width()).arg(screen.height()));
        return;
    }
    int eventBase, errorBase;
    m_hasXFixes = grabCursor && XFixesQueryExtension(m_display, &eventBase, &errorBase);
    if (!(allowShm && attachShm()))
        m_copy.resize(size_t(width) * height * 4);
    if (!m_frame)
        m_frame = m_copy.data();
    m_valid = !m_lost;
}

Grab_X11::~Grab_X11()
{
    closeDisplay();
}

// After a broken connection Xlib's locks are only usable from the thread that saw the break,
// so that thread closes the display right away (on any other it would hang).
void Grab_X11::closeDisplay()
{
    if (!m_display)
        return;
    if (m_damage && m_lost)
        m_damage->release();
    m_damage.reset();
    detachShm();
    XCloseDisplay(m_display);
    unregisterDisplay(m_display);
    m_display = nullptr;
}

void Grab_X11::onConnectionLost(Display*, void* self)
{
    static_cast<Grab_X11*>(self)->m_lost = true;
}

// The frame format is fixed (B, G, R, X bytes), so only 32-bit little-endian true colour
// screens can be copied without conversion; that covers every depth-24 and depth-32 server.
bool Grab_X11::checkFormat() const
{
    const int screen = DefaultScreen(m_display);
    const Visual* visual = DefaultVisual(m_display, screen);
    const int depth = DefaultDepth(m_display, screen);
    if (visual->red_mask != 0xff0000 || visual->green_mask != 0xff00 || visual->blue_mask != 0xff
        || ImageByteOrder(m_display) != LSBFirst)
        return false;
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(m_display, &count);
    bool is32 = false;
    for (int i = 0; i < count; ++i)
        if (formats[i].depth == depth)
            is32 = formats[i].bits_per_pixel == 32;
    XFree(formats);
    return is32;
}

QSize Grab_X11::rootSize() const
{
    Window root;
    int rx, ry;
    unsigned w, h, border, depth;
    if (!XGetGeometry(m_display, m_root, &root, &rx, &ry, &w, &h, &border, &depth))
        return QSize();
    return QSize(int(w), int(h));
}

// In 64 bits: an area near the range of int must not wrap around into the screen.
bool Grab_X11::areaInside(const QSize& screen) const
{
    return m_x >= 0 && m_y >= 0 && qint64(m_x) + m_width <= screen.width()
           && qint64(m_y) + m_height <= screen.height();
}

std::unique_ptr<ZMScreenBackend> Grab_X11::open(const ZMScreenRequest& request, QString* error)
{
    ZMX11Target target;
    if (!ZMX11Target::resolve(request, &target, error))
        return nullptr;
    const QByteArray& name = request.display;
    const QRect& area = target.area;
    auto grab = std::make_unique<Grab_X11>(area.x(), area.y(), area.width(), area.height(), request.cursor,
                                           name.isEmpty() ? nullptr : name.constData());
    if (!grab->isValid()) {
        *error = grab->error();
        return nullptr;
    }
    grab->setTracker(std::move(target.tracker));
    if (request.trackChanges && !grab->followChanges())
        qCInfo(lcCapture) << "x11: the server cannot tell what changed (no DAMAGE):"
                          << "grabbing the whole area every frame";
    else
        qCInfo(lcCapture) << "x11: grabbing" << (request.trackChanges ? "only what changed" : "the whole area every frame");
    return grab;
}

Display* Grab_X11::openConnection(const QByteArray& name, QString* error)
{
    const char* displayName = name.isEmpty() ? nullptr : name.constData();
    Display* display = XOpenDisplay(displayName);
    if (!display) {
        *error = QStringLiteral("cannot open the X display %1").arg(QString::fromLocal8Bit(XDisplayName(displayName)));
        return nullptr;
    }
    registerDisplay(display);
    // A broken connection then only makes the requests fail.
    XSetIOErrorExitHandler(display, [](Display*, void*) {}, nullptr);
    return display;
}

void Grab_X11::closeConnection(Display* display)
{
    if (!display)
        return;
    XCloseDisplay(display);
    unregisterDisplay(display);
}

void Grab_X11::setTracker(std::unique_ptr<ZMAreaTracker> tracker)
{
    m_tracker = std::move(tracker);
}

// The area's origin for this grab; false, with what went away, when the tracker lost what it
// follows.
bool Grab_X11::followArea(QString* lostWhat)
{
    if (!m_tracker)
        return true;
    QPoint origin;
    if (!m_tracker->place(m_display, &origin, lostWhat))
        return false;
    m_x = origin.x();
    m_y = origin.y();
    return true;
}

// A display that claims MIT-SHM may still be unable to reach our memory (a remote or
// containerised server); the attach then fails and the plain path takes over.
bool Grab_X11::attachShm()
{
    if (!XShmQueryExtension(m_display))
        return false;
    const int screen = DefaultScreen(m_display);
    m_shm = std::make_unique<Shm>();
    m_shmImage = XShmCreateImage(m_display, DefaultVisual(m_display, screen),
                                 DefaultDepth(m_display, screen), ZPixmap, nullptr, &m_shm->info,
                                 m_width, m_height);
    if (!m_shmImage)
        return false;
    m_shm->info.shmid = shmget(IPC_PRIVATE, size_t(m_shmImage->bytes_per_line) * m_height, IPC_CREAT | 0600);
    if (m_shm->info.shmid == -1) {
        detachShm();
        return false;
    }
    m_shm->info.shmaddr = m_shmImage->data = static_cast<char*>(shmat(m_shm->info.shmid, nullptr, 0));
    // Removed at once, before the round trip to the server: the segment lives on while it is
    // attached, and Linux lets the server still attach it by its id, so no kill can leak it.
    shmctl(m_shm->info.shmid, IPC_RMID, nullptr);
    m_shm->info.readOnly = False;
    t_lastError = Success;
    const bool attached = m_shm->info.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(m_display, &m_shm->info);
    XSync(m_display, False);
    if (!attached || t_lastError != Success) {
        if (attached)
            m_shm->info.shmseg = 0;
        detachShm();
        return false;
    }
    if (m_shmImage->bits_per_pixel != 32) {
        detachShm();
        return false;
    }
    if (m_shmImage->bytes_per_line == m_width * 4)
        m_frame = reinterpret_cast<unsigned char*>(m_shmImage->data);
    else
        m_copy.resize(size_t(m_width) * m_height * 4);
    return true;
}

void Grab_X11::detachShm()
{
    if (!m_shmImage)
        return;
    if (m_shm->info.shmseg && !m_lost)
        XShmDetach(m_display, &m_shm->info);
    if (m_shm->info.shmaddr && m_shm->info.shmaddr != reinterpret_cast<char*>(-1))
        shmdt(m_shm->info.shmaddr);
    if (m_frame == reinterpret_cast<unsigned char*>(m_shmImage->data))
        m_frame = nullptr;
    m_shmImage->data = nullptr;
    XDestroyImage(m_shmImage);
    m_shmImage = nullptr;
    m_shm.reset();
}

unsigned char* Grab_X11::grab()
{
    return m_valid && follow() ? grabWhole() : nullptr;
}

// The area's place for this grab; false, with the screen lost, when what it follows went away.
bool Grab_X11::follow()
{
    QString lostWhat;
    if (followArea(&lostWhat))
        return true;
    loseScreen(lostWhat);
    return false;
}

unsigned char* Grab_X11::grabWhole()
{
    const bool ok = m_shmImage ? grabShm() : grabPlain();
    // A failed request means the screen no longer holds the area (the connection broke or
    // the screen shrank): there is nothing left to record.
    if (!ok || m_lost) {
        loseScreen();
        return nullptr;
    }
    if (m_grabCursor && m_hasXFixes)
        drawCursor();
    m_partial = false;
    m_wholeDue = false;
    m_wholeAt = std::chrono::steady_clock::now();
    return m_frame;
}

void Grab_X11::loseScreen(const QString& why)
{
    setError(why.isEmpty() ? QStringLiteral("the X display went away (or shrank below the area)") : why);
    m_lost = true;
    m_valid = false;
    closeDisplay();
}

bool Grab_X11::followChanges()
{
    if (!m_valid)
        return false;
    if (!m_damage)
        m_damage = std::make_unique<ZMDamageTracker>(m_display, m_root);
    if (!m_damage->isActive())
        m_damage.reset();
    return m_damage != nullptr;
}

ZMScreenBackend::Next Grab_X11::next()
{
    if (!m_valid)
        return Next::Lost;
    // Where the tracker moved the area, all of it is new.
    const QPoint before(m_x, m_y);
    if (!follow())
        return Next::Lost;
    if (m_damage && !wholeGrabDue() && QPoint(m_x, m_y) == before)
        return grabChanges();
    // What was drawn so far is in the whole picture; only what comes after it is news.
    if (m_damage)
        m_damage->take(QRect(m_x, m_y, m_width, m_height));
    return grabWhole() ? Next::Picture : Next::Lost;
}

bool Grab_X11::wholeGrabDue() const
{
    return m_wholeDue || std::chrono::steady_clock::now() - m_wholeAt >= kWholeEvery;
}

// Only the parts the server reports drawn are grabbed again, then the cursor where it moved
// or where its place was grabbed again. What changed most of the area is grabbed whole.
ZMScreenBackend::Next Grab_X11::grabChanges()
{
    if (!m_valid)
        return Next::Lost;
    const QRect area(m_x, m_y, m_width, m_height);
    const long long most = static_cast<long long>(m_width) * m_height * kMostPercent;
    std::vector<QRect> parts;
    // Each part is its own request, and other clients draw between them: a part fetched late
    // may show a later moment than one fetched early. What was drawn meanwhile is fetched
    // again until the server reports nothing new, so the picture is the screen at one moment.
    for (int round = 0;; ++round) {
        std::vector<QRect> more = grabbable(m_damage->take(area));
        if (m_lost) {
            loseScreen();
            return Next::Lost;
        }
        if (round > 0 && more.empty())
            break;
        if ((pixelsIn(parts) + pixelsIn(more)) * 100 > most)
            return grabWholeChanged();
        if (round == kMostRounds || parts.size() + more.size() > kMostParts)
            return grabWhole() ? Next::Picture : Next::Lost;
        if (!grabParts(more) || (m_grabCursor && m_hasXFixes && !refreshCursor(&more)) || m_lost) {
            loseScreen();
            return Next::Lost;
        }
        if (more.empty()) // nothing drawn, and the pointer stayed
            break;
        parts.insert(parts.end(), more.begin(), more.end());
    }
    if (parts.empty())
        return Next::NothingNew;
    m_changed = std::move(parts);
    m_partial = true;
    return Next::Picture;
}

// The server reported most of the area drawn: all of it is taken as changed, and the encoder
// need not look for what stayed.
ZMScreenBackend::Next Grab_X11::grabWholeChanged()
{
    if (!grabWhole())
        return Next::Lost;
    m_changed.assign(1, QRect(0, 0, m_width, m_height));
    m_partial = true;
    return Next::Picture;
}

// With shared memory a request fills rows of the segment back to back, so only whole rows
// land in their place: the parts become bands of full rows (close ones joined). Without it
// every part is fetched on its own.
std::vector<QRect> Grab_X11::grabbable(const std::vector<QRect>& parts) const
{
    const QRect frame(0, 0, m_width, m_height);
    std::vector<QRect> clipped;
    for (const QRect& part : parts)
        if (!(part & frame).isEmpty())
            clipped.push_back(part & frame);
    if (!m_shmImage)
        return clipped;
    std::sort(clipped.begin(), clipped.end(), [](const QRect& a, const QRect& b) { return a.top() < b.top(); });
    std::vector<QRect> bands;
    for (const QRect& part : clipped) {
        if (!bands.empty() && part.top() <= bands.back().bottom() + kBandGap)
            bands.back().setBottom(std::max(bands.back().bottom(), part.bottom()));
        else
            bands.push_back(QRect(0, part.top(), m_width, part.height()));
    }
    return bands;
}

bool Grab_X11::grabParts(const std::vector<QRect>& parts)
{
    for (const QRect& part : parts)
        if (!(m_shmImage ? grabShmRows(part.top(), part.height()) : grabPlainPart(part)))
            return false;
    return true;
}

// The image is pointed at the band's rows of the segment for the one request: the server
// writes at the image's offset into the segment.
bool Grab_X11::grabShmRows(int y, int height)
{
    char* const data = m_shmImage->data;
    const int fullHeight = m_shmImage->height;
    m_shmImage->data = data + size_t(y) * m_shmImage->bytes_per_line;
    m_shmImage->height = height;
    t_lastError = Success;
    const bool ok = XShmGetImage(m_display, m_root, m_shmImage, m_x, m_y + y, AllPlanes) && t_lastError == Success;
    m_shmImage->data = data;
    m_shmImage->height = fullHeight;
    if (ok && m_frame != reinterpret_cast<unsigned char*>(data))
        for (int row = y; row < y + height; ++row)
            std::memcpy(m_frame + size_t(row) * m_width * 4, data + size_t(row) * m_shmImage->bytes_per_line,
                        size_t(m_width) * 4);
    return ok;
}

bool Grab_X11::grabPlainPart(const QRect& part)
{
    t_lastError = Success;
    XImage* image = XGetImage(m_display, m_root, m_x + part.x(), m_y + part.y(), unsigned(part.width()),
                              unsigned(part.height()), AllPlanes, ZPixmap);
    if (!image)
        return false;
    const bool ok = image->bits_per_pixel == 32;
    for (int row = 0; ok && row < part.height(); ++row)
        std::memcpy(m_frame + (size_t(part.y() + row) * m_width + part.x()) * 4,
                    image->data + size_t(row) * image->bytes_per_line, size_t(part.width()) * 4);
    XDestroyImage(image);
    return ok;
}

// The cursor is drawn again when it moved or changed, or when part of it was just grabbed
// over: then its old and new places are grabbed clean first, so no trace of it stays.
bool Grab_X11::refreshCursor(std::vector<QRect>* changed)
{
    XFixesCursorImage* cursor = XFixesGetCursorImage(m_display);
    if (!cursor)
        return true;
    const QRect area = cursorArea(*cursor, m_x, m_y);
    const bool moved = !m_cursorShown || area != m_cursorArea || cursor->cursor_serial != m_cursorSerial;
    bool ok = true;
    if (moved || touches(*changed, m_cursorArea)) {
        std::vector<QRect> places{area};
        if (m_cursorShown)
            places.push_back(m_cursorArea);
        const std::vector<QRect> again = grabbable(places);
        ok = grabParts(again);
        if (ok) {
            blendCursor(*cursor, area, m_frame, m_width, m_height);
            m_cursorShown = true;
            m_cursorArea = area;
            m_cursorSerial = cursor->cursor_serial;
            changed->insert(changed->end(), again.begin(), again.end());
        }
    }
    XFree(cursor);
    return ok;
}

bool Grab_X11::grabShm()
{
    t_lastError = Success;
    if (!XShmGetImage(m_display, m_root, m_shmImage, m_x, m_y, AllPlanes) || t_lastError != Success)
        return false;
    if (m_frame != reinterpret_cast<unsigned char*>(m_shmImage->data))
        copyRows(m_shmImage);
    return true;
}

bool Grab_X11::grabPlain()
{
    t_lastError = Success;
    XImage* image = XGetImage(m_display, m_root, m_x, m_y, m_width, m_height, AllPlanes, ZPixmap);
    if (!image)
        return false;
    const bool ok = image->bits_per_pixel == 32;
    if (ok)
        copyRows(image);
    XDestroyImage(image);
    return ok;
}

void Grab_X11::copyRows(const _XImage* image)
{
    const size_t row = size_t(m_width) * 4;
    if (size_t(image->bytes_per_line) == row) {
        std::memcpy(m_frame, image->data, row * m_height);
        return;
    }
    for (int y = 0; y < m_height; ++y)
        std::memcpy(m_frame + y * row, image->data + size_t(y) * image->bytes_per_line, row);
}

// Draws the pointer into the frame, and notes where, so that a later picture can take it out.
void Grab_X11::drawCursor()
{
    XFixesCursorImage* cursor = XFixesGetCursorImage(m_display);
    m_cursorShown = cursor != nullptr;
    if (!cursor)
        return;
    m_cursorArea = cursorArea(*cursor, m_x, m_y);
    m_cursorSerial = cursor->cursor_serial;
    blendCursor(*cursor, m_cursorArea, m_frame, m_width, m_height);
    XFree(cursor);
}
