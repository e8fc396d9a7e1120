// SPDX-License-Identifier: GPL-2.0-or-later
#include "textwateritem.h"

#include <QColorDialog>
#include <QFontDialog>
#include <QGraphicsSceneContextMenuEvent>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QTextCursor>
#include <QTextDocument>

TextWaterItem::TextWaterItem(QGraphicsItem* parent)
    : QGraphicsTextItem(parent)
{
    setUp();
}

TextWaterItem::TextWaterItem(const QString& text, QGraphicsItem* parent)
    : QGraphicsTextItem(text, parent)
{
    setUp();
}

void TextWaterItem::setUp()
{
    setDefaultTextColor(Qt::red);
    QFont f(QStringLiteral("Times"));
    f.setPointSize(26);
    f.setWeight(QFont::Bold);
    f.setItalic(false);
    setFont(f);
    setFlags(ItemIsMovable | ItemIsSelectable);
    document()->setDocumentMargin(0);
}

QImage* TextWaterItem::renderImage() const
{
    const QRectF bounds = boundingRect();
    auto* image = new QImage(qRound(bounds.width()), qRound(bounds.height()), QImage::Format_ARGB32);
    image->fill(Qt::transparent);
    QPainter painter(image);
    painter.setFont(font());
    painter.setPen(defaultTextColor());
    painter.drawText(bounds, toPlainText());
    return image;
}

void TextWaterItem::changeFont()
{
    QFontDialog dialog(font());
    dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowStaysOnTopHint);
    if (dialog.exec() == QDialog::Accepted)
        setFont(dialog.selectedFont());
}

void TextWaterItem::changeColor()
{
    QColorDialog dialog(defaultTextColor());
    dialog.setWindowFlags(dialog.windowFlags() | Qt::WindowStaysOnTopHint);
    if (dialog.exec() == QDialog::Accepted)
        setDefaultTextColor(dialog.selectedColor());
}

void TextWaterItem::remove()
{
    hide();
}

void TextWaterItem::mouseDoubleClickEvent(QGraphicsSceneMouseEvent*)
{
    setTextInteractionFlags(Qt::TextEditorInteraction);
    setFocus(Qt::OtherFocusReason);
}

void TextWaterItem::contextMenuEvent(QGraphicsSceneContextMenuEvent* event)
{
    QMenu menu;
    menu.addAction(tr("字体"), this, &TextWaterItem::changeFont);
    menu.addAction(tr("颜色"), this, &TextWaterItem::changeColor);
    menu.exec(event->screenPos());
}

void TextWaterItem::focusOutEvent(QFocusEvent* event)
{
    QTextCursor cursor = textCursor();
    cursor.clearSelection();
    setTextCursor(cursor);
    setTextInteractionFlags(Qt::NoTextInteraction);
    QGraphicsTextItem::focusOutEvent(event);
}
