// The screen back-end "portal" against the test's headless Wayland desktop: the real portal
// hands out the real compositor's pictures over PipeWire (scripts/testenv --wayland).
#include "wlscene.h"
#include "zm_screenbackend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace {

const uint32_t kBackground = 0x336699, kRed = 0xff0000, kGreen = 0x00ff00, kYellow = 0xffff00;

uint32_t rgbAt(const ZMScreenBackend& screen, const unsigned char* frame, int x, int y)
{
    const unsigned char* p = frame + (size_t(y) * screen.size().width() + x) * 4;
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

std::unique_ptr<ZMScreenBackend> openPortal(const ZMScreenRequest& request, QString* error)
{
    return ZMScreenBackend::create(QStringLiteral("portal"), request, error);
}

// Takes pictures until one satisfies `good` (the compositor shows a change a little later).
bool waitForPicture(ZMScreenBackend& screen, const std::function<bool(const unsigned char*)>& good, int ms = 5000)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        const ZMScreenBackend::Next next = screen.next();
        if (next == ZMScreenBackend::Next::Lost)
            return false;
        if (next == ZMScreenBackend::Next::Picture && good(screen.frame()))
            return true;
        QThread::msleep(10);
    }
    return false;
}

class PortalTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(wlscene::paintBackground(kBackground, {{100, 50, 200, 100, kRed}, {400, 300, 50, 60, kGreen},
                                                           {1230, 0, 50, 50, kYellow}}));
    }
};

TEST_F(PortalTest, WholeMonitorShowsTheDesktopAndOnlyNewPicturesCount)
{
    QString error;
    auto screen = openPortal({}, &error);
    ASSERT_TRUE(screen) << error.toStdString();
    EXPECT_STREQ(screen->name(), "portal");
    ASSERT_EQ(screen->size(), QSize(1280, 720));
    ASSERT_TRUE(waitForPicture(*screen, [&](const unsigned char* f) { return rgbAt(*screen, f, 110, 60) == kRed; }));
    const unsigned char* frame = screen->frame();
    EXPECT_EQ(rgbAt(*screen, frame, 20, 20), kBackground);
    EXPECT_EQ(rgbAt(*screen, frame, 299, 149), kRed);
    EXPECT_EQ(rgbAt(*screen, frame, 300, 150), kBackground);
    EXPECT_EQ(rgbAt(*screen, frame, 420, 330), kGreen);
    EXPECT_EQ(rgbAt(*screen, frame, 1279, 0), kYellow);
    EXPECT_EQ(screen->next(), ZMScreenBackend::Next::NothingNew) << "asked again at once";

    // The bar's clock changes every 20 ms and the portal sends at most 30 pictures a second.
    int pictures = 0, asked = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000) {
        pictures += screen->next() == ZMScreenBackend::Next::Picture;
        ++asked;
        QThread::msleep(5);
    }
    EXPECT_GE(pictures, 20);
    EXPECT_LE(pictures, 32);
    EXPECT_GT(asked, pictures + 50);
    screen->stop();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
