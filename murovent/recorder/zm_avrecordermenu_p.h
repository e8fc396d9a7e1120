// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <session/zm_recordingsession.h>

#include <QObject>
#include <QPoint>
#include <QString>

class QGraphicsItem;
class QRect;
class ZMAVRecorderMenu;

// The panel's link to the recording session: it turns the panel's settings and its preview's
// watermarks into the recording's settings, and phrases the session's failures and events in
// the panel's words. GUI thread only.
class ZMAVRecorderMenuPrivate : public QObject
{
    Q_OBJECT
public:
    explicit ZMAVRecorderMenuPrivate(ZMAVRecorderMenu* q);
    ~ZMAVRecorderMenuPrivate() override;

    // The recording's settings from the panel's, before watermarks and mode.
    static ZMRecordingSettings settings(const QString& path, const QRect& area, int frameRate, int audioRate,
                                        bool grabCursor, bool sysAudio);
    // Add the preview's visible marks (the image first, the text over it); false (message
    // shown) when one is larger than the recording area.
    bool readTextMark(ZMRecordingSettings* settings);
    bool readImageMark(ZMRecordingSettings* settings);

    // Creates the sources and filters, prints the movie description and opens the file.
    // False, with nothing left set up and the reason in *error, when a source or the file
    // cannot be made.
    bool init(const ZMRecordingSettings& settings, QString* error);
    // False (reason in *error) when a source could not begin; the caller stops.
    bool start(QString* error);
    void pause();
    void resume();
    void stop();
    // The recording set up by init has been started (capture and encoding run).
    bool isStarted() const { return m_session.isStarted(); }
    // Where the panel lists its recordings in progress, beside its themes.
    static QString inProgressList();

signals:
    // A running recording lost a source or could not write; text in the panel's words.
    void screenLost(const QString& text);
    void incident(const QString& text);
    // The file could not be written: the recording has stopped, what came before plays.
    void writeFailed(const QString& text);
    // The file's last writes failed while it was being closed; what came before plays.
    void closeFailed(const QString& text);
    // The disk runs low; the recording goes on. At most once a recording.
    void diskSpaceLow(const QString& text);

private:
    void onEvent(ZMRecordingSession::Event event, double at, const QString& reason);
    QString failure(const QString& reason) const;
    QString lostScreen() const;
    bool markFits(const QGraphicsItem* mark, const QRect& area);
    bool placeMark(const QGraphicsItem* mark, QPoint* pos);
    QPoint markPosition(const QGraphicsItem* mark, const QRect& area) const;

    ZMAVRecorderMenu* q;
    ZMRecordingSession m_session;
    ZMRecordingSettings m_settings;
};
