// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QMainWindow>
#include <QSystemTrayIcon>

#include <memory>

class QGraphicsScene;
class ZMAVRecorderMenu;
class ZMGraphicsView;
class ZMSkin;

namespace Ui {
class ZMWindow;
}

// The program's frameless main window: the recorder panel in a fixed tool bar, the preview
// of the recording area, a status line and the tray icon that carries the panel's menu and
// the recording balloons.
class ZMWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit ZMWindow(QWidget* parent = nullptr);
    ~ZMWindow() override;

    void showTrayMessage(const QString& msg);
    void showStatusMessage(const QString& msg);
    // The recording's state (the panel's states) and its line of text on the tray icon: its
    // look and its tool tip.
    void showRecordingState(int state, const QString& line);
    ZMGraphicsView* graphicsView() const { return m_view; }
    QGraphicsScene* graphicsScene() const { return m_scene; }
    ZMAVRecorderMenu* recorderMenu() const { return m_recorder; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }

    // The balloon text for a recording state: the panel's message if it has one.
    static QString statusText(int status, const QString& msg);
    // How long a balloon stays: long enough to be read, at least three seconds.
    static int balloonTime(const QString& msg);
    // The tray icon's look for a recording state: idle, recording or paused.
    static QString trayIconPath(int state);

signals:
    // Closing the window without a tray to hide in means leaving the program.
    void exitRequested();

public slots:
    void slot_systemTrayActive(QSystemTrayIcon::ActivationReason reason);
    void slot_statuChanged(int status, QString msg);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Hiding into the tray only makes sense while a tray shows the icon.
    bool trayUsable() const;
    void fitPanel();

    Ui::ZMWindow* m_ui = nullptr;
    ZMAVRecorderMenu* m_recorder = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    ZMGraphicsView* m_view = nullptr;
    QGraphicsScene* m_scene = nullptr;
    std::unique_ptr<ZMSkin> m_skin;
};
