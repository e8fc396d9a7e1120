// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/zmav.h>

#include <zmav/zm_avencoder.h>
#include <zmav/zm_avmanager.h>
#include <zmav/zm_packetpool.h>

#include "zm_currentrecording.h"
#include "zm_mp4finisher.h"

#include <algorithm>
#include <cstdio>
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
    if (!manager->open(&info, current.choices())) {
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

namespace {
void copyText(const std::string& from, char* text, int size)
{
    if (text && size > 0) {
        const size_t n = std::min(from.size(), size_t(size) - 1);
        std::memcpy(text, from.data(), n);
        text[n] = '\0';
    }
}
} // namespace

int ZMAV_GetLastError(void*, void*, char* text, int size)
{
    const std::string error = ZM_CurrentRecording::instance().lastError();
    copyText(error, text, size);
    return error.empty() ? 0 : 1;
}

int ZMAV_SetVideoEncoding(void*, void*, int crf, const char* preset)
{
    ZM::ZM_EncoderChoices choices = ZM_CurrentRecording::instance().choices();
    if (crf < -1 || crf > 51 || (preset && !ZM::ZM_EncoderChoices::presetOffered(preset)))
        return 0;
    choices.crf = crf;
    if (preset)
        choices.preset = preset;
    ZM_CurrentRecording::instance().setChoices(choices);
    return 1;
}

int ZMAV_FinishFile(void*, void*, const char* path, char* text, int size)
{
    copyText(std::string(), text, size);
    if (!path || !*path) {
        copyText("no file named", text, size);
        return -1;
    }
    // Matroska needs no finishing: it plays up to its last whole cluster as it is.
    unsigned char magic[4] = {};
    if (FILE* file = std::fopen(path, "rb")) {
        const size_t got = std::fread(magic, 1, sizeof magic, file);
        std::fclose(file);
        if (got == sizeof magic && magic[0] == 0x1a && magic[1] == 0x45 && magic[2] == 0xdf && magic[3] == 0xa3)
            return 0;
    }
    ZM::ZM_Mp4Finisher finisher;
    switch (finisher.finish(path)) {
    case ZM::ZM_Mp4Finisher::Finished:
        return 1;
    case ZM::ZM_Mp4Finisher::NothingToDo:
        return 0;
    case ZM::ZM_Mp4Finisher::Empty:
        copyText("the recording ended before its first second was written: the file holds no picture and no sound",
                 text, size);
        return 0;
    case ZM::ZM_Mp4Finisher::Failed:
        break;
    }
    copyText(finisher.error(), text, size);
    return -1;
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
