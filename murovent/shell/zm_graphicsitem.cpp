// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_graphicsitem.h"

#include "zm_graphicsview.h"

#include "serverinfostore.h"

#include <QFile>
#include <QGraphicsScene>
#include <QPainter>
#include <QPixmap>

ZMGraphicsItem::ZMGraphicsItem(QGraphicsItem* parent)
    : QGraphicsObject(parent)
{
}

ZMGraphicsItem::~ZMGraphicsItem()
{
    if (m_loader.joinable())
        m_loader.join();
}

const char* ZMGraphicsItem::builtinDefaultPath()
{
    return "://images/green_002.png";
}

QRectF ZMGraphicsItem::boundingRect() const
{
    const QImage& image = shownImage();
    if (image.isNull())
        return QRectF(0, 0, 1, 1);
    const int w = image.width();
    const int h = image.height();
    return QRectF(-(w / 2) - 1, -(h / 2) - 1, w + 2, h + 2);
}

void ZMGraphicsItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const QImage& image = shownImage();
    if (!image.isNull())
        painter->drawImage(QPoint(-(image.width() / 2), -(image.height() / 2)), image);
}

void ZMGraphicsItem::setPixmap(const QPixmap& pixmap)
{
    if (pixmap.isNull())
        return;
    prepareGeometryChange();
    m_image = pixmap.toImage();
    m_showDefault = false;
    updateSceneRect();
    fitToView();
}

void ZMGraphicsItem::showDefault()
{
    prepareGeometryChange();
    m_showDefault = true;
    if (!m_defaultImage.isNull()) {
        updateSceneRect();
        return;
    }
    if (m_loader.joinable())
        return; // a lookup is already on its way
    // Checking the advertisement picture means hashing a file: keep it off the GUI thread
    // and hand the answer back by a queued call.
    m_loader = std::thread([this] {
        const QString path = lookUpDefaultPath();
        QMetaObject::invokeMethod(this, "slot_showDefaultPixmap", Qt::QueuedConnection,
                                  Q_ARG(QString, path));
    });
}

QString ZMGraphicsItem::lookUpDefaultPath()
{
    ServerInfoStore& store = ServerInfoStore::instance();
    if (!store.isAdImageStale()) {
        const QString local = QString::fromStdString(store.adImage().localpath);
        if (QFile::exists(local))
            return local;
    }
    return QString::fromUtf8(builtinDefaultPath());
}

void ZMGraphicsItem::slot_showDefaultPixmap(QString path)
{
    prepareGeometryChange();
    m_defaultImage = QImage(path);
    m_showDefault = true;
    updateSceneRect();
    fitToView();
}

void ZMGraphicsItem::updateSceneRect()
{
    if (QGraphicsScene* s = scene())
        s->setSceneRect(boundingRect().adjusted(-20, -20, 20, 20));
}

void ZMGraphicsItem::fitToView()
{
    QGraphicsScene* s = scene();
    if (!s || s->views().isEmpty())
        return;
    QGraphicsView* view = s->views().first();
    if (auto* zoomable = qobject_cast<ZMGraphicsView*>(view))
        zoomable->fitItem(this);
    else
        view->viewport()->update();
}
