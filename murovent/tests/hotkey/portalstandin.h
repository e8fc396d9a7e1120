// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMap>
#include <QMutex>
#include <QStringList>
#include <QThread>

// A desktop portal that offers GlobalShortcuts, which the Debian 12 portal does not: it owns
// the portal's name on the session bus, on a connection of its own, and answers from a thread
// of its own (the program under test blocks on its calls), the way the portal does: each call
// returns a request object whose Response signal carries the answer. It notes what it is asked.
class PortalStandIn : public QDBusVirtualObject
{
public:
    // The session handle is answered as a string or, as some portals do, as an object path.
    explicit PortalStandIn(bool sessionAsObjectPath);
    ~PortalStandIn() override;

    struct Asked {
        QStringList calls;                // methods called, in order
        QMap<QString, QString> triggers;  // shortcut id -> preferred trigger
        QString session;
    };

    bool isServing() const { return m_serving; }
    // Any thread.
    Asked asked() const;
    // Reports the use of a shortcut, as the desktop does when its keys are pressed.
    void activate(const QString& session, const QString& id);

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private:
    void answer(const QDBusMessage& call, const QVariantMap& results);

    const bool m_sessionAsObjectPath;
    QThread m_thread;
    QDBusConnection m_bus;
    bool m_serving = false;
    mutable QMutex m_mutex;
    Asked m_asked;
};
