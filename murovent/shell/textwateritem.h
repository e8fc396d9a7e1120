// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QGraphicsTextItem>

class QImage;

// The text watermark in the preview: red bold text, movable and selectable; double-click
// edits it in place, the context menu changes font and colour.
class TextWaterItem : public QGraphicsTextItem
{
    Q_OBJECT
public:
    explicit TextWaterItem(QGraphicsItem* parent = nullptr);
    explicit TextWaterItem(const QString& text, QGraphicsItem* parent = nullptr);

    // The text as a transparent ARGB32 picture of the item's size, for stamping into frames.
    // The caller owns the picture.
    QImage* renderImage() const;

public slots:
    void changeFont();
    void changeColor();
    void remove();

protected:
    void mouseDoubleClickEvent(QGraphicsSceneMouseEvent* event) override;
    void contextMenuEvent(QGraphicsSceneContextMenuEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void setUp();
};
