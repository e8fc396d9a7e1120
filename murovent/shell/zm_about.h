// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDialog>

namespace Ui {
class ZMAbout;
}

// The about dialog. When the product server has announced a newer version, it also shows
// what that version brings; otherwise it is a small fixed-size box.
class ZMAbout : public QDialog
{
    Q_OBJECT
public:
    explicit ZMAbout(QWidget* parent = nullptr);
    ~ZMAbout() override;

    // Byte-wise comparison of version texts, as the product server orders them.
    static bool isNewerVersion(const std::string& server, const std::string& local);

private slots:
    void connectWithMe(QString link);

private:
    QSize fittedSize() const;

    Ui::ZMAbout* m_ui;
};
