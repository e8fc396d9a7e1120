// SPDX-License-Identifier: GPL-2.0-or-later
// The recorder panel in a real main window on a private X server: its themes and their file,
// the product server's messages, the exit, the hot keys and the controls that follow the
// record mode. Each test works in a folder of its own; the tests that end the program run
// alone in their process (ctest names them one by one).
#include "modalanswers.h"
#include "otherxclient.h"
#include "productserver.h"
#include "savebarwidget.h"
#include "timerwidget.h"
#include "uploadmanager.h"
#include "zm_avrecordermenu.h"
#include "zm_configmgr.h"
#include "zm_configuser.h"
#include "zm_graphicsview.h"
#include "zm_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFrame>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <memory>

#include <sys/stat.h>

#include <X11/Xlib.h>

namespace {

const QStringList kPresetNames = {QString::fromUtf8("@ 录讲学"), QString::fromUtf8("@ 录游戏"),
                                  QString::fromUtf8("@ 录视频"), QString::fromUtf8("* 我的主题")};

QString userFile()
{
    return QString::fromUtf8(ZMConfigMgr::fileName());
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// One theme of a user file, every element present.
QByteArray node(const QByteArray& name, const QByteArray& savePath, int model, int audioRate, int videoFrame)
{
    return "<Node>\r\n<theme>" + name + "</theme>\r\n<savePath>" + savePath + "</savePath>\r\n<model>"
           + QByteArray::number(model) + "</model>\r\n<audioRate>" + QByteArray::number(audioRate)
           + "</audioRate>\r\n<videoFrame>" + QByteArray::number(videoFrame)
           + "</videoFrame>\r\n<isAutoJump>1</isAutoJump>\r\n<isSysAudio>0</isSysAudio>\r\n"
             "<isGrabMouse>1</isGrabMouse>\r\n<isTimerEnable>1</isTimerEnable>\r\n"
             "<timerDelaySec>4</timerDelaySec>\r\n<timerStopSec>75</timerStopSec>\r\n</Node>\r\n";
}

QByteArray userText(int lastUseIdx, const QByteArray& nodes)
{
    return "<Zolmet>\r\n<Murovent>\r\n<LastUseIdx>" + QByteArray::number(lastUseIdx) + "</LastUseIdx>\r\n" + nodes
           + "</Murovent>\r\n</Zolmet>\r\n";
}

// The user file as the next start of the program will read it.
std::unique_ptr<ZMConfigMgr> storedThemes()
{
    return std::make_unique<ZMConfigMgr>();
}

QImage iconImage(const QIcon& icon)
{
    return icon.pixmap(QSize(48, 48)).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestPanel : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ModalAnswers> m_answers;
    ZMWindow* m_window = nullptr;
    ZMAVRecorderMenu* m_panel = nullptr;

    template <class T>
    T* widget(const char* name) const
    {
        T* w = m_panel->findChild<T*>(name);
        Q_ASSERT(w);
        return w;
    }

    QComboBox* themes() const { return widget<QComboBox>("cb_theme"); }

    QStringList themeNames() const
    {
        QStringList names;
        for (int i = 0; i < themes()->count(); ++i)
            names << themes()->itemText(i);
        return names;
    }

    // The program starts: the store reads the user file of the working folder, as at its
    // first use, and the main window is built.
    void startProgram()
    {
        ZMConfigMgr* store = ZMConfigMgr::instance();
        store->clearUsers();
        store->LastUseIdx = 0;
        store->load(userFile().toStdString());
        m_window = new ZMWindow;
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
        m_panel = m_window->recorderMenu();
    }

    void withHotKeyFile() { writeFile("hotkey.cfg", "Ctrl+F1\nCtrl+F3\n"); }

    // The text of the settings message that is shown, without blocking, beside the window.
    QString settingsMessage() const
    {
        QMessageBox* box = nullptr;
        const bool shown = QTest::qWaitFor([&] {
            box = m_window->findChild<QMessageBox*>("settingsTrouble");
            return box && box->isVisible();
        }, 2000);
        return shown ? box->text() : QString();
    }

    // Leaves through the exit button and runs the application's event loop until the
    // program ends; the time it took goes to *ms. 99 means it never ended.
    int exitProgram(qint64* ms)
    {
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        guard.start(8000);
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(0, widget<QToolButton>("tb_exit"), &QToolButton::click);
        const int rc = QCoreApplication::exec();
        *ms = clock.elapsed();
        return rc;
    }

    void chooseTheme(int index)
    {
        themes()->setCurrentIndex(index);
        QCOMPARE(themes()->currentIndex(), index);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(m_dir->path()));
        m_answers = std::make_unique<ModalAnswers>();
    }

    void cleanup()
    {
        delete m_window;
        m_window = nullptr;
        m_answers.reset();
        QDir::setCurrent(QDir::tempPath());
        m_dir.reset();
    }

    // ---- themes -----------------------------------------------------------------------

    void firstRun()
    {
#ifdef ZM_SYSTEM_SOUND
        QCOMPARE(userFile(), QString("./user_win7.cfg"));
#else
        QCOMPARE(userFile(), QString("./user_xp.cfg"));
#endif
        withHotKeyFile();
        QVERIFY(!QFile::exists(userFile()));
        startProgram();
        const QByteArray preset = readAll(QString::fromUtf8(ZMConfigMgr::presetFileName()));
        QVERIFY(preset.contains("\r\n"));
        QCOMPARE(readAll(userFile()), preset);
        QCOMPARE(themeNames(), kPresetNames);
        QCOMPARE(themes()->currentIndex(), 3);
        // The fourth theme, not the first, is what the controls show.
        QCOMPARE(widget<QComboBox>("cb_audioRate")->currentText(), QString("8000"));
        QVERIFY(!widget<QCheckBox>("checkBox_mouse")->isChecked());
        QCOMPARE(widget<QSpinBox>("spinBox_frameRate")->value(), 10);
        // The preset names no folder: recordings go to the home folder.
        QCOMPARE(m_panel->findChild<SaveBarWidget*>()->dir(), QDir::homePath());
        QVERIFY(!QFile::exists(userFile() + ".bak"));

        // Nobody answers the exit report: the program ends on its own a second later.
        qint64 ms = 0;
        QCOMPARE(exitProgram(&ms), 0);
        QVERIFY2(ms >= 950 && ms < 4000, qPrintable(QString::number(ms)));
        QVERIFY(!m_window->isVisible());
        const QByteArray saved = readAll(userFile());
        QCOMPARE(saved.count("<Node>"), 4);
        QVERIFY(saved.contains("<LastUseIdx>3</LastUseIdx>\r\n"));
        QVERIFY(saved.contains("<isTimerEnable>0</isTimerEnable>\r\n<timerDelaySec>3</timerDelaySec>\r\n"
                               "<timerStopSec>10</timerStopSec>\r\n"));
    }

    void switchStoresIntoTheThemeLeft()
    {
        ProductServer server;
        QVERIFY(server.isRunning());
        server.configure(QJsonObject{{"useReport", QJsonObject{{"body", "{\"result\":\"ok\"}"}}}});
        UploadManager::setBaseUrl(server.url());
        withHotKeyFile();
        startProgram();
        auto* frameRate = widget<QSpinBox>("spinBox_frameRate");
        chooseTheme(0);
        QCOMPARE(frameRate->value(), 10);
        chooseTheme(1);
        QCOMPARE(frameRate->value(), 25);
        frameRate->setValue(17);
        chooseTheme(0);
        QCOMPARE(frameRate->value(), 10);
        chooseTheme(1);
        QCOMPARE(frameRate->value(), 17);
        chooseTheme(0);

        // The exit report is answered at once: that answer ends the program, not the timer.
        qint64 ms = 0;
        QCOMPARE(exitProgram(&ms), 0);
        QVERIFY2(ms < 900, qPrintable(QString::number(ms)));
        bool reported = false;
        for (const ProductServer::Request& r : server.requestsTo("useReport"))
            reported |= r.body.contains("useState=0");
        QVERIFY(reported);

        auto stored = storedThemes();
        QCOMPARE(stored->userCount(), 4);
        QCOMPARE(stored->findUser(kPresetNames[1].toUtf8().constData())->videoFrame, 17);
        QCOMPARE(stored->findUser(kPresetNames[0].toUtf8().constData())->videoFrame, 10);
        QCOMPARE(stored->LastUseIdx, 0);
    }

    void deleteLastTheme()
    {
        withHotKeyFile();
        startProgram();
        m_answers->button = QString::fromUtf8("取消");
        QTest::mouseClick(widget<QToolButton>("tb_themeDel"), Qt::LeftButton);
        QCOMPARE(m_answers->boxes.size(), 1);
        QCOMPARE(m_answers->boxes[0].title, QString::fromUtf8("提示"));
        QCOMPARE(m_answers->boxes[0].text, QString::fromUtf8("确定要删除主题 ' * 我的主题 ' 吗?"));
        QCOMPARE(m_answers->boxes[0].buttons, QStringList({QString::fromUtf8("删除"), QString::fromUtf8("取消")}));
        QCOMPARE(themes()->count(), 4);

        m_answers->button = QString::fromUtf8("删除");
        for (int left = 3; left >= 0; --left) {
            QTest::mouseClick(widget<QToolButton>("tb_themeDel"), Qt::LeftButton);
            QCOMPARE(themes()->count(), left);
        }
        QCOMPARE(ZMConfigMgr::instance()->userCount(), 0);
        // Nothing left to delete: no question about a nameless theme.
        QTest::mouseClick(widget<QToolButton>("tb_themeDel"), Qt::LeftButton);
        QCOMPARE(m_answers->boxes.size(), 5);

        qint64 ms = 0;
        QCOMPARE(exitProgram(&ms), 0);
        const QByteArray saved = readAll(userFile());
        QVERIFY(!saved.contains("<Node>"));
        QVERIFY(saved.contains("<LastUseIdx>0</LastUseIdx>"));
    }

    void outOfRangeValuesAreClamped()
    {
        withHotKeyFile();
        const QByteArray folder = QDir::current().filePath(QString::fromUtf8("录像 & 存档")).toUtf8();
        QVERIFY(QDir().mkpath(QString::fromUtf8(folder)));
        writeFile(userFile(),
                  userText(1, node("low", "/no/such/folder", -3, 8000, 1)
                                  + node("high", QByteArray(folder).replace("&", "&amp;"), 7, 12345, 99)));
        startProgram();
        QCOMPARE(themeNames(), QStringList({"low", "high"}));
        QCOMPARE(themes()->currentIndex(), 1);
        QCOMPARE(widget<QComboBox>("cb_recordMode")->currentIndex(), 2);
        QCOMPARE(widget<QComboBox>("cb_audioRate")->currentIndex(), 0);
        QCOMPARE(widget<QSpinBox>("spinBox_frameRate")->value(), widget<QSpinBox>("spinBox_frameRate")->maximum());
        QCOMPARE(m_panel->findChild<SaveBarWidget*>()->dir(), QString::fromUtf8(folder));
        auto* timer = m_panel->findChild<TimerWidget*>();
        QVERIFY(timer->isTimerEnable());
        QVERIFY(widget<QToolButton>("tb_timer")->isChecked());
        QCOMPARE(timer->stopSec(), 75);
        QCOMPARE(timer->delay(), 4);

        chooseTheme(0);
        QCOMPARE(widget<QComboBox>("cb_recordMode")->currentIndex(), 0);
        QCOMPARE(widget<QSpinBox>("spinBox_frameRate")->value(), widget<QSpinBox>("spinBox_frameRate")->minimum());
        QCOMPARE(m_panel->findChild<SaveBarWidget*>()->dir(), QDir::homePath());
        // Leaving a theme stores what the panel showed, its folder included.
        chooseTheme(1);
        QCOMPARE(ZMConfigMgr::instance()->findUser("low")->savePath, QDir::homePath().toStdString());
        QCOMPARE(ZMConfigMgr::instance()->findUser("high")->savePath, folder.toStdString());
    }

    void startingKeepsEveryThemesFolder()
    {
        QTemporaryDir first, second;
        writeFile(userFile(), userText(1, node("A", first.path().toUtf8(), 0, 8000, 10)
                                              + node("B", second.path().toUtf8(), 1, 8000, 10)));
        withHotKeyFile();
        startProgram();
        QCOMPARE(themes()->currentIndex(), 1);
        QCOMPARE(m_panel->findChild<SaveBarWidget*>()->dir(), second.path());
        // B records video only: its audio controls stay off.
        QVERIFY(!widget<QComboBox>("cb_audioRate")->isEnabled());
        QVERIFY(!widget<QCheckBox>("checkBox_sysAudio")->isEnabled());
        // The first theme was shown and left during the start: it keeps its own folder.
        QCOMPARE(ZMConfigMgr::instance()->findUser("A")->savePath, first.path().toStdString());
        chooseTheme(0);
        QCOMPARE(m_panel->findChild<SaveBarWidget*>()->dir(), first.path());
    }

    void createThenRevert()
    {
        withHotKeyFile();
        startProgram();
        m_answers->input = QString::fromUtf8("  我的 录像  ");
        QTest::mouseClick(widget<QToolButton>("tb_themeAdd"), Qt::LeftButton);
        QCOMPARE(m_answers->dialogs.value(0), QString::fromUtf8("自定义主题|主题名:|Untitle"));
        const QString mine = QString::fromUtf8("我的 录像");
        QCOMPARE(themeNames().last(), mine);
        QCOMPARE(themes()->currentText(), mine);
        QVERIFY(ZMConfigMgr::instance()->findUser(mine.toUtf8().constData()));

        // The same name again, and an empty one.
        QTest::mouseClick(widget<QToolButton>("tb_themeAdd"), Qt::LeftButton);
        QCOMPARE(m_answers->lastText(), QString::fromUtf8("该主题已经存在, 请重新命名!"));
        m_answers->input = "   ";
        QTest::mouseClick(widget<QToolButton>("tb_themeAdd"), Qt::LeftButton);
        m_answers->input = QString();
        QTest::mouseClick(widget<QToolButton>("tb_themeAdd"), Qt::LeftButton);
        QCOMPARE(m_answers->boxes.size(), 1);
        QCOMPARE(themes()->count(), 5);

        // Declined, then confirmed: the file is the preset again at once.
        m_answers->button = QString::fromUtf8("取消");
        QTest::mouseClick(widget<QToolButton>("tb_themeRevert"), Qt::LeftButton);
        QCOMPARE(m_answers->lastText(), QString::fromUtf8("确定还原所有主题吗?\n[ 还原操作将会清除所有自定义的主题 ]"));
        QCOMPARE(themes()->count(), 5);
        m_answers->button = QString::fromUtf8("还原");
        QTest::mouseClick(widget<QToolButton>("tb_themeRevert"), Qt::LeftButton);
        QCOMPARE(m_answers->boxes.size(), 3);
        QCOMPARE(themeNames(), kPresetNames);
        QCOMPARE(themes()->currentIndex(), 3);
        QCOMPARE(readAll(userFile()), readAll(QString::fromUtf8(ZMConfigMgr::presetFileName())));
    }

    void damagedFileIsKeptAside()
    {
        withHotKeyFile();
        const QByteArray damaged = "<Zolmet><Murovent><LastUseIdx>1</LastUseIdx><Node><theme>mine";
        writeFile(userFile(), damaged);
        startProgram();
        QCOMPARE(themeNames(), kPresetNames);
        QCOMPARE(readAll(userFile() + ".bak"), damaged);
        QCOMPARE(readAll(userFile()), readAll(QString::fromUtf8(ZMConfigMgr::presetFileName())));
        const QString told = settingsMessage();
        QVERIFY2(told.contains(QString::fromUtf8("已损坏")) && told.contains(QFileInfo(userFile() + ".bak").absoluteFilePath()),
                 qPrintable(told));
        // Told once: not again when the themes are restored by hand.
        m_window->findChild<QMessageBox*>("settingsTrouble")->close();
        m_answers->button = QString::fromUtf8("还原");
        QTest::mouseClick(widget<QToolButton>("tb_themeRevert"), Qt::LeftButton);
        QTest::qWait(100);
        QCOMPARE(settingsMessage(), QString());
    }

    // Only the closing tags lost: the user's own theme is still there, and the file is whole
    // again after the exit, the damaged one kept beside it.
    void truncatedFileKeepsItsThemes()
    {
        withHotKeyFile();
        const QByteArray preset = readAll(QString::fromUtf8(ZMConfigMgr::presetFileName()));
        const QByteArray mine = "<Node>\r\n<theme>Mine-été-我的</theme>\r\n</Node>\r\n";
        const QByteArray damaged = preset.left(preset.indexOf("</Murovent>")) + mine;
        writeFile(userFile(), damaged);
        startProgram();
        QCOMPARE(themeNames(), kPresetNames + QStringList{QString::fromUtf8("Mine-été-我的")});
        QVERIFY2(settingsMessage().contains(QString::fromUtf8("恢复 5 个主题")), qPrintable(settingsMessage()));
        qint64 ms = 0;
        QCOMPARE(exitProgram(&ms), 0);
        QCOMPARE(readAll(userFile() + ".bak"), damaged);
        ZMConfigMgr saved;
        QCOMPARE(saved.lastLoad().outcome, ZMConfigMgr::LoadReport::Read);
        QCOMPARE(saved.userCount(), 5);
    }

    // A FIFO under the file's name: read as nothing, without waiting for a writer, and left.
    void settingsThatAreNoFile()
    {
        withHotKeyFile();
        QVERIFY(mkfifo(QFile::encodeName(userFile()).constData(), 0600) == 0);
        startProgram();
        QCOMPARE(themeNames(), kPresetNames);
        QVERIFY2(settingsMessage().contains(QString::fromUtf8("不是普通文件")), qPrintable(settingsMessage()));
        qint64 ms = 0;
        QCOMPARE(exitProgram(&ms), 0);
        QVERIFY(QFileInfo(userFile()).exists() && !QFileInfo(userFile()).isFile());
    }

    // ---- hot keys and controls ---------------------------------------------------------

    void hotKeys()
    {
        // A first run has no keys file: the built-in keys are taken and written down quietly.
        startProgram();
        QCOMPARE(readAll("hotkey.cfg"), QByteArray("Ctrl+F1\nCtrl+F3\n"));

        QTest::mouseClick(widget<QToolButton>("tb_settings"), Qt::LeftButton);
        QCOMPARE(m_answers->dialogs, QStringList("HotKeySetDlg"));

        // The stop key, pressed on the X server, reaches the panel. Without a window manager
        // the focus may be nowhere, where key events are dropped.
        Display* dpy = XOpenDisplay(nullptr);
        QVERIFY(dpy);
        XSetInputFocus(dpy, PointerRoot, RevertToPointerRoot, CurrentTime);
        XCloseDisplay(dpy);
        QSignalSpy status(m_panel, &ZMAVRecorderMenu::signal_statuChanged);
        QVERIFY(QProcess::execute("xdotool", {"key", "ctrl+F3"}) == 0);
        QTRY_COMPARE(status.count(), 1);
        QCOMPARE(status[0][0].toInt(), 0);
        QTest::qWait(2500);
        QVERIFY(m_answers->boxes.isEmpty());
    }

    // Another program holds the start key before this one starts: the user is asked to set
    // the keys two seconds later.
    void hotKeyHeldElsewhere()
    {
        OtherXClient other;
        QVERIFY(other.grab("F1", ControlMask));
        startProgram();
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(!m_answers->boxes.isEmpty(), 5000);
        QVERIFY2(clock.elapsed() >= 1500, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_answers->lastText(), QString::fromUtf8("快捷键冲突,请重新设置快捷键"));
        QCOMPARE(m_answers->boxes[0].buttons, QStringList(QString::fromUtf8("确定")));
        other.ungrab("F1", ControlMask);
    }

    void recordModeAndSystemSound()
    {
        withHotKeyFile();
        startProgram();
        auto* mode = widget<QComboBox>("cb_recordMode");
        auto* sysAudio = widget<QCheckBox>("checkBox_sysAudio");
        auto* rate = widget<QComboBox>("cb_audioRate");
        auto* rateLabel = widget<QLabel>("label_aSampleRate");
        QCOMPARE(mode->itemText(1), QString::fromUtf8("只录制视频"));
        mode->setCurrentIndex(1);
        QVERIFY(!sysAudio->isEnabled() && !rate->isEnabled() && !rateLabel->isEnabled());
        QVERIFY(widget<QSpinBox>("spinBox_frameRate")->isEnabled());
        mode->setCurrentIndex(0);
        QVERIFY(rate->isEnabled() && rateLabel->isEnabled());
#ifdef ZM_SYSTEM_SOUND
        QVERIFY(sysAudio->isEnabled());
        QTest::mouseClick(sysAudio, Qt::LeftButton, Qt::NoModifier, QPoint(6, sysAudio->height() / 2));
        QVERIFY(sysAudio->isChecked() && !rate->isEnabled());
        mode->setCurrentIndex(1);
        QVERIFY(!sysAudio->isEnabled() && !rate->isEnabled());
        mode->setCurrentIndex(0);
        QVERIFY(sysAudio->isEnabled() && !rate->isEnabled() && !rateLabel->isEnabled());
        // A theme that asks for system sound gets it.
        chooseTheme(1);
        QVERIFY(sysAudio->isChecked());
#else
        // No system-sound source in this build: the box stays off, whatever theme or mode.
        QVERIFY(!sysAudio->isEnabled() && !sysAudio->isChecked());
        chooseTheme(1);
        QVERIFY(!sysAudio->isEnabled() && !sysAudio->isChecked());
        QVERIFY(rate->isEnabled());
        QCOMPARE(rate->currentText(), QString("44100"));
#endif
    }

    void barsDockOrPopUp()
    {
        withHotKeyFile();
        startProgram();
        const QList<QPair<QWidget*, const char*>> bars = {
            {m_panel->findChild<SaveBarWidget*>(), "tb_saveBarWidget"},
            {m_panel->findChild<TimerWidget*>(), "tb_timerWidget"}};
        m_window->resize(860, 627);
        for (const auto& [bar, buttonName] : bars) {
            auto* button = widget<QToolButton>(buttonName);
            QTRY_VERIFY(button->isVisible());
            QVERIFY(!bar->isVisible());
            QTest::mouseClick(button, Qt::LeftButton);
            auto* popup = qobject_cast<QMenu*>(bar->parentWidget());
            QVERIFY(popup);
            QTRY_VERIFY(popup->isVisible());
            QVERIFY(bar->isVisible());
            QVERIFY((popup->pos() - button->mapToGlobal(QPoint(0, 0))).manhattanLength() < 30);
            QVERIFY(button->isVisible() && button->isEnabled());
            popup->close();
        }
        m_window->resize(1900, 700);
        for (const auto& [bar, buttonName] : bars) {
            QTRY_VERIFY(bar->isVisible());
            QVERIFY(!widget<QToolButton>(buttonName)->isVisible());
            QVERIFY(qobject_cast<QFrame*>(bar->parentWidget()));
        }
        QCOMPARE(bars[0].first->parentWidget(), widget<QWidget>("frame_saveBox"));
        QCOMPARE(bars[1].first->parentWidget(), widget<QWidget>("frame_timerBox"));
    }

    // ---- product server ----------------------------------------------------------------

    void newVersionAndAdvertisement()
    {
        ProductServer server;
        QVERIFY(server.isRunning());
        QImage ad(320, 200, QImage::Format_RGB32);
        ad.fill(QColor(255, 0, 255));
        QVERIFY(ad.save(m_dir->filePath("ad.png")));
        server.configure(QJsonObject{
            // Late enough to see the panel as it was before.
            {"getProductInfo", QJsonObject{{"body", "{\"version\":\"9.9.9\",\"canUseMinVersion\":\"1.0.0\"}"},
                                           {"delay", 1.5}}},
            {"getProductAd", QJsonObject{{"body", QString("{\"id\":7,\"adImgPath\":\"%1/ad.png\",\"productName\":\"x\"}")
                                                      .arg(server.url())}}},
            {"image", QJsonObject{{"file", m_dir->filePath("ad.png")}}},
            {"useReport", QJsonObject{{"body", "{}"}}}});
        UploadManager::setBaseUrl(server.url());
        withHotKeyFile();
        startProgram();
        const QImage plainIcon = iconImage(widget<QToolButton>("tb_zolmet")->icon());
        const QImage newsIcon = iconImage(QIcon("://images/Logo_msg_48x48.png"));
        QVERIFY(plainIcon != newsIcon);
        QTRY_COMPARE_WITH_TIMEOUT(iconImage(widget<QToolButton>("tb_zolmet")->icon()), newsIcon, 10000);
        // No tray on this display: the balloon's text goes to the status line.
        QTRY_COMPARE(m_window->statusBar()->currentMessage(),
                     QString::fromUtf8("*** Murovent @:  Murovent 有新版本了哦 !\n欢迎前往 https://www.murovent.example/ 下载"));

        // The advertisement becomes the preview's picture.
        auto magentaShare = [this] {
            const QImage shot = m_window->graphicsView()->viewport()->grab().toImage();
            int magenta = 0;
            for (int y = 0; y < shot.height(); y += 4)
                for (int x = 0; x < shot.width(); x += 4)
                    magenta += shot.pixel(x, y) == qRgb(255, 0, 255);
            return magenta * 16.0 / (shot.width() * shot.height());
        };
        QTRY_VERIFY_WITH_TIMEOUT(magentaShare() > 0.05, 10000);
        QCOMPARE(server.requestsTo("/ad.png").size(), size_t(1));
        QVERIFY(m_answers->boxes.isEmpty());
    }

    void retiredVersionEndsTheProgram()
    {
        ProductServer server;
        QVERIFY(server.isRunning());
        server.configure(QJsonObject{
            // Answered once the program runs its event loop.
            {"getProductInfo", QJsonObject{{"body", "{\"version\":\"3.2.2\",\"canUseMinVersion\":\"3.3.0\"}"},
                                           {"delay", 1.5}}}});
        UploadManager::setBaseUrl(server.url());
        withHotKeyFile();
        startProgram();
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        guard.start(10000);
        QVERIFY(m_answers->boxes.isEmpty());
        QCOMPARE(QCoreApplication::exec(), 0);
        QCOMPARE(m_answers->boxes.size(), 1);
        QCOMPARE(m_answers->boxes[0].title, QString::fromUtf8("提示"));
        QCOMPARE(m_answers->lastText(),
                 QString::fromUtf8("当前版本已不再维护,\n请到 https://www.murovent.example/ 或 "
                                   "https://download.murovent.example/ 下载最新版本, 谢谢!"));
    }
};

int main(int argc, char* argv[])
{
    // Private temporary and home folders for the whole program: the server cache, the
    // advertisement picture and the default save folder never meet another test's.
    prepareTestEnvironment();
    static QTemporaryDir home(QDir::tempPath() + "/mv-panel-home-XXXXXX");
    setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    TestPanel test;
    return QTest::qExec(&test, argc, argv);
}

#include "test_panel.moc"
