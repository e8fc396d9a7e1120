// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_globalshortcut.h"

#include "zm_hotkeylog.h"
#include "zm_x11keygrabber.h"

ZMGlobalShortcut::ZMGlobalShortcut(QObject* parent)
    : QObject(parent)
{
}

ZMGlobalShortcut::ZMGlobalShortcut(const QKeySequence& shortcut, QObject* parent)
    : QObject(parent)
{
    setShortcut(shortcut);
}

ZMGlobalShortcut::~ZMGlobalShortcut()
{
    release();
}

bool ZMGlobalShortcut::setShortcut(const QKeySequence& shortcut)
{
    ZMX11KeyGrabber* grabber = ZMX11KeyGrabber::instance();
    quint32 keycode;
    quint16 modifiers;
    if (!grabber || shortcut.count() != 1 || !grabber->nativeKey(shortcut[0], keycode, modifiers))
        return false;
    const bool held = !m_shortcut.isEmpty();
    if (held && keycode == m_keycode && modifiers == m_modifiers) {
        m_shortcut = shortcut;
        return true;
    }
    // The new key first: when it is refused, the old one stays in effect.
    if (!grabber->grab(keycode, modifiers, this)) {
        qCInfo(lcHotkey) << "hot key" << shortcut.toString() << "is held by another program";
        return false;
    }
    qCInfo(lcHotkey) << "hot key" << shortcut.toString() << "registered";
    release();
    m_shortcut = shortcut;
    m_keycode = keycode;
    m_modifiers = modifiers;
    return true;
}

void ZMGlobalShortcut::release()
{
    if (m_shortcut.isEmpty())
        return;
    if (ZMX11KeyGrabber* grabber = ZMX11KeyGrabber::instance())
        grabber->ungrab(m_keycode, m_modifiers);
    m_shortcut = QKeySequence();
}
