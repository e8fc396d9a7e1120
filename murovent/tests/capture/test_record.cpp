// SPDX-License-Identifier: GPL-2.0-or-later
// murovent-record end to end on the test's X server, and with the portal back-end on the
// test's headless Wayland desktop (the RecordPortal cases, registered separately): every file
// it makes is decoded and checked (size, frame count against duration x fps, colours, cursor,
// watermarks), and so is what it leaves behind when interrupted or when the display dies under it.
#include "wlscene.h"
#include "xscene.h"

#include "mp4_probe.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QtEndian>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <fcntl.h>
#include <fstream>
#include <filesystem>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const uint32_t kBackground = 0x203040, kRed = 0xff0000, kGreen = 0x00ff00, kMagenta = 0xff00ff;

struct Proc {
    pid_t pid = -1;
    std::string errPath;
};

// beforeExec runs in the child: dispositions and limits it sets are what the recorder inherits.
Proc spawn(const std::vector<std::string>& args, const std::string& errPath,
           const std::function<void()>& beforeExec = {})
{
    Proc proc{fork(), errPath};
    if (proc.pid == 0) {
        if (beforeExec)
            beforeExec();
        const int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, STDERR_FILENO);
        dup2(fd, STDOUT_FILENO);
        const std::string program = wlscene::staged(MUROVENT_RECORD);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return proc;
}

int finish(const Proc& proc, std::string* output = nullptr)
{
    int status = 0;
    waitpid(proc.pid, &status, 0);
    if (output) {
        std::ifstream in(proc.errPath);
        std::stringstream text;
        text << in.rdbuf();
        *output = text.str();
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class RecordTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(xscene::paintRoot(kBackground, {{100, 50, 200, 100, kRed},
                                                    {400, 300, 50, 60, kGreen}}));
        ASSERT_TRUE(xscene::setSquareCursor(32, 12, kMagenta));
        ASSERT_TRUE(xscene::movePointer(kPointerX, kPointerY));
    }
    std::string path(const char* name) const { return m_dir.filePath(name).toStdString(); }
    int record(const std::vector<std::string>& args, std::string* output)
    {
        return finish(spawn(args, path("stderr.txt")), output);
    }
    // Output files in the folder, besides the recorder's captured messages.
    QStringList files() const
    {
        QStringList names = QDir(m_dir.path()).entryList(QDir::Files);
        names.removeAll(QStringLiteral("stderr.txt"));
        return names;
    }

    static constexpr int kPointerX = 240, kPointerY = 290;
    QTemporaryDir m_dir;
};

::testing::AssertionResult near(const mp4probe::DecodedPicture& picture, int x, int y, uint32_t rgb)
{
    const mp4probe::Bgra p = picture.pixel(x, y);
    const int want[3] = {int(rgb >> 16 & 0xff), int(rgb >> 8 & 0xff), int(rgb & 0xff)};
    const int got[3] = {p.r, p.g, p.b};
    for (int i = 0; i < 3; ++i)
        if (std::abs(want[i] - got[i]) > 20)
            return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is rgb(" << got[0]
                                                 << "," << got[1] << "," << got[2] << "), want "
                                                 << std::hex << rgb;
    return ::testing::AssertionSuccess();
}

void expectPlayable(const std::string& file, int fps, double minSeconds, double maxSeconds,
                    int width, int height)
{
    const mp4probe::Mp4Info info = mp4probe::probeMp4(file);
    ASSERT_TRUE(info.ok) << info.error;
    const mp4probe::StreamProbe* video = info.stream("video");
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->codec, "h264");
    EXPECT_EQ(video->width, width);
    EXPECT_EQ(video->height, height);
    EXPECT_GE(info.duration, minSeconds);
    EXPECT_LE(info.duration, maxSeconds);
    const int frames = mp4probe::countVideoFrames(file);
    EXPECT_NEAR(frames, info.duration * fps, 1.5) << "every slot of the duration holds a frame";
}

// A file cut short by a failed write: every frame it stores decodes, and its frames reach the
// end of its length. (A busy machine may leave slots empty on the way, which only lengthens the
// frame before them, so the count of frames need not match the length.)
void expectWholeToItsEnd(const std::string& file, int fps)
{
    const mp4probe::Mp4Info info = mp4probe::probeMp4(file);
    ASSERT_TRUE(info.ok) << info.error;
    const mp4probe::StreamProbe* video = info.stream("video");
    ASSERT_NE(video, nullptr);
    EXPECT_GE(info.duration, 1.0);
    EXPECT_EQ(mp4probe::countVideoFrames(file), video->packets);
    EXPECT_NEAR(video->lastPts + 1.0 / fps, info.duration, 2.0 / fps);
}

// Top-level box types of an MP4: a finished file has no fragments ('moof') left. *lastStart:
// where the last box begins.
std::vector<std::string> boxTypes(const std::string& file, long* lastStart = nullptr)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<std::string> types;
    unsigned char h[8];
    for (long pos = 0; in.seekg(pos) && in.read(reinterpret_cast<char*>(h), 8);) {
        const long size = long(h[0]) << 24 | h[1] << 16 | h[2] << 8 | h[3];
        types.emplace_back(reinterpret_cast<char*>(h) + 4, 4);
        if (lastStart)
            *lastStart = pos;
        if (size < 8)
            break;
        pos += size;
    }
    return types;
}

bool finished(const std::string& file)
{
    const auto types = boxTypes(file);
    return std::count(types.begin(), types.end(), "moof") == 0 && !types.empty() && types.back() == "moov";
}

// A tall red bar that crosses the screen at kBarSpeed pixels a second, so that a picture tells
// when it was grabbed, and starts over every 10 s; repainted every 40 ms on its own thread.
class MovingBar {
public:
    static constexpr double kBarSpeed = 100;
    MovingBar() : m_start(std::chrono::steady_clock::now()), m_thread([this] { run(); }) {}
    ~MovingBar()
    {
        m_quit = true;
        m_thread.join();
    }
    static int xAt(double seconds) { return 20 + int(seconds * kBarSpeed) % 1000; }
    // The bar's left edge in a picture (rows of BGRA), searched along y = 420.
    static int find(const std::vector<uint8_t>& bgra, int width)
    {
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &bgra[(size_t(420) * width + x) * 4];
            if (p[2] > 200 && p[1] < 60 && p[0] < 60)
                return x;
        }
        return -1;
    }

private:
    void run()
    {
        while (!m_quit) {
            const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
            xscene::paintRoot(kBackground, {{xAt(t), 100, 40, 600, kRed}});
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
    }
    std::chrono::steady_clock::time_point m_start;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

TEST_F(RecordTest, FullScreenWithoutCursor)
{
    int w = 0, h = 0;
    ASSERT_TRUE(xscene::screenSize(&w, &h));
    const std::string out = path("full.mp4");
    std::string messages;
    ASSERT_EQ(record({"--duration", "2", "--fps", "10", out}, &messages), 0) << messages;
    expectPlayable(out, 10, 1.8, 2.3, w, h);
    const mp4probe::DecodedPicture picture = mp4probe::decodeVideoFrame(out, 10);
    ASSERT_TRUE(picture.ok) << picture.error;
    EXPECT_TRUE(near(picture, 20, 20, kBackground));
    EXPECT_TRUE(near(picture, 200, 100, kRed));
    EXPECT_TRUE(near(picture, 425, 330, kGreen));
    EXPECT_TRUE(near(picture, kPointerX + 4, kPointerY + 4, kBackground)) << "no cursor unless asked";
    EXPECT_NE(messages.find("slots written"), std::string::npos) << messages;
    EXPECT_EQ(messages.find("x264"), std::string::npos) << "the encoder's own chatter stays out: " << messages;
    EXPECT_EQ(messages.find("murovent."), std::string::npos) << "logging is off by default: " << messages;
}

TEST_F(RecordTest, LoggingOnRequestAndAFileThatCannotBeMadeSaysWhy)
{
    setenv("QT_LOGGING_RULES", "murovent.capture.info=true", 1);
    std::string messages;
    const int status = record({"--duration", "1", "--area", "0,0,320,240", path("logged.mp4")}, &messages);
    unsetenv("QT_LOGGING_RULES");
    ASSERT_EQ(status, 0) << messages;
    EXPECT_NE(messages.find("murovent.capture: screen back-end x11 size QSize(320, 240) format BGRX"),
              std::string::npos) << messages;

    // A full disk takes the file but not its header.
    const std::string full = path("full");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(full)));
    if (std::system(("mount -t tmpfs -o size=64k tmpfs " + full).c_str()) != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    std::system(("dd if=/dev/zero of=" + full + "/filler bs=4k count=64 2>/dev/null").c_str());
    const int refused = record({"--duration", "1", full + "/x.mp4"}, &messages);
    std::system(("umount " + full).c_str());
    EXPECT_EQ(refused, 1);
    EXPECT_NE(messages.find("x.mp4: @ avformat_write_header(...) error !: No space left on device"),
              std::string::npos) << messages;
}

QString savePng(const QTemporaryDir& dir, const char* name, int w, int h,
                const std::function<void(QPainter&)>& paint)
{
    QImage image(w, h, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paint(painter);
    painter.end();
    const QString file = dir.filePath(QLatin1String(name));
    image.save(file);
    return file;
}

TEST_F(RecordTest, OffsetAreaWithCursorAndWatermarks)
{
    // Left half opaque yellow, right half transparent.
    const QString half = savePng(m_dir, "half.png", 100, 60, [](QPainter& p) { p.fillRect(0, 0, 50, 60, QColor(255, 255, 0)); });
    const QString blue = savePng(m_dir, "blue.png", 60, 60, [](QPainter& p) { p.fillRect(0, 0, 60, 60, Qt::blue); });
    const QString cyan = savePng(m_dir, "cyan.png", 80, 60, [](QPainter& p) { p.fillRect(0, 0, 80, 60, Qt::cyan); });
    const QString wide = savePng(m_dir, "wide.png", 700, 10, [](QPainter& p) { p.fillRect(0, 0, 700, 10, Qt::white); });
    const std::string out = path("area.mp4");
    std::string messages;
    ASSERT_EQ(record({"--area", "90,40,640,360", "--fps", "10", "--duration", "2", "--cursor",
                      "--watermark", half.toStdString() + "@300,120",
                      "--watermark", blue.toStdString() + "@330,150",
                      "--watermark", cyan.toStdString() + "@600,330",
                      "--watermark", wide.toStdString() + "@0,0", out},
                     &messages), 0) << messages;
    expectPlayable(out, 10, 1.8, 2.3, 640, 360);
    const mp4probe::DecodedPicture picture = mp4probe::decodeVideoFrame(out, 10);
    ASSERT_TRUE(picture.ok) << picture.error;
    EXPECT_TRUE(near(picture, 20, 20, kRed)) << "area origin";
    EXPECT_TRUE(near(picture, 5, 5, kBackground)) << "a mark wider than the area is not drawn";
    EXPECT_TRUE(near(picture, 330, 270, kGreen));
    // Cursor: a 32 x 32 square whose hot spot (12,12) is at the pointer.
    const int px = kPointerX - 90, py = kPointerY - 40;
    EXPECT_TRUE(near(picture, px + 4, py + 4, kMagenta));
    EXPECT_TRUE(near(picture, px - 6, py - 6, kMagenta)) << "hot spot honoured";
    EXPECT_TRUE(near(picture, px + 25, py + 25, kBackground)) << "hot spot honoured";
    // Marks: transparency shows the screen; the later mark covers the earlier one.
    EXPECT_TRUE(near(picture, 310, 130, 0xffff00));
    EXPECT_TRUE(near(picture, 320, 170, 0xffff00));
    EXPECT_TRUE(near(picture, 340, 165, 0x0000ff)) << "later mark on top";
    EXPECT_TRUE(near(picture, 380, 200, 0x0000ff));
    EXPECT_TRUE(near(picture, 395, 130, kBackground)) << "transparent part of a mark";
    EXPECT_TRUE(near(picture, 630, 350, 0x00ffff)) << "clipped mark";
    EXPECT_TRUE(near(picture, 590, 345, kBackground));
    EXPECT_NE(messages.find("will not be drawn"), std::string::npos) << messages;
}

TEST_F(RecordTest, BadArgumentsExitWithStatusTwoAndCreateNothing)
{
    int w = 0, h = 0;
    ASSERT_TRUE(xscene::screenSize(&w, &h));
    const std::string out = path("never.mp4");
    const std::string outside = std::to_string(w - 100) + ",0,200,200";
    const std::vector<std::vector<std::string>> cases = {
        {"--area", "0,0,641,360", out},
        {"--area", "0,0,640,361", out},
        {"--area", outside, out},
        {"--area", "0,0,32,32", out},
        {"--area", "1,2,3", out},
        // Right or bottom edges beyond the range of int.
        {"--area", "2,0,2147483646,64", out},
        {"--area", "2147483584,0,64,64", out},
        {"--area", "0,2147483600,64,64", out},
        {"--fps", "0", out},
        {"--fps", "61", out},
        {"--duration", "-1", out},
        {"--frobnicate", out},
        {"--watermark", "nowhere.png@1,2", out},
        {"--watermark", "mark.png", out},
        {"--display", ":4097", out},
        {"--follow-cursor", out},
        {"--window", "0xzz", out},
        {"--window", "0x7fffff0", out},
        {"--pick-window", "--window", "0x400001", out},
        {"--monitor", "0", "--area", "0,0,64,64", out},
        {"--monitor", "nosuch", out},
        {"--audio", "mic", "--audio-only", "--monitor", "0", out},
        {},
        {path("never.avi")},
        {path("no/such/folder/x.mp4")},
        {"/proc/1/x.mp4"},
        {out, path("second.mp4")},
    };
    for (const auto& args : cases) {
        std::string messages, joined;
        for (const std::string& a : args)
            joined += a + " ";
        EXPECT_EQ(record(args, &messages), 2) << joined << "\n" << messages;
        EXPECT_NE(messages.find("murovent-record: "), std::string::npos) << joined;
    }
    EXPECT_TRUE(files().isEmpty()) << files().join(QLatin1Char(' ')).toStdString();

    std::ofstream(path("taken.mp4")) << "keep me";
    std::string messages;
    EXPECT_EQ(record({path("taken.mp4")}, &messages), 2) << messages;
    EXPECT_EQ(QFileInfo(m_dir.filePath(QStringLiteral("taken.mp4"))).size(), 7) << "existing file kept";
    EXPECT_EQ(record({"--overwrite", "--duration", "1", "--area", "0,0,320,240", path("taken.mp4")},
                     &messages), 0) << messages;
    expectPlayable(path("taken.mp4"), 10, 0.8, 1.3, 320, 240);

    const std::string display = qgetenv("DISPLAY").toStdString();
    unsetenv("DISPLAY");
    const int status = record({out}, &messages);
    setenv("DISPLAY", display.c_str(), 1);
    EXPECT_EQ(status, 2);
    EXPECT_NE(messages.find("display"), std::string::npos) << messages;
}

TEST_F(RecordTest, OutputNameKeepsBytesThatAreNotUtf8)
{
    const std::string name = "\xff\xfe" "bad.mp4";
    const std::string out = m_dir.path().toStdString() + "/" + name;
    std::string messages;
    ASSERT_EQ(record({"--duration", "1", "--area", "0,0,320,240", out}, &messages), 0) << messages;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path().toStdString()))
        if (entry.path().filename() != "stderr.txt")
            names.push_back(entry.path().filename().string());
    ASSERT_EQ(names, std::vector<std::string>{name});
    expectPlayable(out, 10, 0.8, 1.3, 320, 240);
    // Taken files are refused by their own bytes too.
    EXPECT_EQ(record({out}, &messages), 2) << messages;
}

// A second signal 10 ms after the first (a double Ctrl+C, or Ctrl+C then a logout) does not cut
// the finishing short: the file is finished in place all the same.
TEST_F(RecordTest, InterruptFinalisesAPlayableFile)
{
    const std::vector<std::pair<int, int>> cases = {{SIGINT, 0}, {SIGTERM, 0}, {SIGINT, SIGINT}, {SIGINT, SIGTERM}};
    for (const auto& [first, second] : cases) {
        const std::string out = path(("sig" + std::to_string(first) + "-" + std::to_string(second) + ".mp4").c_str());
        const auto start = std::chrono::steady_clock::now();
        // A parent without job control starts its children with SIGINT ignored; a shell's
        // interactive child has the default.
        Proc proc = spawn({"--area", "0,0,320,240", "--fps", "10", out}, path("stderr.txt"),
                          [] { signal(SIGINT, SIG_DFL); });
        std::this_thread::sleep_for(std::chrono::milliseconds(1800));
        kill(proc.pid, first);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (second) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            kill(proc.pid, second);
        }
        std::string messages;
        EXPECT_EQ(finish(proc, &messages), 0) << first << " " << second << messages;
        // Start-up (display, library, encoder set-up) takes a little of the time before the signal.
        expectPlayable(out, 10, seconds - 1.0, seconds + 0.3, 320, 240);
        EXPECT_TRUE(finished(out)) << out;
    }
}

// Under nohup SIGHUP is ignored from the start, and stays so: the recording runs its course.
TEST_F(RecordTest, SignalIgnoredAtStartStaysIgnored)
{
    const std::string out = path("nohup.mp4");
    Proc proc = spawn({"--area", "0,0,320,240", "--fps", "10", "--duration", "2.5", out}, path("stderr.txt"),
                      [] { signal(SIGHUP, SIG_IGN); });
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    kill(proc.pid, SIGHUP);
    std::string messages;
    EXPECT_EQ(finish(proc, &messages), 0) << messages;
    EXPECT_NE(messages.find("duration reached"), std::string::npos) << messages;
    expectPlayable(out, 10, 2.3, 2.7, 320, 240);
}

// Matroska for a name ending in .mkv; the rate factor and preset reach x264 (it writes its
// settings into the stream), and a lower rate factor gives a larger file of the same screen.
TEST_F(RecordTest, OutputChoices)
{
    MovingBar bar;
    std::string messages;
    const std::string fine = path("fine.mkv"), coarse = path("coarse.mkv");
    ASSERT_EQ(record({"--area", "0,0,640,360", "--duration", "2", "--quality", "12", "--preset", "fast", fine},
                     &messages), 0) << messages;
    ASSERT_EQ(record({"--area", "0,0,640,360", "--duration", "2", "--quality", "40", "--preset", "fast", coarse},
                     &messages), 0) << messages;
    const mp4probe::Mp4Info info = mp4probe::probeMp4(fine);
    ASSERT_TRUE(info.ok) << info.error;
    EXPECT_EQ(info.format, "matroska,webm");
    expectPlayable(fine, 10, 1.8, 2.3, 640, 360);
    std::ifstream a(fine, std::ios::binary), b(coarse, std::ios::binary);
    const std::string fineBytes((std::istreambuf_iterator<char>(a)), {});
    const std::string coarseBytes((std::istreambuf_iterator<char>(b)), {});
    EXPECT_NE(fineBytes.find("crf=12.0"), std::string::npos);
    EXPECT_NE(fineBytes.find("subme=6"), std::string::npos) << "the fast preset";
    EXPECT_NE(coarseBytes.find("crf=40.0"), std::string::npos);
    EXPECT_GT(fineBytes.size(), coarseBytes.size());
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--quality", "52", path("q.mp4")},
                                                {"--preset", "veryslow", path("q.mp4")},
                                                {path("q.mov")}}) {
        EXPECT_EQ(record(bad, &messages), 2) << bad[0];
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(path("q.mp4"))));
    }
}

// A write that fails (the file-size limit, a full disk) stops the recording at once with the
// system's reason and exit status 1; what was written before plays.
TEST_F(RecordTest, FailedWriteStopsWithTheReasonAndKeepsTheFile)
{
    MovingBar bar;
    const std::string limited = path("limited.mp4");
    Proc proc = spawn({"--fps", "30", "--duration", "20", limited}, path("stderr.txt"), [] {
        const rlimit limit{64 * 1024, 64 * 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
    });
    std::string messages;
    EXPECT_EQ(finish(proc, &messages), 1) << messages;
    EXPECT_NE(messages.find("File too large"), std::string::npos) << messages;
    // Finished in place when the index still fits under the limit, else left in its whole
    // fragments; it plays either way.
    expectWholeToItsEnd(limited, 30);

    // Room for a still area's pictures but not for the index written at the stop: that is
    // said, with exit status 1, and the file plays as the fragments it was.
    const auto still = [](const std::string& out) {
        return std::vector<std::string>{"--area", "1280,800,320,240", "--fps", "10", "--duration", "2", out};
    };
    const std::string whole = path("whole.mp4"), noIndex = path("noindex.mp4");
    ASSERT_EQ(record(still(whole), &messages), 0) << messages;
    long index = 0;
    ASSERT_TRUE(finished(whole) && (boxTypes(whole, &index), index > 0));
    const rlim_t room = rlim_t(index + (QFileInfo(QString::fromStdString(whole)).size() - index) / 2);
    EXPECT_EQ(finish(spawn(still(noIndex), path("stderr.txt"), [room] {
                         const rlimit limit{room, room};
                         setrlimit(RLIMIT_FSIZE, &limit);
                     }), &messages), 1) << messages;
    EXPECT_NE(messages.find("writing the end of the file failed"), std::string::npos) << messages;
    EXPECT_NE(messages.find("File too large"), std::string::npos) << messages;
    EXPECT_FALSE(finished(noIndex));
    expectPlayable(noIndex, 10, 1.8, 2.3, 320, 240);

    const std::string disk = path("disk");
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(disk)));
    if (std::system(("mount -t tmpfs -o size=2m tmpfs " + disk).c_str()) != 0)
        GTEST_SKIP() << "mounting a small file system needs root";
    // About 100 kB left: the disk runs low once the data rate is known and fills seconds later.
    std::system(("dd if=/dev/zero of=" + disk + "/filler bs=4k count=487 2>/dev/null").c_str());
    const int status = record({"--fps", "30", "--duration", "30", disk + "/full.mp4"}, &messages);
    expectWholeToItsEnd(disk + "/full.mp4", 30);
    std::system(("umount " + disk).c_str());
    EXPECT_EQ(status, 1);
    EXPECT_NE(messages.find("No space left on device"), std::string::npos) << messages;
    EXPECT_NE(messages.find("the disk is nearly full"), std::string::npos) << messages;
}

// Seeking into the middle of a finished file decodes the picture grabbed at that moment.
TEST_F(RecordTest, SeekingToTheMiddleShowsThatMoment)
{
    MovingBar bar;
    const int w = 640, h = 480;
    const std::string out = path("seek.mp4");
    std::string messages;
    ASSERT_EQ(record({"--area", "0,0,640,480", "--fps", "10", "--duration", "6", out}, &messages), 0) << messages;
    // Decoded from the start: the pictures at 1 s and at 3 s.
    const mp4probe::DecodedPicture early = mp4probe::decodeVideoFrame(out, 10);
    const mp4probe::DecodedPicture late = mp4probe::decodeVideoFrame(out, 30);
    ASSERT_TRUE(early.ok && late.ok) << early.error << late.error;
    const int xEarly = MovingBar::find(early.bgra, early.width), xLate = MovingBar::find(late.bgra, late.width);
    ASSERT_GE(xEarly, 0);
    // Two seconds apart on the file's timeline, two seconds apart on the screen (give or take
    // a frame and a repaint).
    EXPECT_NEAR(xLate - xEarly, 2 * MovingBar::kBarSpeed, 0.2 * MovingBar::kBarSpeed);
    const std::string frame = path("middle.bgra");
    ASSERT_EQ(std::system(("ffmpeg -v error -ss 3 -i " + out + " -frames:v 1 -f rawvideo -pix_fmt bgra -y "
                           + frame).c_str()), 0);
    std::ifstream in(frame, std::ios::binary);
    const std::vector<uint8_t> middle((std::istreambuf_iterator<char>(in)), {});
    ASSERT_EQ(middle.size(), size_t(w) * h * 4);
    EXPECT_EQ(MovingBar::find(middle, w), xLate) << "seeking to 3 s gives the picture decoded at 3 s";

    // GStreamer reads it as well, with its length, where its tools are installed.
    if (std::system("command -v gst-discoverer-1.0 >/dev/null 2>&1") != 0)
        return;
    std::string report;
    if (FILE* discoverer = popen(("gst-discoverer-1.0 " + out + " 2>&1").c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, discoverer))
            report += line;
        pclose(discoverer);
    }
    const size_t at = report.find("Duration: 0:00:");
    ASSERT_NE(at, std::string::npos) << report;
    EXPECT_NEAR(std::stod(report.substr(at + 15)), 6.0, 0.3) << report;
    EXPECT_NE(report.find("Seekable: yes"), std::string::npos) << report;
}

// Shared-memory segments created by a process, from the kernel's list.
int segmentsCreatedBy(pid_t pid)
{
    std::ifstream list("/proc/sysvipc/shm");
    std::string line;
    std::getline(list, line);
    int count = 0;
    while (std::getline(list, line)) {
        std::istringstream fields(line);
        long key, id, perms, size, cpid;
        if (fields >> key >> id >> perms >> size >> cpid && cpid == pid)
            ++count;
    }
    return count;
}

TEST_F(RecordTest, KilledRecorderLeavesNoSharedMemoryBehind)
{
    Proc proc = spawn({"--area", "0,0,320,240", path("killed.mp4")}, path("stderr.txt"));
    bool attached = false;
    for (int i = 0; i < 100 && !attached; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        attached = segmentsCreatedBy(proc.pid) > 0;
    }
    EXPECT_TRUE(attached) << "the grabber uses MIT-SHM";
    kill(proc.pid, SIGKILL);
    finish(proc);
    int left = 1;
    for (int i = 0; i < 100 && left; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        left = segmentsCreatedBy(proc.pid);
    }
    EXPECT_EQ(left, 0) << "the segment outlived the process";
}

// As xwininfo prints it.
std::string hexId(unsigned long id)
{
    char text[32];
    std::snprintf(text, sizeof text, "0x%lx", id);
    return text;
}

void wait(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TEST_F(RecordTest, WindowIsPickedFollowedAndItsClosingKeepsWhatWasRecorded)
{
    xscene::ClientWindow window(600, 300, 320, 240, kGreen);
    ASSERT_NE(window.id(), 0u);
    std::string messages;
    ASSERT_EQ(record({"--window", hexId(window.id()), "--duration", "1", path("given.mp4")}, &messages), 0)
        << messages;
    expectPlayable(path("given.mp4"), 10, 0.8, 1.3, 320, 240);

    const std::string out = path("picked.mp4");
    Proc proc = spawn({"--pick-window", "--fps", "10", out}, path("stderr.txt"));
    bool waiting = false;
    for (int i = 0; i < 250 && !waiting; ++i, wait(20))
        waiting = xscene::pointerTaken();
    ASSERT_TRUE(waiting) << "the recorder waits for a click";
    ASSERT_EQ(std::system("xdotool mousemove 700 400 click 1"), 0);
    wait(1500);
    window.move(1100, 700);
    wait(1200);
    window.close();
    EXPECT_EQ(finish(proc, &messages), 1) << messages;
    EXPECT_NE(messages.find("click the window to record"), std::string::npos) << messages;
    EXPECT_NE(messages.find("the window " + hexId(window.id()) + " was closed"), std::string::npos) << messages;
    expectPlayable(out, 10, 1.8, 3.5, 320, 240);
    const mp4probe::DecodedPicture last = mp4probe::decodeVideoFrame(out, mp4probe::countVideoFrames(out) - 1);
    ASSERT_TRUE(last.ok) << last.error;
    for (const auto& at : {std::make_pair(3, 3), std::make_pair(160, 120), std::make_pair(316, 236)})
        EXPECT_TRUE(near(last, at.first, at.second, kGreen)) << "the window after its move";
}

TEST_F(RecordTest, AreaFollowingThePointerShowsWhatIsUnderIt)
{
    ASSERT_TRUE(xscene::movePointer(200, 100));
    const std::string out = path("follow.mp4");
    Proc proc = spawn({"--area", "0,0,128,96", "--follow-cursor", "--fps", "10", "--duration", "3", out},
                      path("stderr.txt"));
    wait(1600);
    // Across the screen onto the green rectangle's middle.
    for (int step = 1; step <= 10; ++step, wait(40))
        ASSERT_TRUE(xscene::movePointer(200 + step * 225 / 10, 100 + step * 23));
    std::string messages;
    ASSERT_EQ(finish(proc, &messages), 0) << messages;
    expectPlayable(out, 10, 2.8, 3.3, 128, 96);
    const mp4probe::DecodedPicture early = mp4probe::decodeVideoFrame(out, 3);
    const mp4probe::DecodedPicture last = mp4probe::decodeVideoFrame(out, mp4probe::countVideoFrames(out) - 1);
    ASSERT_TRUE(early.ok && last.ok) << early.error << last.error;
    EXPECT_TRUE(near(early, 64, 48, kRed));
    EXPECT_TRUE(near(early, 5, 5, kRed)) << "the red rectangle around the pointer fills the area";
    EXPECT_TRUE(near(last, 64, 48, kGreen));
    EXPECT_TRUE(near(last, 5, 5, kBackground));
}

// Runs on a 3840 x 1080 screen split into the monitors LEFT and RIGHT (a test entry of its own).
class RecordMonitors : public RecordTest
{
};

TEST_F(RecordMonitors, EachMonitorIsListedAndRecordedAndOneThatGoesEndsTheRecording)
{
    ASSERT_TRUE(xscene::paintRoot(kBackground, {{0, 0, 1920, 1080, kRed}, {1920, 0, 1920, 1080, kGreen}}));
    std::string listed;
    ASSERT_EQ(record({"--list-monitors"}, &listed), 0) << listed;
    EXPECT_NE(listed.find("0: LEFT 1920x1080+0+0\n1: RIGHT 1920x1080+1920+0\n"), std::string::npos) << listed;

    std::string messages;
    for (const char* monitor : {"RIGHT", "0"}) {
        const std::string out = path(monitor) + ".mp4";
        ASSERT_EQ(record({"--monitor", monitor, "--duration", "1", "--fps", "5", out}, &messages), 0) << messages;
        expectPlayable(out, 5, 0.8, 1.4, 1920, 1080);
        const mp4probe::DecodedPicture picture = mp4probe::decodeVideoFrame(out, 2);
        ASSERT_TRUE(picture.ok) << picture.error;
        const uint32_t colour = monitor[0] == 'R' ? kGreen : kRed;
        EXPECT_TRUE(near(picture, 3, 3, colour) && near(picture, 1916, 1076, colour)) << monitor;
    }

    const std::string out = path("gone.mp4");
    Proc proc = spawn({"--monitor", "RIGHT", "--fps", "5", out}, path("stderr.txt"));
    wait(1800);
    ASSERT_EQ(std::system("xrandr --delmonitor RIGHT"), 0);
    EXPECT_EQ(finish(proc, &messages), 1) << messages;
    EXPECT_NE(messages.find("the monitor RIGHT went away"), std::string::npos) << messages;
    expectPlayable(out, 5, 0.4, 2.4, 1920, 1080);
}

// --- following changes ---------------------------------------------------------------------

// Scripted content for comparing two recordings of the same screen. A state follows the one
// before every 300 ms: it first sets the marker at the bottom, then moves a window and
// recolours a clock-sized box (even states) or moves the pointer with xdotool (odd states), and
// last sets the marker at the top; the box is drawn again every 100 ms in between. A picture
// whose two markers show the same state holds all of that state and none of the next, whatever
// order its parts were grabbed in (top to bottom, the pointer after them).
class Scene
{
public:
    static constexpr int kStates = 16;
    static constexpr uint32_t kWindow = 0xe0a000;
    static constexpr xscene::Rect kTop{560, 8, 64, 24, 0}, kBottom{560, 328, 64, 24, 0}, kBox{40, 250, 80, 40, 0};

    static uint32_t colour(int k)
    {
        return uint32_t(0x30 + 0x40 * (k & 3)) << 16 | uint32_t(0x30 + 0x40 * (k >> 2 & 3)) << 8 | 0x80;
    }
    // The window (120 x 100) and the pointer's places; the watermark covers some of them.
    static QPoint window(int k) { return QPoint(150 + 80 * (k / 2 % 5), 110 + 25 * (k / 2 % 2)); }
    static QPoint pointer(int k) { return QPoint(84 + 60 * (k / 2 % 8), 56 + 30 * (k / 2 % 2)); }

    // Places whose colour each state fixes: markers, box, the watermark over the background,
    // every window and cursor place. Each lies at least 10 pixels from every edge any state
    // puts near it, away from the blur of compression.
    static std::vector<QPoint> probes()
    {
        std::vector<QPoint> points{{592, 20}, {592, 340}, {80, 270}, {330, 90}};
        for (int k = 0; k < kStates; k += 2) {
            points.push_back(window(k) + QPoint(60, 50));
            points.push_back(pointer(k + 1) + QPoint(4, 4));
        }
        return points;
    }

    Scene() { enter(0, false); }
    bool ready() const { return m_canvas.isOpen(); }

    void play()
    {
        const auto start = std::chrono::steady_clock::now();
        for (int tick = 3; tick < 3 * kStates; ++tick) {
            std::this_thread::sleep_until(start + std::chrono::milliseconds(100 * (tick - 2)));
            if (tick % 3 == 0)
                enter(tick / 3, true);
            else
                m_canvas.fill({kBox.x, kBox.y, kBox.width, kBox.height, m_box});
        }
    }

    // The state a picture shows, or -1 while it is between two.
    static int stateOf(const mp4probe::DecodedPicture& picture)
    {
        const int top = nearest(picture.pixel(592, 20)), bottom = nearest(picture.pixel(592, 340));
        return top == bottom ? top : -1;
    }

private:
    void enter(int k, bool withXdotool)
    {
        m_canvas.fill({kBottom.x, kBottom.y, kBottom.width, kBottom.height, colour(k)});
        if (k % 2 == 0) {
            m_box = colour(k);
            m_canvas.showWindow({window(k).x(), window(k).y(), 120, 100, kWindow});
            m_canvas.fill({kBox.x, kBox.y, kBox.width, kBox.height, m_box});
        } else if (withXdotool) {
            const QPoint p = pointer(k);
            const QString move = QStringLiteral("timeout 5 xdotool mousemove --sync %1 %2").arg(p.x()).arg(p.y());
            std::system(move.toLocal8Bit().constData());
        }
        m_canvas.fill({kTop.x, kTop.y, kTop.width, kTop.height, colour(k)});
    }

    static int nearest(const mp4probe::Bgra& p)
    {
        for (int k = 0; k < kStates; ++k) {
            const uint32_t c = colour(k);
            if (std::abs(p.r - int(c >> 16)) < 24 && std::abs(p.g - int(c >> 8 & 0xff)) < 24
                && std::abs(p.b - int(c & 0xff)) < 24)
                return k;
        }
        return -2;
    }

    xscene::Canvas m_canvas;
    uint32_t m_box = 0;
};

bool waitForFile(const std::string& file)
{
    for (int i = 0; i < 500; ++i) {
        if (QFileInfo(QString::fromStdString(file)).size() > 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Per state, the colours at the probe places of every picture showing it; pictures caught
// between two states are counted apart.
struct StatePictures {
    explicit StatePictures(const std::string& file)
    {
        for (const mp4probe::DecodedPicture& picture : mp4probe::decodeVideoFrames(file)) {
            ++total;
            const int state = Scene::stateOf(picture);
            std::vector<mp4probe::Bgra> colours;
            for (const QPoint& p : Scene::probes())
                colours.push_back(picture.pixel(p.x(), p.y()));
            state < 0 ? void(++between) : byState[state].push_back(colours);
        }
    }
    std::map<int, std::vector<std::vector<mp4probe::Bgra>>> byState;
    int between = 0;
    int total = 0;
};

// The same scripted content recorded at once following changes and grabbing everything: every
// picture of either shows each state's window, box, cursor and watermark at the same places
// within 2 per channel, and never an old cursor or an old window.
TEST_F(RecordTest, FollowingChangesMatchesGrabbingEverything)
{
    const QString mark = savePng(m_dir, "mark.png", 170, 100,
                                 [](QPainter& p) { p.fillRect(0, 0, 170, 100, QColor(255, 255, 255, 128)); });
    ASSERT_TRUE(xscene::paintRoot(kBackground, {}));
    Scene scene;
    ASSERT_TRUE(scene.ready());
    const std::vector<std::string> common{"--area", "0,0,640,360", "--fps", "10", "--duration", "7", "--cursor",
                                          "--watermark", mark.toStdString() + "@230,40"};
    std::vector<std::string> args = common;
    args.push_back(path("changes.mp4"));
    Proc changes = spawn(args, path("changes.txt"));
    args = common;
    args.insert(args.end(), {"--no-damage", path("whole.mp4")});
    Proc whole = spawn(args, path("whole.txt"));
    ASSERT_TRUE(waitForFile(path("changes.mp4")) && waitForFile(path("whole.mp4")));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    scene.play();
    std::string messages;
    ASSERT_EQ(finish(changes, &messages), 0) << messages;
    ASSERT_EQ(finish(whole, &messages), 0) << messages;

    const StatePictures followed(path("changes.mp4")), grabbed(path("whole.mp4"));
    for (const StatePictures* recording : {&followed, &grabbed}) {
        EXPECT_GE(recording->total, 60);
        EXPECT_LE(recording->between * 5, recording->total) << "too many pictures between two states";
    }
    for (int k = 0; k < Scene::kStates; ++k) {
        ASSERT_TRUE(followed.byState.count(k) && grabbed.byState.count(k)) << "state " << k << " never seen";
        const std::vector<mp4probe::Bgra>& reference = grabbed.byState.at(k).front();
        for (const auto& pictures : {followed.byState.at(k), grabbed.byState.at(k)})
            for (const std::vector<mp4probe::Bgra>& colours : pictures)
                for (size_t i = 0; i < colours.size(); ++i) {
                    const int diff = std::max({std::abs(colours[i].r - reference[i].r),
                                               std::abs(colours[i].g - reference[i].g),
                                               std::abs(colours[i].b - reference[i].b)});
                    EXPECT_LE(diff, 2) << "state " << k << ", place " << Scene::probes()[i].x() << ","
                                       << Scene::probes()[i].y();
                }
    }
    // The scene is really there: the window of state 0 and the cursor of state 1.
    const mp4probe::Bgra windowAt = grabbed.byState.at(0).front()[4], cursorAt = grabbed.byState.at(1).front()[5];
    EXPECT_NEAR(windowAt.r, 0xe0, 20);
    EXPECT_NEAR(windowAt.g, 0xa0, 20);
    EXPECT_NEAR(cursorAt.r, 0xff, 20);
    EXPECT_NEAR(cursorAt.g, 0, 20);
}

TEST_F(RecordTest, StillScreenFillsEveryFrameWithOnePicture)
{
    const std::string out = path("still.mp4");
    std::string messages;
    ASSERT_EQ(record({"--area", "0,0,640,360", "--fps", "30", "--duration", "3", out}, &messages), 0) << messages;
    const std::vector<mp4probe::DecodedPicture> pictures = mp4probe::decodeVideoFrames(out);
    EXPECT_NEAR(double(pictures.size()), 90, 1.5);
    ASSERT_FALSE(pictures.empty());
    for (size_t i = 1; i < pictures.size(); ++i) {
        const std::vector<uint8_t>& a = pictures[0].bgra;
        const std::vector<uint8_t>& b = pictures[i].bgra;
        ASSERT_EQ(a.size(), b.size());
        int most = 0;
        for (size_t j = 0; j < a.size(); ++j)
            most = std::max(most, std::abs(int(a[j]) - int(b[j])));
        EXPECT_LE(most, 2) << "picture " << i;
    }
    // Only the first picture and the whole grabs every two seconds are taken from the screen.
    const size_t at = messages.find("new pictures ");
    ASSERT_NE(at, std::string::npos) << messages;
    EXPECT_LE(std::atoi(messages.c_str() + at + 13), 3) << messages;
}

// Another client keeps repainting a place in its current colour, and 60 times a second gives it
// and two far-apart places a new colour in one request. Following changes, a late fetch of the
// repainted place must not show the new colour while the others still show the old one. A third
// client keeps the server busy below the area, so the recorder's requests wait, as on a loaded
// machine, and the new colour often lands between finding what changed and fetching it.
TEST_F(RecordTest, APictureNeverMixesTwoMoments)
{
    ASSERT_TRUE(xscene::paintRoot(kBackground, {}));
    const xscene::Rect middle{300, 160, 64, 24, 0};
    const std::vector<xscene::Rect> all{{300, 8, 64, 24, 0}, middle, {300, 320, 64, 24, 0}};
    std::atomic<bool> stop{false};
    std::thread painter([&] {
        xscene::Canvas canvas;
        auto next = std::chrono::steady_clock::now();
        for (int i = 0; canvas.isOpen() && !stop; ++i) {
            const uint32_t colour = i % 2 ? kRed : kMagenta;
            canvas.fillAtOnce(all, colour);
            next += std::chrono::milliseconds(17);
            while (std::chrono::steady_clock::now() < next)
                canvas.fill({middle.x, middle.y, middle.width, middle.height, colour});
        }
    });
    std::thread hog([&] {
        xscene::Canvas canvas;
        const std::vector<xscene::Rect> below(8, {0, 400, 1920, 680, 0});
        for (int i = 0; canvas.isOpen() && !stop; ++i)
            canvas.fillAtOnce(below, uint32_t(i));
    });
    const std::string out = path("moments.mp4");
    std::string messages;
    const int status = record({"--area", "0,0,640,360", "--fps", "60", "--duration", "4", out}, &messages);
    stop = true;
    painter.join();
    hog.join();
    ASSERT_EQ(status, 0) << messages;
    int mixed = 0, red = 0;
    const std::vector<mp4probe::DecodedPicture> pictures = mp4probe::decodeVideoFrames(out);
    for (const mp4probe::DecodedPicture& picture : pictures) {
        const bool top = picture.pixel(332, 20).b < 128, centre = picture.pixel(332, 172).b < 128,
                   bottom = picture.pixel(332, 332).b < 128;
        mixed += top != centre || centre != bottom;
        red += top && centre && bottom;
    }
    EXPECT_GE(pictures.size(), 220u);
    EXPECT_EQ(mixed, 0) << "of " << pictures.size();
    EXPECT_GT(red, 0);
    EXPECT_LT(red, int(pictures.size()));
}

// Writing into the X server's frame buffer file changes the screen without any damage being
// reported; the whole grab every two seconds still finds it.
TEST(RecordMissedDamage, AChangeWithoutDamageIsCaughtByTheWholeGrab)
{
    QTemporaryDir dir;
    char display[32];
    const QByteArray folder = QFile::encodeName(dir.path());
    const int server = xscene::startXvfb("640x480", display, sizeof display, true, folder.constData());
    ASSERT_GT(server, 0);
    const std::string out = dir.filePath(QStringLiteral("missed.mp4")).toStdString();
    Proc proc = spawn({"--display", display, "--fps", "10", "--duration", "5", out},
                      dir.filePath(QStringLiteral("stderr.txt")).toStdString());
    ASSERT_TRUE(waitForFile(out));
    const auto started = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    // An XWD file: big-endian header fields, the colour map, then rows of B, G, R, X.
    QFile screen(dir.filePath(QStringLiteral("Xvfb_screen0")));
    ASSERT_TRUE(screen.open(QIODevice::ReadWrite));
    const QByteArray header = screen.read(80);
    auto field = [&](int i) { return qFromBigEndian<quint32>(header.constData() + 4 * i); };
    const qint64 pixels = field(0) + qint64(field(19)) * 12, stride = field(12);
    const double writtenAt = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const QByteArray green = QByteArray::fromHex("00ff0000").repeated(64);
    for (int y = 100; y < 164; ++y)
        ASSERT_TRUE(screen.seek(pixels + y * stride + 100 * 4) && screen.write(green) == green.size());
    screen.close();
    std::string messages;
    EXPECT_EQ(finish(proc, &messages), 0) << messages;
    xscene::stopXvfb(server);

    const std::vector<mp4probe::DecodedPicture> pictures = mp4probe::decodeVideoFrames(out);
    int first = -1;
    for (size_t i = 0; i < pictures.size() && first < 0; ++i)
        if (near(pictures[i], 130, 130, 0x00ff00))
            first = int(i);
    ASSERT_GE(first, 0) << "the change never showed";
    EXPECT_LE(first, (writtenAt + 2.5) * 10) << "later than the whole grab's interval";
}

TEST(RecordLostDisplay, KillingTheXServerKeepsWhatWasRecorded)
{
    QTemporaryDir dir;
    char display[32];
    const int server = xscene::startXvfb("640x480", display, sizeof display);
    ASSERT_GT(server, 0);
    const std::string out = dir.filePath(QStringLiteral("lost.mp4")).toStdString();
    Proc proc = spawn({"--display", display, "--fps", "10", "--cursor", out},
                      dir.filePath(QStringLiteral("stderr.txt")).toStdString());
    std::this_thread::sleep_for(std::chrono::milliseconds(1800));
    xscene::stopXvfb(server);
    std::string messages;
    EXPECT_EQ(finish(proc, &messages), 1) << messages;
    EXPECT_NE(messages.find("went away"), std::string::npos) << messages;
    expectPlayable(out, 10, 0.3, 2.1, 640, 480);
}

// --- the portal back-end on the Wayland desktop ------------------------------------------

const uint32_t kDesktop = 0x336699;

class RecordPortalTest : public RecordTest
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(wlscene::paintBackground(kDesktop, {{100, 50, 200, 100, kRed}, {400, 300, 50, 60, kGreen}}));
    }
    QString tokenFile() const
    {
        return qEnvironmentVariable("XDG_STATE_HOME") + QStringLiteral("/murovent/portal-restore-token");
    }
};

TEST_F(RecordPortalTest, WholeMonitorAndAreaWithAndWithoutCursor)
{
    const std::string full = path("full.mp4"), area = path("area.mp4");
    std::string messages;
    ASSERT_EQ(record({"--backend", "portal", "--duration", "3", full}, &messages), 0) << messages;
    expectPlayable(full, 10, 2.8, 3.3, 1280, 720);
    mp4probe::DecodedPicture picture = mp4probe::decodeVideoFrame(full, 20);
    ASSERT_TRUE(picture.ok) << picture.error;
    EXPECT_TRUE(near(picture, 20, 20, kDesktop));
    EXPECT_TRUE(near(picture, 200, 100, kRed));
    EXPECT_TRUE(near(picture, 425, 330, kGreen));

    // The compositor draws no pointer on its headless output: with --cursor the portal is
    // asked to embed it (see the portal test) and the recording must still work.
    ASSERT_EQ(record({"--area", "90,40,320,240", "--cursor", "--duration", "2", area}, &messages), 0) << messages;
    expectPlayable(area, 10, 1.8, 2.3, 320, 240);
    picture = mp4probe::decodeVideoFrame(area, 10);
    ASSERT_TRUE(picture.ok) << picture.error;
    EXPECT_TRUE(near(picture, 20, 20, kRed)) << "the area's origin";
    EXPECT_TRUE(near(picture, 5, 5, kDesktop));
    EXPECT_TRUE(near(picture, 205, 105, kRed));
    EXPECT_TRUE(near(picture, 215, 115, kDesktop));
    EXPECT_TRUE(near(picture, 315, 235, kDesktop));
}

TEST_F(RecordPortalTest, SecondRecordingHandsThePortalTheStoredChoice)
{
    QFile::remove(tokenFile());
    std::string messages;
    ASSERT_EQ(record({"--area", "0,0,64,64", "--duration", "0.5", path("first.mp4")}, &messages), 0) << messages;
    QFile stored(tokenFile());
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    const QString token = QString::fromUtf8(stored.readAll()).trimmed();
    ASSERT_FALSE(token.isEmpty());

    wlscene::BusWatch watch("SelectSources");
    ASSERT_EQ(record({"--area", "0,0,64,64", "--duration", "0.5", path("second.mp4")}, &messages), 0) << messages;
    const QString traffic = watch.seen();
    EXPECT_TRUE(wlscene::hasOption(traffic, "restore_token", QStringLiteral("string \"%1\"").arg(token)))
        << traffic.toStdString();
    expectPlayable(path("second.mp4"), 10, 0.4, 0.8, 64, 64);
}

// Each of these replaces or ends a part of the desktop, so each runs in a session of its own.
TEST_F(RecordPortalTest, MissingCancellingOrRefusingPortalExitsWithOneAndCreatesNothing)
{
    std::string messages;
    {
        wlscene::EmptyBus bus;
        const QByteArray real = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.address().toUtf8());
        EXPECT_EQ(record({"--duration", "1", path("missing.mp4")}, &messages), 1) << messages;
        qputenv("DBUS_SESSION_BUS_ADDRESS", real);
        EXPECT_NE(messages.find("murovent-record: no desktop portal on the session bus"), std::string::npos)
            << messages;
    }
    {
        wlscene::OtherPortalBackend cancelling(wlscene::OtherPortalBackend::Cancelling);
        ASSERT_TRUE(cancelling.serving());
        EXPECT_EQ(record({"--duration", "1", path("cancelled.mp4")}, &messages), 1) << messages;
        EXPECT_NE(messages.find("murovent-record: screen sharing was cancelled"), std::string::npos) << messages;
    }
    {
        wlscene::OtherPortalBackend refusing(wlscene::OtherPortalBackend::Refusing);
        ASSERT_TRUE(refusing.serving());
        EXPECT_EQ(record({"--duration", "1", path("refused.mp4")}, &messages), 1) << messages;
        EXPECT_NE(messages.find("murovent-record: the desktop portal refused to share the screen (Start answered 2)"),
                  std::string::npos) << messages;
    }
    EXPECT_TRUE(files().isEmpty()) << files().join(QLatin1Char(' ')).toStdString();
}

struct DesktopPart {
    const char* program;
    const char* reason;
};

class RecordPortalLost : public RecordPortalTest, public ::testing::WithParamInterface<DesktopPart>
{
};

TEST_P(RecordPortalLost, KillingAPartOfTheDesktopKeepsWhatWasRecorded)
{
    const std::string out = path("lost.mp4");
    Proc proc = spawn({"--fps", "10", out}, path("stderr.txt"));
    std::this_thread::sleep_for(std::chrono::milliseconds(1800));
    const int pid = wlscene::sessionPid(GetParam().program);
    ASSERT_GT(pid, 0);
    kill(pid, SIGKILL);
    std::string messages;
    EXPECT_EQ(finish(proc, &messages), 1) << messages;
    EXPECT_NE(messages.find(GetParam().reason), std::string::npos) << messages;
    EXPECT_NE(messages.find("recording cut short"), std::string::npos) << messages;
    expectPlayable(out, 10, 0.3, 2.1, 1280, 720);
}

INSTANTIATE_TEST_SUITE_P(Killed, RecordPortalLost,
                         ::testing::Values(DesktopPart{"pipewire", "the connection to PipeWire broke"},
                                           DesktopPart{"sway", "the screen cast ended: its source went away"}),
                         [](const ::testing::TestParamInfo<DesktopPart>& info) { return std::string(info.param.program); });

} // namespace

int main(int argc, char** argv)
{
    // Qt only paints pictures here; on Wayland the cases kill the compositor, which would end a
    // program connected to it.
    if (qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
