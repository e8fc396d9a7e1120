// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_window.h"

#include "ui_zm_window.h"

#include "zm_avrecordermenu.h"
#include "zm_graphicsitem.h"
#include "zm_graphicsview.h"
#include "zm_skin.h"

#include <QCloseEvent>
#include <QGraphicsScene>
#include <QMenu>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

ZMWindow::ZMWindow(QWidget* parent)
    : QMainWindow(parent)
    , m_ui(new Ui::ZMWindow)
{
    m_ui->setupUi(this);

    QToolBar* toolBar = addToolBar(QStringLiteral("TextEdit"));
    toolBar->setMovable(false);
    m_recorder = new ZMAVRecorderMenu(this);
    connect(m_recorder, &ZMAVRecorderMenu::signal_statuChanged, this, &ZMWindow::slot_statuChanged);
    toolBar->addWidget(m_recorder);

    auto* view = new ZMGraphicsView;
    auto* scene = new QGraphicsScene;
    view->setScene(scene);
    setCentralWidget(view);

    setWindowTitle(tr("Murovent --[iZolmet && KX]Zolmet出品"));
    setWindowIcon(QIcon(QStringLiteral("://images/Logo_48x48.png")));
    const int minWidth = width() >= 860 ? width() : 860;
    setMinimumSize(minWidth, int(minWidth * 0.73));

    m_view = view;
    m_scene = scene;
    ZMGraphicsItem* preview = m_recorder->createPreviewItem();
    m_scene->addItem(preview);
    m_view->zoomOut();
    // Nothing has been captured yet: show the default picture rather than an empty preview.
    preview->showDefault();

    QMenu* menu = m_recorder->trayMenu();
    m_tray = new QSystemTrayIcon(this);
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, &ZMWindow::slot_systemTrayActive);
    showRecordingState(m_recorder->state(), m_recorder->stateLine());
    m_tray->setVisible(true);

    m_skin = std::make_unique<ZMSkin>(this, true);
    setContentsMargins(10, 26, 10, 10);
    fitPanel();
}

void ZMWindow::fitPanel()
{
    // The panel's controls were laid out for narrower fonts than many desktops use: start
    // wide enough to show all of them (within the screen) instead of clipping their texts.
    QSize wanted = size().expandedTo(sizeHint());
    if (const QScreen* s = screen())
        wanted = wanted.boundedTo(s->availableGeometry().size());
    resize(wanted.expandedTo(minimumSize()));
}

ZMWindow::~ZMWindow()
{
    delete m_ui;
    if (m_tray) {
        m_tray->hide();
        delete m_tray;
    }
    // The scene has no parent; its items (the preview and the watermarks) go with it.
    if (m_view)
        m_view->setScene(nullptr);
    delete m_scene;
}

void ZMWindow::showTrayMessage(const QString& msg)
{
    // Without a tray there is no balloon to show; the status line carries the news instead.
    if (!trayUsable()) {
        showStatusMessage(msg);
        return;
    }
    m_tray->showMessage(tr("Murovent (Zolmet录屏): "), msg, QSystemTrayIcon::Information, balloonTime(msg));
}

// About a second for every eight characters after the first twenty, up to ten seconds.
int ZMWindow::balloonTime(const QString& msg)
{
    return qBound(3000, 3000 + (int(msg.size()) - 20) * 125, 10000);
}

void ZMWindow::showRecordingState(int state, const QString& line)
{
    if (!m_tray)
        return;
    m_tray->setIcon(QIcon(trayIconPath(state)));
    m_tray->setToolTip(QStringLiteral("Murovent: ") + line);
}

QString ZMWindow::trayIconPath(int state)
{
    switch (state) {
    case 1:
    case 3: return QStringLiteral("://images/tray_recording.png");
    case 2: return QStringLiteral("://images/tray_paused.png");
    default: return QStringLiteral("://images/Logo_48x48.png");
    }
}

void ZMWindow::showStatusMessage(const QString& msg)
{
    statusBar()->showMessage(QStringLiteral("*** Murovent @:  ") + msg);
}

QString ZMWindow::statusText(int status, const QString& msg)
{
    if (!msg.isEmpty())
        return msg;
    switch (status) {
    case 0: return tr("视频录制已停止 .");
    case 1: return tr("视频录制已开始 !");
    case 2: return tr("视频录制已暂停 ~~");
    case 3: return tr("继续录制 ...");
    default: return QString();
    }
}

void ZMWindow::slot_statuChanged(int status, QString msg)
{
    showTrayMessage(statusText(status, msg));
}

void ZMWindow::slot_systemTrayActive(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::DoubleClick && reason != QSystemTrayIcon::Trigger)
        return;
    show();
    setWindowState(Qt::WindowActive);
}

bool ZMWindow::trayUsable() const
{
    return m_tray && m_tray->isVisible() && QSystemTrayIcon::isSystemTrayAvailable();
}

void ZMWindow::closeEvent(QCloseEvent* event)
{
    if (trayUsable()) {
        hide();
        event->ignore();
        return;
    }
    // No tray to hide in: closing the window leaves the program, through the panel's exit
    // so that the themes are saved and the exit report is sent.
    event->ignore();
    emit exitRequested();
}
