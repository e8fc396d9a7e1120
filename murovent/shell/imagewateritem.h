// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QGraphicsObject>

class QImage;

// The image watermark in the preview: movable and selectable; double-click or the context
// menu replaces its picture. The picture stays owned by the item; the recording reads it in
// place (image()).
class ImageWaterItem : public QGraphicsObject
{
    Q_OBJECT
public:
    explicit ImageWaterItem(QString path = QString(), QGraphicsItem* parent = nullptr);
    ~ImageWaterItem() override;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    QImage* image() const { return m_image; }
    // Takes the picture in the file as the watermark; false (and the old picture kept) when
    // the file holds no readable picture.
    bool replaceImage(const QString& path);

public slots:
    void changeImage();
    void remove();
    void updateMe();

protected:
    void contextMenuEvent(QGraphicsSceneContextMenuEvent* event) override;
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override;

private:
    QImage* m_image;
};
