// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QVariantMap>

#include <atomic>

// One screen cast session with the desktop portal (org.freedesktop.portal.ScreenCast over the
// session bus): CreateSession -> SelectSources -> Start -> OpenPipeWireRemote. Each request
// answers through a Response signal, awaited with a time-out. The session stays open while
// the stream is recorded and is closed by close() or the destructor.
//
// Controlling thread only (it needs that thread's event loop while a request is waiting),
// except closedByDesktop(), which any thread may read.
class ZMPortalSession : public QObject
{
    Q_OBJECT
public:
    struct Choice {
        bool cursor = false;  // draw the pointer into the pictures, where the portal offers it
        QString restoreToken; // a token a previous session returned: the choice is not asked again
    };

    explicit ZMPortalSession(QObject* parent = nullptr);
    ~ZMPortalSession() override;

    // Runs the whole handshake; false, with the reason in *error and the session closed,
    // when the portal is missing, the user cancels, the portal refuses or a request times out.
    bool open(const Choice& choice, QString* error);
    void close();

    // After open(): the PipeWire connection (the caller owns the descriptor), the monitor's
    // node, its size and position in the desktop as the portal reported them (size may be
    // empty: the stream then tells it), and the token for the next session (empty if none).
    int takePipeWireFd();
    quint32 nodeId() const { return m_node; }
    QSize streamSize() const { return m_size; }
    QPoint streamPosition() const { return m_position; }
    QString restoreToken() const { return m_restoreToken; }
    bool cursorEmbedded() const { return m_cursorEmbedded; }

    // True once the desktop ended the session on its own (e.g. the portal went away).
    bool closedByDesktop() const { return m_closedByDesktop; }

signals:
    void answered();

private slots:
    void onResponse(uint code, const QVariantMap& results);
    void onClosed();

private:
    bool checkPortal(QString* error);
    QVariantMap sourceOptions(const Choice& choice);
    bool request(const QString& method, QList<QVariant> arguments, QVariantMap options, int timeoutMs,
                 QVariantMap* results, QString* error);
    QString requestPath(const QString& token) const;
    static QString newToken();
    void readStreams(const QVariantMap& results);
    bool openRemote(QString* error);

    QDBusConnection m_bus;
    QString m_session;  // the session's object path; empty when none is open
    uint m_version = 0;
    uint m_cursorModes = 0;
    quint32 m_node = 0;
    QSize m_size;
    QPoint m_position;
    QString m_restoreToken;
    bool m_cursorEmbedded = false;
    int m_fd = -1;

    // The request being waited for.
    bool m_answered = false;
    uint m_code = 0;
    QVariantMap m_results;
    std::atomic<bool> m_closedByDesktop{false};
};
