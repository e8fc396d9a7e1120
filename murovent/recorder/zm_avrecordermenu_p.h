// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zm_movie_info.h>

#include <QPoint>
#include <QString>

#include <memory>

class QGraphicsItem;
class QImage;
class QRect;
class ZMAVRecorderMenu;

// The panel's link to capture and the encoder library: the only code that talks to the
// capture facade and to ZMAV. The capture sources live in the facade and the encoding state
// in the library; this keeps only which streams the set-up recording has and whether it has
// been started.
class ZMAVRecorderMenuPrivate
{
public:
    explicit ZMAVRecorderMenuPrivate(ZMAVRecorderMenu* q);
    ~ZMAVRecorderMenuPrivate();
    ZMAVRecorderMenuPrivate(const ZMAVRecorderMenuPrivate&) = delete;
    ZMAVRecorderMenuPrivate& operator=(const ZMAVRecorderMenuPrivate&) = delete;

    // The description of a recording from the panel's settings, before watermarks and mode.
    static ZM_MovieInfo movieInfo(const QString& path, const QRect& area, int frameRate,
                                  int audioRate, bool grabCursor, bool sysAudio);
    // Fill the watermark fields from the preview's marks; false (message shown) when a
    // visible mark is larger than the recording area.
    bool readTextMark(ZM_MovieInfo* info);
    bool readImageMark(ZM_MovieInfo* info);

    // Creates the sources and filters and opens the file. False, with nothing left set up and
    // the reason in *error, when a source or the file cannot be made.
    bool init(ZM_MovieInfo info, QString* error);
    // False (reason in *error) when a source could not begin; the caller stops.
    bool start(QString* error);
    void pause();
    void resume();
    void stop();
    // The recording set up by init has been started (capture and encoding run).
    bool isStarted() const { return m_started; }
    // The screen went away while recording: no more pictures will come.
    bool screenLost() const;

private:
    bool createAudio(ZM_MovieInfo* info, QString* error);
    bool markFits(const QGraphicsItem* mark, const QRect& area);
    bool placeMark(const QGraphicsItem* mark, QPoint* pos);
    QPoint markPosition(const QGraphicsItem* mark, const QRect& area) const;

    ZMAVRecorderMenu* q;
    bool m_started = false;
    int m_streams = 0;
    // The rendered text mark: the filter copies it, but the description points at it until
    // the recording has been set up.
    std::unique_ptr<QImage> m_textImage;
};
