// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "tapaudio.h"
#include "zm_driftcorrector.h"
#include "zm_soundsource.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The microphone and the system's own sound at once, each on its own stream from the sound
// server, mixed into one track of 48000 Hz, 2 channels, 16 bits, with the microphone (recorded
// in mono) in the centre. Each input is kept on the wall clock by a ZMDriftCorrector; the sum
// passes a limiter, so two loud inputs are turned down rather than clipped. An input that is
// lost leaves the other one recording (see lostInputs()).
//
// Created, started, paused, resumed and stopped on the controlling thread. The delivery callback
// runs on the mixer's own thread only, as soon as both inputs have delivered (at most 100 ms
// behind the wall clock, when one stalls); the last of it is delivered before stop() returns.
class ZMSoundMixer : public ZMSoundSource
{
public:
    static constexpr int SampleRate = TapAudio::SampleRate;
    static constexpr int Channels = 2;

    // Empty names: the server's default input and output. The sound is placed `pictureLag`
    // seconds after it arrived (see ZMSoundRequest).
    ZMSoundMixer(const std::string& microphone, const std::string& systemOutput, double pictureLag = 0);
    ~ZMSoundMixer() override;

    // Reaches both inputs once, so that a missing server or device is reported before the
    // recording begins; false with errorString() when either cannot be recorded.
    bool init();

    void start() override;
    void stop() override;
    void pause() override;
    void resume() override;

    ZMSoundFormat format() const override { return {SampleRate, Channels, 16}; }
    bool isRecording() const override { return m_thread.joinable(); }
    QString errorString() const override;
    bool lost() const override { return lostInputs() != 0; }
    int lostInputs() const override;

private:
    using Clock = std::chrono::steady_clock;

    // One input: its stream, and its corrector guarded against the stream's thread. The
    // corrector exists from start() on; what the stream delivers before is dropped.
    struct Input {
        Input(ZMSoundMixer* mixer, ZMSoundSource::Inputs which, int channels);
        ZMSoundMixer* mixer;
        ZMSoundSource::Inputs which;
        int channels;
        TapAudio tap;
        std::mutex lock;
        std::unique_ptr<ZMDriftCorrector> corrector;
        std::vector<float> pulled;
    };

    static void deliver(const char* data, int bytes, void* input);
    bool makeCorrectors();
    bool startInputs();
    void stopInputs();
    double timeline() const;
    void run();
    void mixDue(bool all);
    void mix(int frames);

    Input m_microphone;
    Input m_system;
    std::vector<Input*> m_inputs;
    const double m_pictureLag;
    QString m_error;

    // The timeline: seconds recorded, i.e. since start() without the pauses.
    mutable std::mutex m_clockLock;
    Clock::time_point m_origin;
    Clock::duration m_pausedFor{};
    Clock::time_point m_pausedAt;
    bool m_paused = false;

    std::thread m_thread;
    std::mutex m_runLock;
    std::condition_variable m_wake;
    bool m_quit = false;                  // guarded by m_runLock
    std::atomic<int> m_lostInputs{0};
    long long m_emitted = 0;              // frames delivered; the mixer's thread only
    double m_gain = 1;                    // the limiter's; the mixer's thread only
    std::vector<int16_t> m_out;
};
