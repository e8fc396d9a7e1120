// SPDX-License-Identifier: GPL-2.0-or-later
/* Screen content for the capture benchmark, drawn on the root window of $DISPLAY until killed,
 * over a still textured picture:
 *   motion   the whole screen scrolls the picture, so every pixel changes 30 times a second
 *   desktop  one small area (a box like a clock with a seconds hand) changes 30 times a second
 *   typing   a character-sized box appears after the last one 10 times a second, line by line
 *   idle     a clock-sized box changes once a second, nothing else */
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

/* One step of the typing content: the next "character" of a line of text. */
static void type(Display* d, Window root, GC gc, long step, int w)
{
    const int perLine = (w - 200) / 11;
    const int x = 100 + (int)(step % perLine) * 11, y = 100 + (int)(step / perLine % 40) * 22;
    XSetForeground(d, gc, 0x101010);
    XFillRectangle(d, root, gc, x, y, 9, 16);
}

int main(int argc, char** argv)
{
    const char* content = argc > 1 ? argv[1] : "desktop";
    const int motion = strcmp(content, "motion") == 0;
    const int typing = strcmp(content, "typing") == 0;
    const int idle = strcmp(content, "idle") == 0;
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
        } else if (typing) {
            if (frame % 3 == 0)
                type(d, root, gc, frame / 3, w);
        } else if (!idle || frame % 30 == 0) {
            XSetForeground(d, gc, (unsigned long)(frame * 2654435761u) & 0xffffff);
            XFillRectangle(d, root, gc, w - 220, h - 60, 200, 40);
        }
        XSync(d, False);
        sleepUntil(&due, 1000000000L / 30);
    }
}
