// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>

typedef struct _XDisplay Display;

// A second X client on the test's display, standing for another program that holds keys.
class OtherXClient
{
public:
    OtherXClient();
    ~OtherXClient();

    bool isOpen() const { return m_display != nullptr; }
    // Grabs the key on the root window with exactly these modifiers (X masks); false when
    // the server refuses because someone else holds it.
    bool grab(const char* keysym, unsigned modifiers);
    void ungrab(const char* keysym, unsigned modifiers);
    // Without a window manager the focus can fall to None, and then no key reaches a grab.
    void focusRoot();
    // Whether the lock modifier (LockMask for CapsLock, Mod2Mask for NumLock) is on.
    bool lockOn(unsigned mask);

private:
    Display* m_display;
};
