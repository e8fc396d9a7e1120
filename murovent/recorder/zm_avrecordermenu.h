// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "shottimer.h"
#include "zm_recordingclock.h"

#include <session/zm_recordingsettings.h>

#include <QPixmap>
#include <QPointF>
#include <QRect>
#include <QWidget>

#include <memory>

class HelperWidget;
class ImageWaterItem;
class QGraphicsItem;
class QAction;
class QMenu;
class QTimer;
class RectSelector;
class SaveBarWidget;
class TextWaterItem;
class TimerWidget;
class ZMAVRecorderMenuPrivate;
class ZMConfigUser;
class ZMFolderOpener;
class ZMGraphicsItem;
class ZMMonitorChoice;
class ZMNotifier;
class ZMPortalShortcuts;
class ZMSoundChoice;
class ZMWindow;

namespace Ui {
class ZMAVRecorderMenu;
}

// The recorder control panel in the main window's tool bar and the controller of every
// recording: start checks, output naming, delayed start, timed stop, pause, resume, stop,
// and the status reported to the main window.
class ZMAVRecorderMenu : public QWidget
{
    Q_OBJECT

public:
    // Recording states as carried by signal_statuChanged.
    enum State { Stopped = 0, Recording = 1, Paused = 2, Resumed = 3 };
    // The entries of cb_recordMode, as stored in the themes.
    enum RecordMode { AudioVideo = 0, VideoOnly = 1, AudioOnly = 2 };

    explicit ZMAVRecorderMenu(ZMWindow* mainWindow, QWidget* parent = nullptr);
    ~ZMAVRecorderMenu() override;

    // The tray icon's context menu: start/pause, stop, exit. Built once.
    QMenu* trayMenu();
    // Creates the preview's background item, which the panel keeps; the scene owns it.
    ZMGraphicsItem* createPreviewItem();

    int state() const { return m_state; }
    // The state and the recording's running time in one line, as the tray shows them.
    QString stateLine() const;
    // The pending start and the armed automatic stop.
    const ShotTimer& startShot() const { return m_startTimer; }
    const ShotTimer& stopShot() const { return m_stopTimer; }

signals:
    void signal_statuChanged(int state, const QString& msg);

public slots:
    void slot_hotKeyActive(int key);
    void slot_timer_start();
    void slot_start_pause();
    void slot_stop();
    void slot_timer_exit();
    void slot_tray();
    void slot_exit();
    void slot_watermark();
    void slot_waterText();
    void slot_screenshot();
    void slot_screenshotRunning();
    void slot_screenshotFinished();
    void slot_finishSelect(const QPixmap& selectedPix);
    void slot_fullScreenshot();
    void slot_gotoDir();
    void slot_msgHotKeyConflict();
    void slot_sysAudioOnly(bool checked);
    void slot_recordModelChanged(int mode);
    void slot_timerWidget();
    void slot_saveBarWidget();
    void slot_timerRecord(bool on);
    void slot_timerRecord_statu(bool on);
    void slot_zolmet();
    void slot_help();
    void slot_settings();
    void slot_msgFromServer(int id, QString info);
    // Themes: named sets of the panel's settings, kept in the user configuration file.
    void slot_themeChanged(const QString& name);
    void slot_themeCreate();
    void slot_themeRemove();
    void slot_themeRevert();

protected:
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void on_tb_start_pause_clicked();
    void on_tb_stop_clicked();
    void on_tb_tray_clicked();
    void on_tb_exit_clicked();
    void on_tb_watermark_clicked();
    void on_tb_waterText_clicked();
    void on_tb_screenshot_clicked();
    void on_tb_gotoDir_clicked();
    void on_checkBox_sysAudio_clicked(bool checked);
    void on_cb_recordMode_currentIndexChanged(int mode);
    void on_tb_timerWidget_clicked();
    void on_tb_saveBarWidget_clicked();
    void on_tb_timer_clicked(bool on);
    void on_tb_zolmet_clicked();
    void on_tb_help_clicked();
    void on_tb_settings_clicked();
    void on_cb_theme_currentIndexChanged(int index);
    void on_tb_themeAdd_clicked();
    void on_tb_themeDel_clicked();
    void on_tb_themeRevert_clicked();

private:
    friend class ZMAVRecorderMenuPrivate;

    // A bar shown either docked in its frame of the panel or in a pop-up under its button.
    template <class Bar>
    struct DockBar {
        Bar* widget = nullptr;
        std::unique_ptr<QMenu> popup;
        bool docked = true;
    };

    void setupForm();
    void setupMonitorChoice();
    void setupBars();
    void start();
    bool describeRecording(ZMRecordingSettings* settings);
    QString armTimers();
    void pause();
    void resume();
    void startCapture();
    void onScreenLost(const QString& text);
    void recoverInterrupted();
    bool recordArea(QRect* area);
    QRect screenArea() const;
    QRect selectedArea() const;
    void chooseSource(ZMRecordingSettings* settings) const;
    bool outputPath(QString* path);
    bool checkPath(const QString& path);
    void disarmTimers();
    void statusUpdate(const QString& msg);
    void updateControls();
    void information(const QString& text);
    void dock(QWidget* bar, QWidget* frame, QWidget* button, bool* docked);
    void undock(QWidget* bar, QWidget* button, bool* docked);
    void popUp(QWidget* bar, QMenu* popup, QWidget* button);
    QPointF previewOrigin() const;
    void showScreenInPreview();
    void showMark(QGraphicsItem* mark);
    void setupHotKeys();
    QString startupNote() const;
    void setupServer();
    void showAdvertisement();

    // What the user sees of a recording while the window is hidden, and after it.
    void setupRecordingReports();
    void showRecordingState();
    void announceRecording();
    QStringList hideUnseenMarks();
    void showHiddenMarks();
    bool markAppears(const QGraphicsItem* mark, const QRect& area) const;
    void reportUnseenMarks(const QStringList& names, bool video);
    void folderNotOpened(const QString& folder, const QString& reason);

    // Themes (zm_avrecordermenu_cfg.cpp).
    void loadThemes();
    bool restorePresetThemes();
    bool applyLastUsedTheme();
    bool applyTheme(const QString& name);
    void applyThemeToPanel(const ZMConfigUser& user);
    void readThemeFromPanel(ZMConfigUser* user) const;
    bool storePanelIntoTheme(const QString& name);
    bool createTheme(const QString& name, QString* error);
    bool removeTheme(const QString& name);
    bool revertThemes();
    bool saveThemes();

    std::unique_ptr<ZMAVRecorderMenuPrivate> m_d;
    int m_state = Stopped;
    std::unique_ptr<Ui::ZMAVRecorderMenu> ui;
    ZMWindow* m_mainWindow = nullptr;
    QMenu* m_trayMenu = nullptr;
    QAction* m_actStartPause = nullptr;
    QAction* m_actStop = nullptr;
    QAction* m_actExit = nullptr;
    ZMGraphicsItem* m_previewItem = nullptr;
    std::unique_ptr<RectSelector> m_selector;
    ImageWaterItem* m_imageMark = nullptr;
    TextWaterItem* m_textMark = nullptr;
    // The whole desktop in device pixels, one picture pixel to one scene unit in the preview.
    QPixmap m_fullScreenPixmap;
    ZMMonitorChoice* m_monitorChoice = nullptr;
    DockBar<SaveBarWidget> m_saveBox;
    DockBar<TimerWidget> m_timerBox;
    ShotTimer m_startTimer;
    ShotTimer m_stopTimer;
    std::unique_ptr<HelperWidget> m_help;
    std::unique_ptr<ZMPortalShortcuts> m_portalKeys;  // the hot keys on a Wayland desktop that binds them
    // The base name of the numbered output files ("name~N") and the last number used.
    QString m_numberedBase;
    int m_numberedCounter = 1;
    // Widths measured at the first resize that decide where the bars go.
    int m_fixedWidth = -1;
    int m_timerBarWidth = 0;
    int m_saveBarWidth = 0;
    // The theme the panel shows; its settings are stored back when another one is chosen.
    QString m_themeName;
    ZMSoundChoice* m_soundChoice = nullptr;   // the mix and the devices, beside "系统声音"

    // The recording under way: its file, its running time, and the second's tick that shows
    // them; the tray menu's first line; the marks left out of its set-up.
    QString m_recordingPath;
    ZMRecordingClock m_clock;
    QTimer* m_tick = nullptr;
    QAction* m_actStatus = nullptr;
    ZMNotifier* m_notifier = nullptr;
    ZMFolderOpener* m_folderOpener = nullptr;
    QList<QGraphicsItem*> m_hiddenMarks;
};
