// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_notifier.h"

#include "zm_product.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QVariantMap>

namespace {

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
// An answer comes at once from a running service; a missing one must not hang the program.
const int kCallTimeoutMs = 3000;

QDBusMessage call(const char* method)
{
    return QDBusMessage::createMethodCall(QString::fromLatin1(kService), QString::fromLatin1(kPath),
                                          QString::fromLatin1(kService), QString::fromLatin1(method));
}

} // namespace

ZMNotifier::ZMNotifier(QObject* parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(QString(), QString::fromLatin1(kPath), QString::fromLatin1(kService), QStringLiteral("ActionInvoked"),
                this, SLOT(onActionInvoked(uint,QString)));
    bus.connect(QString(), QString::fromLatin1(kPath), QString::fromLatin1(kService),
                QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint,uint)));
}

QStringList ZMNotifier::capabilities()
{
    if (!m_asked) {
        m_asked = true;
        const QDBusReply<QStringList> reply =
            QDBusConnection::sessionBus().call(call("GetCapabilities"), QDBus::Block, kCallTimeoutMs);
        if (reply.isValid())
            m_capabilities = reply.value();
    }
    return m_capabilities;
}

bool ZMNotifier::notifyFile(const QString& title, const QString& body, const QString& file)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    const QStringList caps = capabilities();
    // "default" is what a click on the notification does; the named action is the button.
    QStringList actions;
    if (caps.contains(QStringLiteral("actions")))
        actions << QStringLiteral("default") << tr("打开文件夹") << QStringLiteral("open-folder") << tr("打开文件夹");
    QDBusMessage notify = call("Notify");
    notify << QString::fromUtf8(ZMProduct::kName) << uint(0) << QStringLiteral("video-x-generic") << title
           << (caps.contains(QStringLiteral("body-markup")) ? body.toHtmlEscaped() : body) << actions
           << QVariantMap{{QStringLiteral("category"), QStringLiteral("transfer.complete")}} << int(-1);
    const QDBusReply<uint> id = bus.call(notify, QDBus::Block, kCallTimeoutMs);
    if (!id.isValid())
        return false;
    if (!actions.isEmpty())
        m_files.insert(id.value(), file);
    return true;
}

void ZMNotifier::onActionInvoked(uint id, const QString& action)
{
    const QString file = m_files.value(id);
    if (file.isEmpty() || (action != QLatin1String("default") && action != QLatin1String("open-folder")))
        return;
    emit openFolderRequested(file);
}

void ZMNotifier::onClosed(uint id, uint)
{
    m_files.remove(id);
}
