// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_grabbase.h"
#include "zm_screenbackend.h"

#include <QRect>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class ImageFilter;
class QElapsedTimer;
class QImage;

// One recording's screen source: its thread asks the screen back-end for the next picture
// about m_fps times a second, lets the watermark filters paint into a new one and hands it to
// the delivery callback; a slot in which the screen did not change is handed on as a null
// picture, which the library fills by repeating the previous one. When the back-end rewrote
// only parts of its frame, only those get the marks again, and m_changedCallback (when set)
// is told which parts they were.
//
// Set up, started, paused, resumed and stopped on the controlling thread.
class ZMGrabScreen : public QThread, public ZMGrabBase
{
    Q_OBJECT
public:
    explicit ZMGrabScreen(QObject* parent = nullptr);
    ~ZMGrabScreen() override;

    // Takes the back-end that delivers the pictures. False when there is none or the frame
    // rate is not positive; the source then must not be started.
    bool init(std::unique_ptr<ZMScreenBackend> backend, int fps);
    // Marks are painted in the order they were added. Before start() only.
    void addFilter(QImage* mark, int x, int y);

    void start() override;
    void stop() override;
    void pause() override;
    void resume() override;

    // True once the screen went away (see lostReason()): the thread has ended and no further
    // picture will come. The recording should be stopped so its file is finalised.
    bool lost() const { return m_lost; }
    QString lostReason() const;
    const ZMScreenBackend* backend() const { return m_grab.get(); }

    // Hand-off of a picture that differs from the last one accepted only inside `changed`
    // (frame pixels; null: anywhere); same contract as m_callback otherwise. Set before
    // start(); without it every picture goes to m_callback.
    std::function<bool(const char* bytes, int count, const std::vector<QRect>* changed)> m_changedCallback;

protected:
    void run() override;

private:
    bool deliver();
    void stamp(const std::vector<QRect>* changed);
    bool handOver(const std::vector<QRect>* changed);
    bool waitUntilDue(const QElapsedTimer& clock, qint64 dueNs);
    bool sleepUnlessStopped(int ms);

    std::unique_ptr<ZMScreenBackend> m_grab;
    std::vector<std::unique_ptr<ImageFilter>> m_filters;
    int m_fps = 10;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_pause{false};
    std::atomic<bool> m_lost{false};
    // The receiver refused the last picture: it lacks changes the frame already holds, so the
    // next hand-off is the whole frame, even in a slot where nothing new came (grab thread).
    bool m_resend = false;
};
