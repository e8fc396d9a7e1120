// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_capture.h"

#include "zm_grabscreen.h"

#include <memory>

namespace {
std::unique_ptr<ZMGrabScreen> g_screen;
}

bool Capture_CreateScreen(int x, int y, int width, int height, int fps, bool grabCursor)
{
    g_screen.reset();
    if (width <= 0 || height <= 0)
        return false;
    ZMScreenRequest request;
    request.area = QRect(x, y, width, height);
    request.cursor = grabCursor;
    request.fps = fps;
    QString error;
    auto screen = std::make_unique<ZMGrabScreen>();
    if (!screen->init(ZMScreenBackend::create(QStringLiteral("x11"), request, &error), fps))
        return false;
    g_screen = std::move(screen);
    return true;
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
    g_screen.reset();
}

bool Capture_ScreenLost()
{
    return g_screen && g_screen->lost();
}
