// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_grabaudio.h"

#include "zm_capturelog.h"

#include <QAudioSource>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QtDebug>
#include <algorithm>

ZMGrabAudio::ZMGrabAudio(QObject* parent) : QObject(parent)
{
    m_silence.setTimerType(Qt::PreciseTimer);
    m_silence.setInterval(20);
    connect(&m_silence, &QTimer::timeout, this, &ZMGrabAudio::fillSilence);
}

ZMGrabAudio::~ZMGrabAudio()
{
    if (m_readDevice)
        m_readDevice->close();
    // The read device belongs to the audio input, which deletes it (on stop or with itself).
    m_audioInput.reset();
}

ZMSoundFormat ZMGrabAudio::format() const
{
    return {m_format.sampleRate(), m_format.channelCount(), m_format.bytesPerSample() * 8};
}

bool ZMGrabAudio::init(int sampleRate, int channels, int sampleSize)
{
    m_format.setSampleRate(sampleRate);
    m_format.setChannelCount(channels);
    m_format.setSampleFormat(sampleSize == 16 ? QAudioFormat::Int16 : QAudioFormat::Unknown);
    if (sampleSize != 16) {
        m_error = tr("只能录制 16 位的声音（要求的是 %1 位）。").arg(sampleSize);
        return false;
    }
    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    if (device.isNull()) {
        m_error = tr("没有可用的麦克风：找不到声音服务器或录音设备。");
        return false;
    }
    if (!device.isFormatSupported(m_format)) {
        qWarning("Default format not supported - trying to use nearest");
        m_format = nearestFormat(m_format, device);
    }
    // The encoder takes nothing but signed 16-bit samples; anything else would be noise.
    if (m_format.sampleFormat() != QAudioFormat::Int16) {
        m_error = tr("麦克风“%1”不能提供 16 位的声音。").arg(device.description());
        return false;
    }
    m_audioInput = std::make_unique<QAudioSource>(device, m_format);
    return true;
}

QAudioFormat ZMGrabAudio::nearestFormat(const QAudioFormat& wanted, const QAudioDevice& device)
{
    QAudioFormat nearest = wanted;
    nearest.setSampleRate(std::clamp(wanted.sampleRate(), device.minimumSampleRate(),
                                     device.maximumSampleRate()));
    nearest.setChannelCount(std::clamp(wanted.channelCount(), device.minimumChannelCount(),
                                       device.maximumChannelCount()));
    if (!device.supportedSampleFormats().contains(wanted.sampleFormat()))
        nearest.setSampleFormat(device.preferredFormat().sampleFormat());
    if (!device.isFormatSupported(nearest))
        nearest = device.preferredFormat();
    return nearest;
}

void ZMGrabAudio::start()
{
    if (!m_audioInput || m_readDevice)
        return;
    m_readDevice = m_audioInput->start();
    // Without a server the input ends in an error state and no state change is ever signalled.
    if (!m_readDevice || m_audioInput->error() != QAudio::NoError) {
        m_error = tr("无法打开麦克风（错误 %1）。").arg(int(m_audioInput->error()));
        m_audioInput->stop();
        m_readDevice = nullptr;
        return;
    }
    connect(m_readDevice, &QIODevice::readyRead, this, &ZMGrabAudio::readMore);
    connect(m_audioInput.get(), &QAudioSource::stateChanged, this, &ZMGrabAudio::onStateChanged);
    // An input can take a while to deliver its first bytes. Silence stands in until then, so
    // the sound starts with the recording and the picture, which is paced by the sound, does
    // not pile up behind it.
    startSilence();
}

void ZMGrabAudio::startSilence()
{
    m_silenceFrames = 0;
    m_silenceClock.start();
    m_silence.start();
}

// The input stops by itself only when it failed (the sound server went away, the device was
// unplugged). The recording then goes on with silence in real time, so the picture keeps its
// pace and the file its length.
void ZMGrabAudio::onStateChanged(QAudio::State state)
{
    if (state != QAudio::StoppedState || m_audioInput->error() == QAudio::NoError || m_inputLost)
        return;
    qCWarning(lcCapture, "Audio input lost (error %d) - recording silence", int(m_audioInput->error()));
    m_inputLost = true;
    if (!m_silence.isActive())
        startSilence();
}

void ZMGrabAudio::fillSilence()
{
    // Written into the read buffer: silence only runs while nothing is read.
    const qint64 due = m_silenceClock.elapsed() * m_format.sampleRate() / 1000;
    qint64 bytes = m_format.bytesForFrames(due - m_silenceFrames);
    m_silenceFrames = due;
    std::fill(std::begin(m_buffer), std::end(m_buffer), 0);
    for (; bytes > 0 && m_callback; bytes -= sizeof(m_buffer))
        m_callback(m_buffer, int(std::min<qint64>(bytes, sizeof(m_buffer))));
}

void ZMGrabAudio::stop()
{
    QMetaObject::invokeMethod(this, "safe_stop", Qt::QueuedConnection);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
    // The queued stop may not have run (no event processing here): then stop now, so that
    // nothing is delivered after stop returns.
    safe_stop();
}

void ZMGrabAudio::safe_stop()
{
    m_silence.stop();
    if (!m_audioInput)
        return;
    disconnect(m_audioInput.get(), nullptr, this, nullptr);
    if (m_readDevice)
        disconnect(m_readDevice, nullptr, this, nullptr);
    m_audioInput->stop();
}

void ZMGrabAudio::pause()
{
    m_silence.stop();
    if (!m_inputLost && m_audioInput)
        m_audioInput->suspend();
}

void ZMGrabAudio::resume()
{
    if (m_inputLost)
        startSilence();
    else if (m_audioInput)
        m_audioInput->resume();
}

void ZMGrabAudio::readMore()
{
    if (!m_audioInput || !m_readDevice)
        return;
    const qint64 len = std::min<qint64>(m_audioInput->bytesAvailable(), sizeof(m_buffer));
    const qint64 got = m_readDevice->read(m_buffer, len);
    if (got <= 0)
        return;
    if (m_silence.isActive()) {
        fillSilence();
        m_silence.stop();
    }
    if (m_callback)
        m_callback(m_buffer, int(got));
}
