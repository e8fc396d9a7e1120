#include <zmav/zmav.h>

#include <zmav/zm_avmanager.h>
#include <zmav/zm_packetpool.h>

#include "zm_currentrecording.h"

#include <algorithm>
#include <cstring>
#include <string>

using ZM::ZM_AVManager;
using ZM::ZM_CurrentRecording;

bool ZMAV_init(void*, void*, void*, ZM_MovieInfo info)
{
    ZM_CurrentRecording& current = ZM_CurrentRecording::instance();
    // An unterminated path would be read past the record's end.
    if (info.save_path[0] == '\0') {
        current.setInitError("@ init(...)  filename is empty");
        return false;
    }
    if (!std::memchr(info.save_path, '\0', sizeof info.save_path)) {
        current.setInitError("@ init(...) save_path is not zero-terminated");
        return false;
    }
    current.replace(nullptr);
    auto manager = std::make_unique<ZM_AVManager>();
    // A recording that could not be set up is not kept: starting it could only fail.
    if (!manager->open(&info)) {
        current.setInitError(manager->error());
        return false;
    }
    current.setInitError(std::string());
    current.replace(std::move(manager));
    return true;
}

void ZMAV_Start(void*, void*)
{
    ZM_CurrentRecording::instance().control([](ZM_AVManager& m) { m.ZM_Start(); });
}

void ZMAV_Pause(void*, void*)
{
    ZM_CurrentRecording::instance().control([](ZM_AVManager& m) { m.ZM_Pause(); });
}

void ZMAV_Resume(void*, void*)
{
    ZM_CurrentRecording::instance().control([](ZM_AVManager& m) { m.ZM_Resume(); });
}

void ZMAV_Stop(void*, void*)
{
    ZM_CurrentRecording::instance().replace(nullptr);
}

int ZMAV_EncodeVideoFrame(void*, void*, const unsigned char* data, int size)
{
    return ZM_CurrentRecording::instance().use(
               [=](ZM_AVManager& m) { return m.ZM_writeVideo(data, size, true); })
               ? 1
               : 0;
}

int ZMAV_EncodeVideoFrameChanged(void*, void*, const unsigned char* data, int size, const ZMAV_Rect* changed,
                                 int count)
{
    const ZM::ChangedAreas areas{!changed || count < 0, changed, count < 0 ? 0 : count};
    return ZM_CurrentRecording::instance().use(
               [=](ZM_AVManager& m) { return m.ZM_writeVideo(data, size, true, areas); })
               ? 1
               : 0;
}

int ZMAV_GetStats(void*, void*, ZMAV_Stats* out)
{
    return out && ZM_CurrentRecording::instance().stats(out) ? 1 : 0;
}

int ZMAV_GetLastError(void*, void*, char* text, int size)
{
    const std::string error = ZM_CurrentRecording::instance().lastError();
    if (text && size > 0) {
        const size_t n = std::min(error.size(), size_t(size) - 1);
        std::memcpy(text, error.data(), n);
        text[n] = '\0';
    }
    return error.empty() ? 0 : 1;
}

int ZMAV_GetWriteFailures(void*, void*)
{
    return ZM_CurrentRecording::instance().writeFailures();
}

int ZMAV_EncodeAudioFrame(void*, void*, const unsigned char* data, int size)
{
    return ZM_CurrentRecording::instance().use(
               [=](ZM_AVManager& m) { return m.ZM_writeAudio(data, size, false); })
               ? 1
               : 0;
}
