// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_portalsession.h"

#include "zm_capturelog.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

// Every request but Start answers at once; Start may wait for the user to pick a monitor.
const int kCallMs = 10000;
const int kQuickResponseMs = 10000;
const int kChoiceResponseMs = 120000;

enum : uint { SourceMonitor = 1, CursorHidden = 1, CursorEmbedded = 2, PersistUntilRevoked = 2 };

// The bus address as libdbus would find it; a private connection per session keeps its
// signals apart and follows the environment of the moment (tests switch buses).
QString sessionBusAddress()
{
    QString address = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
    if (address.isEmpty()) {
        const QString socket = qEnvironmentVariable("XDG_RUNTIME_DIR") + QLatin1String("/bus");
        if (QFileInfo(socket).exists())
            address = QLatin1String("unix:path=") + socket;
    }
    return address;
}

QString connectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("murovent-portal-%1").arg(++counter);
}

QVariant u(uint value)
{
    return QVariant::fromValue(value);
}

} // namespace

ZMPortalSession::ZMPortalSession(QObject* parent)
    : QObject(parent),
      m_bus(QDBusConnection::connectToBus(sessionBusAddress(), connectionName()))
{
}

ZMPortalSession::~ZMPortalSession()
{
    close();
    if (m_fd >= 0)
        ::close(m_fd);
    const QString name = m_bus.name();
    m_bus = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(name);
}

bool ZMPortalSession::open(const Choice& choice, QString* error)
{
    if (!checkPortal(error))
        return false;
    QVariantMap results;
    if (!request(QStringLiteral("CreateSession"), {}, {{QStringLiteral("session_handle_token"), newToken()}},
                 kQuickResponseMs, &results, error))
        return false;
    m_session = results.value(QStringLiteral("session_handle")).toString();
    if (m_session.isEmpty()) {
        *error = QStringLiteral("the desktop portal created no screen cast session");
        return false;
    }
    m_bus.connect(kService, m_session, kSession, QStringLiteral("Closed"), this, SLOT(onClosed()));
    const QVariant session = QVariant::fromValue(QDBusObjectPath(m_session));
    if (!request(QStringLiteral("SelectSources"), {session}, sourceOptions(choice), kQuickResponseMs, &results, error)
        || !request(QStringLiteral("Start"), {session, QString()}, {}, kChoiceResponseMs, &results, error)) {
        close();
        return false;
    }
    readStreams(results);
    if (!m_node) {
        *error = QStringLiteral("the desktop portal shared no monitor");
    } else if (openRemote(error)) {
        qCInfo(lcCapture) << "portal session" << m_session << "node" << m_node << "size" << m_size << "at"
                          << m_position << "cursor" << (m_cursorEmbedded ? "embedded" : "hidden")
                          << (choice.restoreToken.isEmpty() ? "new choice" : "restored choice");
        return true;
    }
    close();
    return false;
}

// One monitor; the pointer embedded when wanted and offered, else hidden; the choice kept
// until revoked (interface version 4 and later), and an earlier choice restored.
QVariantMap ZMPortalSession::sourceOptions(const Choice& choice)
{
    m_cursorEmbedded = choice.cursor && (m_cursorModes & CursorEmbedded);
    if (choice.cursor && !m_cursorEmbedded)
        qCInfo(lcCapture) << "the portal cannot draw the pointer (cursor modes" << m_cursorModes << ")";
    QVariantMap options{{QStringLiteral("types"), u(SourceMonitor)}, {QStringLiteral("multiple"), false}};
    if (m_cursorModes & (CursorHidden | CursorEmbedded))
        options.insert(QStringLiteral("cursor_mode"), u(m_cursorEmbedded ? CursorEmbedded : CursorHidden));
    if (m_version >= 4) {
        options.insert(QStringLiteral("persist_mode"), u(PersistUntilRevoked));
        if (!choice.restoreToken.isEmpty())
            options.insert(QStringLiteral("restore_token"), choice.restoreToken);
    }
    return options;
}

void ZMPortalSession::close()
{
    if (m_session.isEmpty())
        return;
    m_bus.disconnect(kService, m_session, kSession, QStringLiteral("Closed"), this, SLOT(onClosed()));
    QDBusMessage closing = QDBusMessage::createMethodCall(kService, m_session, kSession, QStringLiteral("Close"));
    m_bus.call(closing, QDBus::Block, 2000);
    m_session.clear();
}

int ZMPortalSession::takePipeWireFd()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

// The properties tell whether there is a portal at all, which interface version it speaks
// and which cursor modes it offers.
bool ZMPortalSession::checkPortal(QString* error)
{
    if (!m_bus.isConnected()) {
        *error = QStringLiteral("no D-Bus session bus (%1): recording through the desktop portal needs one")
                     .arg(m_bus.lastError().message());
        return false;
    }
    QDBusMessage get = QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("GetAll"));
    get << kScreenCast;
    const QDBusMessage reply = m_bus.call(get, QDBus::Block, kCallMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QString name = reply.errorName();
        if (name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown")
            || name == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
            *error = QStringLiteral("no desktop portal on the session bus (%1 is not there)").arg(kService);
        else
            *error = QStringLiteral("the desktop portal offers no screen cast (%1)").arg(reply.errorMessage());
        return false;
    }
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    if (!(properties.value(QStringLiteral("AvailableSourceTypes")).toUInt() & SourceMonitor)) {
        *error = QStringLiteral("the desktop portal cannot share a monitor");
        return false;
    }
    m_version = properties.value(QStringLiteral("version")).toUInt();
    m_cursorModes = properties.value(QStringLiteral("AvailableCursorModes")).toUInt();
    return true;
}

// Calls a request method and waits for its Response. Subscribed before the call: the answer
// can come before the call returns.
bool ZMPortalSession::request(const QString& method, QList<QVariant> arguments, QVariantMap options,
                              int timeoutMs, QVariantMap* results, QString* error)
{
    const QString token = newToken();
    options.insert(QStringLiteral("handle_token"), token);
    arguments << options;
    QString handle = requestPath(token);
    const auto subscribe = [&](bool on, const QString& path) {
        const QString signal = QStringLiteral("Response");
        if (on)
            m_bus.connect(kService, path, kRequest, signal, this, SLOT(onResponse(uint,QVariantMap)));
        else
            m_bus.disconnect(kService, path, kRequest, signal, this, SLOT(onResponse(uint,QVariantMap)));
    };
    m_answered = false;
    m_results.clear();
    subscribe(true, handle);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kScreenCast, method);
    call.setArguments(arguments);
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kCallMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        subscribe(false, handle);
        *error = QStringLiteral("the desktop portal refused %1: %2").arg(method, reply.errorMessage());
        return false;
    }
    // Portals before version 0.9 chose the request path themselves.
    const QString answered = reply.arguments().value(0).value<QDBusObjectPath>().path();
    if (!answered.isEmpty() && answered != handle) {
        subscribe(false, handle);
        subscribe(true, handle = answered);
    }
    if (!m_answered) {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(this, &ZMPortalSession::answered, &loop, &QEventLoop::quit);
        timer.start(timeoutMs);
        loop.exec();
    }
    subscribe(false, handle);
    if (!m_answered) {
        m_bus.call(QDBusMessage::createMethodCall(kService, handle, kRequest, QStringLiteral("Close")),
                   QDBus::NoBlock);
        *error = QStringLiteral("the desktop portal did not answer %1 within %2 s").arg(method).arg(timeoutMs / 1000);
        return false;
    }
    *results = m_results;
    switch (m_code) {
    case 0:
        return true;
    case 1:
        *error = QStringLiteral("screen sharing was cancelled in the desktop's dialog");
        return false;
    default: {
        // The interface defines no reason text; some portals still send one.
        QString reason;
        for (const char* key : {"error", "message", "reason"})
            if (reason.isEmpty())
                reason = m_results.value(QLatin1String(key)).toString();
        *error = QStringLiteral("the desktop portal refused to share the screen (%1 answered %2%3)")
                     .arg(method).arg(m_code).arg(reason.isEmpty() ? QString() : QLatin1String(": ") + reason);
        return false;
    }
    }
}

// The portal's request object: /org/freedesktop/portal/desktop/request/SENDER/TOKEN, with
// SENDER our unique name without its ':' and with '.' as '_'.
QString ZMPortalSession::requestPath(const QString& token) const
{
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("%1/request/%2/%3").arg(kPath, sender, token);
}

QString ZMPortalSession::newToken()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("murovent%1_%2").arg(getpid()).arg(++counter);
}

void ZMPortalSession::onResponse(uint code, const QVariantMap& results)
{
    m_answered = true;
    m_code = code;
    m_results = results;
    emit answered();
}

void ZMPortalSession::onClosed()
{
    m_closedByDesktop = true;
}

// "streams" is a(ua{sv}): the PipeWire node of each shared monitor with its "size" and
// "position" (ii). One monitor was asked for; the first is taken.
void ZMPortalSession::readStreams(const QVariantMap& results)
{
    m_restoreToken = results.value(QStringLiteral("restore_token")).toString();
    const QDBusArgument streams = results.value(QStringLiteral("streams")).value<QDBusArgument>();
    if (streams.currentType() != QDBusArgument::ArrayType)
        return;
    const auto pair = [](const QVariant& value) {
        int a = 0, b = 0;
        if (value.canConvert<QDBusArgument>()) {
            const QDBusArgument argument = value.value<QDBusArgument>();
            argument.beginStructure();
            argument >> a >> b;
            argument.endStructure();
        }
        return QPoint(a, b);
    };
    streams.beginArray();
    while (!streams.atEnd()) {
        quint32 node = 0;
        QVariantMap properties;
        streams.beginStructure();
        streams >> node >> properties;
        streams.endStructure();
        if (m_node)
            continue;
        m_node = node;
        const QPoint size = pair(properties.value(QStringLiteral("size")));
        m_size = QSize(size.x(), size.y());
        m_position = pair(properties.value(QStringLiteral("position")));
    }
    streams.endArray();
}

bool ZMPortalSession::openRemote(QString* error)
{
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kScreenCast, QStringLiteral("OpenPipeWireRemote"));
    call << QVariant::fromValue(QDBusObjectPath(m_session)) << QVariantMap();
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, kCallMs);
    const QDBusUnixFileDescriptor fd = reply.arguments().value(0).value<QDBusUnixFileDescriptor>();
    if (reply.type() == QDBusMessage::ErrorMessage || !fd.isValid()) {
        *error = QStringLiteral("the desktop portal gave no PipeWire connection (%1)").arg(reply.errorMessage());
        return false;
    }
    m_fd = fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 3);
    return m_fd >= 0;
}
