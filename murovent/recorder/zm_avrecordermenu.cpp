// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_avrecordermenu.h"

#include "helperwidget.h"
#include "hotkeysetdlg.h"
#include "imagewateritem.h"
#include "rectselector.h"
#include "savebarwidget.h"
#include "textwateritem.h"
#include "timerwidget.h"
#include "ui_zm_avrecordermenu.h"
#include "zm_about.h"
#include "serverinfostore.h"
#include "zm_avrecordermenu_p.h"
#include "zm_folderopener.h"
#include "zm_videooptionsbox.h"
#include <session/zm_recordingjournal.h>
#include "zm_connect2server.h"
#include "zm_desktoppicture.h"
#include "zm_graphicsitem.h"
#include "zm_graphicsview.h"
#include "zm_hotkeymgr.h"
#include "zm_monitorchoice.h"
#include "zm_notifier.h"
#include "zm_portalshortcuts.h"
#include "zm_product.h"
#include "zm_soundchoice.h"
#include "zm_window.h"

#include <capture/zm_screenbackend.h>


#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGraphicsScene>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

namespace {

const int kMinAreaSide = 64;
const char* const kTextMarkDefault = QT_TRANSLATE_NOOP("ZMAVRecorderMenu", "文字水印,双击编辑替换");

void trace(const char* text)
{
    fputs(text, stdout);
    fflush(stdout);
}

QString sizeText(qint64 bytes)
{
    return QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

QVBoxLayout* barLayout(QWidget* owner)
{
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    return layout;
}

} // namespace

ZMAVRecorderMenu::ZMAVRecorderMenu(ZMWindow* mainWindow, QWidget* parent)
    : QWidget(parent)
    , m_d(new ZMAVRecorderMenuPrivate(this))
    , ui(new Ui::ZMAVRecorderMenu)
    , m_mainWindow(mainWindow)
    , m_selector(new RectSelector)
{
    Q_ASSERT(m_mainWindow);
    connect(m_d.get(), &ZMAVRecorderMenuPrivate::screenLost, this, &ZMAVRecorderMenu::onScreenLost);
    connect(m_d.get(), &ZMAVRecorderMenuPrivate::writeFailed, this, &ZMAVRecorderMenu::onScreenLost);
    connect(m_d.get(), &ZMAVRecorderMenuPrivate::diskSpaceLow, this, &ZMAVRecorderMenu::information);
    // Said once the stop is over, not in the middle of it.
    connect(m_d.get(), &ZMAVRecorderMenuPrivate::closeFailed, this, &ZMAVRecorderMenu::information,
            Qt::QueuedConnection);
    connect(m_d.get(), &ZMAVRecorderMenuPrivate::incident, m_mainWindow, &ZMWindow::showStatusMessage);
    connect(m_mainWindow, &ZMWindow::exitRequested, this, &ZMAVRecorderMenu::slot_exit);
    setupForm();
    setupRecordingReports();
    trayMenu();
    setupHotKeys();
    setupServer();
    connect(m_selector.get(), &RectSelector::done, this, &ZMAVRecorderMenu::slot_finishSelect);
    connect(m_selector.get(), &RectSelector::quit, this, &ZMAVRecorderMenu::slot_screenshotFinished);
    setupBars();
    m_mainWindow->showStatusMessage(tr("默认全屏录制 ......") + startupNote());
    loadThemes();
    applyLastUsedTheme();
    updateControls();
    setAttribute(Qt::WA_DeleteOnClose);
    slot_fullScreenshot();
    QTimer::singleShot(0, this, &ZMAVRecorderMenu::recoverInterrupted);
}

// Recordings that the last run left in progress (it was killed, crashed or lost power) play
// up to about their last second; those the library can finish are finished, and the user
// hears about them once.
void ZMAVRecorderMenu::recoverInterrupted()
{
    const QList<ZMRecordingJournal::Found> found = ZMRecordingJournal(ZMAVRecorderMenuPrivate::inProgressList()).recover();
    if (found.isEmpty())
        return;
    QStringList lines;
    for (const ZMRecordingJournal::Found& f : found) {
        switch (f.outcome) {
        case ZMRecordingJournal::Found::Finished:
        case ZMRecordingJournal::Found::PlaysAsItIs:
            lines << tr("%1 (已保存到中断前约一秒)").arg(f.path);
            break;
        case ZMRecordingJournal::Found::Empty:
            lines << tr("%1 (中断前尚未录下任何内容)").arg(f.path);
            break;
        case ZMRecordingJournal::Found::Missing:
            lines << tr("%1 (文件已不存在)").arg(f.path);
            break;
        case ZMRecordingJournal::Found::Damaged:
            lines << tr("%1 (无法修复: %2)").arg(f.path, f.reason);
            break;
        }
    }
    information(tr("上次录制被意外中断:\n%1").arg(lines.join(QLatin1Char('\n'))));
}

// The bars live in the panel's frames or in their pop-ups, which have no parent and go with
// the panel's owners.
ZMAVRecorderMenu::~ZMAVRecorderMenu()
{
    m_d->stop();
}

void ZMAVRecorderMenu::setupForm()
{
    ui->setupUi(this);
    ui->cb_audioRate->clear();
    for (int rate : { 8000, 11025, 22050, 44100, 48000 })
        ui->cb_audioRate->addItem(QIcon(), QString::number(rate));
    ui->cb_audioRate->setCurrentIndex(0);
    m_soundChoice = new ZMSoundChoice(ui->checkBox_sysAudio, ui->gridLayout_3);
    slot_sysAudioOnly(ui->checkBox_sysAudio->isChecked());
    setupMonitorChoice();
}

// Beside the area button, where the user decides what is recorded.
void ZMAVRecorderMenu::setupMonitorChoice()
{
    m_monitorChoice = new ZMMonitorChoice(this);
    ui->gridLayout_7->addWidget(m_monitorChoice, 0, 2);
}

// A first run has no keys file: the built-in keys are taken quietly; the user hears of a
// conflict only when a key could not be grabbed. X11 key grabs do not reach a Wayland client:
// there the desktop portal binds the keys, if it can.
void ZMAVRecorderMenu::setupHotKeys()
{
    ZMHotKeyMgr* keys = ZMHotKeyMgr::instance();
    connect(keys, &ZMHotKeyMgr::hotKeyActive, this, &ZMAVRecorderMenu::slot_hotKeyActive);
    if (ZMDesktopPicture::fromPortal()) {
        if (!ZMPortalShortcuts::offered())
            return;
        m_portalKeys = std::make_unique<ZMPortalShortcuts>();
        connect(m_portalKeys.get(), &ZMPortalShortcuts::activated, this, &ZMAVRecorderMenu::slot_hotKeyActive);
        m_portalKeys->bind(ZMHotKeyMgr::storedKeys());
        return;
    }
    if (!keys->loadOrKeepDefaults())
        QTimer::singleShot(2000, this, &ZMAVRecorderMenu::slot_msgHotKeyConflict);
}

// Where the pictures come from, and on Wayland whether the hot keys work there.
QString ZMAVRecorderMenu::startupNote() const
{
    QString note = tr("   屏幕来源: %1").arg(ZMScreenBackend::autoName());
    if (ZMDesktopPicture::fromPortal() && !m_portalKeys)
        note += tr("   全局热键需要桌面的支持, 请使用面板或托盘按钮.");
    return note;
}

// The server's answers come from its worker thread.
void ZMAVRecorderMenu::setupServer()
{
    ZMConnect2Server* server = ZMConnect2Server::instance();
    connect(server, &ZMConnect2Server::signal_serverMsg, this, &ZMAVRecorderMenu::slot_msgFromServer,
            Qt::QueuedConnection);
    server->start(1);
}

void ZMAVRecorderMenu::setupBars()
{
    m_saveBox.widget = new SaveBarWidget;
    Q_ASSERT(m_saveBox.widget);
    barLayout(ui->frame_saveBox)->addWidget(m_saveBox.widget);
    connect(m_saveBox.widget, &SaveBarWidget::sig_setDir, this, &ZMAVRecorderMenu::slot_saveBarWidget);
    m_saveBox.widget->setDir(QDir::homePath());
    m_saveBox.widget->setFileName(QDateTime::currentDateTime().toString("KX~yyyy.MM.dd~hh.mm"));
    m_saveBox.popup = std::make_unique<QMenu>();
    new QVBoxLayout(m_saveBox.popup.get());

    m_timerBox.widget = new TimerWidget;
    Q_ASSERT(m_timerBox.widget);
    connect(m_timerBox.widget, &TimerWidget::sig_timerEnable, this, &ZMAVRecorderMenu::slot_timerRecord_statu);
    barLayout(ui->frame_timerBox)->addWidget(m_timerBox.widget);
    m_timerBox.popup = std::make_unique<QMenu>();
    new QVBoxLayout(m_timerBox.popup.get());
}

QMenu* ZMAVRecorderMenu::trayMenu()
{
    if (m_trayMenu)
        return m_trayMenu;
    m_trayMenu = new QMenu(this);
    m_actStatus = m_trayMenu->addAction(stateLine());
    m_actStatus->setEnabled(false);
    m_trayMenu->addSeparator();
    // The "&" is shown as it is, not taken as a shortcut marker.
    m_actStartPause = m_trayMenu->addAction(QIcon("://images/start.png"), tr("开始录制 & 暂停").replace('&', "&&"));
    m_actStop = m_trayMenu->addAction(QIcon("://images/stop.png"), tr("停止程序"));
    m_actExit = m_trayMenu->addAction(QIcon("://images/exit.png"), tr("退出程序"));
    connect(m_actStartPause, &QAction::triggered, this, &ZMAVRecorderMenu::slot_start_pause);
    connect(m_actStop, &QAction::triggered, this, &ZMAVRecorderMenu::slot_stop);
    connect(m_actExit, &QAction::triggered, this, &ZMAVRecorderMenu::slot_exit);
    return m_trayMenu;
}

ZMGraphicsItem* ZMAVRecorderMenu::createPreviewItem()
{
    if (!m_previewItem)
        m_previewItem = new ZMGraphicsItem;
    return m_previewItem;
}

// ---- recording state machine -----------------------------------------------------------

void ZMAVRecorderMenu::slot_start_pause()
{
    switch (m_state) {
    case Stopped:
        start();
        break;
    case Recording:
    case Resumed:
        pause();
        break;
    case Paused:
        resume();
        break;
    }
}

void ZMAVRecorderMenu::start()
{
    ZMRecordingSettings settings;
    const QStringList unseen = hideUnseenMarks();
    const bool described = describeRecording(&settings);
    showHiddenMarks();
    if (!described)
        return;
    m_mainWindow->hide();
    QString error;
    if (!m_d->init(settings, &error)) {
        m_mainWindow->show();
        information(error);
        return;
    }
    m_recordingPath = QString::fromUtf8(settings.outputPath);
    m_clock = ZMRecordingClock();
    const QString msg = armTimers();
    m_state = Recording;
    statusUpdate(msg);
    reportUnseenMarks(unseen, settings.streams & ZM_VIDEO);
}

// The checks before a start, in order, each refusing with its message; on success the
// recording's settings from the panel's.
bool ZMAVRecorderMenu::describeRecording(ZMRecordingSettings* settings)
{
    QRect area;
    QString path;
    if (!recordArea(&area) || !outputPath(&path))
        return false;
    const int mode = ui->cb_recordMode->currentIndex();
    bool ok = false;
    const int frameRate = ui->spinBox_frameRate->text().toInt(&ok);
    if (!ok) {
        information(tr("请设置帧率!"));
        return false;
    }
    const int audioRate = ui->cb_audioRate->currentText().toInt(&ok);
    if (!ok || !checkPath(path))
        return false;
    *settings = ZMAVRecorderMenuPrivate::settings(path, area, frameRate, audioRate, ui->checkBox_mouse->isChecked(),
                                                  ui->checkBox_sysAudio->isChecked());
    m_soundChoice->describe(settings);
    // Through the portal the whole screen is the monitor the user shares, whatever its size.
    if (!ui->tb_screenshot->isChecked() && ZMDesktopPicture::fromPortal())
        settings->area = QRect();
    else
        chooseSource(settings);
    if (!m_d->readTextMark(settings) || !m_d->readImageMark(settings))
        return false;
    const ZMVideoOptions video = ZMVideoOptions::load();
    settings->videoQuality = video.quality;
    settings->videoPreset = video.preset.toUtf8();
    if (mode == VideoOnly) {
        settings->streams &= ~ZM_AUDIO;
    } else if (mode == AudioOnly) {
        settings->cursor = false;
        settings->streams &= ~ZM_VIDEO;
    }
    return true;
}

// Arms the delayed start (at least a second) and the timed stop; returns the announcement.
QString ZMAVRecorderMenu::armTimers()
{
    const int delay = qMax(1, m_timerBox.widget->delay());
    m_startTimer.arm(delay * 1000, this, &ZMAVRecorderMenu::slot_timer_start);
    QString msg = tr("将在 %1 秒后开始录制!").arg(delay);
    if (m_timerBox.widget->isTimerEnable()) {
        const int length = m_timerBox.widget->stopSec();
        m_stopTimer.arm((delay + length + 1) * 1000, this, &ZMAVRecorderMenu::slot_stop);
        msg += tr("\n录制 %1 秒后自动停止.").arg(length);
    }
    return msg;
}

void ZMAVRecorderMenu::slot_timer_start()
{
    Q_ASSERT(m_d);
    startCapture();
}

void ZMAVRecorderMenu::startCapture()
{
    QString error;
    if (m_d->start(&error)) {
        m_clock.start();
        return;
    }
    slot_stop();
    information(error);
}

// Without a screen no more pictures come, and after a failed write none would be kept:
// stopping finalises what was recorded.
void ZMAVRecorderMenu::onScreenLost(const QString& text)
{
    slot_stop();
    information(text);
}

void ZMAVRecorderMenu::pause()
{
    m_d->pause();
    m_clock.pause();
    const QString msg = m_stopTimer.isArmed() ? tr("暂停录制,\n并且停用定时器") : QString();
    disarmTimers();
    m_state = Paused;
    statusUpdate(msg);
}

// A pause during the start delay disarms the start timer before anything ran; the resume
// then has to start the recording instead of resuming it.
void ZMAVRecorderMenu::resume()
{
    const bool started = m_d->isStarted();
    if (started) {
        m_d->resume();
        m_clock.resume();
    }
    m_state = Resumed;
    statusUpdate(QString());
    if (!started)
        startCapture();
}

void ZMAVRecorderMenu::slot_stop()
{
    m_d->stop();
    m_clock.stop();
    disarmTimers();
    m_timerBox.widget->setTimerEnable(false);
    m_state = Stopped;
    statusUpdate(QString());
    announceRecording();
}

void ZMAVRecorderMenu::disarmTimers()
{
    for (ShotTimer* timer : { &m_startTimer, &m_stopTimer }) {
        trace("stop\n");
        if (timer->isArmed()) {
            timer->disarm();
            trace("stop ok\n");
        }
    }
}

void ZMAVRecorderMenu::slot_hotKeyActive(int key)
{
    if (key == ZMHotKeyMgr::GSC_Start)
        slot_start_pause();
    else if (key == ZMHotKeyMgr::GSC_Stop)
        slot_stop();
}

void ZMAVRecorderMenu::statusUpdate(const QString& msg)
{
    emit signal_statuChanged(m_state, msg);
    updateControls();
    showRecordingState();
    if (m_state == Recording || m_state == Resumed)
        m_mainWindow->hide();
    else
        m_mainWindow->show();
}

void ZMAVRecorderMenu::updateControls()
{
    const bool running = m_state == Recording || m_state == Resumed;
    const QIcon icon(running ? "://images/pause.png" : "://images/start.png");
    ui->tb_start_pause->setIcon(icon);
    ui->tb_start_pause->setToolTip(running ? tr("暂停录制") : m_state == Paused ? tr("继续录制") : tr("开始录制"));
    ui->tb_stop->setEnabled(m_state != Stopped);
    m_actStartPause->setIcon(icon);
    m_actStop->setEnabled(m_state != Stopped);
}

// ---- start checks -------------------------------------------------------------------------

// In device pixels of the desktop: full screen is the chosen monitor, a custom area the
// selector's rectangle under the panel's rounding.
QRect ZMAVRecorderMenu::screenArea() const
{
    if (ui->tb_screenshot->isChecked())
        return selectedArea();
    QRect area;
    QString monitor, error;
    m_monitorChoice->area(m_mainWindow, &area, &monitor, &error);
    return area;
}

QRect ZMAVRecorderMenu::selectedArea() const
{
    const QSize size = m_fullScreenPixmap.size();
    const QRect sel = m_selector->selectionRect();
    // A picked window is recorded as it is, but for an odd last column or row (4:2:0 pictures
    // need even sizes).
    if (m_selector->selectedWindow())
        return QRect(sel.topLeft(), QSize(sel.width() & ~1, sel.height() & ~1));
    // The encoder wants a width in multiples of 32 and an even height: round to the nearest
    // multiple of 32 and up to even.
    int width = size.width() <= sel.right() - sel.left() ? size.width() : sel.right() - sel.left() + 17;
    int height = size.height() <= sel.bottom() - sel.top() ? size.height() : sel.bottom() - sel.top() + 2;
    width &= ~31;
    height &= ~1;
    // Rounding up may reach past the screen, which cannot be grabbed: keep the area on it.
    width = qMin(width, size.width() & ~31);
    height = qMin(height, size.height() & ~1);
    const int x = qMax(0, qMin(sel.left(), size.width() - width));
    const int y = qMax(0, qMin(sel.top(), size.height() - height));
    return QRect(x, y, width, height);
}

// The monitor full-screen mode records, or the window picked in the selector: the recording
// then watches the one or follows the other.
void ZMAVRecorderMenu::chooseSource(ZMRecordingSettings* settings) const
{
    if (ui->tb_screenshot->isChecked()) {
        settings->window = m_selector->selectedWindow();
        return;
    }
    QRect area;
    QString error;
    m_monitorChoice->area(m_mainWindow, &area, &settings->monitor, &error);
}

bool ZMAVRecorderMenu::recordArea(QRect* area)
{
    QString monitor, error;
    if (ui->tb_screenshot->isChecked()) {
        *area = selectedArea();
    } else if (!m_monitorChoice->area(m_mainWindow, area, &monitor, &error)) {
        information(error);
        return false;
    }
    if (area->width() >= kMinAreaSide && area->height() >= kMinAreaSide)
        return true;
    information(tr("录制区域宽或高不能小于 %1 个像素\n当前选区为: [%2x%3]\n请重新选择录制区域!")
                    .arg(kMinAreaSide)
                    .arg(area->width())
                    .arg(area->height()));
    return false;
}

// Numbers the file "name~N" when "name" is taken. The number goes on from the last
// recording's base name as long as the name field still shows that base or one of its
// numbered names, so recordings in a row come out as N, N~2, N~3.
bool ZMAVRecorderMenu::outputPath(QString* path)
{
    QString& baseName = m_numberedBase;
    int& counter = m_numberedCounter;

    m_mainWindow->show();
    const QString dir = m_saveBox.widget->dir();
    const QString name = m_saveBox.widget->fileName();
    // The save bar offers ".mp4"; the settings may choose Matroska instead.
    const QString chosen = ZMVideoOptions::load().container;
    const QString format = chosen == QLatin1String(".mkv") ? chosen : m_saveBox.widget->format();
    if (dir.isEmpty() || name.isEmpty()) {
        information(tr("存储路径不能为空"));
        return false;
    }
    const QRegularExpression numbered("^" + QRegularExpression::escape(baseName) + "~\\d+$");
    if (baseName.isEmpty() || (name != baseName && !numbered.match(name).hasMatch())) {
        baseName = name;
        counter = 1;
    }
    QString candidate = dir + "/" + name + format;
    if (!QFile::exists(candidate)) {
        counter = 1;
        baseName = name;
    } else {
        QString numberedName;
        do {
            ++counter;
            Q_ASSERT(counter < 99999 && "!99999");
            numberedName = baseName + tr("~%1").arg(counter);
            candidate = dir + "/" + numberedName + format;
        } while (QFile::exists(candidate));
        m_saveBox.widget->setFileName(numberedName);
    }
    *path = candidate;
    m_mainWindow->showStatusMessage(*path);
    return true;
}

bool ZMAVRecorderMenu::checkPath(const QString& path)
{
    const QString dir = m_saveBox.widget->dir();
    if (!QDir(dir).exists()) {
        information(tr("存储路径无效, 请重新选择 '文件夹' 路径!"));
        return false;
    }
    // The encoder takes the path as at most 127 bytes of UTF-8; a cut path would write
    // somewhere else.
    if (path.toUtf8().size() >= ZM_SAVE_PATH_SIZE) {
        information(tr("存储路径太长 (超过 %1 字节), 请选择较短的文件夹或文件名:\n%2")
                        .arg(ZM_SAVE_PATH_SIZE - 1)
                        .arg(path));
        return false;
    }
    QFile probe(path);
    if (!probe.open(QIODevice::ReadWrite)) {
        information(tr("当前路径没有读写权限,请以管理员权限运行软件 \n %1").arg(dir));
        return false;
    }
    probe.close();
    probe.remove();
    return true;
}

void ZMAVRecorderMenu::information(const QString& text)
{
    QMessageBox box(QMessageBox::Information, tr("提示"), text, QMessageBox::NoButton, this);
    box.addButton(tr("确定"), QMessageBox::AcceptRole);
    box.exec();
}

// ---- exit and window -----------------------------------------------------------------------

// The exit report's answer (server message 2) or the timer, whichever comes first, ends
// the program.
void ZMAVRecorderMenu::slot_exit()
{
    saveThemes();
    m_d->stop();
    m_mainWindow->hide();
    ZMConnect2Server::instance()->start(0);
    QTimer::singleShot(1000, this, &ZMAVRecorderMenu::slot_timer_exit);
}

void ZMAVRecorderMenu::slot_timer_exit()
{
    m_d->stop();
    QCoreApplication::exit(0);
}

void ZMAVRecorderMenu::slot_tray()
{
    m_mainWindow->close();
}

void ZMAVRecorderMenu::slot_msgHotKeyConflict()
{
    information(tr("快捷键冲突,请重新设置快捷键"));
}

void ZMAVRecorderMenu::slot_settings()
{
    HotKeySetDlg dlg(this);
    // The encoding choices go below the dialog's own controls.
    auto* video = new ZMVideoOptionsBox(ZMVideoOptions::load(), &dlg);
    if (auto* grid = qobject_cast<QGridLayout*>(dlg.layout()))
        grid->addWidget(video, grid->rowCount(), 0, 1, grid->columnCount());
    if (dlg.exec() == QDialog::Accepted)
        video->options().save();
}

void ZMAVRecorderMenu::slot_msgFromServer(int id, QString)
{
    switch (id) {
    case ZMConnect2Server::NewVersion:
        ui->tb_zolmet->setIcon(QIcon("://images/Logo_msg_48x48.png"));
        m_mainWindow->showTrayMessage(tr("Murovent 有新版本了哦 !\n欢迎前往 ") + QString::fromUtf8(ZMProduct::kWebUrl)
                                      + tr(" 下载"));
        break;
    case ZMConnect2Server::ExitReportAnswered:
        m_d->stop();
        QCoreApplication::exit(0);
        break;
    case ZMConnect2Server::AdvertisementReady:
        showAdvertisement();
        break;
    case ZMConnect2Server::VersionRetired:
        information(tr("当前版本已不再维护,\n请到 ") + QString::fromUtf8(ZMProduct::kWebUrl) + tr(" 或 ")
                    + QString::fromUtf8(ZMProduct::kWebUrlMirror) + tr(" 下载最新版本, 谢谢!"));
        m_d->stop();
        QCoreApplication::exit(0);
        break;
    default:
        break;
    }
}

// The advertisement is the preview's default picture: it replaces the default shown until
// now, but never a captured screen the user is working on.
void ZMAVRecorderMenu::showAdvertisement()
{
    const QString path = QString::fromUtf8(ServerInfoStore::instance().adImage().localpath.c_str());
    if (!m_previewItem || !m_previewItem->isShowingDefault() || QPixmap(path).isNull())
        return;
    m_previewItem->slot_showDefaultPixmap(path);
}

// ---- area and preview ---------------------------------------------------------------------

void ZMAVRecorderMenu::slot_screenshot()
{
    if (ui->tb_screenshot->isChecked()) {
        // Wait until the main window is gone from the screen before it is photographed.
        m_mainWindow->hide();
        QTimer::singleShot(300, this, &ZMAVRecorderMenu::slot_screenshotRunning);
        m_mainWindow->showStatusMessage(tr("自定义选区录制 !!"));
    } else {
        Q_ASSERT(m_selector);
        if (m_previewItem)
            m_previewItem->setPixmap(m_fullScreenPixmap);
        m_mainWindow->showStatusMessage(tr("全屏录制 !!!"));
    }
}

void ZMAVRecorderMenu::slot_screenshotRunning()
{
    m_fullScreenPixmap = m_selector->grabDesktop();
    // A Wayland desktop cannot be read directly: its picture is a screen cast's first one.
    if (ZMDesktopPicture::fromPortal()) {
        QString error;
        m_fullScreenPixmap = ZMDesktopPicture::grab(&error);
        if (m_fullScreenPixmap.isNull()) {
            slot_screenshotFinished();
            information(tr("无法取得桌面画面, 请允许共享屏幕后重新选择录制区域!\n%1").arg(error));
            return;
        }
    }
    m_selector->loadBackgroundPixmap(m_fullScreenPixmap);
    m_selector->show();
    m_selector->raise();
    m_selector->activateWindow();
}

void ZMAVRecorderMenu::slot_screenshotFinished()
{
    ui->tb_screenshot->setChecked(false);
    m_mainWindow->show();
}

void ZMAVRecorderMenu::slot_finishSelect(const QPixmap&)
{
    if (m_previewItem)
        m_previewItem->setPixmap(m_selector->previewPixmap());
    m_mainWindow->show();
}

void ZMAVRecorderMenu::slot_fullScreenshot()
{
    m_fullScreenPixmap = m_selector->grabDesktop();
}

QPointF ZMAVRecorderMenu::previewOrigin() const
{
    // The item's bounding rectangle has a one-pixel border around the picture.
    return m_previewItem ? m_previewItem->sceneBoundingRect().topLeft() + QPointF(1, 1) : QPointF();
}

void ZMAVRecorderMenu::showScreenInPreview()
{
    if (m_previewItem && m_previewItem->isShowingDefault() && !m_fullScreenPixmap.isNull())
        m_previewItem->setPixmap(m_fullScreenPixmap);
}

void ZMAVRecorderMenu::showMark(QGraphicsItem* mark)
{
    m_mainWindow->graphicsView()->ensureVisible(QRectF(mark->scenePos(), QSizeF(0, 0)), 50, 50);
    mark->show();
}

void ZMAVRecorderMenu::slot_watermark()
{
    if (!ui->tb_watermark->isChecked()) {
        if (m_imageMark)
            m_imageMark->hide();
        return;
    }
    showScreenInPreview();
    if (!m_imageMark) {
        m_imageMark = new ImageWaterItem(":/images/Logo_msg_48x48.png");
        m_mainWindow->graphicsScene()->addItem(m_imageMark);
        m_imageMark->changeImage();
    }
    showMark(m_imageMark);
}

void ZMAVRecorderMenu::slot_waterText()
{
    if (!ui->tb_waterText->isChecked()) {
        if (m_textMark)
            m_textMark->hide();
        return;
    }
    showScreenInPreview();
    if (!m_textMark) {
        m_textMark = new TextWaterItem(tr(kTextMarkDefault));
        m_mainWindow->graphicsScene()->addItem(m_textMark);
    }
    if (m_textMark->toPlainText().trimmed().isEmpty())
        m_textMark->setPlainText(tr(kTextMarkDefault));
    showMark(m_textMark);
}

// ---- controls -----------------------------------------------------------------------------

void ZMAVRecorderMenu::slot_sysAudioOnly(bool checked)
{
#ifdef ZM_SYSTEM_SOUND
    ui->label_aSampleRate->setEnabled(!checked);
    ui->cb_audioRate->setEnabled(!checked);
#else
    Q_UNUSED(checked);
    ui->label_aSampleRate->setEnabled(true);
    ui->cb_audioRate->setEnabled(true);
    ui->checkBox_sysAudio->setChecked(false);
    ui->checkBox_sysAudio->setEnabled(false);
#endif
}

void ZMAVRecorderMenu::slot_recordModelChanged(int mode)
{
    const bool videoOnly = mode == VideoOnly;
    const bool video = mode != AudioOnly;
    const bool audio = !videoOnly && !ui->checkBox_sysAudio->isChecked();
#ifdef ZM_SYSTEM_SOUND
    ui->checkBox_sysAudio->setEnabled(!videoOnly);
#endif
    ui->cb_audioRate->setEnabled(audio);
    ui->label_aSampleRate->setEnabled(audio);
    for (QWidget* w : std::initializer_list<QWidget*>{ ui->label_vFrameRate, ui->checkBox_autoFrame,
                                                        ui->spinBox_frameRate, ui->checkBox_mouse,
                                                        ui->tb_screenshot, m_monitorChoice })
        w->setEnabled(video);
}

void ZMAVRecorderMenu::slot_timerRecord(bool on)
{
    m_timerBox.widget->setTimerEnableQuiet(on);
    if (on)
        m_mainWindow->showStatusMessage(tr("将使用定时器, 录制时长:  %1").arg(m_timerBox.widget->stopTimeText()));
    else
        m_mainWindow->showStatusMessage(tr("关闭定时器"));
}

void ZMAVRecorderMenu::slot_timerRecord_statu(bool on)
{
    ui->tb_timer->setChecked(on);
}

void ZMAVRecorderMenu::slot_gotoDir()
{
    m_folderOpener->openFolder(m_saveBox.widget->dir());
}

void ZMAVRecorderMenu::slot_zolmet()
{
    ZMAbout about(this);
    about.exec();
}

void ZMAVRecorderMenu::slot_help()
{
    if (!m_help)
        m_help = std::make_unique<HelperWidget>();
    m_help->show();
}

// ---- the timer and save bars --------------------------------------------------------------

void ZMAVRecorderMenu::slot_timerWidget()
{
    if (!m_timerBox.docked)
        popUp(m_timerBox.widget, m_timerBox.popup.get(), ui->tb_timerWidget);
}

void ZMAVRecorderMenu::slot_saveBarWidget()
{
    if (!m_saveBox.docked)
        popUp(m_saveBox.widget, m_saveBox.popup.get(), ui->tb_saveBarWidget);
}

void ZMAVRecorderMenu::popUp(QWidget* bar, QMenu* popup, QWidget* button)
{
    popup->layout()->addWidget(bar);
    bar->show();
    popup->popup(button->mapToGlobal(QPoint(0, 0)));
}

void ZMAVRecorderMenu::dock(QWidget* bar, QWidget* frame, QWidget* button, bool* docked)
{
    *docked = true;
    frame->layout()->addWidget(bar);
    bar->show();
    button->setEnabled(false);
    button->hide();
}

void ZMAVRecorderMenu::undock(QWidget* bar, QWidget* button, bool* docked)
{
    *docked = false;
    bar->hide();
    button->setEnabled(true);
    button->show();
}

// The bars sit in the panel while it is wide enough for them, else they open as pop-ups
// under their buttons. The widths are taken once, with both bars in the panel; they come
// from the layout's wishes, since the first resize can arrive before anything is laid out.
void ZMAVRecorderMenu::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    int width = event->size().width();
    if (m_fixedWidth < 0) {
        m_timerBarWidth = ui->frame_timerBox->sizeHint().width();
        m_saveBarWidth = ui->frame_saveBox->sizeHint().width();
        m_fixedWidth = sizeHint().width() - m_timerBarWidth - m_saveBarWidth;
    }
    if (m_fixedWidth + m_timerBarWidth < width) {
        dock(m_timerBox.widget, ui->frame_timerBox, ui->tb_timerWidget, &m_timerBox.docked);
        width -= m_timerBarWidth;
    } else {
        undock(m_timerBox.widget, ui->tb_timerWidget, &m_timerBox.docked);
    }
    if (m_fixedWidth + m_saveBarWidth < width)
        dock(m_saveBox.widget, ui->frame_saveBox, ui->tb_saveBarWidget, &m_saveBox.docked);
    else
        undock(m_saveBox.widget, ui->tb_saveBarWidget, &m_saveBox.docked);
}

// ---- form widgets, connected by name ---------------------------------------------------------

void ZMAVRecorderMenu::on_tb_start_pause_clicked() { slot_start_pause(); }
void ZMAVRecorderMenu::on_tb_stop_clicked() { slot_stop(); }
void ZMAVRecorderMenu::on_tb_tray_clicked() { slot_tray(); }
void ZMAVRecorderMenu::on_tb_exit_clicked() { slot_exit(); }
void ZMAVRecorderMenu::on_tb_watermark_clicked() { slot_watermark(); }
void ZMAVRecorderMenu::on_tb_waterText_clicked() { slot_waterText(); }
void ZMAVRecorderMenu::on_tb_screenshot_clicked() { slot_screenshot(); }
void ZMAVRecorderMenu::on_tb_gotoDir_clicked() { slot_gotoDir(); }
void ZMAVRecorderMenu::on_checkBox_sysAudio_clicked(bool checked) { slot_sysAudioOnly(checked); }
void ZMAVRecorderMenu::on_cb_recordMode_currentIndexChanged(int mode) { slot_recordModelChanged(mode); }
void ZMAVRecorderMenu::on_tb_timerWidget_clicked() { slot_timerWidget(); }
void ZMAVRecorderMenu::on_tb_saveBarWidget_clicked() { slot_saveBarWidget(); }
void ZMAVRecorderMenu::on_tb_timer_clicked(bool on) { slot_timerRecord(on); }
void ZMAVRecorderMenu::on_tb_zolmet_clicked() { slot_zolmet(); }
void ZMAVRecorderMenu::on_tb_help_clicked() { slot_help(); }
void ZMAVRecorderMenu::on_tb_settings_clicked() { slot_settings(); }

// ---- what the user sees of a recording ------------------------------------------------------

void ZMAVRecorderMenu::setupRecordingReports()
{
    m_tick = new QTimer(this);
    m_tick->setInterval(1000);
    connect(m_tick, &QTimer::timeout, this, &ZMAVRecorderMenu::showRecordingState);
    m_notifier = new ZMNotifier(this);
    m_folderOpener = new ZMFolderOpener(this);
    connect(m_notifier, &ZMNotifier::openFolderRequested, m_folderOpener, &ZMFolderOpener::showFile);
    connect(m_folderOpener, &ZMFolderOpener::failed, this, &ZMAVRecorderMenu::folderNotOpened);
}

QString ZMAVRecorderMenu::stateLine() const
{
    const QString time = ZMRecordingClock::format(m_clock.elapsedMs());
    switch (m_state) {
    case Recording:
    case Resumed: return tr("正在录制 %1").arg(time);
    case Paused: return tr("已暂停 %1").arg(time);
    default: return tr("未在录制");
    }
}

// Once a second while a recording is under way: the tray icon, its tool tip and the tray
// menu's first line show the state and the running time, the status line also the file's size
// on disk.
void ZMAVRecorderMenu::showRecordingState()
{
    if (m_state == Stopped)
        m_tick->stop();
    else if (!m_tick->isActive())
        m_tick->start();
    const QString line = stateLine();
    m_actStatus->setText(line);
    m_mainWindow->showRecordingState(m_state, line);
    if (m_state != Stopped)
        m_mainWindow->showStatusMessage(tr("%1 | 文件大小: %2").arg(line, sizeText(QFileInfo(m_recordingPath).size())));
}

// Where the file went, how long and how large it is: a desktop notification that can open its
// folder, or the tray balloon where no notification service runs; and the status line.
void ZMAVRecorderMenu::announceRecording()
{
    if (!m_clock.hasStarted())
        return;
    const QFileInfo file(m_recordingPath);
    const QString facts = tr("时长 %1, 大小 %2").arg(ZMRecordingClock::format(m_clock.elapsedMs()), sizeText(file.size()));
    m_clock = ZMRecordingClock();
    if (!m_notifier->notifyFile(tr("录制已保存"), file.fileName() + '\n' + facts, file.absoluteFilePath()))
        m_mainWindow->showTrayMessage(tr("录制已保存: %1\n%2").arg(file.fileName(), facts));
    m_mainWindow->showStatusMessage(tr("已保存: %1 (%2)").arg(file.absoluteFilePath(), facts));
}

// A mark outside the recording area would not appear in the recording: it is left out of the
// set-up (hidden meanwhile) and named to the user, and the recording goes on. A mark larger
// than the area is refused by the set-up with its own message.
QStringList ZMAVRecorderMenu::hideUnseenMarks()
{
    QStringList names;
    const QRect area = screenArea();
    const std::pair<QGraphicsItem*, QString> marks[] = {{m_textMark, tr("文字水印")}, {m_imageMark, tr("图片水印")}};
    for (const auto& [mark, name] : marks) {
        if (!mark || !mark->isVisible() || markAppears(mark, area))
            continue;
        mark->hide();
        m_hiddenMarks << mark;
        names << name;
    }
    return names;
}

void ZMAVRecorderMenu::showHiddenMarks()
{
    for (QGraphicsItem* mark : std::as_const(m_hiddenMarks))
        mark->show();
    m_hiddenMarks.clear();
}

// The preview shows the whole screen: a mark's place on it less the area's origin is its place
// in the frame.
bool ZMAVRecorderMenu::markAppears(const QGraphicsItem* mark, const QRect& area) const
{
    const QRectF bounds = mark->boundingRect();
    if (bounds.width() > area.width() || bounds.height() > area.height())
        return true; // refused by the set-up, with its own message
    const QPointF inFrame = mark->sceneBoundingRect().topLeft() - (previewOrigin() + QPointF(area.topLeft()));
    return QRectF(inFrame, bounds.size()).intersects(QRectF(QPointF(0, 0), QSizeF(area.size())));
}

void ZMAVRecorderMenu::reportUnseenMarks(const QStringList& names, bool video)
{
    if (names.isEmpty() || !video)
        return;
    information(tr("%1 不在录制区域内, 不会出现在本次录制中.").arg(names.join(tr(", "))));
}

void ZMAVRecorderMenu::folderNotOpened(const QString& folder, const QString& reason)
{
    information(tr("无法打开文件夹 %1\n%2").arg(folder, reason));
}
