// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

// Answers every modal window the panel opens, the way the test says, so nothing blocks:
// message boxes get the button named in `button` (else their first one), input dialogs get
// `input` typed in (a null `input` cancels them), other dialogs are cancelled. What was seen
// is recorded.
class ModalAnswers : public QObject
{
public:
    struct Box {
        QString title, text;
        QStringList buttons;
    };

    ModalAnswers()
    {
        m_timer.setInterval(20);
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswers::answer);
        m_timer.start();
    }

    QString button;
    QString input;
    QList<Box> boxes;
    QStringList dialogs;

    QString lastText() const { return boxes.isEmpty() ? QString() : boxes.last().text; }

private:
    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            Box seen{box->windowTitle(), box->text(), {}};
            QAbstractButton* chosen = box->buttons().value(0);
            for (QAbstractButton* b : box->buttons()) {
                seen.buttons << b->text();
                if (b->text() == button)
                    chosen = b;
            }
            boxes << seen;
            chosen->click();
        } else if (auto* dialog = qobject_cast<QInputDialog*>(modal)) {
            dialogs << dialog->windowTitle() + '|' + dialog->labelText() + '|' + dialog->textValue();
            if (input.isNull()) {
                dialog->reject();
            } else {
                dialog->setTextValue(input);
                dialog->accept();
            }
        } else if (auto* other = qobject_cast<QDialog*>(modal)) {
            dialogs << QString::fromLatin1(other->metaObject()->className());
            other->reject();
        }
    }

    QTimer m_timer;
};
