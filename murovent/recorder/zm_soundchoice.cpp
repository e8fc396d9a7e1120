// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_soundchoice.h"

#include "zm_configuser.h"

#include <session/zm_recordingsettings.h>
#ifdef ZM_SYSTEM_SOUND
#include <capture/zm_sounddevices.h>
#endif

#include <QActionGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMenu>
#include <QToolButton>

ZMSoundChoice::ZMSoundChoice(QCheckBox* systemSound, QGridLayout* layout)
    : QObject(systemSound), m_systemSound(systemSound)
{
    m_mix = new QCheckBox(tr("同时录制麦克风"));
    m_mix->setObjectName(QStringLiteral("checkBox_micWithSys"));
    m_mix->setToolTip(tr("同时录制麦克风和系统声音, 混合为一条声轨"));
    m_devices = new QToolButton;
    m_devices->setObjectName(QStringLiteral("tb_soundDevices"));
    m_devices->setText(tr("设备"));
    m_devices->setToolTip(tr("选择麦克风和系统声音的设备"));
    m_devices->setPopupMode(QToolButton::InstantPopup);
    m_menu = new QMenu(m_devices);
    m_devices->setMenu(m_menu);
    connect(m_menu, &QMenu::aboutToShow, this, &ZMSoundChoice::fillMenu);

    // The three share the cell the form gave the system-sound box.
    int row, column, rows, columns;
    layout->getItemPosition(layout->indexOf(systemSound), &row, &column, &rows, &columns);
    layout->removeWidget(systemSound);
    auto* cell = new QHBoxLayout;
    cell->setContentsMargins(0, 0, 0, 0);
    cell->addWidget(systemSound);
    cell->addWidget(m_mix);
    cell->addWidget(m_devices);
    layout->addLayout(cell, row, column, rows, columns);

    connect(systemSound, &QCheckBox::toggled, this, &ZMSoundChoice::follow);
    systemSound->installEventFilter(this);
#ifndef ZM_SYSTEM_SOUND
    // Without a system-sound source there is nothing to mix with, nor devices to list.
    m_mix->hide();
    m_devices->hide();
#endif
    follow();
}

bool ZMSoundChoice::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_systemSound && event->type() == QEvent::EnabledChange)
        follow();
    return QObject::eventFilter(watched, event);
}

void ZMSoundChoice::follow()
{
    m_mix->setEnabled(m_systemSound->isEnabled() && m_systemSound->isChecked());
}

void ZMSoundChoice::apply(const ZMConfigUser& theme)
{
    m_mix->setChecked(theme.isMicWithSysAudio);
    m_microphone = QByteArray::fromStdString(theme.micDevice);
    m_output = QByteArray::fromStdString(theme.sysAudioDevice);
    follow();
}

void ZMSoundChoice::read(ZMConfigUser* theme) const
{
    theme->isMicWithSysAudio = m_mix->isChecked();
    theme->micDevice = m_microphone.toStdString();
    theme->sysAudioDevice = m_output.toStdString();
}

void ZMSoundChoice::describe(ZMRecordingSettings* settings) const
{
    if (settings->sound == ZMRecordingSettings::Sound::SystemSound && m_mix->isChecked())
        settings->sound = ZMRecordingSettings::Sound::MicrophoneAndSystemSound;
    settings->microphoneDevice = m_microphone;
    settings->systemSoundDevice = m_output;
}

// Asked anew each time the menu opens: devices come and go.
void ZMSoundChoice::fillMenu()
{
    m_menu->clear();
#ifdef ZM_SYSTEM_SOUND
    ZMSoundDevices server;
    QString error;
    if (!server.query(&error)) {
        m_menu->addAction(error)->setEnabled(false);
        return;
    }
    QList<QPair<QByteArray, QString>> inputs, outputs;
    for (const ZMSoundDevice& d : server.inputs())
        inputs.append({d.name, d.description});
    for (const ZMSoundDevice& d : server.outputs())
        outputs.append({d.name, d.description});
    addDevices(tr("麦克风"), inputs, &m_microphone);
    addDevices(tr("系统声音 (输出设备)"), outputs, &m_output);
#endif
}

// One section: the default device, then each device of the server; a chosen device that is
// not there now stays listed, so the choice is seen and can be undone.
void ZMSoundChoice::addDevices(const QString& title, const QList<QPair<QByteArray, QString>>& devices,
                               QByteArray* chosen)
{
    m_menu->addSection(title);
    auto* group = new QActionGroup(m_menu);
    const auto add = [&](const QByteArray& name, const QString& text) {
        QAction* action = m_menu->addAction(text);
        action->setCheckable(true);
        action->setChecked(name == *chosen);
        action->setData(name);
        group->addAction(action);
        connect(action, &QAction::triggered, this, [chosen, name] { *chosen = name; });
    };
    add(QByteArray(), tr("默认设备"));
    bool listed = chosen->isEmpty();
    for (const auto& device : devices) {
        add(device.first, QStringLiteral("%1 (%2)").arg(device.second, QString::fromUtf8(device.first)));
        listed = listed || device.first == *chosen;
    }
    if (!listed)
        add(*chosen, tr("%1 (未连接)").arg(QString::fromUtf8(*chosen)));
}
