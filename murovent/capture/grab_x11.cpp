// SPDX-License-Identifier: GPL-2.0-or-later
#include "grab_x11.h"

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
    const QByteArray name = request.display;
    QRect area = request.area;
    if (area.isNull()) {
        Display* display = XOpenDisplay(name.isEmpty() ? nullptr : name.constData());
        if (!display) {
            *error = QStringLiteral("cannot open the X display %1")
                         .arg(QString::fromLocal8Bit(XDisplayName(name.isEmpty() ? nullptr : name.constData())));
            return nullptr;
        }
        area = QRect(0, 0, DisplayWidth(display, DefaultScreen(display)) & ~1,
                     DisplayHeight(display, DefaultScreen(display)) & ~1);
        XCloseDisplay(display);
    }
    auto grab = std::make_unique<Grab_X11>(area.x(), area.y(), area.width(), area.height(), request.cursor,
                                           name.isEmpty() ? nullptr : name.constData());
    if (grab->isValid())
        return grab;
    *error = grab->error();
    return nullptr;
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
    m_shm->info.readOnly = False;
    t_lastError = Success;
    const bool attached = m_shm->info.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(m_display, &m_shm->info);
    XSync(m_display, False);
    // Nobody else will attach: removal now means a crash cannot leak the segment.
    shmctl(m_shm->info.shmid, IPC_RMID, nullptr);
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
    if (!m_valid)
        return nullptr;
    const bool ok = m_shmImage ? grabShm() : grabPlain();
    // A failed request means the screen no longer holds the area (the connection broke or
    // the screen shrank): there is nothing left to record.
    if (!ok || m_lost) {
        setError(QStringLiteral("the X display went away (or shrank below the area)"));
        m_lost = true;
        m_valid = false;
        closeDisplay();
        return nullptr;
    }
    if (m_grabCursor && m_hasXFixes)
        drawCursor();
    return m_frame;
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

// The image's top-left corner sits at the pointer position minus the hot spot, so the
// tip of an arrow lands exactly where the pointer is.
void Grab_X11::drawCursor()
{
    XFixesCursorImage* cursor = XFixesGetCursorImage(m_display);
    if (!cursor)
        return;
    const int left = cursor->x - cursor->xhot - m_x;
    const int top = cursor->y - cursor->yhot - m_y;
    const int w = cursor->width, h = cursor->height;
    const int x0 = std::max(0, -left), x1 = std::min(w, m_width - left);
    const int y0 = std::max(0, -top), y1 = std::min(h, m_height - top);
    for (int y = y0; y < y1; ++y) {
        const unsigned long* source = cursor->pixels + size_t(y) * w;
        unsigned char* target = m_frame + (size_t(top + y) * m_width + left) * 4;
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
    XFree(cursor);
}
