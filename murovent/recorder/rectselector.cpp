// SPDX-License-Identifier: GPL-2.0-or-later
#include "rectselector.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>

namespace {

// Handle codes 1..8 run clockwise from the top-left corner; the rectangles are stored in the
// order TL, TR, BL, BR, TM, BM, LM, RM. This maps a code to its slot in that array.
const int kHandleSlot[9] = { -1, 0, 4, 1, 7, 3, 5, 2, 6 };

const Qt::CursorShape kHandleCursor[9] = {
    Qt::ArrowCursor,
    Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor, Qt::SizeHorCursor,
    Qt::SizeFDiagCursor, Qt::SizeVerCursor, Qt::SizeBDiagCursor, Qt::SizeHorCursor,
};

// The rectangle between two points: dragging n pixels gives a size of n.
QRect span(const QPoint& p, const QPoint& q)
{
    return QRect(qMin(p.x(), q.x()), qMin(p.y(), q.y()), qAbs(p.x() - q.x()), qAbs(p.y() - q.y()));
}

QRect handleAround(int x, int y)
{
    return QRect(QPoint(x - 2, y - 2), QPoint(x + 3, y + 3));
}

QRect primaryScreenGeometry()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

} // namespace

RectSelector::RectSelector(QWidget* parent)
    : QWidget(parent)
{
    // The main window is hidden while the user selects; closing this window must not end
    // the program.
    setAttribute(Qt::WA_QuitOnClose, false);
    setMouseTracking(true);
    setWindowState(Qt::WindowFullScreen | Qt::WindowActive);

    m_contextMenu = new QMenu(this);
    m_reselectAction = m_contextMenu->addAction(tr("重新选区"));
    m_quitAction = m_contextMenu->addAction(tr("退出选区"));
    connect(m_reselectAction, &QAction::triggered, this, &RectSelector::cancelSelectedRect);
    connect(m_quitAction, &QAction::triggered, this, &RectSelector::quitSelector);
    reset();
}

RectSelector::~RectSelector() = default;

void RectSelector::reset()
{
    m_state = Idle;
    m_grabbedHandle = 0;
    m_start = m_end = m_moveStart = m_moveEnd = QPoint(0, 0);
    for (QRect& handle : m_handles)
        handle = QRect();
    setCursor(Qt::CrossCursor);
}

QPixmap RectSelector::grabDesktop()
{
    reset();
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->grabWindow(0) : QPixmap();
}

void RectSelector::loadBackgroundPixmap(const QPixmap& bgPixmap)
{
    const QRect screen = primaryScreenGeometry();
    loadBackgroundPixmap(bgPixmap, 0, 0, screen.width(), screen.height());
}

void RectSelector::loadBackgroundPixmap(const QPixmap& bgPixmap, int x, int y, int width, int height)
{
    m_background = bgPixmap;
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
    // Without a window manager the full-screen state alone does not size the window.
    setGeometry(primaryScreenGeometry());
    reset();
}

void RectSelector::cancelSelectedRect()
{
    reset();
    update();
}

void RectSelector::quitSelector()
{
    emit quit();
    close();
}

bool RectSelector::hasSelection() const
{
    return m_state == Drawn || m_state == Moved || m_state == Resized;
}

QRect RectSelector::currentRect() const
{
    switch (m_state) {
    case Drawing:
    case Drawn:
        return span(m_start, m_end);
    case Moving:
    case Moved:
        return movedRect();
    case Resizing:
    case Resized:
        return resizedRect();
    default:
        return QRect();
    }
}

QRect RectSelector::movedRect() const
{
    const QRect drawn = span(m_start, m_end);
    const QPoint d = m_moveEnd - m_moveStart;
    const int dx = qMax(-drawn.left(), qMin(d.x(), m_width - drawn.left() - drawn.width()));
    const int dy = qMax(-drawn.top(), qMin(d.y(), m_height - drawn.top() - drawn.height()));
    return drawn.translated(dx, dy);
}

// The grabbed corner or edge follows the drag; the opposite edges stay. Spanning the result
// flips the rectangle when an edge is dragged past its opposite.
QRect RectSelector::resizedRect() const
{
    const QRect drawn = span(m_start, m_end);
    const QPoint d = m_moveEnd - m_moveStart;
    int left = drawn.left(), top = drawn.top();
    int right = drawn.left() + drawn.width(), bottom = drawn.top() + drawn.height();
    const int h = m_grabbedHandle;
    if (h == 1 || h == 7 || h == 8)
        left += d.x();
    if (h == 3 || h == 4 || h == 5)
        right += d.x();
    if (h == 1 || h == 2 || h == 3)
        top += d.y();
    if (h == 5 || h == 6 || h == 7)
        bottom += d.y();
    // The selection must stay on the picture: an area off the screen cannot be recorded.
    left = qBound(0, left, m_width);
    right = qBound(0, right, m_width);
    top = qBound(0, top, m_height);
    bottom = qBound(0, bottom, m_height);
    return span(QPoint(left, top), QPoint(right, bottom));
}

void RectSelector::updateSelection()
{
    m_selection = currentRect();
    updateHandles();
}

// A finished move or resize becomes the new drawn rectangle, so the next drag starts from
// what the user sees.
void RectSelector::commitGeometry()
{
    const QRect r = currentRect();
    m_start = r.topLeft();
    m_end = r.topLeft() + QPoint(r.width(), r.height());
    m_moveStart = m_moveEnd = QPoint(0, 0);
    updateSelection();
}

void RectSelector::updateHandles()
{
    const QRect& r = m_selection;
    const int midX = (r.left() + r.right()) / 2;
    const int midY = (r.top() + r.bottom()) / 2;
    m_handles[0] = handleAround(r.left(), r.top());
    m_handles[1] = handleAround(r.right(), r.top());
    m_handles[2] = handleAround(r.left(), r.bottom());
    m_handles[3] = handleAround(r.right(), r.bottom());
    m_handles[4] = handleAround(midX, r.top());
    m_handles[5] = handleAround(midX, r.bottom());
    m_handles[6] = handleAround(r.left(), midY);
    m_handles[7] = handleAround(r.right(), midY);
}

int RectSelector::handleAt(const QPoint& pos) const
{
    if (m_state < Drawn)
        return 0;
    for (int code = 1; code <= 8; ++code) {
        if (m_handles[kHandleSlot[code]].contains(pos))
            return code;
    }
    return 0;
}

QPoint RectSelector::clampToPicture(const QPoint& pos) const
{
    return QPoint(qBound(0, pos.x(), m_width), qBound(0, pos.y(), m_height));
}

void RectSelector::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    if (m_state == Idle) {
        m_state = Drawing;
        m_start = m_end = clampToPicture(pos);
        updateSelection();
        return;
    }
    if (!hasSelection())
        return;
    const int handle = handleAt(pos);
    if (handle == 0 && !m_selection.contains(pos))
        return;
    m_state = handle ? Resizing : Moving;
    m_grabbedHandle = handle;
    m_moveStart = m_moveEnd = pos;
}

void RectSelector::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (m_state == Drawing)
        m_end = clampToPicture(pos);
    else if (m_state == Moving || m_state == Resizing)
        m_moveEnd = pos;
    if (m_state == Drawing || m_state == Moving || m_state == Resizing) {
        updateSelection();
        update();
    }
    updateCursor(pos);
}

void RectSelector::updateCursor(const QPoint& pos)
{
    switch (m_state) {
    case Drawing:
        setCursor(Qt::CrossCursor);
        break;
    case Moving:
        setCursor(Qt::OpenHandCursor);
        break;
    case Resizing:
        setCursor(kHandleCursor[m_grabbedHandle]);
        break;
    case Drawn:
    case Moved:
    case Resized:
        if (m_selection.contains(pos) && handleAt(pos) == 0)
            setCursor(Qt::OpenHandCursor);
        else
            setCursor(kHandleCursor[handleAt(pos)]);
        break;
    default:
        break;
    }
}

void RectSelector::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    if (m_state == Drawing) {
        m_state = Drawn;
        m_end = clampToPicture(pos);
        updateSelection();
    } else if (m_state == Moving || m_state == Resizing) {
        m_state = m_state == Moving ? Moved : Resized;
        m_moveEnd = pos;
        commitGeometry();
    }
    update();
}

// A click without a drag leaves an empty rectangle, which is nothing to record.
bool RectSelector::canAccept() const
{
    return hasSelection() && !m_selection.isEmpty();
}

void RectSelector::accept()
{
    m_selectedPix = m_background.copy(m_selection.translated(-m_x, -m_y));
    emit done(m_selectedPix);
    hide();
}

void RectSelector::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (canAccept())
        accept();
    else
        QWidget::mouseDoubleClickEvent(event);
}

void RectSelector::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        reset();
        emit quit();
        close();
    } else if (event->key() == Qt::Key_Return) {
        if (canAccept())
            accept();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void RectSelector::contextMenuEvent(QContextMenuEvent* event)
{
    m_contextMenu->exec(event->globalPos());
}

void RectSelector::paintEvent(QPaintEvent*)
{
    m_painter.begin(this);
    m_painter.drawPixmap(m_x, m_y, m_background);
    m_painter.fillRect(QRect(m_x, m_y, m_width, m_height), QColor(30, 90, 30, 60));
    if (m_state != Idle) {
        updateSelection();
        paintSelection();
        paintLabel();
    }
    m_painter.end();
}

void RectSelector::paintSelection()
{
    m_painter.setPen(QPen(QBrush(Qt::blue), 2, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin));
    m_painter.setBrush(Qt::NoBrush);
    m_painter.drawRect(m_selection);
    if (!m_selection.isEmpty())
        m_painter.drawPixmap(m_selection.topLeft(), m_background, m_selection.translated(-m_x, -m_y));
    for (const QRect& handle : m_handles)
        m_painter.fillRect(handle, QColor(0, 0, 255));
}

QString RectSelector::labelText() const
{
    const QRect& r = m_selection;
    return QString(" x:%1,y:%2 [%3x%4]")
        .arg(r.left(), 3)
        .arg(r.top(), 3)
        .arg(r.right() - r.left() + 1)
        .arg(r.bottom() - r.top() + 1);
}

// Above the selection when there is room, else inside it at its top; kept on the picture at
// the right edge.
QRect RectSelector::labelRect() const
{
    const QRect& r = m_selection;
    const int x = r.left() + 5 + m_labelWidth > m_width ? m_width - m_labelWidth : r.left() + 5;
    const int y = r.top() > m_labelHeight ? r.top() - m_labelHeight : r.top();
    return QRect(x, y, m_labelWidth, m_labelHeight);
}

void RectSelector::paintLabel()
{
    const QRect label = labelRect();
    m_painter.fillRect(label, QColor(129, 166, 117, 160));
    m_painter.setPen(Qt::white);
    m_painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter, labelText());
}

QPixmap RectSelector::previewPixmap() const
{
    QPixmap preview = m_background;
    QPainter painter(&preview);
    painter.fillRect(preview.rect(), QColor(0, 30, 0, 100));
    if (!m_selection.isEmpty()) {
        const QRect source = m_selection.translated(-m_x, -m_y);
        painter.drawPixmap(source.topLeft(), m_background, source);
    }
    painter.setPen(QPen(QBrush(Qt::red), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    const QRect& r = m_selection;
    painter.drawRect(QRect(QPoint(r.left() - 2, r.top() - 2), QPoint(r.right() + 2, r.bottom() + 2)));
    return preview;
}
