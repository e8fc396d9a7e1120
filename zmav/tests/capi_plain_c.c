// SPDX-License-Identifier: GPL-2.0-or-later
/* The C interface used from plain C: the header compiles without C++, the record gets its
   defaults from ZM_MovieInfo_setDefaults, and a short audio recording ends in a file. */

#define _DEFAULT_SOURCE /* mkdtemp, usleep */

#include <zmav/zmav.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int failures = 0;

#define CHECK(cond)                                                          \
    do {                                                                     \
        if (!(cond)) {                                                       \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            ++failures;                                                      \
        }                                                                    \
    } while (0)

static long fileSize(const char* path)
{
    FILE* f = fopen(path, "rb");
    if (!f)
        return -1;
    fseek(f, 0, SEEK_END);
    long size = ftell(f);
    fclose(f);
    return size;
}

int main(void)
{
    char dir[] = "/tmp/zmav-c-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    char path[128];
    snprintf(path, sizeof path, "%s/tone.mp4", dir);

    ZM_MovieInfo info;
    ZM_MovieInfo_setDefaults(&info);
    CHECK(info.frameRate == 7 && info.width == 352 && info.channels == 2);
    CHECK(info.has_audio_video == ZM_AUDIO_VIDEO);
    info.has_audio_video = ZM_AUDIO;
    info.audioSampleRate = 44100;

    int16_t pcm[2 * 441];
    for (int i = 0; i < 441; ++i)
        pcm[2 * i] = pcm[2 * i + 1] = (int16_t)((i / 50) % 2 ? 8000 : -8000); /* 441 Hz */
    const unsigned char* bytes = (const unsigned char*)pcm;

    CHECK(ZMAV_EncodeAudioFrame(NULL, NULL, bytes, (int)sizeof pcm) == 0);
    CHECK(!ZMAV_init(NULL, NULL, NULL, info)); /* no path */
    char error[128];
    CHECK(ZMAV_GetLastError(NULL, NULL, error, (int)sizeof error) == 1);
    CHECK(strcmp(error, "@ init(...)  filename is empty") == 0);
    strcpy(info.save_path, path);
    CHECK(ZMAV_init(NULL, NULL, NULL, info));
    CHECK(ZMAV_GetLastError(NULL, NULL, error, (int)sizeof error) == 0 && error[0] == '\0');
    ZMAV_Start(NULL, NULL);
    for (int chunk = 0; chunk < 100;) { /* one second in 10 ms chunks */
        if (ZMAV_EncodeAudioFrame(NULL, NULL, bytes, (int)sizeof pcm))
            ++chunk;
        else
            usleep(1000);
    }
    usleep(300000);
    ZMAV_Pause(NULL, NULL);
    CHECK(ZMAV_EncodeAudioFrame(NULL, NULL, bytes, (int)sizeof pcm) == 0);
    ZMAV_Resume(NULL, NULL);
    ZMAV_Stop(NULL, NULL);
    CHECK(ZMAV_EncodeAudioFrame(NULL, NULL, bytes, (int)sizeof pcm) == 0);
    CHECK(fileSize(path) > 4000);
    CHECK(ZMAV_GetWriteFailures(NULL, NULL) == 0);

    remove(path);
    rmdir(dir);
    if (failures)
        fprintf(stderr, "%d check(s) failed\n", failures);
    return failures ? 1 : 0;
}
