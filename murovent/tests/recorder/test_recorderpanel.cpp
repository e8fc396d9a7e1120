// SPDX-License-Identifier: GPL-2.0-or-later
#include "imagewateritem.h"
#include "modalanswerer.h"
#include "mp4_probe.h"
#include "rectselector.h"
#include "savebarwidget.h"
#include "test_support.h"
#include "textwateritem.h"
#include "timerwidget.h"
#include "tone_analysis.h"
#include "wlscene.h"
#include "xscene.h"
#include "zm_avrecordermenu.h"
#include "zm_graphicsitem.h"
#include "zm_monitorchoice.h"
#include "zm_monitors.h"
#include "zm_portalchoice.h"
#include "zm_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGraphicsScene>
#include <QIcon>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QToolButton>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Collects what the program writes to standard output while it is active.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        m_file.open();
        fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { finish(); }

    QString finish()
    {
        if (m_saved >= 0) {
            fflush(stdout);
            dup2(m_saved, STDOUT_FILENO);
            close(m_saved);
            m_saved = -1;
            QFile f(m_file.fileName());
            f.open(QIODevice::ReadOnly);
            m_text = QString::fromUtf8(f.readAll());
        }
        return m_text;
    }

private:
    QTemporaryFile m_file;
    int m_saved = -1;
    QString m_text;
};

int dumpValue(const QString& dump, const QString& field)
{
    const QRegularExpression re("^" + QRegularExpression::escape(field) + ": (-?\\d+)$",
                                QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = re.match(dump);
    return m.hasMatch() ? m.captured(1).toInt() : INT_MIN;
}

struct Probe {
    QSize video;
    bool audio = false;
    int frames = 0;
};

Probe probe(const QString& path)
{
    QProcess p;
    p.start("ffprobe", { "-v", "error", "-count_packets", "-show_entries",
                         "stream=codec_type,width,height,nb_read_packets", "-of", "csv=p=0", path });
    p.waitForFinished(30000);
    Probe result;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(',');
        if (f.value(0) == "video") {
            result.video = QSize(f.value(1).toInt(), f.value(2).toInt());
            result.frames = f.value(3).toInt();
        } else if (f.value(0) == "audio") {
            result.audio = true;
        }
    }
    return result;
}

// The last picture of the file, decoded to 32-bit pixels.
QImage lastFrame(const QString& path, const QSize& size)
{
    QProcess p;
    p.start("ffmpeg", { "-v", "error", "-sseof", "-0.5", "-i", path, "-frames:v", "1", "-f", "rawvideo",
                        "-pix_fmt", "bgra", "-" });
    p.waitForFinished(30000);
    const QByteArray bytes = p.readAllStandardOutput();
    if (bytes.size() != size.width() * size.height() * 4)
        return QImage();
    return QImage(reinterpret_cast<const uchar*>(bytes.constData()), size.width(), size.height(),
                  QImage::Format_RGB32)
        .copy();
}


QRect boundsWhere(const QImage& img, const QRect& within, const std::function<bool(QColor)>& test)
{
    QRect bounds;
    for (int y = within.top(); y <= within.bottom(); ++y)
        for (int x = within.left(); x <= within.right(); ++x)
            if (img.rect().contains(x, y) && test(img.pixelColor(x, y)))
                bounds |= QRect(x, y, 1, 1);
    return bounds;
}

QRect opaqueBounds(const QImage& mark)
{
    return boundsWhere(mark.convertToFormat(QImage::Format_ARGB32), mark.rect(),
                       [](QColor c) { return c.alpha() > 200; });
}

bool near(const QImage& frame, int x, int y, QRgb rgb)
{
    const QColor c = frame.pixelColor(x, y);
    return qAbs(c.red() - qRed(rgb)) + qAbs(c.green() - qGreen(rgb)) + qAbs(c.blue() - qBlue(rgb)) < 40;
}

// What the notification server's control tool says; false when it failed.
bool dunstctl(const QStringList& args, QByteArray* out = nullptr)
{
    QProcess p;
    p.start("dunstctl", args);
    if (!p.waitForFinished(5000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    if (out)
        *out = p.readAllStandardOutput();
    return true;
}

QByteArray dunstctlOutput(const QStringList& args)
{
    QByteArray out;
    dunstctl(args, &out);
    return out.trimmed();
}

bool nearlyEqual(const QRect& a, const QRect& b, int slack)
{
    return qAbs(a.left() - b.left()) <= slack && qAbs(a.top() - b.top()) <= slack
           && qAbs(a.right() - b.right()) <= slack && qAbs(a.bottom() - b.bottom()) <= slack;
}

} // namespace

// The recorder panel in a real main window on a private X server (and, with a sound server,
// a microphone that hears a tone): the checks before a start, the numbering of files, the
// timers, pause and resume, and real recordings decoded back.
class TestRecorderPanel : public QObject
{
    Q_OBJECT

private:
    QWidget* m_backdrop = nullptr;
    ZMWindow* m_window = nullptr;
    ZMAVRecorderMenu* m_panel = nullptr;
    SaveBarWidget* m_save = nullptr;
    TimerWidget* m_timer = nullptr;
    QTemporaryDir* m_dir = nullptr;
    ModalAnswerer* m_answerer = nullptr;

    template <class T>
    T* widget(const char* name) const
    {
        T* w = m_panel->findChild<T*>(name);
        Q_ASSERT(w);
        return w;
    }

    RectSelector* selector() const
    {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* sel = qobject_cast<RectSelector*>(w))
                return sel;
        return nullptr;
    }

    static bool hasSoundServer() { return !qEnvironmentVariableIsEmpty("PULSE_SERVER"); }

    void setMode(int mode) { widget<QComboBox>("cb_recordMode")->setCurrentIndex(mode); }

    // Draws the region with the selector, as the user does: area button, drag, Return.
    void selectRegion(const QPoint& from, const QPoint& to)
    {
        QTest::mouseClick(widget<QToolButton>("tb_screenshot"), Qt::LeftButton);
        QVERIFY(!m_window->isVisible());
        RectSelector* sel = selector();
        QVERIFY(sel);
        QTRY_VERIFY(sel->isVisible());
        QTest::mousePress(sel, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(sel, (from + to) / 2);
        QTest::mouseMove(sel, to);
        QTest::mouseRelease(sel, Qt::LeftButton, Qt::NoModifier, to);
        QTest::keyClick(sel, Qt::Key_Return);
        QVERIFY(!sel->isVisible());
        QVERIFY(m_window->isVisible());
        QVERIFY(widget<QToolButton>("tb_screenshot")->isChecked());
    }

    // A file system of 1 MiB with about freeKiB left, mounted in the test's folder (it needs
    // root); an empty path where it cannot be mounted.
    QString smallDisk(const QString& name, int freeKiB)
    {
        const QString disk = m_dir->path() + "/" + name;
        if (!QDir().mkpath(disk) || QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", disk}) != 0)
            return {};
        QProcess::execute("dd", {"if=/dev/zero", "of=" + disk + "/filler", "bs=4k",
                                 QString("count=%1").arg((1024 - freeKiB) / 4)});
        return disk;
    }

    void clickStart()
    {
        QTest::mouseClick(widget<QToolButton>("tb_start_pause"), Qt::LeftButton);
    }

    // Starts and expects a refusal with exactly this message.
    void expectRefusal(const QString& message)
    {
        QSignalSpy status(m_panel, &ZMAVRecorderMenu::signal_statuChanged);
        clickStart();
        QCOMPARE(m_answerer->takeMessage(), message);
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Stopped));
        QCOMPARE(status.count(), 0);
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_panel->startShot().isArmed());
    }

    ImageWaterItem* imageMark() const
    {
        for (QGraphicsItem* item : m_window->graphicsScene()->items())
            if (auto* mark = dynamic_cast<ImageWaterItem*>(item))
                return mark;
        return nullptr;
    }

    TextWaterItem* textMark() const
    {
        for (QGraphicsItem* item : m_window->graphicsScene()->items())
            if (auto* mark = dynamic_cast<TextWaterItem*>(item))
                return mark;
        return nullptr;
    }

    // Where a frame pixel appears in the preview, whose picture is the whole screen.
    QPointF previewPoint(const QPoint& screenPos) const
    {
        ZMGraphicsItem* preview = m_window->recorderMenu()->createPreviewItem();
        return preview->sceneBoundingRect().topLeft() + QPointF(1, 1) + screenPos;
    }

    void addMarks(const QPoint& textAt, const QPoint& imageAt)
    {
        QTest::mouseClick(widget<QToolButton>("tb_waterText"), Qt::LeftButton);
        QTest::mouseClick(widget<QToolButton>("tb_watermark"), Qt::LeftButton);
        // The image mark asks for a picture first; the answerer cancels, the logo stays.
        QVERIFY(textMark() && textMark()->isVisible());
        QVERIFY(imageMark() && imageMark()->isVisible());
        textMark()->setPos(previewPoint(textAt));
        imageMark()->setPos(previewPoint(imageAt));
    }

    void checkMarks(const QImage& frame, const QPoint& textAt, const QPoint& imageAt)
    {
        std::unique_ptr<QImage> text(textMark()->renderImage());
        const QRect textExpected = opaqueBounds(*text).translated(textAt);
        const QRect textSeen = boundsWhere(frame, textExpected.adjusted(-20, -20, 20, 20), [](QColor c) {
            return c.red() > 150 && c.green() < 90 && c.blue() < 90;
        });
        QVERIFY2(nearlyEqual(textSeen, textExpected, 2),
                 qPrintable(QString("text mark seen at %1,%2 %3x%4")
                                .arg(textSeen.x()).arg(textSeen.y()).arg(textSeen.width()).arg(textSeen.height())));
        // Hard red edges survive the encoding: the text lands on the exact pixel.
        QCOMPARE(textSeen.topLeft(), textExpected.topLeft());
        const QRect imageExpected = opaqueBounds(*imageMark()->image()).translated(imageAt);
        // The backdrop takes the program's style, so its colour is read from the picture.
        const QColor backdrop = frame.pixelColor(2, 2);
        const QRect imageSeen = boundsWhere(frame, imageExpected.adjusted(-20, -20, 20, 20), [&](QColor c) {
            return qAbs(c.red() - backdrop.red()) + qAbs(c.green() - backdrop.green())
                       + qAbs(c.blue() - backdrop.blue()) > 60;
        });
        QVERIFY2(nearlyEqual(imageSeen, imageExpected, 2),
                 qPrintable(QString("image mark seen at %1,%2 %3x%4")
                                .arg(imageSeen.x()).arg(imageSeen.y()).arg(imageSeen.width()).arg(imageSeen.height())));
    }

    // Records for about three seconds (after the start delay) from the start button on and
    // returns the file.
    QString record(QString* dump, int ms = 4200)
    {
        StdoutCapture out;
        clickStart();
        if (m_panel->state() != ZMAVRecorderMenu::Recording)
            return QString();
        QTest::qWait(ms);
        m_panel->slot_stop();
        *dump = out.finish();
        const QRegularExpressionMatch m = QRegularExpression("^save_path\\[128\\]: (.*)$",
                                                             QRegularExpression::MultilineOption)
                                              .match(*dump);
        return m.captured(1);
    }

    // Picks an entry of the monitor menu by the start of its text.
    void chooseMonitor(const QString& entry)
    {
        QMenu* menu = m_panel->findChild<ZMMonitorChoice*>()->menu();
        menu->popup(QPoint(0, 0));
        QAction* found = nullptr;
        for (QAction* action : menu->actions())
            if (action->text().startsWith(entry))
                found = action;
        QVERIFY2(found, qPrintable(entry));
        found->trigger();
        menu->hide();
    }

    // The description is dumped line by line in this order, once the sources have set it up.
    void checkDump(const QString& dump, const QString& path)
    {
        static const char* const kFields[] = {
            "FrameFormat", "FrameRotate", "frameRate", "videoBitRate", "pix_x", "pix_y", "width", "height",
            "gopSize", "maxBframe", "quality", "grabCursor", "autoJumpFrame", "SampleFormat", "sampleSz()",
            "audioSampleRate", "channels", "audioBitRate", "audio from", "has_audio_video", "save_path[128]",
        };
        QString pattern = "--------- ZMMovieInfo ---------\n";
        for (const char* field : kFields)
            pattern += QRegularExpression::escape(field) + ": [^\n]*\n";
        pattern += "Water Image: \\[ img: -?\\d+;  x: -?\\d+, y: -?\\d+\\]\n"
                   "Water Text : \\[ img: -?\\d+;  x: -?\\d+, y: -?\\d+\\]\n";
        QCOMPARE(dump.count(QRegularExpression(pattern)), 1);
        QVERIFY(dump.contains("save_path[128]: " + path + "\n"));
        QVERIFY(dump.contains("quality: 0.000000\n"));
        QVERIFY(dump.contains("start\nstart ok\n"));
    }

private slots:
    void initTestCase()
    {
        // The panel keeps its files in the working folder: give it a private one with hot keys
        // already chosen, so the first-run hot-key message does not interrupt the tests.
        QVERIFY(QDir::setCurrent(QDir::tempPath()));
        QFile keys("hotkey.cfg");
        QVERIFY(keys.open(QIODevice::WriteOnly));
        keys.write("Ctrl+F1\nCtrl+F3\n");
        keys.close();
        // A plain backdrop, so watermarks can be found in the recorded pictures.
        m_backdrop = new QWidget;
        m_backdrop->setAttribute(Qt::WA_QuitOnClose, false);
        m_backdrop->setGeometry(QGuiApplication::primaryScreen()->geometry());
        m_backdrop->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_backdrop));
    }

    void cleanupTestCase() { delete m_backdrop; }

    void init()
    {
        m_answerer = new ModalAnswerer;
        m_dir = new QTemporaryDir;
        m_window = new ZMWindow;
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        m_panel = m_window->recorderMenu();
        m_save = m_panel->findChild<SaveBarWidget*>();
        m_timer = m_panel->findChild<TimerWidget*>();
        QVERIFY(m_save && m_timer);
        m_save->setDir(m_dir->path());
        m_save->setFileName(QTest::currentTestFunction());
        m_timer->setDelay(0);
        setMode(1);
    }

    void cleanup()
    {
        delete m_window;
        m_window = nullptr;
        delete m_dir;
        QVERIFY2(m_answerer->messages.isEmpty(), qPrintable(m_answerer->messages.join(" | ")));
        delete m_answerer;
    }

    void areaTooSmallIsRefused()
    {
        selectRegion(QPoint(100, 100), QPoint(140, 300));
        expectRefusal("录制区域宽或高不能小于 64 个像素\n当前选区为: [32x200]\n请重新选择录制区域!");
        QVERIFY(QDir(m_dir->path()).isEmpty());
    }

    void leavingTheSelectorGoesBackToFullScreen()
    {
        auto* area = widget<QToolButton>("tb_screenshot");
        QTest::mouseClick(area, Qt::LeftButton);
        QTRY_VERIFY(selector()->isVisible());
        QTest::keyClick(selector(), Qt::Key_Escape);
        QVERIFY(!area->isChecked());
        QVERIFY(m_window->isVisible());
        // An accepted region shows in the preview as the whole screen with the region marked.
        selectRegion(QPoint(300, 200), QPoint(700, 500));
        ZMGraphicsItem* preview = m_panel->createPreviewItem();
        QVERIFY(!preview->isShowingDefault());
        QCOMPARE(preview->boundingRect().size(), QSizeF(1922, 1082));
    }

    void smallRegionReportsItsRoundedSize()
    {
        // 100 x 51 rounds to 96 x 52, which is too low.
        selectRegion(QPoint(100, 100), QPoint(200, 151));
        expectRefusal("录制区域宽或高不能小于 64 个像素\n当前选区为: [96x52]\n请重新选择录制区域!");
    }

    void regionIsRounded_data()
    {
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<QSize>("area");
        QTest::newRow("100x81") << QPoint(200, 181) << QSize(96, 82);
        QTest::newRow("112x64") << QPoint(212, 164) << QSize(128, 64);
        QTest::newRow("70x200") << QPoint(170, 300) << QSize(64, 200);
    }

    void regionIsRounded()
    {
        QFETCH(QPoint, to);
        QFETCH(QSize, area);
        selectRegion(QPoint(100, 100), to);
        StdoutCapture out;
        clickStart();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Recording));
        m_panel->slot_stop();
        const QString dump = out.finish();
        QCOMPARE(dumpValue(dump, "pix_x"), 100);
        QCOMPARE(dumpValue(dump, "pix_y"), 100);
        QCOMPARE(dumpValue(dump, "width"), area.width());
        QCOMPARE(dumpValue(dump, "height"), area.height());
    }

    void regionAtTheScreenEdgeStaysOnScreen()
    {
        // 60 pixels wide at the right edge rounds to 64, which would reach past the screen.
        selectRegion(QPoint(1860, 1000), QPoint(1920, 1070));
        StdoutCapture out;
        clickStart();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Recording));
        QTest::qWait(1300);
        m_panel->slot_stop();
        const QString dump = out.finish();
        QCOMPARE(dumpValue(dump, "pix_x"), 1856);
        QCOMPARE(dumpValue(dump, "width"), 64);
        QCOMPARE(dumpValue(dump, "height"), 70);
    }

    void emptyNameIsRefused()
    {
        m_save->setFileName(QString());
        expectRefusal("存储路径不能为空");
    }

    void unreadableFrameRateIsRefused()
    {
        widget<QSpinBox>("spinBox_frameRate")->setSuffix(" fps");
        expectRefusal("请设置帧率!");
    }

    void missingFolderIsRefused()
    {
        QDir(m_dir->path()).mkdir("gone");
        m_save->setDir(m_dir->path() + "/gone");
        QDir(m_dir->path()).rmdir("gone");
        expectRefusal("存储路径无效, 请重新选择 '文件夹' 路径!");
    }

    void unwritableFolderIsRefused()
    {
        m_save->setDir("/proc");
        expectRefusal("当前路径没有读写权限,请以管理员权限运行软件 \n /proc");
    }

    void tooLongPathIsRefused()
    {
        // 30 three-byte characters: the path passes 127 bytes of UTF-8.
        const QString deep = m_dir->path() + "/" + QString(30, QChar(0x5F55));
        QVERIFY(QDir().mkpath(deep));
        m_save->setDir(deep);
        const QString path = deep + "/" + m_save->fileName() + ".mp4";
        expectRefusal(QString("存储路径太长 (超过 127 字节), 请选择较短的文件夹或文件名:\n%1").arg(path));
        QVERIFY(QDir(deep).isEmpty());
    }

    void watermarkLargerThanAreaIsRefused()
    {
        selectRegion(QPoint(100, 100), QPoint(180, 180));
        QTest::mouseClick(widget<QToolButton>("tb_waterText"), Qt::LeftButton);
        QVERIFY(textMark()->boundingRect().width() > 96);
        expectRefusal("水印尺寸大于录制选区，请更换小尺寸水印!");
    }

    // With Qt's logical pixels larger than the device's, the full screen, the selector's
    // picture, rectangle and label, and the recorded area stay in device pixels.
    void scaledDesktopIsRecordedInDevicePixels()
    {
        if (qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR"))
            QSKIP("needs a scaled desktop: runs in a test entry of its own");
        int w = 0, h = 0;
        QVERIFY(xscene::screenSize(&w, &h));
        m_backdrop->hide();
        // Light, like the usual backdrop: red text keeps its colour through 4:2:0 pictures on it.
        const QRgb kDesk = 0xc8c8c8;
        // The drawn 500 x 300 rounds to 512 x 300: a colour in two of its corners.
        QVERIFY(xscene::paintRoot(kDesk, { { 1472, 600, 40, 40, 0xff0000 }, { 1000, 860, 40, 40, 0x00ff00 },
                                              { w - 100, h - 100, 100, 100, 0x0000ff } }));
        widget<QSpinBox>("spinBox_frameRate")->setValue(5);
        QString dump;
        QString path = record(&dump, 2500);
        Probe p = probe(path);
        QCOMPARE(p.video, QSize(w, h));
        QImage frame = lastFrame(path, p.video);
        QVERIFY(near(frame, 1490, 620, 0xff0000) && near(frame, 1020, 880, 0x00ff00));
        QVERIFY(near(frame, w - 1, h - 1, 0x0000ff) && near(frame, w - 101, h - 101, kDesk));

        QTest::mouseClick(widget<QToolButton>("tb_screenshot"), Qt::LeftButton);
        RectSelector* sel = selector();
        QTRY_VERIFY(sel && sel->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(sel));
        QCOMPARE(QProcess::execute("xdotool", { "mousemove", "1000", "600", "mousedown", "1", "mousemove", "1200",
                                                "700", "mousemove", "1500", "900", "mouseup", "1" }), 0);
        QTRY_COMPARE(sel->state(), int(RectSelector::Drawn));
        QCOMPARE(sel->selectionRect(), QRect(1000, 600, 500, 300));
        QCOMPARE(sel->labelText(), QString(" x:1000,y:600 [500x300]"));
        // The undimmed picture lies exactly over the selection, one pixel to one device pixel.
        const QImage shown = sel->grab().toImage();
        QCOMPARE(shown.size(), QSize(w, h));
        QCOMPARE(shown.pixelColor(1490, 620), QColor(255, 0, 0));
        QCOMPARE(shown.pixelColor(1470, 880), QColor(kDesk));
        QVERIFY(shown.pixelColor(980, 620) != QColor(kDesk));
        QTest::keyClick(sel, Qt::Key_Return);
        // Marks placed on the preview land on the same device pixels of the file.
        const QPoint origin(1000, 600), textAt(60, 120), imageAt(300, 230);
        addMarks(origin + textAt, origin + imageAt);
        path = record(&dump, 2500);
        p = probe(path);
        QCOMPARE(p.video, QSize(512, 300));
        frame = lastFrame(path, p.video);
        QVERIFY(near(frame, 508, 3, 0xff0000) && near(frame, 3, 296, 0x00ff00) && near(frame, 256, 250, kDesk));
        checkMarks(frame, textAt, imageAt);
        m_backdrop->show();
    }

    // Several monitors of one X screen: full screen is the panel's monitor unless another one,
    // or all of them, is chosen; a monitor that goes away ends its recording.
    void fullScreenRecordsThePanelsMonitor()
    {
        QString error;
        if (ZMMonitors::find(ZMMonitors::list(QByteArray(), &error), "RIGHT") < 0)
            QSKIP("needs the monitors LEFT and RIGHT: runs in a test entry of its own");
        m_backdrop->hide();
        QVERIFY(xscene::paintRoot(0x203040, { { 0, 0, 1920, 1080, 0xff0000 }, { 1920, 0, 1920, 1080, 0x00ff00 } }));
        m_window->move(2100, 100);
        QTRY_COMPARE(m_window->pos(), QPoint(2100, 100));
        widget<QSpinBox>("spinBox_frameRate")->setValue(5);
        QString dump;
        const QString path = record(&dump, 2000);
        QCOMPARE(dumpValue(dump, "pix_x"), 1920);
        const Probe p = probe(path);
        QCOMPARE(p.video, QSize(1920, 1080));
        const QImage frame = lastFrame(path, p.video);
        QVERIFY(near(frame, 2, 2, 0x00ff00) && near(frame, 1917, 1077, 0x00ff00));

        // The selector lies over both monitors, with the whole desktop under it.
        QTest::mouseClick(widget<QToolButton>("tb_screenshot"), Qt::LeftButton);
        RectSelector* sel = selector();
        QTRY_VERIFY(sel && sel->isVisible());
        QCOMPARE(sel->geometry(), QRect(0, 0, 3840, 1080));
        QVERIFY(QTest::qWaitForWindowExposed(sel));
        const QImage shown = sel->grab().toImage();
        QVERIFY(shown.pixelColor(100, 500).red() > 150 && shown.pixelColor(3700, 500).green() > 150);
        QTest::keyClick(sel, Qt::Key_Escape);

        for (const auto& [entry, x, width] : { std::make_tuple("全部显示器", 0, 3840), std::make_tuple("LEFT  ", 0, 1920) }) {
            chooseMonitor(QString::fromUtf8(entry));
            StdoutCapture out;
            clickStart();
            m_panel->slot_stop();
            const QString started = out.finish();
            QCOMPARE(dumpValue(started, "pix_x"), x);
            QCOMPARE(dumpValue(started, "width"), width);
        }

        chooseMonitor("RIGHT  1920x1080+1920+0");
        clickStart();
        QTest::qWait(1800);
        QCOMPARE(QProcess::execute("xrandr", { "--delmonitor", "RIGHT" }), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!m_answerer->messages.isEmpty(), 5000);
        QCOMPARE(m_answerer->takeMessage(), QString("录制的显示器已断开或已改变, 录制已停止并保存."));
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Stopped));
        QVERIFY(probe(m_dir->path() + "/" + QTest::currentTestFunction() + "~4.mp4").frames >= 2);
        expectRefusal("所选的显示器 RIGHT 已不存在, 请重新选择显示器!");
        m_backdrop->show();
    }

    // A click in the selector picks a window; the recording follows it and ends when it closes.
    // (Before any test that ends the program's event loop: message boxes no longer open then.)
    void pickedWindowIsFollowedUntilItIsClosed()
    {
        xscene::ClientWindow window(300, 200, 400, 300, 0x00ff00);
        QVERIFY(window.id());
        QTest::mouseClick(widget<QToolButton>("tb_screenshot"), Qt::LeftButton);
        RectSelector* sel = selector();
        QTRY_VERIFY(sel && sel->isVisible());
        QTest::mouseClick(sel, Qt::LeftButton, Qt::NoModifier, QPoint(500, 350));
        QCOMPARE(sel->selectionRect(), QRect(300, 200, 400, 300));
        QTest::keyClick(sel, Qt::Key_Return);
        clickStart();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Recording));
        QTest::qWait(2200);
        window.move(1000, 600);
        QTest::qWait(1200);
        window.close();
        QTRY_VERIFY_WITH_TIMEOUT(!m_answerer->messages.isEmpty(), 5000);
        QCOMPARE(m_answerer->takeMessage(), QString("录制的窗口已关闭, 录制已停止并保存."));
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Stopped));
        const QString path = m_dir->path() + "/" + QTest::currentTestFunction() + ".mp4";
        const Probe p = probe(path);
        QCOMPARE(p.video, QSize(400, 300));
        QVERIFY2(p.frames >= 15, qPrintable(QString::number(p.frames)));
        const QImage frame = lastFrame(path, p.video);
        QVERIFY(near(frame, 2, 2, 0x00ff00) && near(frame, 200, 150, 0x00ff00) && near(frame, 397, 297, 0x00ff00));
    }

    // A mark outside the area would not appear: it is named, the recording goes on without
    // it, and the preview keeps it.
    void watermarksOutsideTheAreaAreNamedAndLeftOut()
    {
        selectRegion(QPoint(100, 100), QPoint(500, 400));
        addMarks(QPoint(700, 700), QPoint(800, 800));
        StdoutCapture out;
        clickStart();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Recording));
        QCOMPARE(m_answerer->takeMessage(), QString("文字水印, 图片水印 不在录制区域内, 不会出现在本次录制中."));
        m_panel->slot_stop();
        QVERIFY(out.finish().contains("Water Image: [ img: 0;  x: 0, y: 0]\nWater Text : [ img: 0;  x: 0, y: 0]\n"));
        QVERIFY(textMark()->isVisible() && imageMark()->isVisible());

        // A mark inside the area is used and not named.
        imageMark()->setPos(previewPoint(QPoint(110, 110)));
        textMark()->hide();
        clickStart();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Recording));
        m_panel->slot_stop();
        QVERIFY(m_answerer->messages.isEmpty());
    }

    // Without a file manager on this desktop, "open folder" says it failed.
    void failedOpenFolderIsReported()
    {
        QProcess query;
        query.start("xdg-mime", {"query", "default", "inode/directory"});
        query.waitForFinished(5000);
        if (!query.readAllStandardOutput().trimmed().isEmpty())
            QSKIP("a file manager is installed");
        QTest::mouseClick(widget<QToolButton>("tb_gotoDir"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!m_answerer->messages.isEmpty(), 10000);
        const QString said = m_answerer->takeMessage();
        QVERIFY2(said.startsWith("无法打开文件夹 " + m_dir->path() + "\n") && said.size() > m_dir->path().size() + 10,
                 qPrintable(said));
    }

    // After the stop the notification server has one notification naming the file, and its
    // action opens the folder (here: says that nothing could open it).
    void recordingIsAnnounced()
    {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            QSKIP("needs a notification server");
        clickStart();
        QTRY_VERIFY_WITH_TIMEOUT(m_window->statusBar()->currentMessage().contains("正在录制 00:00:02"), 6000);
        m_panel->slot_stop();
        const QString name = QString(QTest::currentTestFunction()) + ".mp4";
        QTRY_COMPARE_WITH_TIMEOUT(dunstctlOutput({"count", "displayed"}), QByteArray("1"), 5000);
        QVERIFY(dunstctl({"action", "0"}));
        QTRY_VERIFY_WITH_TIMEOUT(!m_answerer->messages.isEmpty(), 10000);
        QVERIFY(m_answerer->takeMessage().startsWith("无法打开文件夹 " + m_dir->path()));
        QVERIFY(dunstctl({"close-all"}));
        const QByteArray json = dunstctlOutput({"history"});
        const QJsonArray history = QJsonDocument::fromJson(json).object()["data"].toArray().at(0).toArray();
        QStringList ours;
        for (const QJsonValue& n : history)
            if (n["appname"]["data"].toString() == "Murovent")
                ours << n["summary"]["data"].toString() + "|" + n["body"]["data"].toString();
        QCOMPARE(ours.size(), 1);
        QVERIFY2(ours[0].startsWith("录制已保存|" + name + "\n时长 00:00:0"), qPrintable(ours[0]));
        QVERIFY(ours[0].contains(", 大小 "));
    }

    void failedFileSetUpIsReported()
    {
        auto* format = m_save->findChild<QComboBox*>("cb_format");
        format->addItem(".nosuchformat");
        format->setCurrentIndex(1);
        clickStart();
        QString message = m_answerer->takeMessage();
        QVERIFY2(message.startsWith("无法创建录制文件") && message.endsWith("\n@ av_guess_format(...) is NULL"),
                 qPrintable(message));
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Stopped));
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_panel->startShot().isArmed());

        // A full disk still takes the empty file the checks create, then refuses the header.
        format->setCurrentIndex(0);
        const QString full = smallDisk("full", 0);
        if (full.isEmpty())
            QSKIP("mounting a small file system needs root");
        m_save->setDir(full);
        clickStart();
        message = m_answerer->takeMessage();
        QProcess::execute("umount", {full});
        QVERIFY2(message.startsWith("无法创建录制文件") && message.endsWith(": No space left on device"),
                 qPrintable(message));
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Stopped));
    }

    // A disk that fills during the recording: warned once while there is still room, then the
    // failed write stops the recording with the system's reason and what was written plays.
    void fullDiskStopsTheRecording()
    {
        // Less than a minute of this recording, filled within seconds.
        const QString disk = smallDisk("small", 44);
        if (disk.isEmpty())
            QSKIP("mounting a small file system needs root");
        m_save->setDir(disk);
        setMode(0);
        clickStart();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Recording));
        QTRY_COMPARE_WITH_TIMEOUT(m_answerer->messages.size(), 2, 40000);
        const QString movie = disk + "/" + m_save->fileName() + ".mp4";
        const mp4probe::Mp4Info info = mp4probe::probeMp4(movie.toStdString());
        const int frames = mp4probe::countVideoFrames(movie.toStdString());
        QProcess::execute("umount", {disk});
        QVERIFY2(m_answerer->messages[0].startsWith("磁盘空间即将用完, 录制仍在继续.\n"),
                 qPrintable(m_answerer->messages[0]));
        QVERIFY2(m_answerer->messages[1].startsWith("录制文件写入出错, 录制已停止, 之前录制的内容已保存.\n")
                     && m_answerer->messages[1].endsWith("No space left on device"),
                 qPrintable(m_answerer->messages[1]));
        m_answerer->messages.clear();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Stopped));
        QVERIFY2(info.ok, info.error.c_str());
        QVERIFY2(info.duration >= 1.0, qPrintable(QString::number(info.duration)));
        QVERIFY(info.stream("audio"));
        QVERIFY2(std::abs(frames - info.stream("video")->duration * 10) <= 2,
                 qPrintable(QString("%1 frames, video %2 s, file %3 s").arg(frames)
                                .arg(info.stream("video")->duration).arg(info.duration)));
    }

    void missingMicrophoneIsReported()
    {
        if (hasSoundServer())
            QSKIP("a sound server is running");
        setMode(0);
        clickStart();
        QVERIFY(m_answerer->takeMessage().startsWith("没有可用的录音设备"));
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Stopped));
        QVERIFY(m_window->isVisible());
    }

#ifdef ZM_SYSTEM_SOUND
    // Ends the sound server, so it runs only when named on the command line.
    void lostSystemSoundIsShownOnce()
    {
        if (!QCoreApplication::arguments().contains("lostSystemSoundIsShownOnce"))
            QSKIP("ends the sound server: runs on its own");
        setMode(0);
        widget<QCheckBox>("checkBox_sysAudio")->setChecked(true);
        QSignalSpy shown(m_window->statusBar(), &QStatusBar::messageChanged);
        clickStart();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Recording));
        QTest::qWait(2000);
        QCOMPARE(QProcess::execute("pulseaudio", {"-k"}), 0);
        const QString text = "系统声音已断开, 之后录制的是静音.";
        auto times = [&] {
            return int(std::count_if(shown.begin(), shown.end(),
                                     [&](const QList<QVariant>& m) { return m[0].toString().endsWith(text); }));
        };
        QTRY_COMPARE_WITH_TIMEOUT(times(), 1, 5000);
        QTest::qWait(1000);
        QCOMPARE(times(), 1);
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Recording));
        m_panel->slot_stop();
        QVERIFY(m_answerer->messages.isEmpty());
    }
#endif

    // The start button, the stop button and the tray menu follow the recording state.
    void checkControls(const QString& tip, bool stopEnabled, const char* icon)
    {
        auto* startPause = widget<QToolButton>("tb_start_pause");
        QCOMPARE(startPause->toolTip(), tip);
        QCOMPARE(widget<QToolButton>("tb_stop")->isEnabled(), stopEnabled);
        // The recording's state and a separator come before the three actions.
        const QList<QAction*> tray = m_panel->trayMenu()->actions().mid(2);
        QCOMPARE(tray.size(), 3);
        QCOMPARE(tray.at(1)->isEnabled(), stopEnabled);
        const QImage expected = QIcon(icon).pixmap(16).toImage();
        QVERIFY(!expected.isNull());
        QCOMPARE(startPause->icon().pixmap(16).toImage(), expected);
        QCOMPARE(tray.at(0)->icon().pixmap(16).toImage(), expected);
    }

    void trayMenuAndControlsFollowTheState()
    {
        const QList<QAction*> tray = m_panel->trayMenu()->actions().mid(2);
        QCOMPARE(m_panel->trayMenu(), m_panel->trayMenu());
        QCOMPARE(tray.at(0)->iconText(), QString("开始录制 & 暂停"));
        QCOMPARE(tray.at(1)->iconText(), QString("停止程序"));
        QCOMPARE(tray.at(2)->iconText(), QString("退出程序"));
        checkControls("开始录制", false, "://images/start.png");
        tray.at(0)->trigger();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Recording));
        checkControls("暂停录制", true, "://images/pause.png");
        m_panel->slot_hotKeyActive(0);
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Paused));
        QVERIFY(m_window->isVisible());
        checkControls("继续录制", true, "://images/start.png");
        m_panel->slot_hotKeyActive(7);
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Paused));
        m_panel->slot_hotKeyActive(1);
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Stopped));
        checkControls("开始录制", false, "://images/start.png");
    }

    void startWaitsAtLeastOneSecond()
    {
        QSignalSpy status(m_panel, &ZMAVRecorderMenu::signal_statuChanged);
        clickStart();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Recording));
        QVERIFY(!m_window->isVisible());
        QVERIFY(m_panel->startShot().isArmed());
        QCOMPARE(m_panel->startShot().interval(), 1000);
        QVERIFY(!m_panel->stopShot().isArmed());
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).toInt(), 1);
        QCOMPARE(status.at(0).at(1).toString(), QString("将在 1 秒后开始录制!"));
        m_panel->slot_stop();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Stopped));
        QVERIFY(m_window->isVisible());
    }

    void timedStopIsArmedAfterDelayAndLength()
    {
        m_timer->setDelay(3);
        m_timer->setStopSec(60);
        m_timer->setTimerEnable(true);
        QVERIFY(widget<QToolButton>("tb_timer")->isChecked());
        QSignalSpy status(m_panel, &ZMAVRecorderMenu::signal_statuChanged);
        clickStart();
        QCOMPARE(m_panel->startShot().interval(), 3000);
        QVERIFY(m_panel->stopShot().isArmed());
        QCOMPARE(m_panel->stopShot().interval(), 64000);
        QCOMPARE(status.at(0).at(1).toString(), QString("将在 3 秒后开始录制!\n录制 60 秒后自动停止."));
        // Pausing disarms both timers and says so.
        m_panel->slot_start_pause();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Paused));
        QCOMPARE(status.at(1).at(1).toString(), QString("暂停录制,\n并且停用定时器"));
        QVERIFY(!m_panel->startShot().isArmed() && !m_panel->stopShot().isArmed());
        m_panel->slot_stop();
        QVERIFY(!m_timer->isTimerEnable());
        QVERIFY(!widget<QToolButton>("tb_timer")->isChecked());
    }

    void timerButtonArmsTheBarQuietly()
    {
        m_timer->setStopSec(75);
        QSignalSpy enabled(m_timer, &TimerWidget::sig_timerEnable);
        QTest::mouseClick(widget<QToolButton>("tb_timer"), Qt::LeftButton);
        QVERIFY(m_timer->isTimerEnable());
        QCOMPARE(enabled.count(), 0);
        QCOMPARE(m_window->statusBar()->currentMessage(), QString("*** Murovent @:  将使用定时器, 录制时长:  00:01:15"));
        QTest::mouseClick(widget<QToolButton>("tb_timer"), Qt::LeftButton);
        QVERIFY(!m_timer->isTimerEnable());
        QCOMPARE(m_window->statusBar()->currentMessage(), QString("*** Murovent @:  关闭定时器"));
    }

    void recordingsInARowAreNumbered()
    {
        const QString dir = m_dir->path() + "/";
        m_save->setFileName("clip");
        for (const char* expected : { "clip", "clip~2", "clip~3" }) {
            clickStart();
            QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Recording));
            m_panel->slot_stop();
            QVERIFY2(QFile::exists(dir + expected + ".mp4"), expected);
            QCOMPARE(m_save->fileName(), QString(expected));
        }
        // A new name that is taken is numbered on its own, not under the previous name.
        QFile(dir + "other.mp4").open(QIODevice::WriteOnly);
        m_save->setFileName("other");
        clickStart();
        m_panel->slot_stop();
        QCOMPARE(m_save->fileName(), QString("other~2"));
        QVERIFY(QFile::exists(dir + "other~2.mp4"));
    }

    void pauseDuringDelayThenResumeRecords()
    {
        clickStart();
        m_panel->slot_start_pause();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Paused));
        QVERIFY(!m_panel->startShot().isArmed());
        QTest::qWait(1500);
        m_panel->slot_start_pause();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Resumed));
        QTest::qWait(2500);
        m_panel->slot_stop();
        const Probe p = probe(m_dir->path() + "/" + QTest::currentTestFunction() + ".mp4");
        QCOMPARE(p.video, QSize(1920, 1080));
        QVERIFY2(p.frames >= 10, qPrintable(QString::number(p.frames)));
    }

    void pauseResumeThenExitFinishesTheFile()
    {
        clickStart();
        QTest::qWait(2000);
        m_panel->slot_start_pause();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Paused));
        QTest::qWait(500);
        m_panel->slot_start_pause();
        QCOMPARE(m_panel->state(), int(ZMAVRecorderMenu::Resumed));
        QTest::qWait(1000);
        m_panel->slot_exit();
        QVERIFY(!m_window->isVisible());
        // The file is finished at once, the program ends a second later.
        const Probe p = probe(m_dir->path() + "/" + QTest::currentTestFunction() + ".mp4");
        QCOMPARE(p.video, QSize(1920, 1080));
        QVERIFY2(p.frames >= 15, qPrintable(QString::number(p.frames)));
        QTest::qWait(1300);
    }

    void recordModeEnablesControls()
    {
        auto* sysAudio = widget<QCheckBox>("checkBox_sysAudio");
        auto* audioRate = widget<QComboBox>("cb_audioRate");
        QCOMPARE(audioRate->count(), 5);
        QCOMPARE(audioRate->itemText(3), QString("44100"));
        QCOMPARE(audioRate->itemText(4), QString("48000"));
        setMode(1);
        QVERIFY(!sysAudio->isEnabled() && !audioRate->isEnabled());
        QVERIFY(widget<QSpinBox>("spinBox_frameRate")->isEnabled());
        setMode(2);
        QVERIFY(!widget<QSpinBox>("spinBox_frameRate")->isEnabled());
        QVERIFY(!widget<QToolButton>("tb_screenshot")->isEnabled());
        QVERIFY(audioRate->isEnabled());
#ifdef ZM_SYSTEM_SOUND
        QVERIFY(sysAudio->isEnabled());
        QTest::mouseClick(sysAudio, Qt::LeftButton, Qt::NoModifier, QPoint(6, sysAudio->height() / 2));
        QVERIFY(sysAudio->isChecked());
        QVERIFY(!audioRate->isEnabled());
        setMode(0);
        QVERIFY(!audioRate->isEnabled());
#else
        // Without a system-sound source the box stays off whatever the mode.
        setMode(0);
        QVERIFY(!sysAudio->isEnabled() && !sysAudio->isChecked());
        QVERIFY(audioRate->isEnabled());
#endif
    }

    void narrowPanelPopsTheBarsUp()
    {
        auto* timerButton = widget<QToolButton>("tb_timerWidget");
        m_window->resize(1900, 700);
        QTRY_VERIFY(m_timer->isVisible());
        QVERIFY(!timerButton->isVisible());
        m_window->resize(860, 627);
        QTRY_VERIFY(timerButton->isVisible());
        QVERIFY(!m_timer->isVisible());
        QTest::mouseClick(timerButton, Qt::LeftButton);
        auto* popup = qobject_cast<QMenu*>(m_timer->parentWidget());
        QVERIFY(popup);
        QTRY_VERIFY(popup->isVisible());
        QVERIFY(m_timer->isVisible());
        QVERIFY((popup->pos() - timerButton->mapToGlobal(QPoint(0, 0))).manhattanLength() < 30);
        popup->close();
        m_window->resize(1900, 700);
        QTRY_VERIFY(m_timer->isVisible());
        QCOMPARE(m_timer->parentWidget(), widget<QWidget>("frame_timerBox"));
    }

    void recordsFullScreenWithWatermarks()
    {
        if (!hasSoundServer())
            QSKIP("needs a sound server");
        setMode(0);
        const QPoint textAt(200, 120), imageAt(700, 400);
        addMarks(textAt, imageAt);
        QString dump;
        const QString path = record(&dump);
        QVERIFY(!path.isEmpty());
        checkDump(dump, path);
        QCOMPARE(dumpValue(dump, "has_audio_video"), 3);
        const Probe p = probe(path);
        QCOMPARE(p.video, QSize(1920, 1080));
        QVERIFY(p.audio);
        QVERIFY2(p.frames >= 25, qPrintable(QString::number(p.frames)));
        const QImage frame = lastFrame(path, p.video);
        QVERIFY(!frame.isNull());
        checkMarks(frame, textAt, imageAt);
    }

    // System sound with the microphone mixed in, from a microphone chosen in the device menu:
    // the file holds its tone and the default output's, not the default microphone's.
    void recordsMicrophoneAndSystemSoundMixed()
    {
#ifdef ZM_SYSTEM_SOUND
        if (!hasSoundServer())
            QSKIP("needs a sound server");
        audiotest::TonePlayer output, mic;
        output.start(1000);
        mic.start(700, 60, 0.5, "micsink2");
        setMode(2);
        auto* sysAudio = widget<QCheckBox>("checkBox_sysAudio");
        auto* mix = widget<QCheckBox>("checkBox_micWithSys");
        sysAudio->click();
        QVERIFY(sysAudio->isChecked() && mix->isEnabled());
        mix->click();
        QMenu* devices = widget<QToolButton>("tb_soundDevices")->menu();
        emit devices->aboutToShow();
        QAction* chosen = nullptr;
        for (QAction* action : devices->actions())
            if (action->data().toByteArray() == "vmic2")
                chosen = action;
        QVERIFY(chosen);
        chosen->trigger();
        QString dump;
        const QString path = record(&dump);
        QVERIFY(!path.isEmpty());
        QCOMPARE(dumpValue(dump, "audioSampleRate"), 48000);
        QCOMPARE(dumpValue(dump, "channels"), 2);
        // The outputs of a fresh server take a moment to flow: the last second holds both.
        const mp4probe::DecodedAudio decoded = mp4probe::decodeAudio(path.toStdString());
        QVERIFY2(decoded.ok, decoded.error.c_str());
        const std::vector<float> left = tone::channelOf(decoded.samples, 2, 0);
        const auto amplitude = [&](double hz) { return tone::amplitudeNear(left, 48000, hz, left.size() - 48000); };
        QVERIFY2(amplitude(700) > 0.2, qPrintable(QString::number(amplitude(700))));
        QVERIFY2(amplitude(1000) > 0.2, qPrintable(QString::number(amplitude(1000))));
        QVERIFY2(amplitude(440) < 0.01, "the default microphone is heard");
#else
        QSKIP("this build records no system sound");
#endif
    }

    void recordsDrawnRegionWithWatermarks()
    {
        if (!hasSoundServer())
            QSKIP("needs a sound server");
        setMode(0);
        selectRegion(QPoint(300, 200), QPoint(700, 500));
        // 400 x 300 rounds to 416 x 300; marks are placed in frame coordinates.
        const QPoint origin(300, 200), textAt(20, 30), imageAt(300, 200);
        addMarks(origin + textAt, origin + imageAt);
        QString dump;
        const QString path = record(&dump);
        QVERIFY(!path.isEmpty());
        checkDump(dump, path);
        const Probe p = probe(path);
        QCOMPARE(p.video, QSize(416, 300));
        QVERIFY(p.audio);
        const QImage frame = lastFrame(path, p.video);
        QVERIFY(!frame.isNull());
        checkMarks(frame, textAt, imageAt);
    }

    // --- on the headless Wayland desktop (the only cases run there, see CMakeLists.txt) ---

    // The desktop's own background is recorded: known colours at known places.
    bool showDesktop()
    {
        m_backdrop->hide();
        return wlscene::paintBackground(0x336699, {{100, 50, 200, 100, 0xff0000}});
    }

    static bool nearColor(const QColor& seen, QRgb want)
    {
        return qAbs(seen.red() - qRed(want)) + qAbs(seen.green() - qGreen(want)) + qAbs(seen.blue() - qBlue(want)) < 40;
    }

    void waylandRecordsTheSharedMonitorFromTheButton()
    {
        if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            QSKIP("needs the Wayland desktop");
        const QString status = m_window->statusBar()->currentMessage();
        QVERIFY2(status.contains("默认全屏录制 ......   屏幕来源: portal"), qPrintable(status));
        QVERIFY2(status.contains("全局热键需要桌面的支持"), qPrintable(status));
        QVERIFY(showDesktop());
        QString dump;
        const QString path = record(&dump);
        m_backdrop->show();
        QVERIFY(!path.isEmpty());
        const Probe p = probe(path);
        QCOMPARE(p.video, QSize(1280, 720));
        QVERIFY2(p.frames >= 25, qPrintable(QString::number(p.frames)));
        const QImage frame = lastFrame(path, p.video);
        QVERIFY(!frame.isNull());
        QVERIFY(nearColor(frame.pixelColor(200, 100), 0xff0000));
        QVERIFY(nearColor(frame.pixelColor(20, 20), 0x336699));
        QVERIFY2(QFileInfo(ZMPortalChoice::fileName()).size() > 0, "the portal's choice is kept with the settings");
    }

    void waylandRegionIsDrawnOnTheFrozenPicture()
    {
        if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            QSKIP("needs the Wayland desktop");
        QVERIFY(showDesktop());
        selectRegion(QPoint(80, 40), QPoint(400, 280));
        const QImage frozen = selector()->previewPixmap().toImage();
        QCOMPARE(frozen.size(), QSize(1280, 720));
        QVERIFY2(nearColor(frozen.pixelColor(200, 100), 0xff0000), "the portal's picture is shown to draw on");
        QString dump;
        const QString path = record(&dump);
        m_backdrop->show();
        QVERIFY(!path.isEmpty());
        const Probe p = probe(path);
        QCOMPARE(p.video, QSize(320, 240));
        const QImage frame = lastFrame(path, p.video);
        QVERIFY(!frame.isNull());
        QVERIFY(nearColor(frame.pixelColor(120, 60), 0xff0000));
        QVERIFY(nearColor(frame.pixelColor(10, 5), 0x336699));
        QVERIFY(nearColor(frame.pixelColor(250, 200), 0x336699));
    }
};

QTEST_MAIN(TestRecorderPanel)
#include "test_recorderpanel.moc"
