// SPDX-License-Identifier: GPL-2.0-or-later
#include "_image_filter.h"

#include <QPainter>

ImageFilter::ImageFilter(const QImage& mark)
    // Premultiplied is what the painter blends from without converting on every frame.
    : m_mark(std::make_unique<QImage>(mark.convertToFormat(QImage::Format_ARGB32_Premultiplied)))
{
}

ImageFilter::~ImageFilter() = default;

void ImageFilter::setPosition(int x, int y)
{
    m_x = x;
    m_y = y;
}

void ImageFilter::apply(unsigned char* frame, int width, int height)
{
    apply(frame, width, height, QRegion(0, 0, width, height));
}

void ImageFilter::apply(unsigned char* frame, int width, int height, const QRegion& clip)
{
    Q_ASSERT(m_mark);
    if (m_mark->isNull() || m_mark->width() > width || m_mark->height() > height
        || !clip.intersects(QRect(QPoint(m_x, m_y), m_mark->size())))
        return;
    // The screen leaves the fourth byte undefined (often 0). Read as alpha it would make every
    // frame pixel transparent and the mark's soft edges would replace the picture instead of
    // blending with it, so the frame is treated as opaque RGB.
    QImage target(frame, width, height, width * 4, QImage::Format_RGB32);
    QPainter painter(&target);
    painter.setClipRegion(clip);
    painter.drawImage(QPointF(m_x, m_y), *m_mark);
}
