// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_grabscreen.h"

#include "_image_filter.h"
#include "grab_x11.h"

#include <QElapsedTimer>

#include <algorithm>

ZMGrabScreen::ZMGrabScreen(QObject* parent)
    : QThread(parent)
{
}

ZMGrabScreen::~ZMGrabScreen()
{
    stop();
    delete m_grab;
    qDeleteAll(m_filters);
    m_filters.clear();
}

bool ZMGrabScreen::init(int x, int y, int width, int height, int fps, bool grabCursor)
{
    if (fps <= 0)
        return false;
    auto* grab = new Grab_X11(x, y, width, height, grabCursor);
    if (!grab->isValid()) {
        delete grab;
        return false;
    }
    m_fps = fps;
    delete m_grab;
    m_grab = grab;
    return true;
}

void ZMGrabScreen::addFilter(QImage* mark, int x, int y)
{
    auto* filter = new ImageFilter(*mark);
    filter->setPosition(x, y);
    m_filters.append(filter);
}

void ZMGrabScreen::start()
{
    m_stop = false;
    m_pause = false;
    QThread::start();
}

void ZMGrabScreen::stop()
{
    if (m_stop.exchange(true))
        return;
    wait();
}

void ZMGrabScreen::pause()
{
    m_pause = true;
}

void ZMGrabScreen::resume()
{
    m_pause = false;
}

// The grabs are paced by the recording's frame rate instead of by the encoder's queue: a
// loop that only blocked on a full queue would keep every queued picture several frame
// intervals old. Paced, each picture is at most about one interval old when it is encoded.
void ZMGrabScreen::run()
{
    const int size = m_grab->width() * m_grab->height() * 4;
    const qint64 intervalNs = 1000000000LL / m_fps;
    QElapsedTimer clock;
    clock.start();
    qint64 base = 0, frames = 0;
    while (!m_stop) {
        if (m_pause) {
            if (!sleepUnlessStopped(20))
                return;
            base = clock.nsecsElapsed(), frames = 0;
            continue;
        }
        if (!waitUntilDue(clock, base + frames * intervalNs))
            return;
        unsigned char* frame = m_grab->grab();
        if (!frame) {
            m_lost = true;
            return;
        }
        for (ImageFilter* filter : std::as_const(m_filters))
            filter->apply(frame, m_grab->width(), m_grab->height());
        if (!m_callback)
            return;
        if (!m_callback(reinterpret_cast<const char*>(frame), size)) {
            // Refused (the recording is paused or stopping): try a fresh frame a little later.
            if (!sleepUnlessStopped(100))
                return;
            base = clock.nsecsElapsed(), frames = 0;
            continue;
        }
        ++frames;
        // After a long hand-off, catch up from now instead of grabbing a burst of frames.
        const qint64 now = clock.nsecsElapsed();
        if (now > base + (frames + 1) * intervalNs)
            base = now, frames = 0;
    }
}

bool ZMGrabScreen::waitUntilDue(const QElapsedTimer& clock, qint64 dueNs)
{
    for (qint64 left = dueNs - clock.nsecsElapsed(); left > 0; left = dueNs - clock.nsecsElapsed()) {
        if (m_stop)
            return false;
        QThread::usleep(static_cast<unsigned long>(std::min<qint64>(left / 1000, 50000)));
    }
    return !m_stop;
}

bool ZMGrabScreen::sleepUnlessStopped(int ms)
{
    for (int slept = 0; slept < ms && !m_stop; slept += 10)
        QThread::msleep(10);
    return !m_stop;
}
