// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QKeySequence>
#include <QObject>

class ZMGlobalShortcut;

// The two global hot keys of the recorder (start/pause and stop) and the file that keeps them.
class ZMHotKeyMgr : public QObject
{
    Q_OBJECT
public:
    enum { GSC_Start = 0, GSC_Stop = 1, GSC_Length = 2 };

    // Registers the built-in keys "Ctrl+F1" and "Ctrl+F3"; does not read the file.
    explicit ZMHotKeyMgr(QObject* parent = nullptr);
    // Writes the keys to the file, then releases them.
    ~ZMHotKeyMgr() override;

    // The program's one manager, created on first use.
    static ZMHotKeyMgr* instance();
    static const char* fileName();  // "./hotkey.cfg"

    // False, with the slot's previous key kept, when the system refuses the key.
    bool setHotKey(int index, const QKeySequence& key);
    QKeySequence hotKey(int index) const;
    // One key per line, slot 0 first; stops with false at a key that cannot be set. A missing
    // line keeps that slot's key.
    bool loadHotKeys();
    // The keys the file names (the built-in ones where it names none), without grabbing them:
    // for a desktop that binds them itself.
    static QList<QKeySequence> storedKeys();
    bool saveHotKeys();
    // The keys at the program's start: those of the file when there is one. Without a file
    // (the first run) the built-in keys stay in effect and are written down. False only when
    // a key could not be grabbed (or the file could not be read).
    bool loadOrKeepDefaults();

signals:
    void hotKeyActive(int index);

private slots:
    void slot_start();
    void slot_stop();

private:
    ZMGlobalShortcut* m_gsc[GSC_Length];
};
