// SPDX-License-Identifier: GPL-2.0-or-later
// The recorder panel's themes: named sets of its settings, kept by the configuration store.
#include "zm_avrecordermenu.h"

#include "savebarwidget.h"
#include "settingsnotice.h"
#include "timerwidget.h"
#include "ui_zm_avrecordermenu.h"
#include "zm_configmgr.h"
#include "zm_configuser.h"

#include <QFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include <cstdlib>

namespace {

QByteArray utf8(const QString& text)
{
    return text.toUtf8();
}

QString userFileName()
{
    return QString::fromUtf8(ZMConfigMgr::fileName());
}

// A two-button question; true when the first (default) button was chosen.
bool ask(QWidget* parent, const QString& text, const QString& yes, const QString& no)
{
    QMessageBox box(QMessageBox::Question, QObject::tr("提示"), text, QMessageBox::NoButton, parent);
    QPushButton* yesButton = box.addButton(yes, QMessageBox::AcceptRole);
    QPushButton* noButton = box.addButton(no, QMessageBox::RejectRole);
    box.setDefaultButton(yesButton);
    box.setEscapeButton(noButton);
    box.exec();
    return box.clickedButton() == yesButton;
}

} // namespace

void ZMAVRecorderMenu::loadThemes()
{
    ui->cb_theme->clear();
    ZMConfigMgr* store = ZMConfigMgr::instance();
    // What the load of the user file found is told once, not again at a revert.
    const std::optional<ZMConfigMgr::LoadReport> found = store->takeLastLoad();
    if (store->userCount() == 0)
        restorePresetThemes();
    for (int i = 0; i < store->userCount(); ++i)
        ui->cb_theme->addItem(QString::fromUtf8(store->userAt(i)->theme.c_str()));
    if (found)
        SettingsNotice::show(this, *found);
}

// Puts the built-in themes over the user file (the file replaced is kept beside it as
// "<file>.bak") and reads them from the preset itself, so that they are there even when the
// file cannot be written.
bool ZMAVRecorderMenu::restorePresetThemes()
{
    QFile preset(QString::fromUtf8(ZMConfigMgr::presetFileName()));
    if (!preset.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = preset.readAll();
    return ZMConfigMgr::instance()->restorePreset(ZMConfigMgr::fileName(),
                                                  std::string_view(text.constData(), size_t(text.size())));
}

bool ZMAVRecorderMenu::applyLastUsedTheme()
{
    const ZMConfigUser* user = ZMConfigMgr::instance()->lastUsedUser();
    if (!user)
        return false;
    applyThemeToPanel(*user);
    return true;
}

bool ZMAVRecorderMenu::applyTheme(const QString& name)
{
    if (name.isEmpty())
        return false;
    const ZMConfigUser* user = ZMConfigMgr::instance()->findUser(utf8(name).constData());
    if (!user)
        return false;
    applyThemeToPanel(*user);
    return true;
}

void ZMAVRecorderMenu::applyThemeToPanel(const ZMConfigUser& user)
{
    // The record may be replaced while it is applied (selecting its entry stores the panel
    // into the theme shown before): work on a copy.
    const ZMConfigUser theme = user;
    // The entry is selected before anything changes, so that the theme being left is stored
    // with its own settings and not with this theme's folder.
    const int entry = ui->cb_theme->findText(QString::fromUtf8(theme.theme.c_str()));
    if (entry >= 0)
        ui->cb_theme->setCurrentIndex(entry);
    m_saveBox.widget->setDir(QString::fromUtf8(theme.savePath.c_str()));

    const int rate = ui->cb_audioRate->findText(QString::number(theme.audioRate));
    ui->cb_audioRate->setCurrentIndex(rate >= 0 ? rate : 0);

    ui->spinBox_frameRate->setValue(
        qBound(ui->spinBox_frameRate->minimum(), theme.videoFrame, ui->spinBox_frameRate->maximum()));

    ui->checkBox_autoFrame->setChecked(theme.isAutoJump);
    ui->checkBox_mouse->setChecked(theme.isGrabMouse);
    ui->checkBox_sysAudio->setChecked(theme.isSysAudio);
    slot_sysAudioOnly(theme.isSysAudio);
    // The mode comes last: the system-sound switch above enables the audio controls, which a
    // video-only mode has to take back.
    const int mode = qBound(0, theme.model, ui->cb_recordMode->count() - 1);
    ui->cb_recordMode->setCurrentIndex(mode);
    slot_recordModelChanged(mode);

    m_timerBox.widget->setTimerEnable(theme.isTimerEnable);
    m_timerBox.widget->setStopSec(theme.timerStopSec);
    m_timerBox.widget->setDelay(theme.timerDelaySec);
}

void ZMAVRecorderMenu::readThemeFromPanel(ZMConfigUser* user) const
{
    user->savePath = utf8(m_saveBox.widget->dir()).toStdString();
    user->model = ui->cb_recordMode->currentIndex();
    user->audioRate = atoi(utf8(ui->cb_audioRate->currentText()).constData());
    user->videoFrame = ui->spinBox_frameRate->value();
    user->isAutoJump = ui->checkBox_autoFrame->isChecked();
    user->isGrabMouse = ui->checkBox_mouse->isChecked();
    user->isSysAudio = ui->checkBox_sysAudio->isChecked();
    user->isTimerEnable = m_timerBox.widget->isTimerEnable();
    user->timerStopSec = m_timerBox.widget->stopSec();
    user->timerDelaySec = m_timerBox.widget->delay();
}

bool ZMAVRecorderMenu::storePanelIntoTheme(const QString& name)
{
    if (name.isEmpty())
        return false;
    ZMConfigUser* user = ZMConfigMgr::instance()->findUser(utf8(name.trimmed()).constData());
    if (!user)
        return false;
    readThemeFromPanel(user);
    return true;
}

void ZMAVRecorderMenu::slot_themeChanged(const QString& name)
{
    storePanelIntoTheme(m_themeName);
    m_themeName = name;
    applyTheme(name);
}

void ZMAVRecorderMenu::slot_themeCreate()
{
    bool ok = false;
    const QString name = QInputDialog::getText(this, tr("自定义主题"), tr("主题名:"), QLineEdit::Normal,
                                               QStringLiteral("Untitle"), &ok)
                             .trimmed();
    if (!ok || name.isEmpty())
        return;
    QString error;
    if (!createTheme(name, &error))
        information(error);
}

bool ZMAVRecorderMenu::createTheme(const QString& name, QString* error)
{
    ZMConfigMgr* store = ZMConfigMgr::instance();
    const QByteArray key = utf8(name);
    if (store->findUser(key.constData())) {
        *error = tr("该主题已经存在, 请重新命名!");
        return false;
    }
    readThemeFromPanel(store->addUser(key.constData()));
    ui->cb_theme->addItem(name);
    ui->cb_theme->setCurrentIndex(ui->cb_theme->count() - 1);
    return true;
}

void ZMAVRecorderMenu::slot_themeRemove()
{
    const QString name = ui->cb_theme->currentText();
    // An empty list has nothing to delete; asking about a nameless theme would only puzzle.
    if (ui->cb_theme->count() == 0)
        return;
    if (ask(this, tr("确定要删除主题 ' %1 ' 吗?").arg(name), tr("删除"), tr("取消")))
        removeTheme(name);
}

bool ZMAVRecorderMenu::removeTheme(const QString& name)
{
    if (!ZMConfigMgr::instance()->removeUser(utf8(name).constData()))
        return false;
    const int entry = ui->cb_theme->findText(name);
    if (entry >= 0)
        ui->cb_theme->removeItem(entry);
    return true;
}

void ZMAVRecorderMenu::slot_themeRevert()
{
    if (ask(this, tr("确定还原所有主题吗?\n[ 还原操作将会清除所有自定义的主题 ]"), tr("还原"), tr("取消")))
        revertThemes();
}

bool ZMAVRecorderMenu::revertThemes()
{
    ZMConfigMgr::instance()->clearUsers();
    loadThemes();
    return applyLastUsedTheme();
}

bool ZMAVRecorderMenu::saveThemes()
{
    ZMConfigMgr* store = ZMConfigMgr::instance();
    storePanelIntoTheme(m_themeName);
    store->LastUseIdx = store->indexOfUser(utf8(ui->cb_theme->currentText()).constData());
    return store->save(utf8(userFileName()).toStdString());
}

void ZMAVRecorderMenu::on_cb_theme_currentIndexChanged(int index)
{
    slot_themeChanged(ui->cb_theme->itemText(index));
}

void ZMAVRecorderMenu::on_tb_themeAdd_clicked() { slot_themeCreate(); }
void ZMAVRecorderMenu::on_tb_themeDel_clicked() { slot_themeRemove(); }
void ZMAVRecorderMenu::on_tb_themeRevert_clicked() { slot_themeRevert(); }
