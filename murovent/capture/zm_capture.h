// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_grabbase.h"

#include <QString>

class QImage;

// The capture facade: at most one current screen source and one current audio source.
// Every function does nothing when its source does not exist. GUI thread only.

// Screen half. The area is in physical pixels of the screen of $DISPLAY. Creating returns
// false (and leaves no source) when the area cannot be grabbed: no display, a screen that is
// not 32-bit true colour, an area not inside the screen, or a frame rate below 1.
bool Capture_CreateScreen(int x, int y, int width, int height, int fps, bool grabCursor);
void Capture_SetVideoCallback(DeliverFunc callback);
// Marks are copied; they are painted in the order added, later ones over earlier ones.
void Capture_AddFilter(int x, int y, QImage* mark);
void Capture_StartScreen();
void Capture_PauseScreen();
void Capture_ResumeScreen();
void Capture_StopScreen();
// True once the screen went away during the recording (the X connection broke): no more
// pictures will come, so the recording should be stopped to finalise its file.
bool Capture_ScreenLost();

// Audio half. The create functions take the wanted format and write the format actually
// recorded back, so the movie description always matches the bytes delivered; they return
// false (with nothing left half-started, and Capture_AudioError() saying why) when no source
// can record.
bool Capture_CreateMicAudio(int* sampleRate, int* channels, int* sampleSize);
#ifdef ZM_SYSTEM_SOUND
bool Capture_CreateSysAudio(int* sampleRate, int* channels, int* sampleSize);
#endif
void Capture_SetAudioCallback(DeliverFunc callback);
// False (see Capture_AudioError()) when the source could not begin recording.
bool Capture_StartAudio();
void Capture_PauseAudio();
void Capture_ResumeAudio();
void Capture_StopAudio();
// Why the last create or start of an audio source failed, for the user.
QString Capture_AudioError();
