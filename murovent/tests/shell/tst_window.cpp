// The main window as the program builds it, on a real X server with a tray host: its parts,
// sizes, status line, balloons, hiding into the tray and coming back from it.
#include "shell_testenv.h"
#include "zm_avrecordermenu.h"
#include "zm_graphicsitem.h"
#include "zm_graphicsview.h"
#include "zm_window.h"

#include <QApplication>
#include <QGraphicsScene>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
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
    void noTray();

private:
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
    QCOMPARE(actions.size(), 3);
    QCOMPARE(actions[0]->text(), QString::fromUtf8("开始录制 & 暂停"));
    QCOMPARE(actions[1]->text(), QString::fromUtf8("停止程序"));
    QCOMPARE(actions[2]->text(), QString::fromUtf8("退出程序"));
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
    // The balloon goes away by itself after a short time.
    QTRY_VERIFY_WITH_TIMEOUT(!balloon(), 3000);

    m_window->slot_statuChanged(0, QString::fromUtf8("将在 3 秒后开始录制!"));
    QTRY_VERIFY(balloon());
    texts = labelTexts(balloon());
    QVERIFY2(texts.contains(QString::fromUtf8("将在 3 秒后开始录制!")), qPrintable(texts.join('|')));
    QTRY_VERIFY_WITH_TIMEOUT(!balloon(), 3000);
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
