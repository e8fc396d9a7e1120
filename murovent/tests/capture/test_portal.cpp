// SPDX-License-Identifier: GPL-2.0-or-later
// The screen back-end "portal" against the test's headless Wayland desktop: the real portal
// hands out the real compositor's pictures over PipeWire (scripts/testenv --wayland).
#include "wlscene.h"
#include "zm_screenbackend.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
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

bool paintScene(uint32_t background = kBackground)
{
    return wlscene::paintBackground(background, {{100, 50, 200, 100, kRed}, {400, 300, 50, 60, kGreen},
                                                 {1230, 0, 50, 50, kYellow}});
}

// The area a picture rewrote; -1 for a whole picture.
qint64 changedArea(const ZMScreenBackend& screen)
{
    const std::vector<QRect>* changed = screen.changed();
    if (!changed)
        return -1;
    qint64 area = 0;
    for (const QRect& part : *changed)
        area += qint64(part.width()) * part.height();
    return area;
}

class PortalTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(paintScene()); }
};

TEST_F(PortalTest, WholeMonitorShowsTheDesktopAndOnlyNewPicturesCount)
{
    EXPECT_EQ(ZMScreenBackend::autoName(), "portal") << "on a Wayland session";
    QString error;
    auto screen = ZMScreenBackend::create(QStringLiteral("auto"), {}, &error);
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
    // Pictures that came while no one asked: the two newest are handed on, the older first,
    // then nothing. Tried again when a picture comes in the moment between.
    const int bytes = 1280 * 720 * 4;
    bool thenNothing = false;
    for (int attempt = 0; attempt < 3 && !thenNothing; ++attempt) {
        QThread::msleep(300);
        ASSERT_EQ(screen->next(), ZMScreenBackend::Next::Picture);
        const QByteArray older(reinterpret_cast<const char*>(screen->frame()), bytes);
        ASSERT_EQ(screen->next(), ZMScreenBackend::Next::Picture) << "the newer one is kept too";
        thenNothing = screen->next() == ZMScreenBackend::Next::NothingNew;
        EXPECT_NE(older, QByteArray::fromRawData(reinterpret_cast<const char*>(screen->frame()), bytes));
    }
    EXPECT_TRUE(thenNothing) << "only two are kept";

    // The bar's clock changes every 20 ms and the portal sends each change, within the 60
    // pictures a second the stream asks for at most: about 50 (fewer while the machine is busy).
    int pictures = 0, asked = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000) {
        pictures += screen->next() == ZMScreenBackend::Next::Picture;
        ++asked;
        QThread::msleep(5);
    }
    EXPECT_GE(pictures, 8);
    EXPECT_LE(pictures, 52) << pictures;
    EXPECT_GT(asked, pictures + 50);
    screen->stop();
}

// The compositor says which parts of a picture changed (here the bar's clock), and only those
// are taken; what the parts add up to is the screen as it is.
TEST_F(PortalTest, PicturesTakenInPartsAddUpToTheScreen)
{
    const QString clock = QStringLiteral("bar bar-0 status_command 'while :; do date +%T.%N; sleep 0.02; done'");
    QString error;
    auto screen = openPortal({}, &error);
    ASSERT_TRUE(screen) << error.toStdString();
    ASSERT_TRUE(waitForPicture(*screen, [](const unsigned char*) { return true; }));
    EXPECT_EQ(screen->changed(), nullptr) << "the first picture is taken whole";
    int inParts = 0;
    qint64 partsArea = 0;
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(waitForPicture(*screen, [](const unsigned char*) { return true; }));
        if (const qint64 area = changedArea(*screen); area >= 0)
            ++inParts, partsArea += area;
    }
    EXPECT_GE(inParts, 6) << "one whole picture every 2 s at most";
    // The bar redraws all of itself for its clock, and the compositor names all of the bar:
    // only the clock's few blocks count as changed.
    EXPECT_LT(partsArea, qint64(inParts) * 1280 * 16 / 2) << "the bar's unchanged blocks were taken";

    // A picture changed all over counts as that, and while the clock goes on, soon only the
    // clock's blocks count again.
    const uint32_t inverse = kBackground ^ 0xffffff;
    ASSERT_TRUE(paintScene(inverse));
    ASSERT_TRUE(waitForPicture(*screen, [&](const unsigned char* f) { return rgbAt(*screen, f, 20, 20) == inverse; }));
    const qint64 allOver = changedArea(*screen);
    EXPECT_TRUE(allOver < 0 || allOver >= 1280 * 720 * 3 / 4) << allOver;
    qint64 later = -1;
    for (int i = 1; i <= 12; ++i) {
        ASSERT_TRUE(waitForPicture(*screen, [](const unsigned char*) { return true; }));
        if (i > 9)
            later = std::max(changedArea(*screen), later);
    }
    EXPECT_GE(later, 0) << "no picture in parts";
    EXPECT_LT(later, 1280 * 16 / 2);

    // The still status line's program stays: one that ends can leave the bar polling its closed
    // pipe without end, and drawing nothing more.
    ASSERT_TRUE(wlscene::sway(QStringLiteral("bar bar-0 status_command 'echo still; exec sleep 600'"), &error))
        << error.toStdString();
    QElapsedTimer quiet, waited;
    quiet.start();
    waited.start();
    while (quiet.elapsed() < 300 && waited.elapsed() < 10000) {
        const ZMScreenBackend::Next next = screen->next();
        ASSERT_NE(next, ZMScreenBackend::Next::Lost);
        if (next == ZMScreenBackend::Next::Picture)
            quiet.restart();
        QThread::msleep(10);
    }
    ASSERT_GE(quiet.elapsed(), 300) << "the screen kept changing";
    const QImage shot = wlscene::screenshot();
    wlscene::sway(clock);
    EXPECT_TRUE(paintScene());
    ASSERT_EQ(shot.size(), QSize(1280, 720));
    int wrong = 0;
    for (int y = 0; y < 720; ++y)
        for (int x = 0; x < 1280; ++x)
            wrong += rgbAt(*screen, screen->frame(), x, y) != (shot.pixel(x, y) & 0xffffff);
    EXPECT_EQ(wrong, 0);
}

TEST_F(PortalTest, RestoreTokenFromOneRecordingIsHandedToTheNext)
{
    QString error;
    auto first = openPortal({}, &error);
    ASSERT_TRUE(first) << error.toStdString();
    const QString token = first->restoreToken();
    EXPECT_FALSE(token.isEmpty()) << "the portal keeps the choice";
    first->stop();
    first.reset();

    wlscene::BusWatch watch("SelectSources");
    ZMScreenRequest again;
    again.restoreToken = token;
    auto second = openPortal(again, &error);
    ASSERT_TRUE(second) << error.toStdString();
    const QString traffic = watch.seen();
    EXPECT_TRUE(wlscene::hasOption(traffic, "restore_token", QStringLiteral("string \"%1\"").arg(token)))
        << traffic.toStdString();
    EXPECT_TRUE(wlscene::hasOption(traffic, "persist_mode", "uint32 2"));
    ASSERT_TRUE(waitForPicture(*second, [&](const unsigned char* f) { return rgbAt(*second, f, 20, 20) == kBackground; }));
}

TEST_F(PortalTest, AreaIsACropOfTheMonitorAndMustLieInsideIt)
{
    ZMScreenRequest request;
    request.area = QRect(90, 40, 320, 240);
    QString error;
    auto screen = openPortal(request, &error);
    ASSERT_TRUE(screen) << error.toStdString();
    ASSERT_EQ(screen->size(), QSize(320, 240));
    ASSERT_TRUE(waitForPicture(*screen, [&](const unsigned char* f) { return rgbAt(*screen, f, 10, 10) == kRed; }));
    EXPECT_EQ(rgbAt(*screen, screen->frame(), 9, 9), kBackground);
    EXPECT_EQ(rgbAt(*screen, screen->frame(), 209, 109), kRed);
    EXPECT_EQ(rgbAt(*screen, screen->frame(), 210, 110), kBackground);
    EXPECT_EQ(rgbAt(*screen, screen->frame(), 319, 239), kBackground);
    // The bar's clock keeps changing, below the area: nothing new for it.
    QElapsedTimer clock;
    clock.start();
    int pictures = 0;
    while (clock.elapsed() < 300) {
        pictures += screen->next() == ZMScreenBackend::Next::Picture;
        QThread::msleep(10);
    }
    EXPECT_EQ(pictures, 0);
    screen.reset();

    for (const QRect& outside : {QRect(1200, 0, 82, 64), QRect(0, 700, 64, 22), QRect(-2, 0, 64, 64)}) {
        request.area = outside;
        EXPECT_FALSE(openPortal(request, &error));
        EXPECT_TRUE(error.contains("is not inside the shared monitor (1280 x 720 at 0,0)")) << error.toStdString();
    }
}

TEST_F(PortalTest, WhatOnlyX11CanDoIsRefusedWithItsReason)
{
    QString error;
    ZMScreenRequest request;
    request.pickWindow = true; // this desktop's portal shares monitors only
    EXPECT_FALSE(openPortal(request, &error));
    EXPECT_EQ(error, "the desktop portal cannot share a single window");
    request = ZMScreenRequest();
    request.window = 0x400001;
    EXPECT_FALSE(openPortal(request, &error));
    EXPECT_TRUE(error.startsWith("a window id names an X11 window")) << error.toStdString();
    request = ZMScreenRequest();
    request.monitor = "HEADLESS-1";
    EXPECT_FALSE(openPortal(request, &error));
    EXPECT_TRUE(error.contains("desktop's own dialog")) << error.toStdString();
}

TEST_F(PortalTest, NoPortalOnTheBusIsSaidSo)
{
    wlscene::EmptyBus bus;
    ASSERT_FALSE(bus.address().isEmpty());
    const QByteArray real = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
    QString error;
    EXPECT_FALSE(openPortal({}, &error));
    EXPECT_EQ(error.toStdString(), "no desktop portal on the session bus (org.freedesktop.portal.Desktop is not there)");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    EXPECT_FALSE(openPortal({}, &error));
    EXPECT_TRUE(error.startsWith("no D-Bus session bus (")) << error.toStdString();
    qputenv("DBUS_SESSION_BUS_ADDRESS", real);
    EXPECT_TRUE(openPortal({}, &error)) << error.toStdString();
}

// The compositor draws no pointer on a headless output without a pointing device, so the
// pictures cannot show it: what is checked is that both modes record and that the portal is
// asked to embed the pointer exactly when it is wanted.
TEST_F(PortalTest, PointerEmbeddedOnlyWhenAsked)
{
    for (bool cursor : {false, true}) {
        wlscene::BusWatch watch("SelectSources");
        ZMScreenRequest request;
        request.cursor = cursor;
        request.area = QRect(600, 320, 80, 80);
        QString error;
        auto screen = openPortal(request, &error);
        ASSERT_TRUE(screen) << error.toStdString();
        EXPECT_TRUE(waitForPicture(*screen, [&](const unsigned char* f) { return rgbAt(*screen, f, 40, 40) == kBackground; }));
        const QString traffic = watch.seen();
        EXPECT_TRUE(wlscene::hasOption(traffic, "cursor_mode", cursor ? "uint32 2" : "uint32 1"))
            << traffic.toStdString();
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
