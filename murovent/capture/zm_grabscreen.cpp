// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_grabscreen.h"

#include "_image_filter.h"

#include <QElapsedTimer>
#include <QRegion>

#include <algorithm>

ZMGrabScreen::ZMGrabScreen(QObject* parent)
    : QThread(parent)
{
}

ZMGrabScreen::~ZMGrabScreen()
{
    stop();
}

bool ZMGrabScreen::init(std::unique_ptr<ZMScreenBackend> backend, int fps)
{
    if (!backend || fps <= 0)
        return false;
    m_fps = fps;
    m_grab = std::move(backend);
    return true;
}

void ZMGrabScreen::addFilter(QImage* mark, int x, int y)
{
    auto filter = std::make_unique<ImageFilter>(*mark);
    filter->setPosition(x, y);
    m_filters.push_back(std::move(filter));
}

void ZMGrabScreen::start()
{
    m_stop = false;
    m_pause = false;
    if (!m_grab->start()) {
        m_lost = true;
        return;
    }
    QThread::start();
}

void ZMGrabScreen::stop()
{
    if (m_stop.exchange(true))
        return;
    wait();
    if (m_grab)
        m_grab->stop();
}

void ZMGrabScreen::pause()
{
    m_pause = true;
    m_grab->pause();
}

void ZMGrabScreen::resume()
{
    m_grab->resume();
    m_pause = false;
}

QString ZMGrabScreen::lostReason() const
{
    return m_lost && m_grab ? m_grab->error() : QString();
}

// The grabs are paced by the recording's frame rate instead of by the encoder's queue: a
// loop that only blocked on a full queue would keep every queued picture several frame
// intervals old. Paced, each picture is at most about one interval old when it is encoded.
void ZMGrabScreen::run()
{
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
        if (m_lost || !m_callback)
            return;
        if (!deliver()) {
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

// One frame slot: a new picture with the marks painted in, or a null picture that repeats
// the last one. False when the receiver refused it.
bool ZMGrabScreen::deliver()
{
    switch (m_grab->next()) {
    case ZMScreenBackend::Next::Lost:
        m_lost = true;
        return true;
    case ZMScreenBackend::Next::NothingNew:
        return m_resend ? handOver(nullptr) : m_callback(nullptr, 0);
    case ZMScreenBackend::Next::Picture:
        break;
    }
    const std::vector<QRect>* changed = m_grab->changed();
    stamp(changed);
    return handOver(m_resend ? nullptr : changed);
}

// The marks go only where the frame was rewritten: everywhere else they are still there.
void ZMGrabScreen::stamp(const std::vector<QRect>* changed)
{
    if (m_filters.empty())
        return;
    const QSize size = m_grab->size();
    QRegion clip(QRect(QPoint(0, 0), size));
    if (changed) {
        clip = QRegion();
        for (const QRect& part : *changed)
            clip += part;
    }
    for (const auto& filter : m_filters)
        filter->apply(m_grab->frame(), size.width(), size.height(), clip);
}

// changed null: the whole frame is news to the receiver.
bool ZMGrabScreen::handOver(const std::vector<QRect>* changed)
{
    const QSize size = m_grab->size();
    const char* frame = reinterpret_cast<const char*>(m_grab->frame());
    const int bytes = size.width() * size.height() * 4;
    const bool accepted = m_changedCallback ? m_changedCallback(frame, bytes, changed) : m_callback(frame, bytes);
    m_resend = !accepted;
    return accepted;
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
