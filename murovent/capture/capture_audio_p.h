// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QString>

#include "zm_grabbase.h"

// Shared by the audio create functions: the current audio source and the last failure.
void captureAudio_destroy();
void captureAudio_install(ZMGrabBase* source);
void captureAudio_setError(const QString& error);
