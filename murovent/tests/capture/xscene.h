// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Puts known content on the test's X display: coloured rectangles as the root window's
// background (it stays after the connection closes, the test servers run with -noreset) and
// a square cursor of known colour and hot spot, and windows of other clients.

#include <cstdint>
#include <memory>
#include <vector>

struct _XDisplay;

namespace xscene {

struct Rect {
    int x, y, width, height;
    uint32_t rgb;  // 0xRRGGBB
};

// One connection of its own that draws on the root window and shows one window, for scenes
// that change while a recording runs. Calls return once the server has done the drawing.
class Canvas {
public:
    Canvas();
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;
    bool isOpen() const;
    void fill(const Rect& rect);
    // All of them in one colour and one request: no other client ever sees some filled and
    // others not.
    void fillAtOnce(const std::vector<Rect>& rects, uint32_t rgb);
    // An unmanaged window of rect.rgb at rect: made and shown the first time, then moved.
    void showWindow(const Rect& rect);

private:
    struct Connection;
    std::unique_ptr<Connection> m_connection;
};

// Fills the whole root with `background`, then the rectangles in order.
bool paintRoot(uint32_t background, const std::vector<Rect>& rects);

// Fills a rectangle straight on the root window (until something clears it).
bool fillRect(const Rect& rect);

// Gives the root window a size x size cursor of one colour with its hot spot at (hot, hot).
bool setSquareCursor(int size, int hot, uint32_t rgb);

// Moves the pointer to (x, y) on the root window.
bool movePointer(int x, int y);

// Width and height of the default screen.
bool screenSize(int* width, int* height);

// True while another client holds the pointer (waiting for a click, say).
bool pointerTaken();

// A window of one colour on a connection of its own, as another program's window would be:
// shown at construction (id() is 0 when that failed), gone when closed or destroyed.
class ClientWindow
{
public:
    ClientWindow(int x, int y, int width, int height, uint32_t rgb, int border = 0);
    ~ClientWindow();
    ClientWindow(const ClientWindow&) = delete;
    ClientWindow& operator=(const ClientWindow&) = delete;

    unsigned long id() const { return m_window; }
    void move(int x, int y);
    void close();

private:
    _XDisplay* m_display = nullptr;
    unsigned long m_window = 0;
};

// A private Xvfb of the given size (for tests that kill their server or need one without
// MIT-SHM, like a remote display): returns its process id and writes its display name (":N")
// to `name`; -1 when it did not come up. With frameBufferDir its screen memory is the file
// Xvfb_screen0 there (an XWD image), which others can write into behind the server's back.
int startXvfb(const char* size, char* name, int nameSize, bool withShm = true,
              const char* frameBufferDir = nullptr);
void stopXvfb(int pid);

} // namespace xscene
