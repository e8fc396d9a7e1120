// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QPainter>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QWidget>

class QAction;
class QMenu;

// Full-screen window over a frozen, dimmed picture of the desktop on which the user draws
// the rectangle to record, then moves it or resizes it by eight handles. Return or a double
// click accepts the rectangle (done), Escape or the context menu leaves (quit).
class RectSelector : public QWidget
{
    Q_OBJECT

public:
    // Values of state(); 3 is not used.
    enum State { Idle = 0, Drawing = 1, Drawn = 2, Moving = 4, Moved = 5, Resizing = 6, Resized = 7 };

    explicit RectSelector(QWidget* parent = nullptr);
    ~RectSelector() override;

    // Resets and returns a picture of the whole primary screen.
    QPixmap grabDesktop();
    // The background with everything but the selection dimmed and the selection outlined.
    QPixmap previewPixmap() const;
    // The selection with inclusive corners (left, top, right, bottom).
    QRect selectionRect() const { return m_selection; }
    int state() const { return m_state; }
    // The info label beside the selection: its text and where it is drawn.
    QString labelText() const;
    QRect labelRect() const;

signals:
    void done(QPixmap selectedPix);
    void quit();

public slots:
    void loadBackgroundPixmap(const QPixmap& bgPixmap);
    void loadBackgroundPixmap(const QPixmap& bgPixmap, int x, int y, int width, int height);
    void cancelSelectedRect();
    void quitSelector();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void reset();
    bool hasSelection() const;
    bool canAccept() const;
    QRect currentRect() const;
    QRect movedRect() const;
    QRect resizedRect() const;
    void updateSelection();
    void commitGeometry();
    void updateHandles();
    int handleAt(const QPoint& pos) const;
    QPoint clampToPicture(const QPoint& pos) const;
    void updateCursor(const QPoint& pos);
    void accept();
    void paintSelection();
    void paintLabel();

    QRect m_handles[8];
    QPainter m_painter;
    QPoint m_start, m_end;
    QPoint m_moveStart, m_moveEnd;
    QRect m_selection;
    QPixmap m_background;
    QPixmap m_selectedPix;
    int m_state = Idle;
    int m_grabbedHandle = 0;
    QAction* m_reselectAction = nullptr;
    QAction* m_quitAction = nullptr;
    QMenu* m_contextMenu = nullptr;
    int m_width = 0, m_height = 0;
    int m_x = 0, m_y = 0;
    int m_labelWidth = 200, m_labelHeight = 36;
};
