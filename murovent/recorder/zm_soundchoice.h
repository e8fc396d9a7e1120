// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>

class QCheckBox;
class QGridLayout;
class QMenu;
class QToolButton;
class ZMConfigUser;
struct ZMRecordingSettings;

// The panel's sound choices beyond its first layout: the box "同时录制麦克风" beside "系统声音",
// which mixes the microphone into the system sound, and a button beside them whose menu
// chooses the microphone and the output among the sound server's devices. The box can be
// changed only while system sound is on (and available); otherwise it keeps its value. Both
// choices are stored per theme. GUI thread only.
class ZMSoundChoice : public QObject
{
    Q_OBJECT
public:
    // Puts its controls beside `systemSound`, in the cell it has in `layout`.
    ZMSoundChoice(QCheckBox* systemSound, QGridLayout* layout);

    void apply(const ZMConfigUser& theme);
    void read(ZMConfigUser* theme) const;
    // Turns the panel's settings into the mix and names the devices chosen.
    void describe(ZMRecordingSettings* settings) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void follow();
    void fillMenu();
    void addDevices(const QString& title, const QList<QPair<QByteArray, QString>>& devices,
                    QByteArray* chosen);

    QCheckBox* m_systemSound;
    QCheckBox* m_mix;
    QToolButton* m_devices;
    QMenu* m_menu;
    QByteArray m_microphone;      // the sound server's names; empty: the default devices
    QByteArray m_output;
};
