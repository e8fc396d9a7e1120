// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <string>

#include <zmav/zm_movie_info.h>

// Records through the capture facade into the library, the way the recorder does.
namespace audiotest {

enum class Source { Microphone, SystemSound };

// Movie description for an audio-only recording into `path`.
ZM_MovieInfo audioOnlyMovie(const std::string& path, int sampleRate, int channels);

// Creates the audio source, writes the format it records back into `info`, binds it to the
// library and opens the library. False (with `error`) when any step fails.
bool openRecording(Source source, ZM_MovieInfo& info, std::string& error);

// Starts the library, then the audio source; the wall time of the start is taken between them.
bool startRecording();
// Stops the library, then the audio source, as the recorder does.
void stopRecording();

// Records with the source alone until it hears sound, then `ms` longer, so the test server's
// monitors are flowing before a timed recording begins.
bool warmUp(Source source, int ms);

}  // namespace audiotest
