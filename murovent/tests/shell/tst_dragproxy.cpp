// SPDX-License-Identifier: GPL-2.0-or-later
// Moving and resizing a frameless window by its edges, on a real X server: the events come
// through the toolkit's own dispatch, as they do for a user's pointer.
#include "dragproxy.h"
#include "shell_testenv.h"
#include "zm_skin.h"

#include <QApplication>
#include <QtTest>

class TestDragProxy : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void regions();
    void cursorsFollowThePointer();
    void dragEdgesAndInterior();
    void sizeLimitsStopTheDrag();
    void doubleClickTogglesFullScreen();
    void styleSheetApplied();

private:
    // Moves the pointer, with whatever buttons are down, to a global position.
    void pointerTo(const QPoint& global) { QTest::mouseMove(m_window, m_window->mapFromGlobal(global)); }

    QWidget* m_window = nullptr;
    DragProxy* m_proxy = nullptr;
    const QRect m_start{200, 150, 600, 400};
};

void TestDragProxy::init()
{
    m_window = new QWidget;
    m_window->setMinimumSize(300, 200);
    m_window->setMaximumSize(1000, 800);
    m_window->setGeometry(m_start);
    ZMSkin skin(m_window, true);
    m_proxy = skin.dragProxy();
    QVERIFY(m_proxy);
    QCOMPARE(m_proxy->parent(), m_window);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
    QTRY_COMPARE(m_window->geometry(), m_start);
}

void TestDragProxy::cleanup()
{
    QTest::mouseRelease(m_window, Qt::LeftButton);
    delete m_window;
}

void TestDragProxy::regions()
{
    QCOMPARE(m_window->windowFlags() & ~Qt::Window, Qt::WindowFlags(Qt::FramelessWindowHint));
    QVERIFY(m_window->hasMouseTracking());
    // 600 x 400 with 3-pixel bands.
    QCOMPARE(m_proxy->region(DragProxy::Top), QRect(QPoint(3, 0), QPoint(596, 2)));
    QCOMPARE(m_proxy->region(DragProxy::TopRight), QRect(QPoint(597, 0), QPoint(599, 2)));
    QCOMPARE(m_proxy->region(DragProxy::Right), QRect(QPoint(597, 3), QPoint(599, 396)));
    QCOMPARE(m_proxy->region(DragProxy::BottomRight), QRect(QPoint(597, 397), QPoint(599, 399)));
    QCOMPARE(m_proxy->region(DragProxy::Bottom), QRect(QPoint(3, 397), QPoint(596, 399)));
    QCOMPARE(m_proxy->region(DragProxy::BottomLeft), QRect(QPoint(0, 397), QPoint(2, 399)));
    QCOMPARE(m_proxy->region(DragProxy::Left), QRect(QPoint(0, 3), QPoint(2, 396)));
    QCOMPARE(m_proxy->region(DragProxy::TopLeft), QRect(QPoint(0, 0), QPoint(2, 2)));
    QCOMPARE(m_proxy->region(DragProxy::Inside), QRect(QPoint(3, 3), QPoint(596, 396)));

    QCOMPARE(m_proxy->hitTest({1, 1}), int(DragProxy::TopLeft));
    QCOMPARE(m_proxy->hitTest({300, 0}), int(DragProxy::Top));
    QCOMPARE(m_proxy->hitTest({3, 2}), int(DragProxy::Top));
    QCOMPARE(m_proxy->hitTest({2, 3}), int(DragProxy::Left));
    QCOMPARE(m_proxy->hitTest({599, 399}), int(DragProxy::BottomRight));
    QCOMPARE(m_proxy->hitTest({300, 200}), int(DragProxy::Inside));
    QCOMPARE(m_proxy->hitTest({600, 200}), int(DragProxy::None));
    QCOMPARE(m_proxy->hitTest({-1, 0}), int(DragProxy::None));

    // The bands follow the window's size.
    m_window->resize(500, 300);
    QTRY_COMPARE(m_proxy->region(DragProxy::BottomRight), QRect(QPoint(497, 297), QPoint(499, 299)));
}

void TestDragProxy::cursorsFollowThePointer()
{
    const struct {
        QPoint at;
        Qt::CursorShape shape;
    } cases[] = {
        {{1, 1}, Qt::SizeFDiagCursor},   {{300, 1}, Qt::SizeVerCursor},   {{598, 1}, Qt::SizeBDiagCursor},
        {{598, 200}, Qt::SizeHorCursor}, {{598, 398}, Qt::SizeFDiagCursor}, {{300, 398}, Qt::SizeVerCursor},
        {{1, 398}, Qt::SizeBDiagCursor}, {{1, 200}, Qt::SizeHorCursor},    {{300, 200}, Qt::ArrowCursor},
    };
    for (const auto& c : cases) {
        QTest::mouseMove(m_window, c.at);
        QTRY_COMPARE(m_window->cursor().shape(), c.shape);
    }
}

void TestDragProxy::dragEdgesAndInterior()
{
    // Left edge by +10: the left side moves right and the window narrows by 10.
    QPoint press = m_window->mapToGlobal(QPoint(1, 200));
    QTest::mousePress(m_window, Qt::LeftButton, {}, QPoint(1, 200));
    pointerTo(press + QPoint(10, 0));
    QTRY_COMPARE(m_window->geometry(), QRect(210, 150, 590, 400));
    QTest::mouseRelease(m_window, Qt::LeftButton, {}, m_window->mapFromGlobal(press + QPoint(10, 0)));
    QTRY_COMPARE(m_window->cursor().shape(), Qt::ArrowCursor);

    // Top-left corner: both the position and the size change.
    press = m_window->mapToGlobal(QPoint(1, 1));
    QTest::mousePress(m_window, Qt::LeftButton, {}, QPoint(1, 1));
    pointerTo(press + QPoint(-20, 30));
    QTRY_COMPARE(m_window->geometry(), QRect(190, 180, 610, 370));
    QTest::mouseRelease(m_window, Qt::LeftButton, {}, m_window->mapFromGlobal(press + QPoint(-20, 30)));

    // Interior: moves without resizing.
    press = m_window->mapToGlobal(QPoint(300, 200));
    QTest::mousePress(m_window, Qt::LeftButton, {}, QPoint(300, 200));
    pointerTo(press + QPoint(-40, 25));
    QTRY_COMPARE(m_window->geometry(), QRect(150, 205, 610, 370));
    QTest::mouseRelease(m_window, Qt::LeftButton, {}, m_window->mapFromGlobal(press + QPoint(-40, 25)));

    // After the release, moving the pointer no longer drags.
    pointerTo(m_window->mapToGlobal(QPoint(320, 200)));
    QTest::qWait(50);
    QCOMPARE(m_window->geometry(), QRect(150, 205, 610, 370));
}

void TestDragProxy::sizeLimitsStopTheDrag()
{
    const QPoint press = m_window->mapToGlobal(QPoint(598, 398));
    QTest::mousePress(m_window, Qt::LeftButton, {}, QPoint(598, 398));
    pointerTo(press + QPoint(-100, -100));
    QTRY_COMPARE(m_window->size(), QSize(500, 300));
    // Below the minimum width the movement is dropped as a whole: the height stays too.
    pointerTo(press + QPoint(-320, -150));
    QTest::qWait(50);
    QCOMPARE(m_window->geometry(), QRect(200, 150, 500, 300));
    // Exactly the minimum is allowed.
    pointerTo(press + QPoint(-300, -200));
    QTRY_COMPARE(m_window->size(), QSize(300, 200));
    QTest::mouseRelease(m_window, Qt::LeftButton, {}, m_window->mapFromGlobal(press + QPoint(-300, -200)));

    // The arithmetic on its own, including the maximum and the no-region case.
    const QRect start(100, 100, 600, 400);
    QCOMPARE(m_proxy->draggedGeometry(DragProxy::Right, start, {400, 0}), QRect(100, 100, 1000, 400));
    QVERIFY(m_proxy->draggedGeometry(DragProxy::Right, start, {401, 0}).isNull());
    QCOMPARE(m_proxy->draggedGeometry(DragProxy::BottomLeft, start, {5, 7}), QRect(105, 100, 595, 407));
    QCOMPARE(m_proxy->draggedGeometry(DragProxy::TopRight, start, {5, 7}), QRect(100, 107, 605, 393));
    QCOMPARE(m_proxy->draggedGeometry(DragProxy::Inside, start, {-500, -500}), QRect(-400, -400, 600, 400));
    QVERIFY(m_proxy->draggedGeometry(DragProxy::None, start, {5, 5}).isNull());
}

void TestDragProxy::doubleClickTogglesFullScreen()
{
    QCOMPARE(DragProxy::normalGeometry(), m_start);
    m_window->setGeometry(250, 180, 500, 300);
    QTRY_COMPARE(m_window->geometry(), QRect(250, 180, 500, 300));
    QTest::mouseDClick(m_window, Qt::LeftButton, {}, QPoint(100, 100));
    QTRY_VERIFY(m_window->isFullScreen());
    QTest::mouseDClick(m_window, Qt::LeftButton, {}, QPoint(100, 100));
    // Back to the geometry the proxy was made with, not the one just before full screen.
    QTRY_COMPARE(m_window->geometry(), m_start);
    QVERIFY(!m_window->isFullScreen());
}

void TestDragProxy::styleSheetApplied()
{
    QVERIFY(qApp->styleSheet().contains("background-color: beige"));
    QVERIFY(!ZMSkin::loadStyleSheet(":/no/such/sheet.qss"));
    QVERIFY(qApp->styleSheet().contains("background-color: beige"));
    // A skin without a target only styles the application.
    ZMSkin plain(nullptr, true);
    QVERIFY(!plain.dragProxy());
}

SHELL_TEST_MAIN(TestDragProxy)
#include "tst_dragproxy.moc"
