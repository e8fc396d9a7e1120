// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDBusObjectPath>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QVariantMap>

// The recorder's two hot keys on a Wayland desktop, where a program cannot grab keys itself:
// the desktop portal's GlobalShortcuts binds them (the desktop may let the user change or
// refuse them) and reports their use. GUI thread only.
class ZMPortalShortcuts : public QObject
{
    Q_OBJECT
public:
    explicit ZMPortalShortcuts(QObject* parent = nullptr);
    ~ZMPortalShortcuts() override;

    // True when the session's portal offers GlobalShortcuts.
    static bool offered();
    // Asks for the keys, in the order of ZMHotKeyMgr's slots; the portal answers later.
    void bind(const QList<QKeySequence>& keys);

signals:
    // The slot (ZMHotKeyMgr::GSC_Start or GSC_Stop) whose key was pressed.
    void activated(int index);

private slots:
    void onSessionCreated(uint code, const QVariantMap& results);
    void onBound(uint code, const QVariantMap& results);
    void onActivated(const QDBusObjectPath& session, const QString& id, qulonglong timestamp,
                     const QVariantMap& options);

private:
    bool call(const QString& method, const QList<QVariant>& arguments, const char* slot);

    QList<QKeySequence> m_keys;
    QString m_session;
    QString m_pending;  // the request whose Response is awaited
};
