// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <zmav/zm_movie_info.h>

// Dumps a recording's description to standard output, one line per field: the debug trace
// printed when a recording starts.
void printMovieInfo(const ZM_MovieInfo& info);
