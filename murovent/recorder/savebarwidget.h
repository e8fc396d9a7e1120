// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class SaveBarWidget;
}

// Where a recording goes: a folder, a file name without extension and a container format.
class SaveBarWidget : public QWidget
{
    Q_OBJECT

public:
    explicit SaveBarWidget(QWidget* parent = nullptr);
    ~SaveBarWidget() override;

    // Shows the folder when it exists, else the user's home folder.
    void setDir(const QString& dir);
    QString dir() const;
    QString fileName() const;
    void setFileName(const QString& name);
    // The file extension, ".mp4".
    QString format() const;

signals:
    // The user finished the folder dialog (also when it was cancelled).
    void sig_setDir();

public slots:
    void slot_dirOpen();

private slots:
    void on_tb_dirOpen_clicked();

private:
    std::unique_ptr<Ui::SaveBarWidget> ui;
};
