// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class TimerWidget;
}

// The start delay and, when armed, the length of a timed recording.
class TimerWidget : public QWidget
{
    Q_OBJECT

public:
    explicit TimerWidget(QWidget* parent = nullptr);
    ~TimerWidget() override;

    // Arms or disarms the timer and reports it with sig_timerEnable.
    void setTimerEnable(bool enable);
    // The same without the signal, for callers that are the source of the change.
    void setTimerEnableQuiet(bool enable);
    bool isTimerEnable() const;

    int delay() const;
    void setDelay(int seconds);
    // Recording length in seconds; the editor holds lengths below 24 hours.
    int stopSec() const;
    void setStopSec(int seconds);
    // The length as "hh:mm:ss".
    QString stopTimeText() const;

signals:
    void sig_timerEnable(bool enable);

private slots:
    void on_checkBox_time_clicked(bool checked);

private:
    std::unique_ptr<Ui::TimerWidget> ui;
};
