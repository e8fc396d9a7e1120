// SPDX-License-Identifier: GPL-2.0-or-later
#include "modalanswerer.h"
#include "savebarwidget.h"
#include "timerwidget.h"

#include <QCheckBox>
#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QToolButton>
#include <QtTest>

class TestBars : public QObject
{
    Q_OBJECT

private slots:
    void saveBarFallsBackToHome()
    {
        SaveBarWidget bar;
        QTemporaryDir dir;
        bar.setDir(dir.path());
        QCOMPARE(bar.dir(), dir.path());
        bar.setDir(dir.path() + "/missing");
        QCOMPARE(bar.dir(), QDir::homePath());
        bar.setDir(QString());
        QCOMPARE(bar.dir(), QDir::homePath());
        QCOMPARE(bar.format(), QString(".mp4"));
    }

    void cancelledFolderDialogKeepsTheFolder()
    {
        ModalAnswerer answerer;
        SaveBarWidget bar;
        QTemporaryDir dir;
        bar.setDir(dir.path());
        QSignalSpy setDir(&bar, &SaveBarWidget::sig_setDir);
        bar.findChild<QToolButton*>("tb_dirOpen")->click();
        QCOMPARE(answerer.dialogsCancelled, 1);
        QCOMPARE(setDir.count(), 1);
        QCOMPARE(bar.dir(), dir.path());
    }

    void lengthInSeconds()
    {
        TimerWidget bar;
        bar.setStopSec(3600 + 2 * 60 + 5);
        QCOMPARE(bar.stopTimeText(), QString("01:02:05"));
        QCOMPARE(bar.stopSec(), 3725);
        // The editor holds lengths below a day.
        bar.setStopSec(100000);
        QCOMPARE(bar.stopSec(), 86399);
        QCOMPARE(bar.delay(), 3);
        bar.setDelay(150);
        QCOMPARE(bar.delay(), 99);
    }

    void checkBoxArmsTheTimer()
    {
        TimerWidget bar;
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        auto* edit = bar.findChild<QTimeEdit*>("timeEdit");
        QVERIFY(!edit->isEnabled());
        QSignalSpy enabled(&bar, &TimerWidget::sig_timerEnable);
        auto* box = bar.findChild<QCheckBox*>("checkBox_time");
        QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, QPoint(6, box->height() / 2));
        QCOMPARE(enabled.count(), 1);
        QCOMPARE(enabled.at(0).at(0).toBool(), true);
        QVERIFY(bar.isTimerEnable());
        QVERIFY(edit->isEnabled());
        bar.setTimerEnableQuiet(false);
        QCOMPARE(enabled.count(), 1);
        QVERIFY(!edit->isEnabled());
        QVERIFY(!bar.isTimerEnable());
    }
};

QTEST_MAIN(TestBars)
#include "test_bars.moc"
