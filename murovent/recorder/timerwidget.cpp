// SPDX-License-Identifier: GPL-2.0-or-later
#include "timerwidget.h"

#include "ui_timerwidget.h"

#include <QTime>

namespace {
const int kDaySeconds = 24 * 3600;
}

TimerWidget::TimerWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::TimerWidget)
{
    ui->setupUi(this);
    // The locale's short format hides the seconds, which a length is counted in.
    ui->timeEdit->setDisplayFormat("hh:mm:ss");
}

TimerWidget::~TimerWidget() = default;

void TimerWidget::setTimerEnable(bool enable)
{
    setTimerEnableQuiet(enable);
    emit sig_timerEnable(enable);
}

void TimerWidget::setTimerEnableQuiet(bool enable)
{
    ui->checkBox_time->setChecked(enable);
    ui->timeEdit->setEnabled(enable);
}

bool TimerWidget::isTimerEnable() const
{
    return ui->checkBox_time->isChecked();
}

int TimerWidget::delay() const
{
    return ui->spinBox_delay->value();
}

void TimerWidget::setDelay(int seconds)
{
    ui->spinBox_delay->setValue(seconds);
}

int TimerWidget::stopSec() const
{
    const QTime t = ui->timeEdit->time();
    return t.hour() * 3600 + t.minute() * 60 + t.second();
}

void TimerWidget::setStopSec(int seconds)
{
    const int s = qBound(0, seconds, kDaySeconds - 1);
    ui->timeEdit->setTime(QTime(s / 3600, s % 3600 / 60, s % 60));
}

QString TimerWidget::stopTimeText() const
{
    return ui->timeEdit->time().toString("hh:mm:ss");
}

void TimerWidget::on_checkBox_time_clicked(bool checked)
{
    setTimerEnable(checked);
}
