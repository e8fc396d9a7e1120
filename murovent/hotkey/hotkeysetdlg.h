// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDialog>
#include <memory>

class QComboBox;
class QKeySequence;

namespace Ui {
class HotKeySetDlg;
}

// The dialog in which the user picks a modifier and a function key for each global hot key.
class HotKeySetDlg : public QDialog
{
    Q_OBJECT
public:
    explicit HotKeySetDlg(QWidget* parent = nullptr);
    ~HotKeySetDlg() override;

private slots:
    void on_btn_default_clicked();
    void on_btn_save_clicked();
    void on_btn_cancel_clicked();

private:
    static void showKey(const QKeySequence& key, QComboBox* modifier, QComboBox* function);
    static QString chosenKey(const QComboBox* modifier, const QComboBox* function);

    std::unique_ptr<Ui::HotKeySetDlg> ui;
};
