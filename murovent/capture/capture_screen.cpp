// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_capture.h"

#include "zm_grabscreen.h"

namespace {
ZMGrabScreen* g_screen = nullptr;
}

bool Capture_CreateScreen(int x, int y, int width, int height, int fps, bool grabCursor)
{
    delete g_screen;
    g_screen = new ZMGrabScreen;
    if (g_screen->init(x, y, width, height, fps, grabCursor))
        return true;
    delete g_screen;
    g_screen = nullptr;
    return false;
}

void Capture_SetVideoCallback(DeliverFunc callback)
{
    if (g_screen)
        g_screen->m_callback = callback;
}

void Capture_AddFilter(int x, int y, QImage* mark)
{
    if (g_screen && mark)
        g_screen->addFilter(mark, x, y);
}

void Capture_StartScreen()
{
    if (g_screen)
        g_screen->start();
}

void Capture_PauseScreen()
{
    if (g_screen)
        g_screen->pause();
}

void Capture_ResumeScreen()
{
    if (g_screen)
        g_screen->resume();
}

void Capture_StopScreen()
{
    if (!g_screen)
        return;
    g_screen->stop();
    delete g_screen;
    g_screen = nullptr;
}

bool Capture_ScreenLost()
{
    return g_screen && g_screen->lost();
}
