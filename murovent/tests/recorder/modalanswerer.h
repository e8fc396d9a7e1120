// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

// Answers every modal dialog the code under test opens, so no test ever blocks: message
// boxes are recorded and closed, other dialogs (file choosers) are cancelled.
class ModalAnswerer : public QObject
{
public:
    ModalAnswerer()
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::answer);
        m_timer.start();
    }

    QStringList messages;
    int dialogsCancelled = 0;

    QString takeMessage() { return messages.isEmpty() ? QString() : messages.takeFirst(); }

private:
    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages << box->text();
            box->done(0);
        } else if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            ++dialogsCancelled;
            dialog->reject();
        }
    }

    QTimer m_timer;
};
