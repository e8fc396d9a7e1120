// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QRect>
#include <QString>
#include <QToolButton>

class QActionGroup;
class QMenu;

// What the panel's full-screen mode records: the monitor the panel's window is on (the
// default), one monitor chosen by name, or all of them. A tool button whose menu lists the
// monitors as they are when it opens. GUI thread.
class ZMMonitorChoice : public QToolButton
{
    Q_OBJECT
public:
    // The choice that stands for every monitor; the default is the empty choice.
    static const QString kAll;

    explicit ZMMonitorChoice(QWidget* parent = nullptr);

    // Empty: the panel's monitor; kAll; or a monitor's name.
    QString choice() const { return m_choice; }
    void choose(const QString& choice);

    // The rectangle full-screen mode records for a panel shown in `window`, in device pixels,
    // and the monitor's name (empty for all of them, or when the display does not describe its
    // monitors). False, with the message, when the monitor chosen by name is gone.
    bool area(const QWidget* window, QRect* area, QString* monitor, QString* error) const;

private:
    void fillMenu();

    QMenu* m_menu = nullptr;
    QActionGroup* m_entries = nullptr;
    QString m_choice;
};
