// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_x11windows.h"

#include <X11/Xlib.h>
#include <X11/cursorfont.h>

namespace {

bool geometry(Display* display, Window window, QRect* rect)
{
    Window root;
    int x, y;
    unsigned width, height, border, depth;
    if (!XGetGeometry(display, window, &root, &x, &y, &width, &height, &border, &depth))
        return false;
    *rect = QRect(x, y, int(width + 2 * border), int(height + 2 * border));
    return true;
}

// The next event, unless the connection broke while waiting for it.
bool nextEvent(Display* display, XEvent* event, const bool* broken)
{
    event->type = 0;
    XNextEvent(display, event);
    return !*broken;
}

// The next ButtonPress and its ButtonRelease; the release is taken too, so it does not reach
// the window under the pointer without its press.
bool nextClick(Display* display, const bool* broken, XButtonEvent* press)
{
    XEvent event;
    do
        if (!nextEvent(display, &event, broken))
            return false;
    while (event.type != ButtonPress);
    *press = event.xbutton;
    do
        if (!nextEvent(display, &event, broken))
            return false;
    while (event.type != ButtonRelease || event.xbutton.button != press->button);
    return true;
}

void noteBroken(Display*, void* broken)
{
    *static_cast<bool*>(broken) = true;
}

} // namespace

std::vector<ZMX11Windows::Frame> ZMX11Windows::shown(Display* display)
{
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    std::vector<Frame> frames;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return frames;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable && a.c_class == InputOutput)
            frames.push_back({children[i], QRect(a.x, a.y, a.width + 2 * a.border_width, a.height + 2 * a.border_width)});
    }
    if (children)
        XFree(children);
    return frames;
}

bool ZMX11Windows::frameOf(Display* display, unsigned long window, Frame* frame)
{
    const Window top = DefaultRootWindow(display);
    Window current = window;
    for (;;) {
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        if (current == top || !XQueryTree(display, current, &root, &parent, &children, &count))
            return false;
        if (children)
            XFree(children);
        if (parent == root)
            break;
        current = parent;
    }
    frame->id = current;
    return geometry(display, current, &frame->rect);
}

int ZMX11Windows::at(const std::vector<Frame>& frames, const QPoint& point)
{
    for (int i = int(frames.size()) - 1; i >= 0; --i)
        if (frames[i].rect.contains(point))
            return i;
    return -1;
}

bool ZMX11Windows::pick(Display* display, unsigned long* window, QString* error)
{
    const Window root = DefaultRootWindow(display);
    const Cursor cross = XCreateFontCursor(display, XC_crosshair);
    const int grabbed = XGrabPointer(display, root, False, ButtonPressMask | ButtonReleaseMask, GrabModeAsync,
                                     GrabModeAsync, None, cross, CurrentTime);
    if (grabbed != GrabSuccess) {
        XFreeCursor(display, cross);
        *error = QStringLiteral("cannot take the pointer to pick a window (another program holds it)");
        return false;
    }
    // Waiting for a person can outlast the server: its loss must end the wait, not the process.
    bool broken = false;
    XSetIOErrorExitHandler(display, noteBroken, &broken);
    XButtonEvent click{};
    const bool clicked = nextClick(display, &broken, &click);
    XSetIOErrorExitHandler(display, [](Display*, void*) {}, nullptr);
    if (!clicked) {
        *error = QStringLiteral("the X display went away while waiting for a click");
        return false;
    }
    XUngrabPointer(display, CurrentTime);
    XFreeCursor(display, cross);
    XSync(display, False);
    if (click.button != Button1) {
        *error = QStringLiteral("no window was picked (another button than the first was clicked)");
        return false;
    }
    if (click.subwindow == None) {
        *error = QStringLiteral("no window was picked (the click was on the bare desktop)");
        return false;
    }
    *window = click.subwindow;
    return true;
}
