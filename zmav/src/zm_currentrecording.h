// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zm_avencoder.h>
#include <zmav/zmav.h>

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace ZM {

class ZM_AVManager;

// The one recording of the process, as the C interface sees it. Capture threads use the
// recording while the controlling thread may be destroying it: a recording is taken out of
// reach first and deleted only after the last capture call using it has returned.
class ZM_CurrentRecording {
public:
    static ZM_CurrentRecording& instance();

    // Control side (serialised among themselves).
    // Stops and destroys the current recording (if any), then installs next.
    void replace(std::unique_ptr<ZM_AVManager> next);
    void control(const std::function<void(ZM_AVManager&)>& action);

    // Capture side: runs action on the current recording, kept alive meanwhile; false when
    // there is none.
    bool use(const std::function<bool(ZM_AVManager&)>& action);

    // Figures of the current recording, or of the last one; false before the first.
    bool stats(ZMAV_Stats* out);
    // The current (or last) recording's first write failure, else why the last init failed.
    std::string lastError();
    int writeFailures();
    // Control side: a failed init's reason, or empty after a successful one.
    void setInitError(const std::string& error);
    // Control side: the encoder choices for the recordings opened from now on.
    void setChoices(const ZM_EncoderChoices& choices);
    ZM_EncoderChoices choices();

private:
    ZM_CurrentRecording() = default;
    // A program that exits without stopping still gets a finished file, and the encoding
    // thread ends before the pools it uses are destroyed.
    ~ZM_CurrentRecording();
    void retire();

    std::mutex m_control;
    std::mutex m_mutex;
    ZM_AVManager* m_manager = nullptr;
    ZM_AVManager* m_retiring = nullptr; // out of reach of capture calls, still stopping
    bool m_haveLast = false;
    ZMAV_Stats m_last{};
    int m_lastWriteFailures = 0;
    std::string m_lastWriteError;
    std::string m_initError;
    ZM_EncoderChoices m_choices;
};

} // namespace ZM
