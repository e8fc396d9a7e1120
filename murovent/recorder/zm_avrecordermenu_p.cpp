// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_avrecordermenu_p.h"

#include "imagewateritem.h"
#include "textwateritem.h"
#include "zm_avrecordermenu.h"

#include <capture/zm_capture.h>
#include <common/zm_movieinfo_printer.h>
#include <zmav/zmav.h>

#include <QGraphicsItem>
#include <QImage>
#include <QRect>

#include <cstring>

namespace {

// Capture threads deliver here; the library copies what it accepts.
bool deliverVideo(const char* bytes, int count)
{
    return ZMAV_EncodeVideoFrame(nullptr, nullptr, reinterpret_cast<const unsigned char*>(bytes), count) != 0;
}

bool deliverAudio(const char* bytes, int count)
{
    return ZMAV_EncodeAudioFrame(nullptr, nullptr, reinterpret_cast<const unsigned char*>(bytes), count) != 0;
}

} // namespace

ZMAVRecorderMenuPrivate::ZMAVRecorderMenuPrivate(ZMAVRecorderMenu* q)
    : q(q)
{
}

ZMAVRecorderMenuPrivate::~ZMAVRecorderMenuPrivate() = default;

ZM_MovieInfo ZMAVRecorderMenuPrivate::movieInfo(const QString& path, const QRect& area, int frameRate,
                                                int audioRate, bool grabCursor, bool sysAudio)
{
    ZM_MovieInfo info;
    const QByteArray utf8 = path.toUtf8();
    Q_ASSERT(utf8.size() < ZM_SAVE_PATH_SIZE);
    strncpy(info.save_path, utf8.constData(), ZM_SAVE_PATH_SIZE - 1);
    info.save_path[ZM_SAVE_PATH_SIZE - 1] = '\0';
    info.quality = 0.0;
    info.FrameFormat = FRAME_BGRA;
    info.frameRate = frameRate;
    info.gopSize = qMax(100, 10 * frameRate);
    info.FrameRotate = 0;
    info.maxBframe = 0;
    info.autoJumpFrame = true;
    info.grabCursor = grabCursor;
    info.pix_x = area.x();
    info.pix_y = area.y();
    info.width = area.width();
    info.height = area.height();
    info.videoBitRate = int(info.width * info.height * 1.5 * info.quality);
    info.waterTextX = info.waterTextY = 0;
    info.waterText = nullptr;
    info.waterImageX = info.waterImageY = 0;
    info.waterImage = nullptr;
    info.SampleFormat = SF_S16;
    info.audioSampleRate = audioRate;
    info.channels = 1;
    info.audioFrom = sysAudio ? 1 : 0;
    info.has_audio_video = ZM_AUDIO_VIDEO;
    return info;
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

bool ZMAVRecorderMenuPrivate::readTextMark(ZM_MovieInfo* info)
{
    m_textImage.reset();
    TextWaterItem* mark = q->m_textMark;
    if (!mark || !mark->isVisible())
        return true;
    QPoint pos;
    if (!placeMark(mark, &pos))
        return false;
    m_textImage.reset(mark->renderImage());
    info->waterTextX = pos.x();
    info->waterTextY = pos.y();
    info->waterText = m_textImage.get();
    return true;
}

bool ZMAVRecorderMenuPrivate::readImageMark(ZM_MovieInfo* info)
{
    ImageWaterItem* mark = q->m_imageMark;
    if (!mark || !mark->isVisible())
        return true;
    QPoint pos;
    if (!placeMark(mark, &pos))
        return false;
    info->waterImageX = pos.x();
    info->waterImageY = pos.y();
    info->waterImage = mark->image();
    return true;
}

bool ZMAVRecorderMenuPrivate::createAudio(ZM_MovieInfo* info, QString* error)
{
    int sampleSize = info->sampleSz();
    bool created = false;
    if (info->audioFrom == 1) {
#ifdef ZM_SYSTEM_SOUND
        created = Capture_CreateSysAudio(&info->audioSampleRate, &info->channels, &sampleSize);
#endif
        if (!created)
            *error = QObject::tr("无法录制系统声音, 请检查声卡设备,\n或取消 \"系统声音\" 改为录制麦克风.\n%1")
                         .arg(Capture_AudioError());
    } else {
        created = Capture_CreateMicAudio(&info->audioSampleRate, &info->channels, &sampleSize);
        if (!created)
            *error = QObject::tr("没有可用的录音设备, 无法录制声音!\n请检查麦克风, 或选择 \"只录制视频\" 模式.\n%1")
                         .arg(Capture_AudioError());
    }
    if (created && sampleSize != info->sampleSz()) {
        *error = QObject::tr("录音设备的采样格式 (%1 位) 不受支持.").arg(sampleSize);
        created = false;
    }
    if (created)
        Capture_SetAudioCallback(deliverAudio);
    return created;
}

bool ZMAVRecorderMenuPrivate::init(ZM_MovieInfo info, QString* error)
{
    m_started = false;
    m_streams = info.has_audio_video;
    if ((info.has_audio_video & ZM_AUDIO) && !createAudio(&info, error)) {
        stop();
        return false;
    }
    if (info.has_audio_video & ZM_VIDEO) {
        if (!Capture_CreateScreen(info.pix_x, info.pix_y, info.width, info.height, info.frameRate,
                                  info.grabCursor)) {
            *error = QObject::tr("无法录制屏幕区域 [%1,%2 %3x%4], 请重新选择录制区域!")
                         .arg(info.pix_x)
                         .arg(info.pix_y)
                         .arg(info.width)
                         .arg(info.height);
            stop();
            return false;
        }
        Capture_SetVideoCallback(deliverVideo);
        // The text goes on last so that it stays readable over the image.
        if (info.waterImage)
            Capture_AddFilter(info.waterImageX, info.waterImageY, static_cast<QImage*>(info.waterImage));
        if (info.waterText)
            Capture_AddFilter(info.waterTextX, info.waterTextY, static_cast<QImage*>(info.waterText));
    }
    printMovieInfo(info);
    const bool opened = ZMAV_init(q, nullptr, nullptr, info);
    m_textImage.reset();
    if (!opened) {
        *error = QObject::tr("无法创建录制文件, 请检查存储路径和磁盘空间:\n%1").arg(QString::fromUtf8(info.save_path));
        stop();
    }
    return opened;
}

bool ZMAVRecorderMenuPrivate::start(QString* error)
{
    ZMAV_Start(q, nullptr);
    if ((m_streams & ZM_AUDIO) && !Capture_StartAudio()) {
        *error = QObject::tr("录音设备无法开始录音, 录制已停止.\n%1").arg(Capture_AudioError());
        return false;
    }
    Capture_StartScreen();
    m_started = true;
    return true;
}

bool ZMAVRecorderMenuPrivate::screenLost() const
{
    return m_started && Capture_ScreenLost();
}

// The library pauses before the sources and resumes after them, so it never sees a gap
// it would have to encode. Before the start nothing runs that could be paused; a paused
// grab thread would not even begin when started later.
void ZMAVRecorderMenuPrivate::pause()
{
    if (!m_started)
        return;
    ZMAV_Pause(q, nullptr);
    Capture_PauseAudio();
    Capture_PauseScreen();
}

void ZMAVRecorderMenuPrivate::resume()
{
    if (!m_started)
        return;
    Capture_ResumeAudio();
    Capture_ResumeScreen();
    ZMAV_Resume(q, nullptr);
}

// The library stops first: its queue then refuses at once, which releases a grab thread
// blocked in a hand-off.
void ZMAVRecorderMenuPrivate::stop()
{
    ZMAV_Stop(q, nullptr);
    Capture_StopAudio();
    Capture_StopScreen();
    m_started = false;
}
