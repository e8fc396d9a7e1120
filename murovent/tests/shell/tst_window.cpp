// SPDX-License-Identifier: GPL-2.0-or-later
// The main window as the program builds it, on a real X server with a tray host: its parts,
// sizes, status line, balloons, hiding into the tray and coming back from it.
#include "shell_testenv.h"
#include "zm_avrecordermenu.h"
#include "zm_graphicsitem.h"
#include "zm_graphicsview.h"
#include "zm_language.h"
#include "zm_window.h"
#include "savebarwidget.h"
#include "timerwidget.h"

#include <QApplication>
#include <QComboBox>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolButton>
#include <QGraphicsScene>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSlider>
#include <QStatusBar>
#include <QToolBar>
#include <QtTest>

namespace {

// The balloon the tray icon shows for a message (the toolkit's own widget on X11).
QWidget* balloon()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits("QBalloonTip") && w->isVisible())
            return w;
    return nullptr;
}

QStringList labelTexts(QWidget* w)
{
    QStringList texts;
    for (QLabel* label : w->findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

// The mean colour of the middle of a picture, where an icon's tile is.
QColor meanColour(const QImage& picture)
{
    const QImage img = picture.convertToFormat(QImage::Format_RGB32);
    const QRect middle = img.rect().adjusted(img.width() / 5, img.height() / 5, -img.width() / 5, -img.height() / 5);
    qint64 r = 0, g = 0, b = 0, n = 0;
    for (int y = middle.top(); y <= middle.bottom(); ++y)
        for (int x = middle.left(); x <= middle.right(); ++x, ++n) {
            const QRgb p = img.pixel(x, y);
            r += qRed(p), g += qGreen(p), b += qBlue(p);
        }
    return n ? QColor(int(r / n), int(g / n), int(b / n)) : QColor();
}

int distance(const QColor& a, const QColor& b)
{
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue());
}

// "hh:mm:ss" in a text, in seconds; -1 without one.
int secondsIn(const QString& text)
{
    const QRegularExpressionMatch m = QRegularExpression("(\\d\\d):(\\d\\d):(\\d\\d)").match(text);
    return m.hasMatch() ? m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt() : -1;
}

// The file size a status line names, in bytes (the unit in either language); -1 without one.
double bytesIn(const QString& text)
{
    const QRegularExpressionMatch m = QRegularExpression(QString::fromUtf8("文件大小: ([\\d.]+) (\\S+)")).match(text);
    if (!m.hasMatch())
        return -1;
    const QString unit = m.captured(2);
    const int power = unit.startsWith('K') ? 1 : unit.startsWith('M') ? 2 : unit.startsWith('G') ? 3 : 0;
    return m.captured(1).toDouble() * (1 << (10 * power));
}

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void construction();
    void preview();
    void trayIcon();
    void statusTexts();
    void balloons();
    void statusLine();
    void dragByTheSurface();
    void closeHidesIntoTray();
    void trayFollowsTheRecording();
    void languageFollowsTheLocale();
    void noTray();

private:
    // Which of the three looks the tray host shows for the program's icon, by colour; the
    // picture of the tray's area is kept as SHOT_DIR/murovent-tray-<look>.png.
    QString trayLook(const char* keepAs);

    ZMWindow* m_window = nullptr;
};

void TestWindow::initTestCase()
{
    // The panel keeps its files in the working folder: give it a private one with hot keys
    // already chosen, so no first-run message interrupts the test.
    QVERIFY(QDir::setCurrent(QDir::tempPath()));
    QFile keys("hotkey.cfg");
    QVERIFY(keys.open(QIODevice::WriteOnly));
    keys.write("Ctrl+F1\nCtrl+F3\n");
    keys.close();
    // Run as "tst_window noTray" on a display without a tray host; otherwise a tray is expected.
    if (!qApp->arguments().contains("noTray"))
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 5000);
    QVERIFY(ZMLanguage::install(qApp, ZMLanguage::choose()));

    m_window = new ZMWindow;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TestWindow::cleanupTestCase()
{
    delete m_window;
}

void TestWindow::construction()
{
    QCOMPARE(m_window->objectName(), QStringLiteral("ZMWindow"));
    QCOMPARE(m_window->windowTitle(), QString::fromUtf8("Murovent --[iZolmet && KX]Zolmet出品"));
    QVERIFY(m_window->windowFlags() & Qt::FramelessWindowHint);
    QCOMPARE(m_window->minimumSize(), QSize(860, 627));
    QVERIFY(m_window->width() >= 860 && m_window->height() >= 627);
    QCOMPARE(m_window->contentsMargins(), QMargins(10, 26, 10, 10));
    // The window starts wide enough for the panel: no control of it is squeezed.
    QWidget* panel = m_window->recorderMenu();
    QVERIFY2(panel->width() >= panel->minimumSizeHint().width(),
             qPrintable(QString("%1 < %2").arg(panel->width()).arg(panel->minimumSizeHint().width())));
    QVERIFY(qApp->styleSheet().contains("background-color: beige"));

    auto* toolBar = m_window->findChild<QToolBar*>();
    QVERIFY(toolBar);
    QCOMPARE(toolBar->windowTitle(), QStringLiteral("TextEdit"));
    QVERIFY(!toolBar->isMovable());
    QCOMPARE(m_window->recorderMenu()->parentWidget(), toolBar);
    QVERIFY(m_window->recorderMenu()->isVisible());
    QCOMPARE(m_window->menuBar()->objectName(), QStringLiteral("menubar"));
    QCOMPARE(m_window->statusBar()->objectName(), QStringLiteral("statusbar"));
    // The form's placeholder gave way to the preview.
    QVERIFY(!m_window->findChild<QWidget*>("centralwidget"));
    QCOMPARE(m_window->centralWidget(), static_cast<QWidget*>(m_window->graphicsView()));
}

void TestWindow::preview()
{
    ZMGraphicsView* view = m_window->graphicsView();
    QVERIFY(view);
    QCOMPARE(view->scene(), m_window->graphicsScene());
    const QList<QGraphicsItem*> items = m_window->graphicsScene()->items();
    QCOMPARE(items.size(), 1);
    auto* background = dynamic_cast<ZMGraphicsItem*>(items.first());
    QVERIFY(background);
    QCOMPARE(m_window->recorderMenu()->createPreviewItem(), background);
    // The built-in default picture arrives from its loader and the view zooms to fit it.
    const QImage builtin(QString::fromUtf8(ZMGraphicsItem::builtinDefaultPath()));
    QTRY_COMPARE(background->boundingRect().size(), QSizeF(builtin.width() + 2, builtin.height() + 2));
    QVERIFY(view->zoomSlider()->value() <= 90);
}

void TestWindow::trayIcon()
{
    QSystemTrayIcon* tray = m_window->trayIcon();
    QVERIFY(tray);
    QVERIFY(tray->isVisible());
    QVERIFY(!tray->icon().isNull());
    QCOMPARE(tray->contextMenu(), m_window->recorderMenu()->trayMenu());
    const QList<QAction*> actions = tray->contextMenu()->actions();
    // The recording's state first, then the three actions.
    QCOMPARE(actions.size(), 5);
    QCOMPARE(actions[0]->text(), QString::fromUtf8("未在录制"));
    QVERIFY(!actions[0]->isEnabled());
    QVERIFY(actions[1]->isSeparator());
    // What the menu shows: the "&" is a character, not a shortcut marker.
    QCOMPARE(actions[2]->iconText(), QString::fromUtf8("开始录制 & 暂停"));
    QCOMPARE(actions[3]->iconText(), QString::fromUtf8("停止程序"));
    QCOMPARE(actions[4]->iconText(), QString::fromUtf8("退出程序"));
    QCOMPARE(tray->toolTip(), QString::fromUtf8("Murovent: 未在录制"));
}

void TestWindow::statusTexts()
{
    QCOMPARE(ZMWindow::statusText(0, QString()), QString::fromUtf8("视频录制已停止 ."));
    QCOMPARE(ZMWindow::statusText(1, QString()), QString::fromUtf8("视频录制已开始 !"));
    QCOMPARE(ZMWindow::statusText(2, QString()), QString::fromUtf8("视频录制已暂停 ~~"));
    QCOMPARE(ZMWindow::statusText(3, QString()), QString::fromUtf8("继续录制 ..."));
    QCOMPARE(ZMWindow::statusText(7, QString()), QString());
    QCOMPARE(ZMWindow::statusText(1, "abc"), QStringLiteral("abc"));
}

void TestWindow::balloons()
{
    m_window->slot_statuChanged(1, QString());
    QTRY_VERIFY(balloon());
    QStringList texts = labelTexts(balloon());
    QVERIFY2(texts.contains(QString::fromUtf8("Murovent (Zolmet录屏): ")), qPrintable(texts.join('|')));
    QVERIFY2(texts.contains(QString::fromUtf8("视频录制已开始 !")), qPrintable(texts.join('|')));
    // The balloon stays long enough to be read, then goes away by itself.
    QTest::qWait(2500);
    QVERIFY(balloon());
    QTRY_VERIFY_WITH_TIMEOUT(!balloon(), 3000);
    QCOMPARE(ZMWindow::balloonTime(QString::fromUtf8("视频录制已开始 !")), 3000);
    QVERIFY(ZMWindow::balloonTime(QString(60, 'x')) > 6000);
    QCOMPARE(ZMWindow::balloonTime(QString(500, 'x')), 10000);

    m_window->slot_statuChanged(0, QString::fromUtf8("将在 3 秒后开始录制!"));
    QTRY_VERIFY(balloon());
    texts = labelTexts(balloon());
    QVERIFY2(texts.contains(QString::fromUtf8("将在 3 秒后开始录制!")), qPrintable(texts.join('|')));
    QTRY_VERIFY_WITH_TIMEOUT(!balloon(), 6000);
}

void TestWindow::statusLine()
{
    m_window->showStatusMessage(QString::fromUtf8("全屏录制 !!!"));
    QCOMPARE(m_window->statusBar()->currentMessage(), QString::fromUtf8("*** Murovent @:  全屏录制 !!!"));
    QTest::qWait(100);
    QCOMPARE(m_window->statusBar()->currentMessage(), QString::fromUtf8("*** Murovent @:  全屏录制 !!!"));
}

void TestWindow::dragByTheSurface()
{
    const QRect start = m_window->geometry();
    auto pointerTo = [&](const QPoint& global) { QTest::mouseMove(m_window, m_window->mapFromGlobal(global)); };

    // The band above the tool bar moves the window.
    QPoint press = m_window->mapToGlobal(QPoint(400, 10));
    QTest::mousePress(m_window, Qt::LeftButton, {}, QPoint(400, 10));
    pointerTo(press + QPoint(30, 20));
    QTRY_COMPARE(m_window->geometry(), start.translated(30, 20));
    QTest::mouseRelease(m_window, Qt::LeftButton, {}, m_window->mapFromGlobal(press + QPoint(30, 20)));

    // The bottom-right corner resizes it, but never below 860 x 627.
    const QRect moved = m_window->geometry();
    const QPoint corner(moved.width() - 2, moved.height() - 2);
    press = m_window->mapToGlobal(corner);
    QTest::mousePress(m_window, Qt::LeftButton, {}, corner);
    pointerTo(press + QPoint(-(moved.width() - 860), -10));
    QTest::qWait(50);
    QCOMPARE(m_window->geometry(), moved);
    pointerTo(press + QPoint(-(moved.width() - 860), 40));
    QTRY_COMPARE(m_window->geometry(), QRect(moved.topLeft(), QSize(860, moved.height() + 40)));
    QTest::mouseRelease(m_window, Qt::LeftButton, {}, m_window->mapFromGlobal(press + QPoint(-(moved.width() - 860), 40)));
    m_window->setGeometry(start);
}

void TestWindow::closeHidesIntoTray()
{
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->close());
    QVERIFY(!m_window->isVisible());
    QTest::qWait(100);
    QVERIFY(!m_window->isVisible());

    // The context menu request and a middle click leave it hidden; a click brings it back.
    m_window->slot_systemTrayActive(QSystemTrayIcon::Context);
    m_window->slot_systemTrayActive(QSystemTrayIcon::MiddleClick);
    QVERIFY(!m_window->isVisible());
    m_window->slot_systemTrayActive(QSystemTrayIcon::Trigger);
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_window->windowState(), Qt::WindowActive);

    QVERIFY(!m_window->close());
    m_window->slot_systemTrayActive(QSystemTrayIcon::DoubleClick);
    QVERIFY(m_window->isVisible());
}

QString TestWindow::trayLook(const char* keepAs)
{
    const QRect icon = m_window->trayIcon()->geometry();
    if (icon.isEmpty())
        return QString();
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = icon.adjusted(-80, -4, 80, 4).intersected(screen->geometry());
    screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .save(QStringLiteral(SHOT_DIR "/murovent-tray-%1.png").arg(keepAs));
    const QColor seen = meanColour(screen->grabWindow(0, icon.x(), icon.y(), icon.width(), icon.height()).toImage());
    QString nearest;
    int best = INT_MAX;
    for (const char* look : {"idle", "recording", "paused"}) {
        const int state = QByteArray(look) == "idle" ? 0 : QByteArray(look) == "recording" ? 1 : 2;
        const int d = distance(seen, meanColour(QImage(ZMWindow::trayIconPath(state))));
        if (d < best)
            best = d, nearest = look;
    }
    return nearest;
}

// A recording changes the tray icon's look; its tool tip, the tray menu's first line and the
// status line show a running time, the status line also the file's growing size. After the
// stop the balloon (there is no notification service here) names the file.
void TestWindow::trayFollowsTheRecording()
{
    ZMAVRecorderMenu* panel = m_window->recorderMenu();
    QTemporaryDir dir;
    panel->findChild<SaveBarWidget*>()->setDir(dir.path());
    panel->findChild<SaveBarWidget*>()->setFileName("tray");
    panel->findChild<TimerWidget*>()->setDelay(0);
    panel->findChild<QComboBox*>("cb_recordMode")->setCurrentIndex(1);  // no sound server here
    QSystemTrayIcon* tray = m_window->trayIcon();
    QAction* stateLine = tray->contextMenu()->actions().at(0);
    // Something that changes on the screen, so that the file grows while it is recorded.
    QLabel moving;
    moving.setAttribute(Qt::WA_QuitOnClose, false);
    moving.setGeometry(100, 100, 320, 240);
    QTimer repaint;
    connect(&repaint, &QTimer::timeout, [&] {
        QImage blocks(20, 15, QImage::Format_RGB32);
        for (int y = 0; y < blocks.height(); ++y)
            for (int x = 0; x < blocks.width(); ++x)
                blocks.setPixel(x, y, QRandomGenerator::global()->generate() | 0xff000000u);
        moving.setPixmap(QPixmap::fromImage(blocks.scaled(moving.size())));
    });
    repaint.start(100);
    moving.show();
    QTRY_COMPARE(trayLook("idle"), QString("idle"));

    panel->slot_start_pause();
    QCOMPARE(panel->state(), int(ZMAVRecorderMenu::Recording));
    QTRY_COMPARE_WITH_TIMEOUT(trayLook("recording"), QString("recording"), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(secondsIn(tray->toolTip()) >= 1, 5000);
    const int first = secondsIn(tray->toolTip());
    QVERIFY2(tray->toolTip().startsWith(QString::fromUtf8("Murovent: 正在录制 ")), qPrintable(tray->toolTip()));
    QCOMPARE(stateLine->text(), tray->toolTip().mid(10));
    const QString status = m_window->statusBar()->currentMessage();
    QVERIFY2(secondsIn(status) >= 1 && bytesIn(status) >= 0, qPrintable(status));
    QTRY_VERIFY_WITH_TIMEOUT(secondsIn(tray->toolTip()) >= first + 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(bytesIn(m_window->statusBar()->currentMessage()) > bytesIn(status), 8000);
    const QString later = m_window->statusBar()->currentMessage();
    QVERIFY2(secondsIn(later) > secondsIn(status), qPrintable(status + " / " + later));

    panel->slot_start_pause();
    QCOMPARE(panel->state(), int(ZMAVRecorderMenu::Paused));
    QTRY_COMPARE_WITH_TIMEOUT(trayLook("paused"), QString("paused"), 5000);
    QVERIFY2(tray->toolTip().startsWith(QString::fromUtf8("Murovent: 已暂停 ")), qPrintable(tray->toolTip()));
    // A paused recording's time stands still.
    const int paused = secondsIn(tray->toolTip());
    QTest::qWait(1500);
    QCOMPARE(secondsIn(tray->toolTip()), paused);

    panel->slot_stop();
    QTRY_COMPARE(trayLook("stopped"), QString("idle"));
    QCOMPARE(tray->toolTip(), QString::fromUtf8("Murovent: 未在录制"));
    QTRY_VERIFY(balloon());
    const QString said = labelTexts(balloon()).join('|');
    QVERIFY2(said.contains(QString::fromUtf8("录制已保存: tray.mp4\n时长 00:00:0")), qPrintable(said));
    QVERIFY2(m_window->statusBar()->currentMessage().contains(dir.path() + "/tray.mp4"),
             qPrintable(m_window->statusBar()->currentMessage()));
    m_window->show();
}

// The texts the user reads follow the locale (or MUROVENT_LANG): the tool tips, the tray
// menu, a message box with its button, and Qt's own dialog buttons. Screenshots are kept as
// SHOT_DIR/murovent-<zh|en>-*.png.
void TestWindow::languageFollowsTheLocale()
{
    const QByteArray asked = qgetenv("MUROVENT_LANG");
    const bool chinese = !asked.isEmpty() ? asked == "zh" : (qgetenv("LC_ALL") + qgetenv("LANG")).startsWith("zh");
    QCOMPARE(ZMLanguage::choose(), chinese ? ZMLanguage::Chinese : ZMLanguage::English);
    const QString lang = chinese ? "zh" : "en";
    auto text = [chinese](const char* zh, const char* en) { return QString::fromUtf8(chinese ? zh : en); };
    ZMAVRecorderMenu* panel = m_window->recorderMenu();
    QCOMPARE(panel->findChild<QToolButton*>("tb_start_pause")->toolTip(), text("开始录制", "Start recording"));
    QCOMPARE(panel->findChild<QToolButton*>("tb_stop")->toolTip(), text("停止录制", "Stop recording"));
    QCOMPARE(panel->findChild<QToolButton*>("tb_screenshot")->toolTip(), text("选择录制区域", "Choose the recording area"));
    QMenu* menu = m_window->trayIcon()->contextMenu();
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions[0]->text(), text("未在录制", "Not recording"));
    QCOMPARE(actions[2]->iconText(), text("开始录制 & 暂停", "Start & pause recording"));
    QCOMPARE(actions[3]->iconText(), text("停止程序", "Stop recording"));
    QCOMPARE(actions[4]->iconText(), text("退出程序", "Exit"));
    QVERIFY(m_window->grab().save(QStringLiteral(SHOT_DIR "/murovent-%1-window.png").arg(lang)));
    menu->popup(m_window->geometry().center());
    QTRY_VERIFY(menu->isVisible());
    QVERIFY(menu->grab().save(QStringLiteral(SHOT_DIR "/murovent-%1-traymenu.png").arg(lang)));
    menu->hide();

    // The panel's message box, and Qt's own buttons in a box of the same language.
    QString boxText;
    QStringList buttons;
    int boxes = 0;
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        boxText = box->text();
        for (QAbstractButton* b : box->buttons())
            buttons << b->text();
        box->grab().save(QStringLiteral(SHOT_DIR "/murovent-%1-message-%2.png").arg(lang).arg(++boxes));
        box->buttons().constFirst()->click();
    });
    answer.start(50);
    panel->slot_msgHotKeyConflict();
    QCOMPARE(boxText, text("快捷键冲突,请重新设置快捷键", "A hot key is taken by another program, please set the hot keys again"));
    QCOMPARE(buttons, QStringList(text("确定", "OK")));
    buttons.clear();
    QMessageBox::question(m_window, QStringLiteral("Qt"), QStringLiteral("?"), QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(buttons.size(), 2);
    QVERIFY2(buttons.contains(text("确定", "OK")) && buttons.contains(text("取消", "Cancel")), qPrintable(buttons.join('|')));
}

void TestWindow::noTray()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        QSKIP("a tray host is running");
    // No balloon can show: the status line carries the news, and closing does not hide the
    // window into a tray that is not there.
    m_window->slot_statuChanged(2, QString());
    QCOMPARE(m_window->statusBar()->currentMessage(), QString::fromUtf8("*** Murovent @:  视频录制已暂停 ~~"));
    QTest::qWait(50);
    QVERIFY(!balloon());
    QVERIFY(m_window->isVisible());
}

SHELL_TEST_MAIN(TestWindow)
#include "tst_window.moc"
