// SPDX-License-Identifier: GPL-2.0-or-later
// The preview scene: zoom arithmetic, the background item's geometry and default picture,
// fitting, and the two watermark items.
#include "imagewateritem.h"
#include "serverinfostore.h"
#include "shell_testenv.h"
#include "textwateritem.h"
#include "zm_global.h"
#include "zm_graphicsitem.h"
#include "zm_graphicsview.h"

#include <QApplication>
#include <QGraphicsScene>
#include <QGraphicsSceneMouseEvent>
#include <QPainter>
#include <QSlider>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

#include <json/value.h>

namespace {

void wheel(ZMGraphicsView& view, int delta, Qt::KeyboardModifiers modifiers)
{
    const QPointF at(view.viewport()->width() / 2.0, view.viewport()->height() / 2.0);
    QWheelEvent event(at, view.viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &event);
}

QPixmap solid(int w, int h)
{
    QPixmap pixmap(w, h);
    pixmap.fill(Qt::darkCyan);
    return pixmap;
}

} // namespace

// Reaches the item's event handlers the way the scene's dispatch would.
class EditableText : public TextWaterItem
{
public:
    using TextWaterItem::TextWaterItem;
    void doubleClick()
    {
        QGraphicsSceneMouseEvent event(QEvent::GraphicsSceneMouseDoubleClick);
        mouseDoubleClickEvent(&event);
    }
    void loseFocus()
    {
        QFocusEvent event(QEvent::FocusOut, Qt::OtherFocusReason);
        focusOutEvent(&event);
    }
};

class TestScene : public QObject {
    Q_OBJECT
private slots:
    void zoomScalesBySliderSteps();
    void ctrlWheelZoomsWithinSliderRange();
    void backgroundGeometry();
    void fitItemShrinksUntilItemFits();
    void fitItemStopsAtSliderMinimum();
    void defaultPictureIsBuiltIn();
    void defaultPictureIsCurrentAdvertisement();
    void textWatermark();
    void textWatermarkEditing();
    void imageWatermark();
};

void TestScene::zoomScalesBySliderSteps()
{
    ZMGraphicsView view;
    const qreal start = view.transform().m11();
    QCOMPARE(view.zoomSlider()->value(), 100);
    view.zoomSlider()->setValue(120);
    QCOMPARE(view.transform().m11() / start, 1.5625);
    QCOMPARE(view.transform().m22() / start, 1.5625);
    view.zoomSlider()->setValue(100);
    QVERIFY(qFuzzyCompare(view.transform().m11(), start));
    view.zoomOut();
    QCOMPARE(view.zoomSlider()->value(), 90);
    QVERIFY(qFuzzyCompare(view.transform().m11(), 0.8 * start));
    view.zoomIn();
    view.zoomIn();
    QCOMPARE(view.zoomValue(), 110.0);
    QVERIFY(qFuzzyCompare(view.transform().m11(), 1.25 * start));
}

void TestScene::ctrlWheelZoomsWithinSliderRange()
{
    ZMGraphicsView view;
    view.resize(400, 300);
    wheel(view, 120, Qt::ControlModifier);
    QCOMPARE(view.zoomSlider()->value(), 110);
    wheel(view, -120, Qt::ControlModifier);
    wheel(view, -120, Qt::ControlModifier);
    QCOMPARE(view.zoomSlider()->value(), 90);
    wheel(view, 120, Qt::NoModifier);
    QCOMPARE(view.zoomSlider()->value(), 90);
    for (int i = 0; i < 30; ++i)
        wheel(view, 120, Qt::ControlModifier);
    QCOMPARE(view.zoomSlider()->value(), 200);
    QCOMPARE(view.zoomValue(), 200.0);
    for (int i = 0; i < 30; ++i)
        wheel(view, -120, Qt::ControlModifier);
    QCOMPARE(view.zoomSlider()->value(), 1);
    QCOMPARE(view.zoomValue(), 1.0);
}

void TestScene::backgroundGeometry()
{
    QGraphicsScene scene;
    auto* item = new ZMGraphicsItem;
    scene.addItem(item);
    QCOMPARE(item->boundingRect(), QRectF(0, 0, 1, 1));
    QVERIFY(item->flags() == QGraphicsItem::GraphicsItemFlags());

    item->setPixmap(QPixmap());
    QVERIFY(item->isShowingDefault());
    item->setPixmap(solid(200, 100));
    QVERIFY(!item->isShowingDefault());
    QCOMPARE(item->boundingRect(), QRectF(-101, -51, 202, 102));
    QCOMPARE(scene.sceneRect(), QRectF(-121, -71, 242, 142));

    // The picture is drawn centred on the item's origin, inside the scene rectangle's margin.
    QImage shot(242, 142, QImage::Format_ARGB32);
    shot.fill(Qt::white);
    QPainter painter(&shot);
    scene.render(&painter, QRectF(0, 0, 242, 142), scene.sceneRect());
    painter.end();
    const QColor cyan(Qt::darkCyan);
    QCOMPARE(shot.pixelColor(121 - 100, 71 - 50), cyan);
    QCOMPARE(shot.pixelColor(121 + 99, 71 + 49), cyan);
    QCOMPARE(shot.pixelColor(121 - 101, 71), QColor(Qt::white));
    QCOMPARE(shot.pixelColor(121 + 100, 71), QColor(Qt::white));
    QCOMPARE(shot.pixelColor(121, 71 - 51), QColor(Qt::white));

    // Odd sizes halve toward zero: the picture's centre stays the item's origin.
    item->setPixmap(solid(201, 99));
    QCOMPARE(item->boundingRect(), QRectF(-101, -50, 203, 101));
}

void TestScene::fitItemShrinksUntilItemFits()
{
    QGraphicsScene scene;
    ZMGraphicsView view;
    view.setScene(&scene);
    view.resize(500, 400);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* item = new ZMGraphicsItem;
    scene.addItem(item);
    item->setPixmap(solid(1600, 900)); // fits by itself through fitToView

    const int settled = view.zoomSlider()->value();
    QVERIFY(settled < 100);
    QVERIFY(settled > 1);
    auto fits = [&] {
        const QRectF visible = view.mapToScene(view.viewport()->rect()).boundingRect();
        const QRectF shown = item->mapRectToScene(item->boundingRect());
        return visible.width() / (shown.width() + 100) >= 1 - 1e-9 && visible.height() / shown.height() >= 1 - 1e-9;
    };
    QVERIFY(fits());
    // One 3-step zoom less would not have fitted: it stopped at the first fitting zoom.
    view.zoomSlider()->setValue(settled + 3);
    QVERIFY(!fits());

    // A picture that already fits leaves the zoom alone.
    view.zoomSlider()->setValue(100);
    item->setPixmap(solid(100, 50));
    QCOMPARE(view.zoomSlider()->value(), 100);
}

void TestScene::fitItemStopsAtSliderMinimum()
{
    QGraphicsScene scene;
    ZMGraphicsView view;
    view.setScene(&scene);
    view.resize(120, 100);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    auto* item = new ZMGraphicsItem;
    scene.addItem(item);
    // Even at the smallest zoom this picture cannot fit: the loop must still end.
    item->setPixmap(solid(8000, 8000));
    QCOMPARE(view.zoomSlider()->value(), 1);
    QCOMPARE(view.zoomValue(), 1.0);
}

void TestScene::defaultPictureIsBuiltIn()
{
    QGraphicsScene scene;
    ZMGraphicsView view;
    view.setScene(&scene);
    auto* item = new ZMGraphicsItem;
    scene.addItem(item);
    item->setPixmap(solid(200, 100));
    item->showDefault();
    QVERIFY(item->isShowingDefault());
    const QImage builtin(QString::fromUtf8(ZMGraphicsItem::builtinDefaultPath()));
    QVERIFY(!builtin.isNull());
    QTRY_COMPARE(item->boundingRect().size(), QSizeF(builtin.width() + 2, builtin.height() + 2));
    QCOMPARE(scene.sceneRect().size(), QSizeF(builtin.width() + 42, builtin.height() + 42));

    // Once loaded, the default comes back without another lookup.
    item->setPixmap(solid(200, 100));
    item->showDefault();
    QCOMPARE(item->boundingRect().size(), QSizeF(builtin.width() + 2, builtin.height() + 2));
}

void TestScene::defaultPictureIsCurrentAdvertisement()
{
    const QString adPath = ServerInfoStore::adImagePath();
    QImage(64, 40, QImage::Format_RGB32).save(adPath);
    Json::Value record;
    record["localpath"] = adPath.toStdString();
    record["adImageMD5"] = gFunc::fileMd5(adPath.toLocal8Bit().constData());
    ServerInfoStore::instance().setAdImage(record);

    QGraphicsScene scene;
    auto* item = new ZMGraphicsItem;
    scene.addItem(item);
    item->showDefault();
    QTRY_COMPARE(item->boundingRect(), QRectF(-33, -21, 66, 42));

    // A picture that no longer matches its digest is not shown: the built-in one is.
    QImage(80, 80, QImage::Format_RGB32).save(adPath);
    auto* second = new ZMGraphicsItem;
    scene.addItem(second);
    second->showDefault();
    const QImage builtin(QString::fromUtf8(ZMGraphicsItem::builtinDefaultPath()));
    QTRY_COMPARE(second->boundingRect().size(), QSizeF(builtin.width() + 2, builtin.height() + 2));
    ServerInfoStore::instance().setAdImage(Json::Value());
}

void TestScene::textWatermark()
{
    QGraphicsScene scene;
    auto* mark = new TextWaterItem(QString::fromUtf8("文字水印,双击编辑替换"));
    scene.addItem(mark);
    QVERIFY(mark->flags() & QGraphicsItem::ItemIsMovable);
    QVERIFY(mark->flags() & QGraphicsItem::ItemIsSelectable);
    QCOMPARE(mark->defaultTextColor(), QColor(Qt::red));
    QCOMPARE(mark->font().pointSize(), 26);
    QVERIFY(mark->font().bold());
    QCOMPARE(mark->document()->documentMargin(), 0.0);

    std::unique_ptr<QImage> image(mark->renderImage());
    QVERIFY(image);
    QCOMPARE(image->format(), QImage::Format_ARGB32);
    const QRectF bounds = mark->boundingRect();
    QCOMPARE(image->size(), QSize(qRound(bounds.width()), qRound(bounds.height())));
    int red = 0, clear = 0;
    for (int y = 0; y < image->height(); ++y)
        for (int x = 0; x < image->width(); ++x) {
            const QRgb p = image->pixel(x, y);
            if (qAlpha(p) == 0)
                ++clear;
            else if (qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60)
                ++red;
        }
    QVERIFY(red > 50);
    QVERIFY(clear > red);

    mark->setDefaultTextColor(Qt::blue);
    image.reset(mark->renderImage());
    QVERIFY(image->pixelColor(0, 0).alpha() == 0);

    mark->remove();
    QVERIFY(!mark->isVisible());
}

void TestScene::textWatermarkEditing()
{
    QGraphicsScene scene;
    ZMGraphicsView view;
    view.setScene(&scene);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QApplication::setActiveWindow(&view);
    auto* mark = new EditableText(QStringLiteral("mark"));
    scene.addItem(mark);
    QCOMPARE(mark->textInteractionFlags(), Qt::NoTextInteraction);

    mark->doubleClick();
    QCOMPARE(mark->textInteractionFlags(), Qt::TextEditorInteraction);
    QTRY_VERIFY(mark->hasFocus());
    QTextCursor cursor = mark->textCursor();
    cursor.select(QTextCursor::Document);
    mark->setTextCursor(cursor);
    QVERIFY(mark->textCursor().hasSelection());

    mark->loseFocus();
    QCOMPARE(mark->textInteractionFlags(), Qt::NoTextInteraction);
    QVERIFY(!mark->textCursor().hasSelection());
    QCOMPARE(mark->toPlainText(), QStringLiteral("mark"));
}

void TestScene::imageWatermark()
{
    QGraphicsScene scene;
    auto* mark = new ImageWaterItem(QStringLiteral(":/images/Logo_msg_48x48.png"));
    scene.addItem(mark);
    QVERIFY(mark->flags() & QGraphicsItem::ItemIsMovable);
    QVERIFY(mark->flags() & QGraphicsItem::ItemIsSelectable);
    QCOMPARE(mark->boundingRect(), QRectF(0, 0, 48, 48));
    QImage* original = mark->image();

    // A file that is no picture keeps the old one.
    const QString bogus = QDir::tempPath() + "/not-a-picture.png";
    QFile file(bogus);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("plain text");
    file.close();
    QVERIFY(!mark->replaceImage(bogus));
    QCOMPARE(mark->image(), original);
    QCOMPARE(mark->pos(), QPointF(0, 0));

    const QString picture = QDir::tempPath() + "/mark.bmp";
    QVERIFY(QImage(30, 20, QImage::Format_RGB32).save(picture));
    QVERIFY(mark->replaceImage(picture));
    QCOMPARE(mark->boundingRect(), QRectF(0, 0, 30, 20));
    QCOMPARE(mark->pos(), QPointF(1, 0)); // nudged so the scene repaints it

    mark->setPos(10, 10);
    QVERIFY(mark->isVisible());
    mark->remove();
    QVERIFY(!mark->isVisible());

    ImageWaterItem fallback;
    QVERIFY(!fallback.image()->isNull());
}

SHELL_TEST_MAIN(TestScene)
#include "tst_scene.moc"
