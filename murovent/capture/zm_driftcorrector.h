// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SwrContext;

// Keeps one sound input on the wall clock. Every device runs on its own clock, a little fast or
// slow against the wall clock and against any other device; over a long recording that adds up
// to seconds between two mixed inputs, and between sound and picture. The corrector places what
// the input delivers on the recording's timeline by the time it arrived: it measures how far
// the input's samples run ahead of (or behind) their arrival, and resamples the input ever so
// slightly slower (or faster) with libswresample's compensation, at most MaxCorrection, which
// no ear hears as a change of pitch. Only an error beyond MaxError (an input that stalled, or
// delivered a burst) is repaired at once, by silence or by dropping samples.
//
// Not thread-safe: one caller at a time (the mixer guards each corrector with a lock).
class ZMDriftCorrector
{
public:
    static constexpr double MaxCorrection = 0.005;   // of the rate, either way
    static constexpr double MaxError = 0.050;        // seconds

    // Input and output: `channels` interleaved channels at `sampleRate`.
    ZMDriftCorrector(int channels, int sampleRate);
    ~ZMDriftCorrector();
    ZMDriftCorrector(const ZMDriftCorrector&) = delete;
    ZMDriftCorrector& operator=(const ZMDriftCorrector&) = delete;

    // False, with the reason in *error, when libswresample cannot be set up.
    bool init(std::string* error);

    // Takes `frames` frames of signed 16-bit samples whose last one arrived at `arrival`
    // seconds on the timeline (which starts at 0 with the output's first frame). Pieces of one
    // delivery may come in separate calls, within a millisecond or two.
    void push(const int16_t* samples, int frames, double arrival);
    // Writes the timeline's next `frames` frames (float, interleaved) to `out`; what the input
    // has not delivered by now is silence.
    void pull(float* out, int frames);

    // The timeline frame up to which the input has delivered (beyond it, pull() gives silence).
    long long deliveredUntil() const { return m_pulled + queuedFrames(); }
    // Seconds the input runs ahead (+) or behind (-) the wall clock, smoothed.
    double error() const { return m_error; }
    // The rate change being applied, e.g. -0.003 for an input 0.3 % fast.
    double correction() const { return m_correction; }
    // Frames of silence inserted and frames dropped by repairs beyond MaxError.
    long long insertedFrames() const { return m_inserted; }
    long long droppedFrames() const { return m_dropped; }

private:
    void measure();
    void repair();
    void steer();
    void convert(const int16_t* samples, int frames);
    void convertSilence(long long frames);
    long long queuedFrames() const;

    const int m_channels;
    const int m_rate;
    SwrContext* m_swr = nullptr;
    std::vector<float> m_queue;      // converted samples; those before m_queueStart are taken
    size_t m_queueStart = 0;
    long long m_pulled = 0;          // timeline frames handed out
    bool m_delivering = false;       // a delivery has begun
    double m_deliveryArrival = 0;    // when its latest piece arrived
    bool m_measured = false;
    double m_measuredArrival = 0;    // of the delivery measured last
    double m_elapsed = 0;            // between the last two deliveries measured
    double m_error = 0;              // smoothed
    double m_lastError = 0;          // of the latest delivery
    double m_integral = 0;
    double m_correction = 0;
    long long m_dropPending = 0;     // frames still to drop from the next pushes
    long long m_inserted = 0;
    long long m_dropped = 0;
};
