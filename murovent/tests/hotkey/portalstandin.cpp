// SPDX-License-Identifier: GPL-2.0-or-later
#include "portalstandin.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// Where a caller's objects go: "/org/.../request/1_42/TOKEN" for the caller ":1.42".
QString objectFor(const QDBusMessage& call, const QString& kind, const QString& token)
{
    QString sender = call.service().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("%1/%2/%3/%4").arg(kPath, kind, sender, token);
}

} // namespace

PortalStandIn::PortalStandIn(bool sessionAsObjectPath)
    : m_sessionAsObjectPath(sessionAsObjectPath)
    , m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("portal-stand-in")))
{
    m_serving = m_bus.registerVirtualObject(kPath, this, QDBusConnection::SubPath) && m_bus.registerService(kService);
    m_thread.start();
    moveToThread(&m_thread);
}

PortalStandIn::~PortalStandIn()
{
    m_bus.unregisterService(kService);
    m_bus.unregisterObject(kPath, QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(QStringLiteral("portal-stand-in"));
    m_thread.quit();
    m_thread.wait();
}

PortalStandIn::Asked PortalStandIn::asked() const
{
    QMutexLocker lock(&m_mutex);
    return m_asked;
}

void PortalStandIn::activate(const QString& session, const QString& id)
{
    QDBusMessage signal = QDBusMessage::createSignal(kPath, kShortcuts, QStringLiteral("Activated"));
    signal << QVariant::fromValue(QDBusObjectPath(session)) << id << qulonglong(1000) << QVariantMap();
    m_bus.send(signal);
}

QString PortalStandIn::introspect(const QString&) const
{
    return QString();
}

bool PortalStandIn::handleMessage(const QDBusMessage& message, const QDBusConnection& connection)
{
    const QList<QVariant> args = message.arguments();
    const QString member = message.member();
    QMutexLocker lock(&m_mutex);
    m_asked.calls << member;
    if (member == QLatin1String("Get") && args.value(0).toString() == kShortcuts) {
        connection.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
    } else if (member == QLatin1String("CreateSession")) {
        const QVariantMap options = qdbus_cast<QVariantMap>(args.value(0));
        const QString session =
            objectFor(message, QStringLiteral("session"), options.value(QStringLiteral("session_handle_token")).toString());
        m_asked.session = session;
        const QVariant handle = m_sessionAsObjectPath ? QVariant::fromValue(QDBusObjectPath(session)) : QVariant(session);
        answer(message, {{QStringLiteral("session_handle"), handle}});
    } else if (member == QLatin1String("BindShortcuts")) {
        const QDBusArgument list = args.value(1).value<QDBusArgument>();
        m_asked.triggers.clear();
        list.beginArray();
        while (!list.atEnd()) {
            QString id;
            QVariantMap properties;
            list.beginStructure();
            list >> id >> properties;
            list.endStructure();
            m_asked.triggers.insert(id, properties.value(QStringLiteral("preferred_trigger")).toString());
        }
        list.endArray();
        answer(message, {});
    } else if (member == QLatin1String("Close")) {
        connection.send(message.createReply());
    } else {
        connection.send(message.createErrorReply(QDBusError::UnknownMethod, member));
    }
    return true;
}

// The call returns its request object; the answer follows as that object's Response.
void PortalStandIn::answer(const QDBusMessage& call, const QVariantMap& results)
{
    const QString token = qdbus_cast<QVariantMap>(call.arguments().last()).value(QStringLiteral("handle_token")).toString();
    const QString request = objectFor(call, QStringLiteral("request"), token);
    m_bus.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));
    QDBusMessage response = QDBusMessage::createSignal(request, QStringLiteral("org.freedesktop.portal.Request"),
                                                       QStringLiteral("Response"));
    response << uint(0) << results;
    m_bus.send(response);
}
