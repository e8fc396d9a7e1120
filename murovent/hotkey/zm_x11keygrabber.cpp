// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_x11keygrabber.h"

#include "zm_globalshortcut.h"

#include <QGuiApplication>
#include <X11/keysym.h>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace {

constexpr quint16 kShortcutModifiers =
    XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

xcb_keysym_t keysymOf(Qt::Key key)
{
    static const QHash<int, xcb_keysym_t> kSpecial = {
        {Qt::Key_Escape, XK_Escape},     {Qt::Key_Tab, XK_Tab},          {Qt::Key_Backspace, XK_BackSpace},
        {Qt::Key_Return, XK_Return},     {Qt::Key_Enter, XK_KP_Enter},   {Qt::Key_Insert, XK_Insert},
        {Qt::Key_Delete, XK_Delete},     {Qt::Key_Pause, XK_Pause},      {Qt::Key_Print, XK_Print},
        {Qt::Key_Home, XK_Home},         {Qt::Key_End, XK_End},          {Qt::Key_Left, XK_Left},
        {Qt::Key_Up, XK_Up},             {Qt::Key_Right, XK_Right},      {Qt::Key_Down, XK_Down},
        {Qt::Key_PageUp, XK_Prior},      {Qt::Key_PageDown, XK_Next},    {Qt::Key_Menu, XK_Menu},
        {Qt::Key_ScrollLock, XK_Scroll_Lock},
    };
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return XK_F1 + (key - Qt::Key_F1);
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return XK_a + (key - Qt::Key_A);
    if (key >= 0x20 && key <= 0xff)
        return xcb_keysym_t(key);  // the Latin-1 keys share their codes with their keysyms
    return kSpecial.value(key, XCB_NO_SYMBOL);
}

} // namespace

ZMX11KeyGrabber* ZMX11KeyGrabber::instance()
{
    static std::unique_ptr<ZMX11KeyGrabber> grabber;
    if (!grabber && qGuiApp) {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
        if (!connection)
            return nullptr;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        grabber.reset(new ZMX11KeyGrabber(connection, screen->root));
    }
    return grabber.get();
}

ZMX11KeyGrabber::ZMX11KeyGrabber(xcb_connection_t* connection, quint32 root)
    : m_connection(connection)
    , m_root(root)
    , m_symbols(xcb_key_symbols_alloc(connection))
{
    qApp->installNativeEventFilter(this);
}

ZMX11KeyGrabber::~ZMX11KeyGrabber()
{
    // At program exit the application, and with it the X connection, is gone already; the
    // server has then released the grabs itself.
    if (qApp)
        qApp->removeNativeEventFilter(this);
    xcb_key_symbols_free(m_symbols);
}

bool ZMX11KeyGrabber::nativeKey(QKeyCombination combination, quint32& keycode, quint16& modifiers) const
{
    const xcb_keysym_t keysym = keysymOf(combination.key());
    if (keysym == XCB_NO_SYMBOL)
        return false;
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(m_symbols, keysym);
    if (!codes)
        return false;
    keycode = codes[0];
    std::free(codes);
    if (keycode == XCB_NO_SYMBOL)
        return false;
    const Qt::KeyboardModifiers mods = combination.keyboardModifiers();
    modifiers = 0;
    if (mods & Qt::ShiftModifier)
        modifiers |= XCB_MOD_MASK_SHIFT;
    if (mods & Qt::ControlModifier)
        modifiers |= XCB_MOD_MASK_CONTROL;
    if (mods & Qt::AltModifier)
        modifiers |= XCB_MOD_MASK_1;
    if (mods & Qt::MetaModifier)
        modifiers |= XCB_MOD_MASK_4;
    return true;
}

// The modifier bit the keyboard map gives NumLock (usually Mod2), 0 when it has none.
quint16 ZMX11KeyGrabber::numLockMask() const
{
    xcb_keycode_t* numLock = xcb_key_symbols_get_keycode(m_symbols, XK_Num_Lock);
    if (!numLock)
        return 0;
    quint16 mask = 0;
    xcb_get_modifier_mapping_reply_t* reply =
        xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr);
    if (reply) {
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
        const int perModifier = reply->keycodes_per_modifier;
        for (int mod = 0; mod < 8 && !mask; ++mod)
            for (int j = 0; j < perModifier; ++j)
                for (const xcb_keycode_t* k = numLock; *k != XCB_NO_SYMBOL; ++k)
                    if (codes[mod * perModifier + j] == *k)
                        mask = quint16(1 << mod);
        std::free(reply);
    }
    std::free(numLock);
    return mask;
}

// The lock-key states a shortcut must work in: the X server matches grabs on the exact
// modifier state, lock bits included.
QVector<quint16> ZMX11KeyGrabber::lockVariants()
{
    QVector<quint16> variants{0, XCB_MOD_MASK_LOCK};
    m_numLockMask = numLockMask();
    if (m_numLockMask)
        variants << m_numLockMask << quint16(m_numLockMask | XCB_MOD_MASK_LOCK);
    return variants;
}

bool ZMX11KeyGrabber::grab(quint32 keycode, quint16 modifiers, ZMGlobalShortcut* owner)
{
    const Key key(keycode, modifiers);
    if (!qApp || m_owners.contains(key))
        return false;
    const QVector<quint16> variants = lockVariants();
    QVector<xcb_void_cookie_t> cookies;
    for (quint16 lock : variants)
        cookies << xcb_grab_key_checked(m_connection, 0, m_root, modifiers | lock, xcb_keycode_t(keycode),
                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    // A key another client holds is refused with BadAccess, one error per variant.
    bool refused = false;
    for (const xcb_void_cookie_t& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            refused = true;
            std::free(error);
        }
    }
    if (refused) {
        ungrabVariants(keycode, modifiers, variants);
        return false;
    }
    m_owners.insert(key, owner);
    m_variants.insert(key, variants);
    return true;
}

void ZMX11KeyGrabber::ungrab(quint32 keycode, quint16 modifiers)
{
    const Key key(keycode, modifiers);
    const QVector<quint16> variants = m_variants.take(key);
    m_owners.remove(key);
    if (qApp)
        ungrabVariants(keycode, modifiers, variants);
}

void ZMX11KeyGrabber::ungrabVariants(quint32 keycode, quint16 modifiers, const QVector<quint16>& variants)
{
    for (quint16 lock : variants)
        xcb_ungrab_key(m_connection, xcb_keycode_t(keycode), m_root, modifiers | lock);
    // A round trip, so that the key is free for other programs once this returns.
    std::free(xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

bool ZMX11KeyGrabber::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_KEY_PRESS)
        return false;
    auto* press = reinterpret_cast<xcb_key_press_event_t*>(event);
    // NumLock sits on one of the shortcut modifier bits on some keyboard maps.
    const quint16 modifiers = press->state & kShortcutModifiers & ~m_numLockMask;
    if (ZMGlobalShortcut* owner = m_owners.value(Key(press->detail, modifiers))) {
        emit owner->activated();
        return true;
    }
    return false;
}
