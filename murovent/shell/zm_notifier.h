// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

// Desktop notifications through the freedesktop notification service on the session bus.
// Where the service supports actions, a notification about a file offers to open its folder.
// GUI thread only.
class ZMNotifier : public QObject
{
    Q_OBJECT
public:
    explicit ZMNotifier(QObject* parent = nullptr);

    // Shows the notification; false when no notification service took it (no session bus,
    // no service, or an error reply), so the caller can say it another way.
    bool notifyFile(const QString& title, const QString& body, const QString& file);

signals:
    // The user chose "open folder" on the notification about this file.
    void openFolderRequested(const QString& file);

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onClosed(uint id, uint reason);

private:
    QStringList capabilities();

    QStringList m_capabilities;
    bool m_asked = false;
    QHash<uint, QString> m_files;
};
