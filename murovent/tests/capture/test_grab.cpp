// SPDX-License-Identifier: GPL-2.0-or-later
// The X11 grabber, the watermark filter and the grab thread against the test's own Xvfb.
#include "_image_filter.h"
#include "grab_x11.h"
#include "xscene.h"
#include "zm_blockcopy.h"
#include "zm_capture.h"
#include "zm_desktopsnapshot.h"
#include "zm_grabscreen.h"
#include "zm_monitors.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegion>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

const uint32_t kBackground = 0x203040;
const uint32_t kRed = 0xff0000, kGreen = 0x00ff00, kBlue = 0x0000ff, kMagenta = 0xff00ff;

uint32_t rgbAt(const unsigned char* frame, int width, int x, int y)
{
    const unsigned char* p = frame + (size_t(y) * width + x) * 4;
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

class GrabX11Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(xscene::screenSize(&m_width, &m_height));
        ASSERT_TRUE(xscene::paintRoot(kBackground, {{100, 50, 200, 100, kRed},
                                                    {400, 300, 50, 60, kGreen},
                                                    {m_width - 50, m_height - 50, 50, 50, kBlue}}));
        xscene::movePointer(m_width / 2, m_height / 2);
    }
    int m_width = 0, m_height = 0;
};

TEST_F(GrabX11Test, FullScreenPixelsAreWhatWasDrawn)
{
    Grab_X11 grab(0, 0, m_width, m_height, false);
    ASSERT_TRUE(grab.isValid());
    EXPECT_TRUE(grab.usesShm());
    const unsigned char* frame = grab.grab();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(rgbAt(frame, m_width, 0, 0), kBackground);
    EXPECT_EQ(rgbAt(frame, m_width, 100, 50), kRed);
    EXPECT_EQ(rgbAt(frame, m_width, 299, 149), kRed);
    EXPECT_EQ(rgbAt(frame, m_width, 300, 150), kBackground);
    EXPECT_EQ(rgbAt(frame, m_width, 420, 330), kGreen);
    EXPECT_EQ(rgbAt(frame, m_width, m_width - 1, m_height - 1), kBlue);
    EXPECT_EQ(grab.grab(), frame) << "one persistent buffer";
    EXPECT_EQ(grab.frame(), frame);
}

TEST_F(GrabX11Test, OffsetAreaStartsAtItsOrigin)
{
    Grab_X11 grab(90, 40, 320, 240, false);
    ASSERT_TRUE(grab.isValid());
    const unsigned char* frame = grab.grab();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(grab.size(), QSize(320, 240));
    EXPECT_EQ(rgbAt(frame, 320, 9, 9), kBackground);
    EXPECT_EQ(rgbAt(frame, 320, 10, 10), kRed);
    EXPECT_EQ(rgbAt(frame, 320, 209, 109), kRed);
    EXPECT_EQ(rgbAt(frame, 320, 210, 110), kBackground);
}

TEST_F(GrabX11Test, PlainPathGivesTheSamePixels)
{
    Grab_X11 shm(90, 40, 402, 330, false);
    Grab_X11 plain(90, 40, 402, 330, false, nullptr, false);
    ASSERT_TRUE(shm.isValid() && plain.isValid());
    EXPECT_TRUE(shm.usesShm());
    EXPECT_FALSE(plain.usesShm());
    const unsigned char* a = shm.grab();
    const unsigned char* b = plain.grab();
    ASSERT_TRUE(a && b);
    int differing = 0;
    for (int y = 0; y < 330; ++y)
        for (int x = 0; x < 402; ++x)
            differing += rgbAt(a, 402, x, y) != rgbAt(b, 402, x, y);
    EXPECT_EQ(differing, 0);
    EXPECT_EQ(rgbAt(b, 402, 330, 260), kGreen);
}

TEST_F(GrabX11Test, RefusesWhatCannotBeGrabbed)
{
    EXPECT_FALSE(Grab_X11(m_width - 100, 0, 101, 100, false).isValid());
    EXPECT_FALSE(Grab_X11(0, m_height - 10, 100, 11, false).isValid());
    EXPECT_FALSE(Grab_X11(-1, 0, 100, 100, false).isValid());
    EXPECT_FALSE(Grab_X11(0, 0, 0, 100, false).isValid());
    EXPECT_FALSE(Grab_X11(0, 0, 64, 64, false, ":4097").isValid());
    Grab_X11 invalid(0, 0, m_width + 2, m_height, false);
    EXPECT_EQ(invalid.grab(), nullptr);
    EXPECT_TRUE(invalid.error().contains("not inside the screen")) << invalid.error().toStdString();
    EXPECT_FALSE(Grab_X11(2, 0, 2147483646, 64, false).isValid()) << "x + width wraps around";
    EXPECT_FALSE(Grab_X11(0, 2, 64, 2147483646, false).isValid());
}

TEST_F(GrabX11Test, BackEndsAreChosenByName)
{
    qunsetenv("WAYLAND_DISPLAY");
    EXPECT_EQ(ZMScreenBackend::autoName(), "x11");
    QString error;
    ZMScreenRequest whole;
    auto screen = ZMScreenBackend::create("auto", whole, &error);
    ASSERT_TRUE(screen) << error.toStdString();
    EXPECT_STREQ(screen->name(), "x11");
    EXPECT_EQ(screen->size(), QSize(m_width & ~1, m_height & ~1));
    ASSERT_EQ(screen->next(), ZMScreenBackend::Next::Picture);
    EXPECT_EQ(rgbAt(screen->frame(), screen->size().width(), 100, 50), kRed);

    ZMScreenRequest outside;
    outside.area = QRect(m_width - 10, 0, 64, 64);
    EXPECT_FALSE(ZMScreenBackend::create("x11", outside, &error));
    EXPECT_TRUE(error.contains("not inside the screen")) << error.toStdString();
    EXPECT_FALSE(ZMScreenBackend::create("vnc", whole, &error));
    EXPECT_TRUE(error.contains("unknown screen back-end 'vnc'")) << error.toStdString();
    outside.display = ":4097";
    EXPECT_FALSE(ZMScreenBackend::create("x11", outside, &error));
    EXPECT_TRUE(error.contains("cannot open the X display :4097")) << error.toStdString();
}

TEST_F(GrabX11Test, CursorIsDrawnAtPointerMinusHotSpotAndClipped)
{
    ASSERT_TRUE(xscene::setSquareCursor(16, 5, kMagenta));
    ASSERT_TRUE(xscene::movePointer(600, 500));
    {
        Grab_X11 without(0, 0, m_width, m_height, false);
        const unsigned char* frame = without.grab();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(rgbAt(frame, m_width, 600, 500), kBackground);
    }
    Grab_X11 area(500, 400, 300, 200, true);
    const unsigned char* frame = area.grab();
    ASSERT_NE(frame, nullptr);
    // The square spans the pointer position minus 5 to plus 10.
    EXPECT_EQ(rgbAt(frame, 300, 95, 95), kMagenta);
    EXPECT_EQ(rgbAt(frame, 300, 110, 110), kMagenta);
    EXPECT_EQ(rgbAt(frame, 300, 94, 95), kBackground);
    EXPECT_EQ(rgbAt(frame, 300, 111, 111), kBackground);

    ASSERT_TRUE(xscene::movePointer(m_width - 3, m_height - 3));
    Grab_X11 full(0, 0, m_width, m_height, true);
    frame = full.grab();
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(rgbAt(frame, m_width, m_width - 1, m_height - 1), kMagenta);
    EXPECT_EQ(rgbAt(frame, m_width, m_width - 8, m_height - 8), kMagenta);
    EXPECT_EQ(rgbAt(frame, m_width, m_width - 9, m_height - 9), kBlue);
    ASSERT_TRUE(xscene::movePointer(2, 2));
    frame = full.grab();
    EXPECT_EQ(rgbAt(frame, m_width, 0, 0), kMagenta);
    EXPECT_EQ(rgbAt(frame, m_width, 12, 12), kMagenta);
    EXPECT_EQ(rgbAt(frame, m_width, 13, 13), kBackground);
}

// --- monitors, windows and the pointer ----------------------------------------------------

std::unique_ptr<ZMScreenBackend> openX11(const ZMScreenRequest& request, QString* error)
{
    return ZMScreenBackend::create(QStringLiteral("x11"), request, error);
}

// The back-end's next picture: true once it is lost.
bool lostWithin(ZMScreenBackend& source, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        if (source.next() == ZMScreenBackend::Next::Lost)
            return true;
    return false;
}

TEST_F(GrabX11Test, MonitorsAreFoundByNameOrNumberAndAGoneOneEndsTheGrab)
{
    const int half = m_width / 2;
    const std::string split = "xrandr --setmonitor LEFT " + std::to_string(half) + "/250x" + std::to_string(m_height)
                              + "/280+0+0 none && xrandr --setmonitor RIGHT " + std::to_string(half) + "/250x"
                              + std::to_string(m_height) + "/280+" + std::to_string(half) + "+0 none";
    ASSERT_EQ(std::system(split.c_str()), 0);
    QString error;
    const std::vector<ZMMonitors::Monitor> monitors = ZMMonitors::list(QByteArray(), &error);
    ASSERT_EQ(monitors.size(), 3u) << error.toStdString();
    const int right = ZMMonitors::find(monitors, "RIGHT");
    ASSERT_GE(right, 0);
    EXPECT_EQ(monitors[right].geometry, QRect(half, 0, half, m_height));
    EXPECT_EQ(ZMMonitors::find(monitors, QString::number(right)), right);
    EXPECT_EQ(ZMMonitors::find(monitors, "3"), -1);
    EXPECT_EQ(ZMMonitors::find(monitors, "nosuch"), -1);
    EXPECT_EQ(ZMMonitors::at(monitors, QPoint(half + 5, 5)), right) << "the split wins over the whole screen";

    ZMScreenRequest request;
    request.monitor = "nosuch";
    EXPECT_FALSE(openX11(request, &error));
    EXPECT_TRUE(error.contains("there is no monitor 'nosuch' (there are: ")) << error.toStdString();
    request.monitor = "RIGHT";
    auto source = openX11(request, &error);
    ASSERT_TRUE(source) << error.toStdString();
    EXPECT_EQ(source->size(), QSize(half & ~1, m_height & ~1));
    ASSERT_EQ(source->next(), ZMScreenBackend::Next::Picture);
    EXPECT_EQ(rgbAt(source->frame(), half & ~1, (half & ~1) - 1, (m_height & ~1) - 1), kBlue) << "the right half";
    EXPECT_FALSE(lostWithin(*source, 500));
    ASSERT_EQ(std::system("xrandr --delmonitor RIGHT && xrandr --delmonitor LEFT"), 0);
    EXPECT_TRUE(lostWithin(*source, 2000));
    EXPECT_EQ(source->error(), "the monitor RIGHT went away or changed its size");
}

TEST_F(GrabX11Test, WindowIsFollowedWithItsFrameUntilItIsClosed)
{
    xscene::ClientWindow window(500, 400, 300, 200, kGreen, 2);
    ASSERT_NE(window.id(), 0u);
    ZMScreenRequest request;
    request.window = window.id();
    QString error;
    auto source = openX11(request, &error);
    ASSERT_TRUE(source) << error.toStdString();
    ASSERT_EQ(source->size(), QSize(304, 204)) << "the border is part of the frame";
    ASSERT_EQ(source->next(), ZMScreenBackend::Next::Picture);
    EXPECT_EQ(rgbAt(source->frame(), 304, 0, 0), 0xffffffu) << "border";
    EXPECT_EQ(rgbAt(source->frame(), 304, 2, 2), kGreen);
    EXPECT_EQ(rgbAt(source->frame(), 304, 301, 201), kGreen);

    window.move(90, 40);
    ASSERT_EQ(source->next(), ZMScreenBackend::Next::Picture);
    EXPECT_EQ(rgbAt(source->frame(), 304, 150, 100), kGreen);
    EXPECT_EQ(rgbAt(source->frame(), 304, 303, 203), 0xffffffu);
    // Half off the screen, the area keeps its size and stays on the screen's edge.
    window.move(m_width - 100, m_height - 50);
    ASSERT_EQ(source->next(), ZMScreenBackend::Next::Picture);
    EXPECT_EQ(rgbAt(source->frame(), 304, 303, 203), kGreen);
    EXPECT_EQ(rgbAt(source->frame(), 304, 303 - 104, 203), kBackground) << "the desktop left of the window";

    window.close();
    ASSERT_EQ(source->next(), ZMScreenBackend::Next::Lost);
    EXPECT_EQ(source->error(), QStringLiteral("the window 0x%1 was closed").arg(request.window, 0, 16));
    request.window = 0x7fffff0;
    EXPECT_FALSE(openX11(request, &error));
    EXPECT_EQ(error, "there is no window 0x7fffff0 on the X display");
}

TEST_F(GrabX11Test, AreaFollowsThePointerInsideTheScreen)
{
    ZMScreenRequest request;
    request.area = QRect(0, 0, 200, 100);
    request.followCursor = true;
    QString error;
    ASSERT_TRUE(xscene::movePointer(200, 100));
    auto source = openX11(request, &error);
    ASSERT_TRUE(source) << error.toStdString();
    ASSERT_EQ(source->next(), ZMScreenBackend::Next::Picture);
    // Centred on the pointer: exactly the red rectangle at 100,50.
    EXPECT_EQ(rgbAt(source->frame(), 200, 0, 0), kRed);
    EXPECT_EQ(rgbAt(source->frame(), 200, 199, 99), kRed);
    ASSERT_TRUE(xscene::movePointer(m_width - 5, m_height - 5));
    ASSERT_EQ(source->next(), ZMScreenBackend::Next::Picture);
    EXPECT_EQ(rgbAt(source->frame(), 200, 199, 99), kBlue) << "stopped at the screen's corner";
    EXPECT_EQ(rgbAt(source->frame(), 200, 149, 49), kBackground);
    ASSERT_TRUE(xscene::movePointer(3, 3));
    ASSERT_EQ(source->next(), ZMScreenBackend::Next::Picture);
    EXPECT_EQ(rgbAt(source->frame(), 200, 0, 0), kBackground);
    EXPECT_EQ(rgbAt(source->frame(), 200, 100, 50), kRed);

    request.area = QRect(0, 0, m_width + 2, 100);
    EXPECT_FALSE(openX11(request, &error));
    EXPECT_TRUE(error.startsWith("following the pointer needs an area of at most")) << error.toStdString();
}

TEST_F(GrabX11Test, SnapshotHoldsTheWholeDesktopAndItsWindows)
{
    xscene::ClientWindow below(300, 300, 200, 100, kGreen);
    xscene::ClientWindow above(350, 320, 50, 50, kRed, 1);
    ZMDesktopSnapshot snapshot;
    QString error;
    ASSERT_TRUE(snapshot.take(QByteArray(), &error)) << error.toStdString();
    ASSERT_EQ(snapshot.picture().size(), QSize(m_width, m_height));
    EXPECT_EQ(snapshot.picture().pixel(m_width - 1, m_height - 1), 0xff000000u | kBlue);
    EXPECT_EQ(snapshot.picture().pixel(320, 310), 0xff000000u | kGreen);
    const auto& windows = snapshot.windows();
    const int top = ZMX11Windows::at(windows, QPoint(360, 330));
    ASSERT_GE(top, 0);
    EXPECT_EQ(windows[top].id, above.id());
    EXPECT_EQ(windows[top].rect, QRect(350, 320, 52, 52));
    const int lower = ZMX11Windows::at(windows, QPoint(310, 310));
    ASSERT_GE(lower, 0);
    EXPECT_EQ(windows[lower].id, below.id());
    EXPECT_EQ(ZMX11Windows::at(windows, QPoint(5, 5)), -1) << "the bare desktop is no window";
}

::testing::AssertionResult sameAsWholeGrab(Grab_X11& following, const QRect& area, bool shm)
{
    Grab_X11 whole(area.x(), area.y(), area.width(), area.height(), true, nullptr, shm);
    const unsigned char* expected = whole.grab();
    if (!expected)
        return ::testing::AssertionFailure() << "no whole grab";
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            if (rgbAt(following.frame(), area.width(), x, y) != rgbAt(expected, area.width(), x, y))
                return ::testing::AssertionFailure()
                       << "differs from a whole grab at " << x << "," << y << ": " << std::hex
                       << rgbAt(following.frame(), area.width(), x, y) << " instead of "
                       << rgbAt(expected, area.width(), x, y);
    return ::testing::AssertionSuccess();
}

bool covered(const std::vector<QRect>* parts, const QRect& area, long long* pixels)
{
    QRegion all;
    *pixels = 0;
    for (const QRect& part : *parts) {
        all += part;
        *pixels += static_cast<long long>(part.width()) * part.height();
    }
    return all.contains(area) && (all & area) == QRegion(area);
}

// Following changes, a picture grabs again only what was drawn, and the cursor's old and new
// places when it moved or was drawn over; the frame stays exactly a whole grab's, with one
// cursor and no trace of an old one. Nothing drawn: nothing new. With shared memory (whole
// rows) and without (rectangles).
TEST_F(GrabX11Test, FollowingChangesKeepsTheFrameEqualToAWholeGrab)
{
    using Next = ZMScreenBackend::Next;
    ASSERT_TRUE(xscene::setSquareCursor(16, 5, kMagenta));
    const QRect area(40, 30, 640, 400);
    for (const bool shm : {true, false}) {
        SCOPED_TRACE(shm ? "shared memory" : "plain");
        ASSERT_TRUE(xscene::movePointer(300, 200));
        Grab_X11 following(area.x(), area.y(), area.width(), area.height(), true, nullptr, shm);
        ASSERT_TRUE(following.followChanges());
        ASSERT_EQ(following.next(), Next::Picture);
        EXPECT_EQ(following.changed(), nullptr) << "the first picture is whole";
        EXPECT_EQ(following.next(), Next::NothingNew);

        ASSERT_TRUE(xscene::fillRect({200, 100, 30, 20, kGreen}));
        ASSERT_EQ(following.next(), Next::Picture);
        ASSERT_NE(following.changed(), nullptr);
        long long pixels = 0;
        EXPECT_TRUE(covered(following.changed(), QRect(160, 70, 30, 20), &pixels));
        EXPECT_LE(pixels, shm ? 640 * 20 : 30 * 20);
        EXPECT_TRUE(sameAsWholeGrab(following, area, shm));

        ASSERT_TRUE(xscene::movePointer(500, 300));
        ASSERT_EQ(following.next(), Next::Picture);
        EXPECT_TRUE(covered(following.changed(), QRect(255, 165, 16, 16), &pixels)) << "the old place";
        EXPECT_TRUE(covered(following.changed(), QRect(455, 265, 16, 16), &pixels)) << "the new place";
        EXPECT_TRUE(sameAsWholeGrab(following, area, shm));

        // Drawn over and around the cursor: it is drawn once more, not twice.
        ASSERT_TRUE(xscene::fillRect({495, 290, 30, 6, kBlue}));
        ASSERT_EQ(following.next(), Next::Picture);
        EXPECT_TRUE(sameAsWholeGrab(following, area, shm));
        EXPECT_EQ(following.next(), Next::NothingNew);

        // Most of the area drawn, and the pointer moved: all of it is taken, as changed.
        ASSERT_TRUE(xscene::fillRect({40, 30, 640, 300, kRed}));
        ASSERT_TRUE(xscene::movePointer(350, 400));
        ASSERT_EQ(following.next(), Next::Picture);
        ASSERT_NE(following.changed(), nullptr);
        EXPECT_TRUE(covered(following.changed(), QRect(0, 0, 640, 400), &pixels));
        EXPECT_TRUE(sameAsWholeGrab(following, area, shm));
        ASSERT_TRUE(xscene::paintRoot(kBackground, {}));
    }
}

TEST(GrabX11Remote, ServerWithoutSharedMemoryIsGrabbedThePlainWay)
{
    char name[32];
    const int server = xscene::startXvfb("640x480", name, sizeof name, false);
    ASSERT_GT(server, 0);
    const char* ownDisplay = getenv("DISPLAY");
    const std::string saved = ownDisplay ? ownDisplay : "";
    setenv("DISPLAY", name, 1);
    const bool painted = xscene::paintRoot(kBackground, {{10, 20, 30, 40, kGreen}});
    setenv("DISPLAY", saved.c_str(), 1);
    ASSERT_TRUE(painted);
    {
        Grab_X11 grab(0, 0, 640, 480, false, name);
        ASSERT_TRUE(grab.isValid());
        EXPECT_FALSE(grab.usesShm());
        const unsigned char* frame = grab.grab();
        ASSERT_NE(frame, nullptr);
        EXPECT_EQ(rgbAt(frame, 640, 10, 20), kGreen);
        EXPECT_EQ(rgbAt(frame, 640, 39, 59), kGreen);
        EXPECT_EQ(rgbAt(frame, 640, 40, 60), kBackground);
    }
    xscene::stopXvfb(server);
}

TEST(GrabX11Lost, BrokenConnectionEndsGrabbingWithoutEndingTheProcess)
{
    char name[32];
    const int server = xscene::startXvfb("640x480", name, sizeof name);
    ASSERT_GT(server, 0);
    Grab_X11 grab(0, 0, 640, 480, true, name);
    ASSERT_TRUE(grab.isValid());
    ASSERT_NE(grab.grab(), nullptr);
    xscene::stopXvfb(server);
    EXPECT_EQ(grab.grab(), nullptr);
    EXPECT_EQ(grab.grab(), nullptr);
}

// --- watermark filter ------------------------------------------------------------------

QImage solid(int w, int h, QRgb argb)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(QColor::fromRgba(argb));
    return image;
}

std::vector<unsigned char> blackFrame(int w, int h)
{
    return std::vector<unsigned char>(size_t(w) * h * 4, 0);
}

TEST(ImageFilter, MarkPartlyOutsideIsClipped)
{
    auto frame = blackFrame(1920, 1080);
    ImageFilter filter(solid(200, 80, 0xffff0000));
    filter.setPosition(1800, 1000);
    filter.apply(frame.data(), 1920, 1080);
    EXPECT_EQ(rgbAt(frame.data(), 1920, 1800, 1000), kRed);
    EXPECT_EQ(rgbAt(frame.data(), 1920, 1919, 1079), kRed);
    EXPECT_EQ(rgbAt(frame.data(), 1920, 1799, 1000), 0u);
    EXPECT_EQ(rgbAt(frame.data(), 1920, 1800, 999), 0u);

    ImageFilter negative(solid(50, 50, 0xff00ff00));
    negative.setPosition(-20, -30);
    negative.apply(frame.data(), 1920, 1080);
    EXPECT_EQ(rgbAt(frame.data(), 1920, 29, 19), kGreen);
    EXPECT_EQ(rgbAt(frame.data(), 1920, 30, 20), 0u);
}

TEST(ImageFilter, MarkLargerThanTheFrameIsSkippedOneAsLargeIsDrawn)
{
    auto frame = blackFrame(1920, 1080);
    ImageFilter wide(solid(1921, 10, 0xffff0000));
    wide.apply(frame.data(), 1920, 1080);
    ImageFilter tall(solid(10, 1081, 0xffff0000));
    tall.apply(frame.data(), 1920, 1080);
    EXPECT_TRUE(std::all_of(frame.begin(), frame.end(), [](unsigned char c) { return c == 0; }));
    ImageFilter exact(solid(1920, 1080, 0xff0000ff));
    exact.apply(frame.data(), 1920, 1080);
    EXPECT_EQ(rgbAt(frame.data(), 1920, 0, 0), kBlue);
    EXPECT_EQ(rgbAt(frame.data(), 1920, 1919, 1079), kBlue);
}

TEST(ImageFilter, TranslucentMarkBlendsWithTheScreenWhateverItsFourthByte)
{
    // Screen pixels come with a fourth byte of 0.
    std::vector<unsigned char> frame(16 * 16 * 4);
    for (size_t i = 0; i < frame.size(); i += 4)
        frame[i + 2] = 200;
    ImageFilter filter(solid(16, 16, 0x80ffffff));
    filter.apply(frame.data(), 16, 16);
    const unsigned char* p = frame.data() + (5 * 16 + 5) * 4;
    EXPECT_NEAR(p[0], 128, 2);
    EXPECT_NEAR(p[1], 128, 2);
    EXPECT_NEAR(p[2], 228, 2);
}

TEST(ImageFilter, KeepsItsOwnCopyOfTheMark)
{
    QImage mark = solid(8, 8, 0xffff0000);
    ImageFilter filter(mark);
    mark.fill(Qt::green);
    auto frame = blackFrame(8, 8);
    filter.apply(frame.data(), 8, 8);
    EXPECT_EQ(rgbAt(frame.data(), 8, 4, 4), kRed);
}

// --- grab thread -------------------------------------------------------------------------

std::atomic<int> g_calls{0};
std::atomic<bool> g_accept{true};
std::mutex g_frameMutex;
std::vector<unsigned char> g_lastFrame;

bool receive(const char* bytes, int count)
{
    {
        std::lock_guard<std::mutex> lock(g_frameMutex);
        g_lastFrame.assign(bytes, bytes + count);
    }
    ++g_calls;
    return g_accept;
}

class GrabThreadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_calls = 0;
        g_accept = true;
        ASSERT_TRUE(xscene::paintRoot(kBackground, {}));
        ASSERT_TRUE(m_source.init(std::make_unique<Grab_X11>(0, 0, 64, 48, false), 20));
        m_source.m_callback = receive;
    }
    int callsDuring(int ms)
    {
        const int before = g_calls;
        QThread::msleep(ms);
        return g_calls - before;
    }
    ZMGrabScreen m_source;
};

TEST_F(GrabThreadTest, DeliversAtTheFrameRate)
{
    m_source.start();
    QThread::msleep(200);
    const int calls = callsDuring(1000);
    m_source.stop();
    EXPECT_GE(calls, 12);
    EXPECT_LE(calls, 22) << "grabs must follow the frame rate, not run ahead";
    EXPECT_FALSE(m_source.lost());
}

TEST_F(GrabThreadTest, RefusingReceiverIsAskedAtMostTenTimesASecond)
{
    g_accept = false;
    m_source.start();
    QThread::msleep(100);
    const int calls = callsDuring(1000);
    m_source.stop();
    EXPECT_GE(calls, 3);
    EXPECT_LE(calls, 11);
}

TEST_F(GrabThreadTest, PauseStopsDeliveryAndStopWhilePausedIsQuick)
{
    m_source.start();
    QThread::msleep(200);
    m_source.pause();
    QThread::msleep(100);
    EXPECT_LE(callsDuring(500), 0);
    m_source.resume();
    EXPECT_GE(callsDuring(500), 4) << "resumed delivery";
    m_source.pause();
    QThread::msleep(100);
    QElapsedTimer timer;
    timer.start();
    m_source.stop();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_TRUE(m_source.isFinished());
    timer.restart();
    m_source.stop();
    EXPECT_LT(timer.elapsed(), 50);
}

TEST_F(GrabThreadTest, WithoutReceiverTheThreadEnds)
{
    m_source.m_callback = nullptr;
    m_source.start();
    EXPECT_TRUE(m_source.wait(5000));
    EXPECT_EQ(g_calls, 0);
}

TEST_F(GrabThreadTest, FiltersPaintInTheOrderTheyWereAdded)
{
    QImage red = solid(32, 32, 0xffff0000), blue = solid(32, 32, 0xff0000ff);
    m_source.addFilter(&red, 0, 0);
    m_source.addFilter(&blue, 16, 16);
    m_source.start();
    for (int i = 0; i < 500 && g_calls == 0; ++i)
        QThread::msleep(10);
    m_source.stop();
    ASSERT_GT(g_calls, 0);
    std::lock_guard<std::mutex> lock(g_frameMutex);
    ASSERT_EQ(g_lastFrame.size(), 64u * 48 * 4);
    EXPECT_EQ(rgbAt(g_lastFrame.data(), 64, 5, 5), kRed);
    EXPECT_EQ(rgbAt(g_lastFrame.data(), 64, 20, 20), kBlue);
    EXPECT_EQ(rgbAt(g_lastFrame.data(), 64, 50, 40), kBackground);
}

TEST_F(GrabThreadTest, FacadeRefusesAnUnusableAreaAndReplacesItsSource)
{
    int w = 0, h = 0;
    ASSERT_TRUE(xscene::screenSize(&w, &h));
    EXPECT_FALSE(Capture_CreateScreen(w - 10, 0, 64, 64, 10, false));
    EXPECT_FALSE(Capture_CreateScreen(0, 0, 64, 64, 0, false));
    Capture_SetVideoCallback(receive);  // no source: nothing happens
    Capture_StartScreen();
    EXPECT_FALSE(Capture_ScreenLost());
    Capture_StopScreen();
    EXPECT_EQ(g_calls, 0);

    ASSERT_TRUE(Capture_CreateScreen(0, 0, 64, 48, 20, false));
    Capture_SetVideoCallback(receive);
    Capture_StartScreen();
    QThread::msleep(200);
    ASSERT_GT(g_calls, 0);
    // Creating again stops and deletes the running source first.
    ASSERT_TRUE(Capture_CreateScreen(0, 0, 32, 32, 20, false));
    const int afterReplace = g_calls;
    QThread::msleep(200);
    EXPECT_EQ(g_calls, afterReplace) << "the replaced source still delivers";
    Capture_SetVideoCallback(receive);
    Capture_StartScreen();
    for (int i = 0; i < 100 && g_calls == afterReplace; ++i)
        QThread::msleep(10);
    Capture_StopScreen();
    std::lock_guard<std::mutex> lock(g_frameMutex);
    EXPECT_EQ(g_lastFrame.size(), 32u * 32 * 4);
}

} // namespace

// A part that does not start on the block grid, with changes in its first and last (cut short)
// blocks and one pixel in the middle: exactly those blocks (from their first changed row) are
// copied and listed, nothing outside the part is touched, and blocks changed in every row of a
// band merge downwards.
TEST(BlockCopy, CopiesAndListsOnlyTheChangedBlocksOfThePart)
{
    const int width = 70, height = 56, stride = width * 4;
    std::vector<uint8_t> older(size_t(stride) * height), newer;
    for (size_t i = 0; i < older.size(); ++i)
        older[i] = uint8_t(i * 7 + i / 13);
    newer = older;
    const auto touch = [&](int x, int y) { newer[size_t(y) * stride + x * 4 + 1] ^= 0x55; };
    const QRect part(3, 2, 67, 54);
    touch(3, 2), touch(69, 55), touch(40, 20), touch(1, 1);
    for (int y = 32; y < 56; ++y)
        touch(20, y);
    std::vector<uint8_t> target = older;
    std::vector<QRect> changed;
    ZMBlockCopy::update(newer.data() + 2 * stride + 3 * 4, stride, target.data() + 2 * stride + 3 * 4, stride, part,
                        &changed);
    const std::vector<QRect> expected = {QRect(3, 2, 13, 14), QRect(32, 20, 16, 12), QRect(16, 32, 16, 24),
                                         QRect(64, 48, 6, 8)};
    EXPECT_EQ(changed, expected);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t at = size_t(y) * stride + x * 4;
            const bool inBlock =
                std::any_of(expected.begin(), expected.end(), [&](const QRect& r) { return r.contains(x, y); });
            ASSERT_EQ(std::memcmp(&target[at], inBlock ? &newer[at] : &older[at], 4), 0) << x << "," << y;
        }

    // Past the limit the rectangles become the one around them; up to it they stay.
    ZMBlockCopy::bound(&changed, expected.size());
    EXPECT_EQ(changed, expected);
    ZMBlockCopy::bound(&changed, expected.size() - 1);
    EXPECT_EQ(changed, std::vector<QRect>{QRect(3, 2, 67, 54)});
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
