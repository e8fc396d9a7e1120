// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Puts known content on the test's X display: coloured rectangles as the root window's
// background (it stays after the connection closes, the test servers run with -noreset) and
// a square cursor of known colour and hot spot.

#include <cstdint>
#include <vector>


namespace xscene {

struct Rect {
    int x, y, width, height;
    uint32_t rgb;  // 0xRRGGBB
};

// Fills the whole root with `background`, then the rectangles in order.
bool paintRoot(uint32_t background, const std::vector<Rect>& rects);

// Gives the root window a size x size cursor of one colour with its hot spot at (hot, hot).
bool setSquareCursor(int size, int hot, uint32_t rgb);

// Moves the pointer to (x, y) on the root window.
bool movePointer(int x, int y);

// Width and height of the default screen.
bool screenSize(int* width, int* height);

// A private Xvfb of the given size (for tests that kill their server or need one without
// MIT-SHM, like a remote display): returns its process id and writes its display name (":N")
// to `name`; -1 when it did not come up.
int startXvfb(const char* size, char* name, int nameSize, bool withShm = true);
void stopXvfb(int pid);

} // namespace xscene
