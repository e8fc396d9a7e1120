// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_graphicsview.h"

#include <QBoxLayout>
#include <QGraphicsItem>
#include <QLabel>
#include <QSlider>
#include <QWheelEvent>
#include <QtMath>

#include <cmath>

namespace {

QLabel* zoomMark(const char* picture)
{
    auto* label = new QLabel;
    label->setScaledContents(true);
    label->setPixmap(QPixmap(QString::fromUtf8(picture)));
    return label;
}

// Rounds halves upward, also for negative coordinates of the scene.
int roundHalfUp(qreal v) { return int(std::floor(v + 0.5)); }

} // namespace

ZMGraphicsView::ZMGraphicsView(QWidget* parent)
    : QGraphicsView(parent)
{
    setInteractive(true);
    setAcceptDrops(true);
    setDragMode(QGraphicsView::RubberBandDrag);
    setRenderHints(QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    setRubberBandSelectionMode(Qt::IntersectsItemShape);
    setFocusPolicy(Qt::WheelFocus);
    setAttribute(Qt::WA_KeyCompression);
    setAttribute(Qt::WA_InputMethodEnabled);

    m_slider = new QSlider(Qt::Vertical);
    m_slider->setRange(1, 200);
    m_slider->setTickInterval(10);
    m_slider->setValue(100);
    connect(m_slider, &QSlider::valueChanged, this, &ZMGraphicsView::slot_zoom);

    auto* column = new QVBoxLayout;
    column->addWidget(zoomMark(":/images/zoomin.png"));
    column->addWidget(m_slider);
    column->addWidget(zoomMark(":/images/zoomout.png"));
    auto* row = new QHBoxLayout;
    row->addLayout(column);
    row->addStretch();
    row->setContentsMargins(30, 30, 30, 30);
    row->setSpacing(10);
    setLayout(row);

    setFocus();
}

void ZMGraphicsView::zoomIn()
{
    m_slider->setValue(int(m_zoom) + 10);
}

void ZMGraphicsView::zoomOut()
{
    m_slider->setValue(int(m_zoom) - 10);
}

void ZMGraphicsView::slot_zoom(int value)
{
    const double factor = value > m_zoom ? std::pow(1.25, (value - m_zoom) / 10.0)
                                         : std::pow(0.8, (m_zoom - value) / 10.0);
    scale(factor, factor);
    m_zoom = value;
}

void ZMGraphicsView::wheelEvent(QWheelEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier)
        m_slider->setValue(int(m_zoom) + (event->angleDelta().y() > 0 ? 10 : -10));
    QGraphicsView::wheelEvent(event);
}

void ZMGraphicsView::fitItem(QGraphicsItem* item)
{
    for (;;) {
        const QRectF visibleF = mapToScene(QRect(0, 0, viewport()->width(), viewport()->height()))
                                    .boundingRect();
        const QRect visible(roundHalfUp(visibleF.x()), roundHalfUp(visibleF.y()),
                            roundHalfUp(visibleF.width()), roundHalfUp(visibleF.height()));
        const QRectF itemRect = item->mapRectToScene(item->boundingRect());
        const int itemWidth = roundHalfUp(itemRect.width());
        const int itemHeight = roundHalfUp(itemRect.height());
        if (itemHeight <= 0)
            break;
        const double horizontal = double(visible.width()) / (itemWidth + 100);
        const double vertical = double(visible.height()) / itemHeight;
        if (qMin(horizontal, vertical) >= 1)
            break;
        // At the slider's minimum nothing changes any more: stop there instead of spinning.
        const int before = m_slider->value();
        m_slider->setValue(int(m_zoom) - 3);
        if (m_slider->value() == before)
            break;
    }
    viewport()->update();
}
