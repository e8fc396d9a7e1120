// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QGraphicsView>

class QGraphicsItem;
class QSlider;

// The preview: a graphics view with a floating vertical zoom slider. Slider value 100 is the
// scale the view had when it was built; ten slider steps are one 1.25x zoom step.
class ZMGraphicsView : public QGraphicsView
{
    Q_OBJECT
public:
    explicit ZMGraphicsView(QWidget* parent = nullptr);

    // Zooms out in small steps until the item fits the visible area, or the slider is at
    // its minimum.
    void fitItem(QGraphicsItem* item);

    QSlider* zoomSlider() const { return m_slider; }
    double zoomValue() const { return m_zoom; }

public slots:
    void zoomIn();
    void zoomOut();
    void slot_zoom(int value);

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    QSlider* m_slider = nullptr;
    double m_zoom = 100;
};
