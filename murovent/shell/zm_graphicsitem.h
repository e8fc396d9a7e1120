// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QGraphicsObject>
#include <QImage>

#include <thread>

// The preview's background: the last captured screen picture or, until there is one, a
// default picture (the product server's advertisement when a current copy is on disk).
// The item's origin is the centre of the picture shown.
class ZMGraphicsItem : public QGraphicsObject
{
    Q_OBJECT
public:
    explicit ZMGraphicsItem(QGraphicsItem* parent = nullptr);
    // Waits for a default-picture lookup still running, so it never reports to a dead item.
    ~ZMGraphicsItem() override;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

    // Shows a captured picture; a null pixmap is ignored.
    void setPixmap(const QPixmap& pixmap);
    // Goes back to the default picture, looking it up on a thread of its own the first time.
    void showDefault();
    // True while the default picture (not a captured one) is shown.
    bool isShowingDefault() const { return m_showDefault; }

    void updateSceneRect();
    void fitToView();

    // The built-in default picture, used when no current advertisement picture is on disk.
    static const char* builtinDefaultPath();

public slots:
    void slot_showDefaultPixmap(QString path);

private:
    const QImage& shownImage() const { return m_showDefault ? m_defaultImage : m_image; }
    static QString lookUpDefaultPath();

    QImage m_image;
    QImage m_defaultImage;
    bool m_showDefault = true;
    std::thread m_loader;
};
