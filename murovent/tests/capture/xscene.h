#pragma once

// Puts known content on the test's X display: coloured rectangles as the root window's
// background (it stays after the connection closes, the test servers run with -noreset) and
// a square cursor of known colour and hot spot.

#include <cstdint>
#include <memory>
#include <vector>


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

// A private Xvfb of the given size (for tests that kill their server or need one without
// MIT-SHM, like a remote display): returns its process id and writes its display name (":N")
// to `name`; -1 when it did not come up. With frameBufferDir its screen memory is the file
// Xvfb_screen0 there (an XWD image), which others can write into behind the server's back.
int startXvfb(const char* size, char* name, int nameSize, bool withShm = true,
              const char* frameBufferDir = nullptr);
void stopXvfb(int pid);

} // namespace xscene
