// SPDX-License-Identifier: GPL-2.0-or-later
#include "rectselector.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QSignalSpy>
#include <QtTest>

// Drives the selector with real input events on a private X server and checks what it
// paints and reports.
class TestRectSelector : public QObject
{
    Q_OBJECT

private:
    static const QColor kBackground;
    RectSelector* m_sel = nullptr;

    void drag(const QPoint& from, const QPoint& to)
    {
        QTest::mousePress(m_sel, Qt::LeftButton, Qt::NoModifier, from);
        QTest::mouseMove(m_sel, (from + to) / 2);
        QTest::mouseMove(m_sel, to);
        QTest::mouseRelease(m_sel, Qt::LeftButton, Qt::NoModifier, to);
    }

    QImage rendered()
    {
        m_sel->repaint();
        return m_sel->grab().toImage();
    }

private slots:
    void init()
    {
        m_sel = new RectSelector;
        QPixmap bg(1920, 1080);
        bg.fill(kBackground);
        m_sel->loadBackgroundPixmap(bg);
        m_sel->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_sel));
    }

    void cleanup()
    {
        delete m_sel;
        m_sel = nullptr;
    }

    void grabsThePrimaryScreen()
    {
        const QPixmap desktop = m_sel->grabDesktop();
        QCOMPARE(desktop.size(), QGuiApplication::primaryScreen()->geometry().size());
        QCOMPARE(m_sel->geometry(), QGuiApplication::primaryScreen()->geometry());
    }

    void drawingGivesDragSizeAndLabel()
    {
        drag(QPoint(10, 10), QPoint(110, 60));
        QCOMPARE(m_sel->state(), int(RectSelector::Drawn));
        QCOMPARE(m_sel->selectionRect(), QRect(QPoint(10, 10), QPoint(109, 59)));
        QCOMPARE(m_sel->labelText(), QString(" x: 10,y: 10 [100x50]"));
        // Top 10 leaves no room above: the label goes inside the selection.
        QCOMPARE(m_sel->labelRect(), QRect(15, 10, 200, 36));

        const QImage img = rendered();
        // Inside (away from outline, handles and label) the desktop shows undimmed,
        // outside it is dimmed.
        QCOMPARE(img.pixelColor(60, 55), kBackground);
        QVERIFY(img.pixelColor(300, 300) != kBackground);
        QVERIFY(img.pixelColor(300, 300).red() < kBackground.red());
        // The label is drawn where it says.
        const QColor label = img.pixelColor(200, 12);
        QVERIFY(label != kBackground && label != img.pixelColor(300, 300));
    }

    void labelAboveAndAtTheRightEdge()
    {
        drag(QPoint(1800, 100), QPoint(1900, 200));
        QCOMPARE(m_sel->labelRect(), QRect(1720, 64, 200, 36));
        QCOMPARE(m_sel->labelText(), QString(" x:1800,y:100 [100x100]"));
    }

    void movesStopAtTheEdges()
    {
        drag(QPoint(100, 100), QPoint(300, 200));
        drag(QPoint(200, 150), QPoint(-400, 100));
        QCOMPARE(m_sel->state(), int(RectSelector::Moved));
        QCOMPARE(m_sel->selectionRect(), QRect(0, 50, 200, 100));
        drag(QPoint(100, 100), QPoint(5000, 2000));
        QCOMPARE(m_sel->selectionRect(), QRect(1720, 980, 200, 100));
    }

    void repaintingKeepsTheMovedRectangle()
    {
        drag(QPoint(100, 100), QPoint(300, 200));
        drag(QPoint(200, 150), QPoint(250, 170));
        const QRect moved(150, 120, 200, 100);
        QCOMPARE(m_sel->selectionRect(), moved);
        for (int i = 0; i < 3; ++i) {
            rendered();
            QCOMPARE(m_sel->selectionRect(), moved);
        }
        // The next drag starts from the rectangle as shown, not from the first drawing.
        drag(QPoint(200, 150), QPoint(210, 150));
        QCOMPARE(m_sel->selectionRect(), moved.translated(10, 0));
    }

    void resizingByHandlesAndFlipping()
    {
        drag(QPoint(100, 100), QPoint(300, 200));
        // Bottom-right corner handle sits on the last pixel of the selection.
        drag(QPoint(299, 199), QPoint(349, 219));
        QCOMPARE(m_sel->state(), int(RectSelector::Resized));
        QCOMPARE(m_sel->selectionRect(), QRect(100, 100, 250, 120));
        // Right-middle handle dragged past the left edge flips the rectangle.
        drag(QPoint(349, 159), QPoint(40, 159));
        QCOMPARE(m_sel->selectionRect(), QRect(41, 100, 59, 120));
        // Top-middle handle changes only the top edge.
        drag(QPoint(70, 100), QPoint(10, 80));
        QCOMPARE(m_sel->selectionRect(), QRect(41, 80, 59, 140));
    }

    void pressOutsideChangesNothing()
    {
        drag(QPoint(100, 100), QPoint(300, 200));
        drag(QPoint(600, 600), QPoint(700, 700));
        QCOMPARE(m_sel->state(), int(RectSelector::Drawn));
        QCOMPARE(m_sel->selectionRect(), QRect(100, 100, 200, 100));
    }

    void cursorsFollowThePointer()
    {
        drag(QPoint(100, 100), QPoint(300, 200));
        QTest::mouseMove(m_sel, QPoint(200, 150));
        QTRY_COMPARE(m_sel->cursor().shape(), Qt::OpenHandCursor);
        QTest::mouseMove(m_sel, QPoint(100, 100));
        QTRY_COMPARE(m_sel->cursor().shape(), Qt::SizeFDiagCursor);
        QTest::mouseMove(m_sel, QPoint(299, 100));
        QTRY_COMPARE(m_sel->cursor().shape(), Qt::SizeBDiagCursor);
        QTest::mouseMove(m_sel, QPoint(199, 199));
        QTRY_COMPARE(m_sel->cursor().shape(), Qt::SizeVerCursor);
        QTest::mouseMove(m_sel, QPoint(800, 800));
        QTRY_COMPARE(m_sel->cursor().shape(), Qt::ArrowCursor);
    }

    void returnAcceptsOnlyASelection()
    {
        QSignalSpy done(m_sel, &RectSelector::done);
        QTest::keyClick(m_sel, Qt::Key_Return);
        QTest::mousePress(m_sel, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QTest::mouseMove(m_sel, QPoint(50, 50));
        QTest::keyClick(m_sel, Qt::Key_Return);
        QCOMPARE(done.count(), 0);
        QTest::mouseRelease(m_sel, Qt::LeftButton, Qt::NoModifier, QPoint(110, 60));
        QTest::keyClick(m_sel, Qt::Key_Return);
        QCOMPARE(done.count(), 1);
        const QPixmap pix = done.at(0).at(0).value<QPixmap>();
        QCOMPARE(pix.size(), QSize(100, 50));
        QVERIFY(!m_sel->isVisible());
    }

    void clickWithoutDragIsNotAccepted()
    {
        QSignalSpy done(m_sel, &RectSelector::done);
        QTest::mouseClick(m_sel, Qt::LeftButton, Qt::NoModifier, QPoint(400, 400));
        QTest::mouseDClick(m_sel, Qt::LeftButton, Qt::NoModifier, QPoint(400, 400));
        QTest::keyClick(m_sel, Qt::Key_Return);
        QCOMPARE(done.count(), 0);
        drag(QPoint(400, 400), QPoint(500, 500));
        QTest::mouseDClick(m_sel, Qt::LeftButton, Qt::NoModifier, QPoint(450, 450));
        QCOMPARE(done.count(), 1);
    }

    void escapeLeavesFromAnyState()
    {
        QSignalSpy quit(m_sel, &RectSelector::quit);
        QTest::mousePress(m_sel, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
        QTest::keyClick(m_sel, Qt::Key_Escape);
        QCOMPARE(quit.count(), 1);
        QVERIFY(!m_sel->isVisible());
        QCOMPARE(m_sel->state(), int(RectSelector::Idle));
    }

    void reselectStartsAgain()
    {
        drag(QPoint(100, 100), QPoint(300, 200));
        m_sel->cancelSelectedRect();
        QCOMPARE(m_sel->state(), int(RectSelector::Idle));
        QCOMPARE(rendered().pixelColor(200, 150), rendered().pixelColor(900, 900));
        drag(QPoint(500, 500), QPoint(600, 650));
        QCOMPARE(m_sel->selectionRect(), QRect(500, 500, 100, 150));
    }

    void previewMarksTheSelection()
    {
        drag(QPoint(100, 100), QPoint(300, 200));
        const QImage preview = m_sel->previewPixmap().toImage();
        QCOMPARE(preview.size(), QSize(1920, 1080));
        QCOMPARE(preview.pixelColor(200, 150), kBackground);
        QVERIFY(preview.pixelColor(50, 50).red() < kBackground.red());
        // The red outline runs two pixels outside the selection.
        const QColor outline = preview.pixelColor(98, 150);
        QVERIFY(outline.red() > 200 && outline.green() < 50 && outline.blue() < 50);
    }
};

const QColor TestRectSelector::kBackground(200, 100, 50);

QTEST_MAIN(TestRectSelector)
#include "test_rectselector.moc"
