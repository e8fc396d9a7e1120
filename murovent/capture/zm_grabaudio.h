// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QAudioDevice>
#include <QAudioFormat>
#include <QElapsedTimer>
#include <QObject>
#include <QIODevice>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <atomic>
#include <memory>

#include "zm_soundsource.h"

class QAudioSource;

// The default microphone through Qt's audio input. Lives on the GUI thread: the reads run from
// its event loop, so the delivery callback is called there too.
class ZMGrabAudio : public QObject, public ZMSoundSource
{
    Q_OBJECT
public:
    explicit ZMGrabAudio(QObject* parent = nullptr);
    ~ZMGrabAudio() override;

    // Prepares recording from the default input in the wanted format, or in the device's
    // nearest one (see format()). False, with errorString() set, when there is no input device
    // or the device cannot give 16-bit samples.
    bool init(int sampleRate, int channels, int sampleSize);
    QAudioFormat audioFormat() const { return m_format; }
    ZMSoundFormat format() const override;
    QString errorString() const override { return m_error; }
    bool isRecording() const override { return m_readDevice != nullptr || m_silence.isActive(); }
    bool lost() const override { return m_inputLost; }

    // start() leaves isRecording() false, with errorString() set, when the device cannot be opened.
    void start() override;
    void stop() override;
    void pause() override;
    void resume() override;

public slots:
    void safe_stop();
    void readMore();

private:
    void onStateChanged(QAudio::State state);
    void startSilence();
    void fillSilence();

    static QAudioFormat nearestFormat(const QAudioFormat& wanted, const QAudioDevice& device);

    std::unique_ptr<QAudioSource> m_audioInput;
    // Guarded: some back ends delete the read device when the input stops.
    QPointer<QIODevice> m_readDevice;
    QAudioFormat m_format;
    QString m_error;
    QTimer m_silence;
    QElapsedTimer m_silenceClock;
    qint64 m_silenceFrames = 0;       // frames of silence delivered since m_silenceClock started
    std::atomic<bool> m_inputLost{false};
    alignas(8) char m_buffer[4096];   // aligned: receivers read it as 16-bit samples
};
