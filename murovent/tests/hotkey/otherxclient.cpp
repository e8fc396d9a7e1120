// SPDX-License-Identifier: GPL-2.0-or-later
#include "otherxclient.h"

#include <X11/Xlib.h>

namespace {

bool g_refused = false;

int recordRefusal(Display*, XErrorEvent* error)
{
    if (error->error_code == BadAccess)
        g_refused = true;
    return 0;
}

} // namespace

OtherXClient::OtherXClient()
    : m_display(XOpenDisplay(nullptr))
{
}

OtherXClient::~OtherXClient()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool OtherXClient::grab(const char* keysym, unsigned modifiers)
{
    const KeyCode code = XKeysymToKeycode(m_display, XStringToKeysym(keysym));
    XSync(m_display, False);
    g_refused = false;
    XErrorHandler previous = XSetErrorHandler(recordRefusal);
    XGrabKey(m_display, code, modifiers, DefaultRootWindow(m_display), False, GrabModeAsync, GrabModeAsync);
    XSync(m_display, False);
    XSetErrorHandler(previous);
    return !g_refused;
}

void OtherXClient::ungrab(const char* keysym, unsigned modifiers)
{
    const KeyCode code = XKeysymToKeycode(m_display, XStringToKeysym(keysym));
    XUngrabKey(m_display, code, modifiers, DefaultRootWindow(m_display));
    XSync(m_display, False);
}

void OtherXClient::focusRoot()
{
    XSetInputFocus(m_display, PointerRoot, RevertToPointerRoot, CurrentTime);
    XSync(m_display, False);
}

bool OtherXClient::lockOn(unsigned mask)
{
    Window root, child;
    int rootX, rootY, x, y;
    unsigned state = 0;
    XQueryPointer(m_display, DefaultRootWindow(m_display), &root, &child, &rootX, &rootY, &x, &y, &state);
    return state & mask;
}
