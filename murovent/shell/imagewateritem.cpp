// SPDX-License-Identifier: GPL-2.0-or-later
#include "imagewateritem.h"

#include <QFileDialog>
#include <QGraphicsSceneContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>

ImageWaterItem::ImageWaterItem(QString path, QGraphicsItem* parent)
    : QGraphicsObject(parent)
{
    if (path.isEmpty())
        path = QStringLiteral(":/images/logo.png");
    m_image = new QImage(path);
    setFlags(ItemIsMovable | ItemIsSelectable);
}

ImageWaterItem::~ImageWaterItem()
{
    delete m_image;
}

QRectF ImageWaterItem::boundingRect() const
{
    return QRectF(0, 0, m_image->width(), m_image->height());
}

void ImageWaterItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    painter->drawImage(boundingRect(), *m_image);
}

bool ImageWaterItem::replaceImage(const QString& path)
{
    auto* image = new QImage(path);
    if (image->isNull()) {
        delete image;
        return false;
    }
    prepareGeometryChange();
    delete m_image;
    m_image = image;
    setFocus();
    updateMe();
    return true;
}

void ImageWaterItem::changeImage()
{
    const QString path = QFileDialog::getOpenFileName(nullptr, tr("选择水印图片"), QString(),
                                                      tr("Image Files (*.png *.bmp)"));
    if (path.isEmpty())
        return;
    if (!replaceImage(path)) {
        QMessageBox box(QMessageBox::Information, tr("提示"),
                        tr("图片格式不支持或图片无效,\n请换一张试一试!"));
        box.addButton(tr("确定"), QMessageBox::AcceptRole);
        box.exec();
    }
}

void ImageWaterItem::remove()
{
    hide();
}

void ImageWaterItem::updateMe()
{
    setPos(x() + 1, y());
}

void ImageWaterItem::contextMenuEvent(QGraphicsSceneContextMenuEvent* event)
{
    QMenu menu;
    menu.addAction(tr("替换"), this, &ImageWaterItem::changeImage);
    menu.exec(event->screenPos());
}

void ImageWaterItem::mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event)
{
    changeImage();
    setSelected(true);
    QGraphicsObject::mouseDoubleClickEvent(event);
}
