// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_portalshortcuts.h"

#include "zm_hotkeylog.h"
#include "zm_hotkeymgr.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>

#include <unistd.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const char* const kIds[ZMHotKeyMgr::GSC_Length] = {"start-pause", "stop"};
const char* const kDescriptions[ZMHotKeyMgr::GSC_Length] = {"Start or pause the recording", "Stop the recording"};

// One shortcut as BindShortcuts takes it: (sa{sv}).
struct Shortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

// The trigger text the portal expects: "CTRL+F1" for Qt's "Ctrl+F1".
QString trigger(const QKeySequence& key)
{
    QString text = key.toString(QKeySequence::PortableText);
    text.replace(QLatin1String("Ctrl"), QLatin1String("CTRL"));
    text.replace(QLatin1String("Alt"), QLatin1String("ALT"));
    text.replace(QLatin1String("Shift"), QLatin1String("SHIFT"));
    text.replace(QLatin1String("Meta"), QLatin1String("LOGO"));
    return text;
}

QString token()
{
    static int counter = 0;
    return QStringLiteral("murovent%1_keys%2").arg(getpid()).arg(++counter);
}

} // namespace

Q_DECLARE_METATYPE(Shortcut)

ZMPortalShortcuts::ZMPortalShortcuts(QObject* parent)
    : QObject(parent)
{
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    // QtDBus finds a slot's argument types by name, and an object path's name is known only
    // once its type is registered: until then the Activated slot cannot be connected.
    qRegisterMetaType<QDBusObjectPath>();
}

ZMPortalShortcuts::~ZMPortalShortcuts()
{
    if (!m_session.isEmpty())
        QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
                                               kService, m_session, QStringLiteral("org.freedesktop.portal.Session"),
                                               QStringLiteral("Close")),
                                           QDBus::NoBlock);
}

bool ZMPortalShortcuts::offered()
{
    QDBusMessage get = QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << kShortcuts << QStringLiteral("version");
    return QDBusConnection::sessionBus().call(get, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
}

void ZMPortalShortcuts::bind(const QList<QKeySequence>& keys)
{
    m_keys = keys;
    QDBusConnection::sessionBus().connect(kService, kPath, kShortcuts, QStringLiteral("Activated"), this,
                                          SLOT(onActivated(QDBusObjectPath,QString,qulonglong,QVariantMap)));
    call(QStringLiteral("CreateSession"), {QVariantMap{{QStringLiteral("session_handle_token"), token()}}},
         SLOT(onSessionCreated(uint,QVariantMap)));
}

// A request whose answer comes as the Response signal of the request object, subscribed
// before the call because the answer may come first.
bool ZMPortalShortcuts::call(const QString& method, const QList<QVariant>& arguments, const char* slot)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    QList<QVariant> withToken = arguments;
    const QString handle = token();
    QVariantMap options = withToken.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), handle);
    withToken << options;
    QString sender = bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    m_pending = QStringLiteral("%1/request/%2/%3").arg(kPath, sender, handle);
    bus.connect(kService, m_pending, kRequest, QStringLiteral("Response"), this, slot);
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kShortcuts, method);
    message.setArguments(withToken);
    const QDBusMessage reply = bus.call(message, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        bus.disconnect(kService, m_pending, kRequest, QStringLiteral("Response"), this, slot);
        qCWarning(lcHotkey) << "the portal refused" << method << reply.errorMessage();
        return false;
    }
    return true;
}

void ZMPortalShortcuts::onSessionCreated(uint code, const QVariantMap& results)
{
    QDBusConnection::sessionBus().disconnect(kService, m_pending, kRequest, QStringLiteral("Response"), this,
                                             SLOT(onSessionCreated(uint,QVariantMap)));
    // A string by the interface's first description, an object path from some portals.
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    m_session = handle.metaType() == QMetaType::fromType<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                                          : handle.toString();
    if (code != 0 || m_session.isEmpty()) {
        qCWarning(lcHotkey) << "the portal made no shortcut session, answer" << code;
        return;
    }
    QList<Shortcut> shortcuts;
    for (int index = 0; index < ZMHotKeyMgr::GSC_Length; ++index)
        shortcuts.append({QLatin1String(kIds[index]),
                          {{QStringLiteral("description"), QLatin1String(kDescriptions[index])},
                           {QStringLiteral("preferred_trigger"), trigger(m_keys.value(index))}}});
    call(QStringLiteral("BindShortcuts"),
         {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString(), QVariantMap()},
         SLOT(onBound(uint,QVariantMap)));
}

void ZMPortalShortcuts::onBound(uint code, const QVariantMap&)
{
    QDBusConnection::sessionBus().disconnect(kService, m_pending, kRequest, QStringLiteral("Response"), this,
                                             SLOT(onBound(uint,QVariantMap)));
    qCInfo(lcHotkey) << "portal shortcuts bound, answer" << code;
}

void ZMPortalShortcuts::onActivated(const QDBusObjectPath& session, const QString& id, qulonglong, const QVariantMap&)
{
    if (session.path() != m_session)
        return;
    for (int index = 0; index < ZMHotKeyMgr::GSC_Length; ++index)
        if (id == QLatin1String(kIds[index]))
            emit activated(index);
}
