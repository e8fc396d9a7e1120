// SPDX-License-Identifier: GPL-2.0-or-later
#include "xscene.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <memory>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace xscene {
namespace {

using DisplayPtr = std::unique_ptr<Display, int (*)(Display*)>;

DisplayPtr open()
{
    return DisplayPtr(XOpenDisplay(nullptr), XCloseDisplay);
}

unsigned long pixelOf(uint32_t rgb)
{
    return rgb & 0xffffff;  // the test servers are 24-bit TrueColor 0xRRGGBB
}

} // namespace

struct Canvas::Connection {
    DisplayPtr display{open()};
    GC gc = nullptr;
    Window window = 0;
};

Canvas::Canvas()
    : m_connection(std::make_unique<Connection>())
{
    Display* d = m_connection->display.get();
    if (d)
        m_connection->gc = XCreateGC(d, DefaultRootWindow(d), 0, nullptr);
}

Canvas::~Canvas()
{
    Display* d = m_connection->display.get();
    if (!d)
        return;
    if (m_connection->window)
        XDestroyWindow(d, m_connection->window);
    XFreeGC(d, m_connection->gc);
    XSync(d, False);
}

bool Canvas::isOpen() const
{
    return m_connection->display != nullptr;
}

void Canvas::fill(const Rect& rect)
{
    fillAtOnce({rect}, rect.rgb);
}

void Canvas::fillAtOnce(const std::vector<Rect>& rects, uint32_t rgb)
{
    Display* d = m_connection->display.get();
    std::vector<XRectangle> boxes;
    for (const Rect& r : rects)
        boxes.push_back({short(r.x), short(r.y), static_cast<unsigned short>(r.width),
                         static_cast<unsigned short>(r.height)});
    XSetForeground(d, m_connection->gc, pixelOf(rgb));
    XFillRectangles(d, DefaultRootWindow(d), m_connection->gc, boxes.data(), int(boxes.size()));
    XSync(d, False);
}

void Canvas::showWindow(const Rect& rect)
{
    Display* d = m_connection->display.get();
    if (!m_connection->window) {
        XSetWindowAttributes attributes{};
        attributes.override_redirect = True;
        attributes.background_pixel = pixelOf(rect.rgb);
        m_connection->window = XCreateWindow(d, DefaultRootWindow(d), rect.x, rect.y, unsigned(rect.width),
                                             unsigned(rect.height), 0, CopyFromParent, InputOutput, CopyFromParent,
                                             CWOverrideRedirect | CWBackPixel, &attributes);
        XMapWindow(d, m_connection->window);
    } else {
        XMoveWindow(d, m_connection->window, rect.x, rect.y);
    }
    XSync(d, False);
}

bool paintRoot(uint32_t background, const std::vector<Rect>& rects)
{
    DisplayPtr d = open();
    if (!d)
        return false;
    const int screen = DefaultScreen(d.get());
    const Window root = RootWindow(d.get(), screen);
    const int w = DisplayWidth(d.get(), screen), h = DisplayHeight(d.get(), screen);
    Pixmap pixmap = XCreatePixmap(d.get(), root, w, h, DefaultDepth(d.get(), screen));
    GC gc = XCreateGC(d.get(), pixmap, 0, nullptr);
    XSetForeground(d.get(), gc, pixelOf(background));
    XFillRectangle(d.get(), pixmap, gc, 0, 0, w, h);
    for (const Rect& r : rects) {
        XSetForeground(d.get(), gc, pixelOf(r.rgb));
        XFillRectangle(d.get(), pixmap, gc, r.x, r.y, r.width, r.height);
    }
    XSetWindowBackgroundPixmap(d.get(), root, pixmap);
    XClearWindow(d.get(), root);
    XFreeGC(d.get(), gc);
    XFreePixmap(d.get(), pixmap);
    XSync(d.get(), False);
    return true;
}

bool fillRect(const Rect& rect)
{
    DisplayPtr d = open();
    if (!d)
        return false;
    const Window root = DefaultRootWindow(d.get());
    GC gc = XCreateGC(d.get(), root, 0, nullptr);
    XSetForeground(d.get(), gc, pixelOf(rect.rgb));
    XFillRectangle(d.get(), root, gc, rect.x, rect.y, unsigned(rect.width), unsigned(rect.height));
    XFreeGC(d.get(), gc);
    XSync(d.get(), False);
    return true;
}

bool setSquareCursor(int size, int hot, uint32_t rgb)
{
    DisplayPtr d = open();
    if (!d)
        return false;
    const Window root = DefaultRootWindow(d.get());
    Pixmap bits = XCreatePixmap(d.get(), root, size, size, 1);
    GC gc = XCreateGC(d.get(), bits, 0, nullptr);
    XSetForeground(d.get(), gc, 1);
    XFillRectangle(d.get(), bits, gc, 0, 0, size, size);
    XColor colour{};
    colour.red = ((rgb >> 16) & 0xff) * 257;
    colour.green = ((rgb >> 8) & 0xff) * 257;
    colour.blue = (rgb & 0xff) * 257;
    Cursor cursor = XCreatePixmapCursor(d.get(), bits, bits, &colour, &colour, hot, hot);
    XDefineCursor(d.get(), root, cursor);
    XFreeCursor(d.get(), cursor);
    XFreeGC(d.get(), gc);
    XFreePixmap(d.get(), bits);
    XSync(d.get(), False);
    return true;
}

bool movePointer(int x, int y)
{
    DisplayPtr d = open();
    if (!d)
        return false;
    XWarpPointer(d.get(), None, DefaultRootWindow(d.get()), 0, 0, 0, 0, x, y);
    XSync(d.get(), False);
    return true;
}

bool screenSize(int* width, int* height)
{
    DisplayPtr d = open();
    if (!d)
        return false;
    *width = DisplayWidth(d.get(), DefaultScreen(d.get()));
    *height = DisplayHeight(d.get(), DefaultScreen(d.get()));
    return true;
}

bool pointerTaken()
{
    DisplayPtr d = open();
    if (!d)
        return false;
    const int result = XGrabPointer(d.get(), DefaultRootWindow(d.get()), False, ButtonPressMask, GrabModeAsync,
                                    GrabModeAsync, None, None, CurrentTime);
    if (result == GrabSuccess)
        XUngrabPointer(d.get(), CurrentTime);
    XSync(d.get(), False);
    return result == AlreadyGrabbed;
}

ClientWindow::ClientWindow(int x, int y, int width, int height, uint32_t rgb, int border)
    : m_display(XOpenDisplay(nullptr))
{
    if (!m_display)
        return;
    const Window root = DefaultRootWindow(m_display);
    m_window = XCreateSimpleWindow(m_display, root, x, y, width, height, border, 0xffffff, pixelOf(rgb));
    XMapRaised(m_display, m_window);
    // Mapped at once without a window manager; wait until the server has done it.
    XWindowAttributes a{};
    for (int i = 0; i < 200 && (XGetWindowAttributes(m_display, m_window, &a), a.map_state != IsViewable); ++i)
        usleep(5000);
    XSync(m_display, False);
}

ClientWindow::~ClientWindow()
{
    close();
}

void ClientWindow::move(int x, int y)
{
    if (!m_display)
        return;
    XMoveWindow(m_display, m_window, x, y);
    XSync(m_display, False);
}

void ClientWindow::close()
{
    if (!m_display)
        return;
    XDestroyWindow(m_display, m_window);
    XCloseDisplay(m_display);
    m_display = nullptr;
}

int startXvfb(const char* size, char* name, int nameSize, bool withShm, const char* frameBufferDir)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        char fd[16], screen[32];
        std::snprintf(fd, sizeof fd, "%d", fds[1]);
        std::snprintf(screen, sizeof screen, "%sx24", size);
        freopen("/dev/null", "w", stderr);
        std::vector<const char*> args{"Xvfb", "-displayfd", fd, "-screen", "0", screen,
                                      "-nolisten", "tcp", "-noreset"};
        if (!withShm)
            args.insert(args.end(), {"-extension", "MIT-SHM"});
        if (frameBufferDir)
            args.insert(args.end(), {"-fbdir", frameBufferDir});
        args.push_back(nullptr);
        execvp("Xvfb", const_cast<char* const*>(args.data()));
        _exit(127);
    }
    close(fds[1]);
    // The server dies if the pipe closes before it has written the whole line.
    char number[16] = {};
    bool ready = pid > 0;
    for (size_t n = 0; ready && (n == 0 || number[n - 1] != '\n');) {
        pollfd p{fds[0], POLLIN, 0};
        ready = n + 1 < sizeof number && poll(&p, 1, 10000) == 1 && read(fds[0], number + n, 1) == 1;
        n += ready;
    }
    close(fds[0]);
    if (!ready) {
        stopXvfb(pid);
        return -1;
    }
    std::snprintf(name, nameSize, ":%d", std::atoi(number));
    return pid;
}

void stopXvfb(int pid)
{
    if (pid <= 0)
        return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

} // namespace xscene
