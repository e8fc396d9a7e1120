// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_avrecordermenu_p.h"

#include "imagewateritem.h"
#include "textwateritem.h"
#include "zm_avrecordermenu.h"
#include "zm_portalchoice.h"

#include <common/zm_movieinfo_printer.h>

#include <QGraphicsItem>
#include <QImage>
#include <QRect>

ZMAVRecorderMenuPrivate::ZMAVRecorderMenuPrivate(ZMAVRecorderMenu* q)
    : q(q)
{
    connect(&m_session, &ZMRecordingSession::event, this, &ZMAVRecorderMenuPrivate::onEvent);
}

ZMAVRecorderMenuPrivate::~ZMAVRecorderMenuPrivate() = default;

ZMRecordingSettings ZMAVRecorderMenuPrivate::settings(const QString& path, const QRect& area, int frameRate,
                                                      int audioRate, bool grabCursor, bool sysAudio)
{
    ZMRecordingSettings s;
    s.outputPath = path.toUtf8();
    Q_ASSERT(s.outputPath.size() < ZM_SAVE_PATH_SIZE);
    s.area = area;
    s.fps = frameRate;
    s.cursor = grabCursor;
    s.sound = sysAudio ? ZMRecordingSettings::Sound::SystemSound : ZMRecordingSettings::Sound::Microphone;
    s.sampleRate = audioRate;
    s.channels = 1;
    s.streams = ZM_AUDIO_VIDEO;
    s.restoreToken = ZMPortalChoice::load();
    s.inProgressList = inProgressList();
    return s;
}

QString ZMAVRecorderMenuPrivate::inProgressList()
{
    return QStringLiteral("./recordings-in-progress.list");
}

bool ZMAVRecorderMenuPrivate::markFits(const QGraphicsItem* mark, const QRect& area)
{
    const QRectF bounds = mark->boundingRect();
    if (bounds.width() <= area.width() && bounds.height() <= area.height())
        return true;
    q->information(QObject::tr("水印尺寸大于录制选区，请更换小尺寸水印!"));
    return false;
}

// The preview shows the whole screen, so a mark's place on it less the area's origin is its
// place in the frame.
QPoint ZMAVRecorderMenuPrivate::markPosition(const QGraphicsItem* mark, const QRect& area) const
{
    const QPointF pos = mark->sceneBoundingRect().topLeft() - (q->previewOrigin() + QPointF(area.topLeft()));
    return QPoint(int(pos.x()), int(pos.y()));
}

// A visible mark's place in the frame; false (with the size message shown) when it does not
// fit the recording area.
bool ZMAVRecorderMenuPrivate::placeMark(const QGraphicsItem* mark, QPoint* pos)
{
    const QRect area = q->screenArea();
    if (!markFits(mark, area))
        return false;
    *pos = markPosition(mark, area);
    return true;
}

bool ZMAVRecorderMenuPrivate::readTextMark(ZMRecordingSettings* settings)
{
    TextWaterItem* mark = q->m_textMark;
    if (!mark || !mark->isVisible())
        return true;
    QPoint pos;
    if (!placeMark(mark, &pos))
        return false;
    const std::unique_ptr<QImage> rendered(mark->renderImage());
    settings->marks.push_back({*rendered, pos, true});
    return true;
}

// The image goes in front of the text, so that the text is painted over it and stays readable.
bool ZMAVRecorderMenuPrivate::readImageMark(ZMRecordingSettings* settings)
{
    ImageWaterItem* mark = q->m_imageMark;
    if (!mark || !mark->isVisible())
        return true;
    QPoint pos;
    if (!placeMark(mark, &pos))
        return false;
    settings->marks.insert(settings->marks.begin(), {*mark->image(), pos, false});
    return true;
}

bool ZMAVRecorderMenuPrivate::init(const ZMRecordingSettings& settings, QString* error)
{
    m_settings = settings;
    if (!m_session.prepare(settings, error)) {
        *error = failure(*error);
        return false;
    }
    ZMPortalChoice::store(m_session.screenRestoreToken());
    printMovieInfo(m_session.movieInfo());
    if (!m_session.open(error)) {
        *error = failure(*error);
        return false;
    }
    return true;
}

// The session's failure in the panel's words, with the system's reason below.
QString ZMAVRecorderMenuPrivate::failure(const QString& reason) const
{
    const QRect& area = m_settings.area;
    switch (m_session.failedStage()) {
    case ZMRecordingSession::Stage::Sound:
        if (m_settings.sound == ZMRecordingSettings::Sound::MicrophoneAndSystemSound)
            return tr("无法同时录制麦克风和系统声音, 请检查声卡设备,\n或取消 \"同时录制麦克风\".\n%1").arg(reason);
        if (m_settings.sound == ZMRecordingSettings::Sound::SystemSound)
            return tr("无法录制系统声音, 请检查声卡设备,\n或取消 \"系统声音\" 改为录制麦克风.\n%1").arg(reason);
        return tr("没有可用的录音设备, 无法录制声音!\n请检查麦克风, 或选择 \"只录制视频\" 模式.\n%1").arg(reason);
    case ZMRecordingSession::Stage::Screen:
        return tr("无法录制屏幕区域 [%1,%2 %3x%4], 请重新选择录制区域!\n%5")
            .arg(area.x()).arg(area.y()).arg(area.width()).arg(area.height()).arg(reason);
    case ZMRecordingSession::Stage::File:
        return tr("无法创建录制文件, 请检查存储路径和磁盘空间:\n%1\n%2")
            .arg(QString::fromUtf8(m_settings.outputPath), reason);
    default:
        return tr("录音设备无法开始录音, 录制已停止.\n%1").arg(reason);
    }
}

bool ZMAVRecorderMenuPrivate::start(QString* error)
{
    if (m_session.start(error))
        return true;
    *error = failure(*error);
    return false;
}

void ZMAVRecorderMenuPrivate::pause()
{
    m_session.pause();
}

void ZMAVRecorderMenuPrivate::resume()
{
    m_session.resume();
}

void ZMAVRecorderMenuPrivate::stop()
{
    const QString failed = m_session.stop();
    if (!failed.isEmpty())
        emit closeFailed(tr("录制文件收尾时写入出错, 之前录制的内容已保存.\n%1").arg(failed));
}

// What went away, as far as the panel knows what it recorded.
QString ZMAVRecorderMenuPrivate::lostScreen() const
{
    if (m_settings.window)
        return tr("录制的窗口已关闭, 录制已停止并保存.");
    if (!m_settings.monitor.isEmpty())
        return tr("录制的显示器已断开或已改变, 录制已停止并保存.");
    return tr("屏幕连接已断开, 录制已停止并保存.");
}

void ZMAVRecorderMenuPrivate::onEvent(ZMRecordingSession::Event event, double, const QString& reason)
{
    using Event = ZMRecordingSession::Event;
    // In a mix the other input goes on.
    const bool mixed = m_settings.sound == ZMRecordingSettings::Sound::MicrophoneAndSystemSound;
    switch (event) {
    case Event::ScreenLost:
        emit screenLost(lostScreen());
        break;
    case Event::MicrophoneLost:
        emit incident(mixed ? tr("麦克风已断开, 之后只录制系统声音.") : tr("麦克风已断开, 之后录制的是静音."));
        break;
    case Event::SystemSoundLost:
        emit incident(mixed ? tr("系统声音已断开, 之后只录制麦克风.") : tr("系统声音已断开, 之后录制的是静音."));
        break;
    case Event::WriteError:
        emit writeFailed(tr("录制文件写入出错, 录制已停止, 之前录制的内容已保存.\n%1").arg(reason));
        break;
    case Event::DiskSpaceLow:
        emit diskSpaceLow(tr("磁盘空间即将用完, 录制仍在继续.\n%1").arg(reason));
        break;
    }
}
