// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAbstractNativeEventFilter>
#include <QHash>
#include <QKeyCombination>
#include <QPair>
#include <QVector>

class ZMGlobalShortcut;
struct xcb_connection_t;
struct _XCBKeySymbols;  // xcb_key_symbols_t

// Passive key grabs on the X root window for the program's global shortcuts, and the filter
// that turns the grabbed key presses into their shortcuts' activations. One per program, on
// the application's own X connection.
class ZMX11KeyGrabber : public QAbstractNativeEventFilter
{
public:
    // Null when the application does not run on X11.
    static ZMX11KeyGrabber* instance();
    ~ZMX11KeyGrabber() override;

    // The X key code and modifier mask of a key combination; false when it has none.
    bool nativeKey(QKeyCombination combination, quint32& keycode, quint16& modifiers) const;
    // Grabs the key with every NumLock and CapsLock state; false, with nothing grabbed, when
    // another client or another shortcut holds any of them.
    bool grab(quint32 keycode, quint16 modifiers, ZMGlobalShortcut* owner);
    void ungrab(quint32 keycode, quint16 modifiers);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    using Key = QPair<quint32, quint16>;

    ZMX11KeyGrabber(xcb_connection_t* connection, quint32 root);
    QVector<quint16> lockVariants();
    quint16 numLockMask() const;
    void ungrabVariants(quint32 keycode, quint16 modifiers, const QVector<quint16>& variants);

    xcb_connection_t* m_connection;
    quint32 m_root;
    _XCBKeySymbols* m_symbols;
    quint16 m_numLockMask = 0;
    QHash<Key, ZMGlobalShortcut*> m_owners;
    QHash<Key, QVector<quint16>> m_variants;  // the lock states each key was grabbed with
};
