// SPDX-License-Identifier: GPL-2.0-or-later
#include "savebarwidget.h"

#include "ui_savebarwidget.h"

#include <QDir>
#include <QFileDialog>

SaveBarWidget::SaveBarWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::SaveBarWidget)
{
    ui->setupUi(this);
}

SaveBarWidget::~SaveBarWidget() = default;

void SaveBarWidget::setDir(const QString& dir)
{
    ui->lineEdit_movieDir->setText(QDir(dir).exists() && !dir.isEmpty() ? dir : QDir::homePath());
}

QString SaveBarWidget::dir() const
{
    return ui->lineEdit_movieDir->text();
}

QString SaveBarWidget::fileName() const
{
    return ui->lineEdit_movieName->text();
}

void SaveBarWidget::setFileName(const QString& name)
{
    ui->lineEdit_movieName->setText(name);
}

QString SaveBarWidget::format() const
{
    return ui->cb_format->currentText();
}

void SaveBarWidget::slot_dirOpen()
{
    const QString dir = QFileDialog::getExistingDirectory(this, tr("选择存储路径"), this->dir(),
                                                          QFileDialog::ShowDirsOnly);
    if (!dir.isEmpty())
        setDir(dir);
    emit sig_setDir();
}

void SaveBarWidget::on_tb_dirOpen_clicked()
{
    slot_dirOpen();
}
