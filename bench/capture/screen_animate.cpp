// SPDX-License-Identifier: GPL-2.0-or-later
// Screen content for the capture benchmark's Wayland run, drawn the same way on any window
// system Qt has (X11 or Wayland), so both recording paths see the same pictures: a full-screen
// window over a textured picture, until killed, in which 30 times a second
//   motion   (the default) the whole picture scrolls by 13 pixels
//   desktop  one small box (like a clock with a seconds hand) changes colour
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QRasterWindow>
#include <QScreen>
#include <QTimer>

namespace {

class Animation : public QRasterWindow
{
public:
    explicit Animation(bool motion)
        : m_motion(motion)
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            ++m_step;
            if (m_motion)
                update();
            else
                update(box());
        });
        m_timer.start(1000 / 30);
    }

protected:
    void resizeEvent(QResizeEvent*) override { m_texture = texture(size()); }
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const int w = width(), x = m_motion ? m_step * 13 % w : 0;
        painter.drawImage(QPoint(-x, 0), m_texture);
        painter.drawImage(QPoint(w - x, 0), m_texture);
        if (!m_motion)
            painter.fillRect(box(), QColor(QRgb(uint32_t(m_step) * 2654435761u & 0xffffff)));
    }

private:
    QRect box() const { return QRect(width() - 220, height() - 60, 200, 40); }

    static QImage texture(const QSize& size)
    {
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor(0x3a6ea5));
        QPainter painter(&image);
        QRandomGenerator random(7);
        for (int i = 0; i < 4000; ++i)
            painter.fillRect(random.bounded(size.width()), random.bounded(size.height()), 4 + random.bounded(120),
                             2 + random.bounded(40), QColor(QRgb(random.generate() & 0xffffff)));
        return image;
    }

    const bool m_motion;
    QTimer m_timer;
    QImage m_texture;
    int m_step = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    Animation animation(!(argc > 1 && QByteArray(argv[1]) == "desktop"));
    // Without a window manager the full-screen state alone does not size the window.
    animation.setGeometry(QGuiApplication::primaryScreen()->geometry());
    animation.showFullScreen();
    return app.exec();
}
