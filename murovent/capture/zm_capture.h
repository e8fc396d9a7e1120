#pragma once

#include "zm_grabbase.h"

class QImage;

// The capture facade: at most one current screen source and one current audio source.
// Every function does nothing when its source does not exist. GUI thread only.

// Screen half.
void Capture_CreateScreen(int x, int y, int width, int height, int fps, bool grabCursor);
void Capture_SetVideoCallback(DeliverFunc callback);
void Capture_AddFilter(int x, int y, QImage* mark);
void Capture_StartScreen();
void Capture_PauseScreen();
void Capture_ResumeScreen();
void Capture_StopScreen();

// Audio half. The create functions take the wanted format and write the format actually
// recorded back, so the movie description always matches the bytes delivered; they return
// false (with nothing left half-started) when no source can record.
bool Capture_CreateMicAudio(int* sampleRate, int* channels, int* sampleSize);
#ifdef ZM_SYSTEM_SOUND
bool Capture_CreateSysAudio(int* sampleRate, int* channels, int* sampleSize);
#endif
void Capture_SetAudioCallback(DeliverFunc callback);
void Capture_StartAudio();
void Capture_PauseAudio();
void Capture_ResumeAudio();
void Capture_StopAudio();
