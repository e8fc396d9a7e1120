// SPDX-License-Identifier: GPL-2.0-or-later
#include "dragproxy.h"

#include <QEvent>
#include <QHoverEvent>
#include <QMouseEvent>
#include <QWidget>

namespace {
QRect s_normalGeometry;

QRect corners(int left, int top, int right, int bottom)
{
    return QRect(QPoint(left, top), QPoint(right, bottom));
}
} // namespace

DragProxy::DragProxy(QWidget* target)
    : QObject(target)
    , m_target(target)
{
    m_target->setAttribute(Qt::WA_MouseTracking);
    // Hover moves are what the filter follows; a top-level window only gets them with WA_Hover.
    m_target->setAttribute(Qt::WA_Hover);
    m_target->installEventFilter(this);
    s_normalGeometry = m_target->geometry();
}

QRect DragProxy::normalGeometry()
{
    return s_normalGeometry;
}

void DragProxy::setBorderWidth(int top, int right, int bottom, int left)
{
    m_top = top;
    m_right = right;
    m_bottom = bottom;
    m_left = left;
    updateRegions();
}

void DragProxy::updateRegions()
{
    const int x2 = m_target->width() - 1;
    const int y2 = m_target->height() - 1;
    const int xr = x2 - m_right;
    const int yb = y2 - m_bottom;
    m_regions[Top] = corners(m_left, 0, xr, m_top - 1);
    m_regions[TopRight] = corners(xr + 1, 0, x2, m_top - 1);
    m_regions[Right] = corners(xr + 1, m_top, x2, yb);
    m_regions[BottomRight] = corners(xr + 1, yb + 1, x2, y2);
    m_regions[Bottom] = corners(m_left, yb + 1, xr, y2);
    m_regions[BottomLeft] = corners(0, yb + 1, m_left - 1, y2);
    m_regions[Left] = corners(0, m_top, m_left - 1, yb);
    m_regions[TopLeft] = corners(0, 0, m_left - 1, m_top - 1);
    m_regions[Inside] = corners(m_left, m_top, xr, yb);
}

int DragProxy::hitTest(const QPoint& pos) const
{
    for (int i = Top; i <= Inside; ++i)
        if (m_regions[i].contains(pos))
            return i;
    return None;
}

void DragProxy::updateCursor(int region)
{
    switch (region) {
    case Top:
    case Bottom:
        m_target->setCursor(Qt::SizeVerCursor);
        break;
    case Right:
    case Left:
        m_target->setCursor(Qt::SizeHorCursor);
        break;
    case TopRight:
    case BottomLeft:
        m_target->setCursor(Qt::SizeBDiagCursor);
        break;
    case BottomRight:
    case TopLeft:
        m_target->setCursor(Qt::SizeFDiagCursor);
        break;
    default:
        m_target->setCursor(Qt::ArrowCursor);
        break;
    }
}

QRect DragProxy::draggedGeometry(int region, const QRect& start, const QPoint& delta) const
{
    const int dx = delta.x(), dy = delta.y();
    int x = start.x(), y = start.y(), w = start.width(), h = start.height();
    switch (region) {
    case Top: y += dy; h -= dy; break;
    case TopRight: y += dy; w += dx; h -= dy; break;
    case Right: w += dx; break;
    case BottomRight: w += dx; h += dy; break;
    case Bottom: h += dy; break;
    case BottomLeft: x += dx; w -= dx; h += dy; break;
    case Left: x += dx; w -= dx; break;
    case TopLeft: x += dx; y += dy; w -= dx; h -= dy; break;
    case Inside: return QRect(x + dx, y + dy, w, h);
    default: return QRect();
    }
    const QSize least = m_target->minimumSize();
    const QSize most = m_target->maximumSize();
    if (w < least.width() || w > most.width() || h < least.height() || h > most.height())
        return QRect();
    return QRect(x, y, w, h);
}

void DragProxy::drag(const QPoint& globalPos)
{
    const QRect next = draggedGeometry(m_activeRegion, m_pressGeometry, globalPos - m_pressPoint);
    if (next.isNull())
        return;
    if (m_activeRegion == Inside)
        m_target->move(next.topLeft());
    else
        m_target->setGeometry(next);
}

bool DragProxy::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            m_pressed = true;
            m_activeRegion = hitTest(mouse->position().toPoint());
            m_pressPoint = m_target->mapToGlobal(mouse->position().toPoint());
            m_pressGeometry = m_target->geometry();
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        m_pressed = false;
        m_activeRegion = None;
        m_target->setCursor(Qt::ArrowCursor);
        break;
    case QEvent::Leave:
        m_target->setCursor(Qt::ArrowCursor);
        break;
    case QEvent::MouseButtonDblClick:
        if (m_target->isFullScreen()) {
            m_target->setGeometry(s_normalGeometry);
            m_target->show();
        } else {
            m_target->showFullScreen();
        }
        break;
    case QEvent::Resize:
        updateRegions();
        break;
    case QEvent::HoverMove: {
        auto* hover = static_cast<QHoverEvent*>(event);
        const QPoint pos = hover->position().toPoint();
        if (!m_pressed)
            updateCursor(hitTest(pos));
        else
            drag(m_target->mapToGlobal(pos));
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
