// SPDX-License-Identifier: GPL-2.0-or-later
#include "hotkeysetdlg.h"

#include "ui_hotkeysetdlg.h"
#include "zm_hotkeymgr.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

void selectText(QComboBox* combo, const QString& text)
{
    combo->setCurrentIndex(qMax(0, combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive)));
}

} // namespace

HotKeySetDlg::HotKeySetDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::HotKeySetDlg)
{
    ui->setupUi(this);
    setWindowTitle(tr("设置快捷键"));
    ZMHotKeyMgr* mgr = ZMHotKeyMgr::instance();
    showKey(mgr->hotKey(ZMHotKeyMgr::GSC_Start), ui->cbBox_start_Modifer, ui->cbBox_start_key);
    showKey(mgr->hotKey(ZMHotKeyMgr::GSC_Stop), ui->cbBox_stop_Modifer, ui->cbBox_stop_key);
}

HotKeySetDlg::~HotKeySetDlg() = default;

// Each combo shows the first part of the key's text that is one of its items, else its first
// item.
void HotKeySetDlg::showKey(const QKeySequence& key, QComboBox* modifier, QComboBox* function)
{
    const QStringList parts = key.toString(QKeySequence::PortableText).split('+', Qt::SkipEmptyParts);
    for (QComboBox* combo : {modifier, function}) {
        combo->setCurrentIndex(0);
        for (const QString& part : parts) {
            if (combo->findText(part, Qt::MatchExactly | Qt::MatchCaseSensitive) >= 0) {
                selectText(combo, part);
                break;
            }
        }
    }
}

QString HotKeySetDlg::chosenKey(const QComboBox* modifier, const QComboBox* function)
{
    if (modifier->currentText().isEmpty())
        return function->currentText();
    return modifier->currentText() + "+" + function->currentText();
}

void HotKeySetDlg::on_btn_default_clicked()
{
    selectText(ui->cbBox_start_Modifer, "Ctrl");
    selectText(ui->cbBox_start_key, "F1");
    selectText(ui->cbBox_stop_Modifer, "Ctrl");
    selectText(ui->cbBox_stop_key, "F3");
}

void HotKeySetDlg::on_btn_save_clicked()
{
    const QString keys[ZMHotKeyMgr::GSC_Length] = {
        chosenKey(ui->cbBox_start_Modifer, ui->cbBox_start_key),
        chosenKey(ui->cbBox_stop_Modifer, ui->cbBox_stop_key),
    };
    ZMHotKeyMgr* mgr = ZMHotKeyMgr::instance();
    for (int index = 0; index < ZMHotKeyMgr::GSC_Length; ++index) {
        if (mgr->setHotKey(index, QKeySequence::fromString(keys[index], QKeySequence::PortableText)))
            continue;
        QMessageBox box(QMessageBox::Question, tr("提示"),
                        tr("快捷键 '%1' 已经被占用,是否重新设置?").arg(keys[index]), QMessageBox::NoButton, this);
        QPushButton* again = box.addButton(tr("重新设置"), QMessageBox::AcceptRole);
        QPushButton* known = box.addButton(tr("我知道了"), QMessageBox::RejectRole);
        box.setDefaultButton(again);
        box.setEscapeButton(known);
        box.exec();
        if (box.clickedButton() != known)
            return;
    }
    mgr->saveHotKeys();
    accept();
}

void HotKeySetDlg::on_btn_cancel_clicked()
{
    reject();
}
