// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>

class QWidget;

// Lets the user move and resize a frameless window: the outer bands of the window are
// resize handles (edges and corners), the rest of the window surface moves it, and a
// double-click toggles full screen.
class DragProxy : public QObject
{
    Q_OBJECT
public:
    // Regions, clockwise from the top edge.
    enum Region { Top, TopRight, Right, BottomRight, Bottom, BottomLeft, Left, TopLeft, Inside, None };

    explicit DragProxy(QWidget* target);

    void setBorderWidth(int top, int right, int bottom, int left);
    // The region under a point in the target's coordinates.
    int hitTest(const QPoint& pos) const;
    QRect region(int index) const { return m_regions[index]; }

    // The geometry a drag of the given region by (dx, dy) gives, starting from `start`, or a
    // null rectangle when that would break the target's size limits. For the interior the
    // size is kept and only the position moves.
    QRect draggedGeometry(int region, const QRect& start, const QPoint& delta) const;

    // The geometry full-screen mode returns to: the target's geometry when the last proxy was made.
    static QRect normalGeometry();

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateRegions();
    void updateCursor(int region);
    void drag(const QPoint& globalPos);

    QWidget* m_target;
    int m_top = 0, m_right = 0, m_bottom = 0, m_left = 0;
    QRect m_regions[9];
    QPoint m_pressPoint;
    QRect m_pressGeometry;
    bool m_pressed = false;
    int m_activeRegion = None;
};
