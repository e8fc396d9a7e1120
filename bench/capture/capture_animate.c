// SPDX-License-Identifier: GPL-2.0-or-later
/* Screen content for the capture benchmark, drawn on the root window of $DISPLAY at 30 frames
 * a second until killed:
 *   motion   the whole screen scrolls a textured picture, so every pixel changes every frame
 *   desktop  a still textured picture with one small changing area (a clock-like box) */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

static void texture(Display* d, Drawable target, GC gc, int w, int h)
{
    srand(7);
    XSetForeground(d, gc, 0x3a6ea5);
    XFillRectangle(d, target, gc, 0, 0, w, h);
    for (int i = 0; i < 4000; ++i) {
        XSetForeground(d, gc, (unsigned long)rand() & 0xffffff);
        XFillRectangle(d, target, gc, rand() % w, rand() % h, 4 + rand() % 120, 2 + rand() % 40);
    }
}

static void sleepUntil(struct timespec* due, long stepNs)
{
    due->tv_nsec += stepNs;
    while (due->tv_nsec >= 1000000000L) {
        due->tv_nsec -= 1000000000L;
        due->tv_sec += 1;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, due, NULL);
}

int main(int argc, char** argv)
{
    const int motion = argc > 1 && strcmp(argv[1], "motion") == 0;
    Display* d = XOpenDisplay(NULL);
    if (!d) {
        fprintf(stderr, "capture_animate: cannot open display\n");
        return 1;
    }
    const int screen = DefaultScreen(d);
    const Window root = RootWindow(d, screen);
    const int w = DisplayWidth(d, screen), h = DisplayHeight(d, screen);
    Pixmap picture = XCreatePixmap(d, root, 2 * w, h, DefaultDepth(d, screen));
    GC gc = XCreateGC(d, root, 0, NULL);
    texture(d, picture, gc, w, h);
    XCopyArea(d, picture, picture, gc, 0, 0, w, h, w, 0); /* seamless scrolling */
    XCopyArea(d, picture, root, gc, 0, 0, w, h, 0, 0);
    XSync(d, False);
    struct timespec due;
    clock_gettime(CLOCK_MONOTONIC, &due);
    for (long frame = 0;; ++frame) {
        if (motion) {
            XCopyArea(d, picture, root, gc, (int)(frame * 13 % w), 0, w, h, 0, 0);
        } else {
            XSetForeground(d, gc, (unsigned long)(frame * 2654435761u) & 0xffffff);
            XFillRectangle(d, root, gc, w - 220, h - 60, 200, 40);
        }
        XSync(d, False);
        sleepUntil(&due, 1000000000L / 30);
    }
}
