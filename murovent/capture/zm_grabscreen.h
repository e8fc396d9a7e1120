// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_grabbase.h"

#include <QList>
#include <QThread>

#include <atomic>

class GrabBase;
class ImageFilter;
class QElapsedTimer;
class QImage;

// One recording's screen source: its thread grabs a frame, lets the watermark filters paint
// into it and hands it to the delivery callback, about m_fps times a second.
class ZMGrabScreen : public QThread, public ZMGrabBase
{
    Q_OBJECT
public:
    explicit ZMGrabScreen(QObject* parent = nullptr);
    ~ZMGrabScreen() override;

    // False when the area cannot be grabbed (no display, unsupported screen format, area not
    // inside the screen) or the frame rate is not positive; the source then must not be started.
    bool init(int x, int y, int width, int height, int fps, bool grabCursor);
    // Marks are painted in the order they were added. Before start() only.
    void addFilter(QImage* mark, int x, int y);

    void start() override;
    void stop() override;
    void pause() override;
    void resume() override;

    // True once the screen went away (display connection lost): the thread has ended and no
    // further frame will come. The recording should be stopped so its file is finalised.
    bool lost() const { return m_lost; }

protected:
    void run() override;

private:
    bool waitUntilDue(const QElapsedTimer& clock, qint64 dueNs);
    bool sleepUnlessStopped(int ms);

    GrabBase* m_grab = nullptr;
    QList<ImageFilter*> m_filters;
    int m_fps = 10;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_pause{false};
    std::atomic<bool> m_lost{false};
};
