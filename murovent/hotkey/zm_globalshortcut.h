// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QKeySequence>
#include <QObject>

// A system-wide keyboard shortcut: activated() fires whichever window has the focus.
class ZMGlobalShortcut : public QObject
{
    Q_OBJECT
public:
    explicit ZMGlobalShortcut(QObject* parent = nullptr);
    // Registers the shortcut at once; shortcut() stays empty when that is refused.
    explicit ZMGlobalShortcut(const QKeySequence& shortcut, QObject* parent = nullptr);
    ~ZMGlobalShortcut() override;

    // False, with the previous shortcut still in effect, when the sequence is not a single key
    // combination this system can grab or another client (or shortcut) already holds it.
    bool setShortcut(const QKeySequence& shortcut);
    // The shortcut in effect, empty when none is.
    QKeySequence shortcut() const { return m_shortcut; }

signals:
    void activated();

private:
    void release();

    QKeySequence m_shortcut;
    quint32 m_keycode = 0;
    quint16 m_modifiers = 0;
};
