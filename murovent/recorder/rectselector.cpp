// SPDX-License-Identifier: GPL-2.0-or-later
#include "rectselector.h"

#include "zm_desktopsnapshot.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QtMath>

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

// The logical rectangle that covers device pixels 0..right, 0..bottom of the desktop: the
// selector lies over all of it.
QRect desktopGeometry(int right, int bottom)
{
    const QScreen* screen = QGuiApplication::screenAt(QPoint(0, 0));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen ? screen->devicePixelRatio() : 1.0;
    return QRect(0, 0, qCeil(right / ratio), qCeil(bottom / ratio));
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
    m_window = 0;
    m_grabbedHandle = 0;
    m_start = m_end = m_moveStart = m_moveEnd = QPoint(0, 0);
    for (QRect& handle : m_handles)
        handle = QRect();
    setCursor(Qt::CrossCursor);
}

// The X server's own picture of its whole screen, in device pixels. Without an X display
// (a Wayland session) Qt's picture of the primary screen is all there is, and no window is
// known.
QPixmap RectSelector::grabDesktop()
{
    reset();
    ZMDesktopSnapshot snapshot;
    QString error;
    if (snapshot.take(QByteArray(), &error)) {
        m_windows = snapshot.windows();
        return QPixmap::fromImage(snapshot.picture());
    }
    m_windows.clear();
    QScreen* screen = QGuiApplication::primaryScreen();
    QPixmap picture = screen ? screen->grabWindow(0) : QPixmap();
    picture.setDevicePixelRatio(1.0);
    return picture;
}

void RectSelector::loadBackgroundPixmap(const QPixmap& bgPixmap)
{
    loadBackgroundPixmap(bgPixmap, 0, 0, bgPixmap.width(), bgPixmap.height());
}

void RectSelector::loadBackgroundPixmap(const QPixmap& bgPixmap, int x, int y, int width, int height)
{
    m_background = bgPixmap;
    m_x = x;
    m_y = y;
    m_width = width;
    m_height = height;
    // Without a window manager the full-screen state alone does not size the window.
    setGeometry(desktopGeometry(x + width, y + height));
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
    const int dx = qMax(m_x - drawn.left(), qMin(d.x(), m_x + m_width - drawn.left() - drawn.width()));
    const int dy = qMax(m_y - drawn.top(), qMin(d.y(), m_y + m_height - drawn.top() - drawn.height()));
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
    left = qBound(m_x, left, m_x + m_width);
    right = qBound(m_x, right, m_x + m_width);
    top = qBound(m_y, top, m_y + m_height);
    bottom = qBound(m_y, bottom, m_y + m_height);
    return span(QPoint(left, top), QPoint(right, bottom));
}

void RectSelector::updateSelection()
{
    m_selection = currentRect();
    updateHandles();
}

// A finished move or resize becomes the new drawn rectangle, so the next drag starts from
// what the user sees. A picked window's rectangle that was changed is a drawn one.
void RectSelector::commitGeometry()
{
    const QRect r = currentRect();
    if (r != span(m_start, m_end))
        m_window = 0;
    m_start = r.topLeft();
    m_end = r.topLeft() + QPoint(r.width(), r.height());
    m_moveStart = m_moveEnd = QPoint(0, 0);
    updateSelection();
}

// The handles sit on the selection's corners and edge middles, sized in the widget's units.
void RectSelector::updateHandles()
{
    const QRect& r = m_selection;
    const int midX = (r.left() + r.right()) / 2;
    const int midY = (r.top() + r.bottom()) / 2;
    const QPoint points[8] = { { r.left(), r.top() }, { r.right(), r.top() }, { r.left(), r.bottom() },
                               { r.right(), r.bottom() }, { midX, r.top() }, { midX, r.bottom() },
                               { r.left(), midY }, { r.right(), midY } };
    for (int i = 0; i < 8; ++i) {
        const QPoint local = toLocal(points[i]).toPoint();
        m_handles[i] = handleAround(local.x(), local.y());
    }
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
    return QPoint(qBound(m_x, pos.x(), m_x + m_width), qBound(m_y, pos.y(), m_y + m_height));
}

// Qt puts each screen's logical geometry at its device origin and scales the positions on it
// by the screen's ratio; the selector's corner is such a position.
QPoint RectSelector::deviceOrigin() const
{
    const QScreen* s = screen();
    if (!s)
        return geometry().topLeft();
    const QPoint anchor = s->geometry().topLeft();
    return anchor + (geometry().topLeft() - anchor) * s->devicePixelRatio();
}

// A position in fractions of logical pixels gives the device pixel under the pointer exactly,
// also for fractional scale factors. Widgets get their event positions rounded to whole
// logical pixels; the selector is a window of its own, whose position in the window (the
// event's scene position) keeps the fraction.
QPoint RectSelector::toDevice(const QPointF& local) const
{
    const qreal ratio = devicePixelRatioF();
    return deviceOrigin() + QPoint(qRound(local.x() * ratio), qRound(local.y() * ratio));
}

QPointF RectSelector::toLocal(const QPoint& device) const
{
    return QPointF(device - deviceOrigin()) / devicePixelRatioF();
}

QRectF RectSelector::toLocal(const QRect& device) const
{
    return QRectF(toLocal(device.topLeft()), QSizeF(device.size()) / devicePixelRatioF());
}

// A press and release closer together than a drag is a click.
bool RectSelector::isClick() const
{
    const int slack = qRound(QApplication::startDragDistance() * devicePixelRatioF());
    const QRect drawn = span(m_start, m_end);
    return drawn.width() < slack && drawn.height() < slack;
}

void RectSelector::pickWindowAt(const QPoint& pos)
{
    const int found = ZMX11Windows::at(m_windows, pos);
    if (found < 0)
        return;
    const QRect frame = m_windows[size_t(found)].rect & pictureRect();
    m_start = frame.topLeft();
    m_end = frame.topLeft() + QPoint(frame.width(), frame.height());
    m_window = m_windows[size_t(found)].id;
}

void RectSelector::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint local = event->position().toPoint();
    const QPoint pos = toDevice(event->scenePosition());
    if (m_state == Idle) {
        m_state = Drawing;
        m_start = m_end = clampToPicture(pos);
        updateSelection();
        return;
    }
    if (!hasSelection())
        return;
    const int handle = handleAt(local);
    if (handle == 0 && !m_selection.contains(pos))
        return;
    m_state = handle ? Resizing : Moving;
    m_grabbedHandle = handle;
    m_moveStart = m_moveEnd = pos;
}

void RectSelector::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = toDevice(event->scenePosition());
    if (m_state == Drawing)
        m_end = clampToPicture(pos);
    else if (m_state == Moving || m_state == Resizing)
        m_moveEnd = pos;
    if (m_state == Drawing || m_state == Moving || m_state == Resizing) {
        updateSelection();
        update();
    }
    updateCursor(event->position().toPoint(), pos);
}

void RectSelector::updateCursor(const QPoint& local, const QPoint& pos)
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
        if (m_selection.contains(pos) && handleAt(local) == 0)
            setCursor(Qt::OpenHandCursor);
        else
            setCursor(kHandleCursor[handleAt(local)]);
        break;
    default:
        break;
    }
}

void RectSelector::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = toDevice(event->scenePosition());
    if (m_state == Drawing) {
        m_state = Drawn;
        m_end = clampToPicture(pos);
        if (isClick())
            pickWindowAt(m_start);
        updateSelection();
    } else if (m_state == Moving || m_state == Resizing) {
        m_state = m_state == Moving ? Moved : Resized;
        m_moveEnd = pos;
        commitGeometry();
    }
    update();
}

// A click without a drag and away from any window leaves an empty rectangle, which is
// nothing to record.
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

// The picture's pixels map one to one onto device pixels: drawn into the logical rectangle
// they cover, they are not scaled.
void RectSelector::paintEvent(QPaintEvent*)
{
    const QRectF picture = toLocal(pictureRect());
    m_painter.begin(this);
    m_painter.drawPixmap(picture, m_background, QRectF(m_background.rect()));
    m_painter.fillRect(picture, QColor(30, 90, 30, 60));
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
    const QRectF shown = toLocal(m_selection);
    m_painter.drawRect(shown);
    if (!m_selection.isEmpty())
        m_painter.drawPixmap(shown, m_background, QRectF(m_selection.translated(-m_x, -m_y)));
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
    const QRectF r = toLocal(m_selection);
    const QRectF picture = toLocal(pictureRect());
    const qreal right = picture.left() + picture.width();
    const qreal x = r.left() + 5 + m_labelWidth > right ? right - m_labelWidth : r.left() + 5;
    const qreal y = r.top() > m_labelHeight ? r.top() - m_labelHeight : r.top();
    return QRect(qRound(x), qRound(y), m_labelWidth, m_labelHeight);
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
    const QRect r = m_selection.translated(-m_x, -m_y);
    painter.drawRect(QRect(QPoint(r.left() - 2, r.top() - 2), QPoint(r.right() + 2, r.bottom() + 2)));
    return preview;
}
