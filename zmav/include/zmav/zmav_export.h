// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Symbols of the shared library are hidden unless marked: only the C interface and the
// classes other programs may use leave it.
#if defined(ZMAV_BUILDING)
#define ZMAV_EXPORT __attribute__((visibility("default")))
#else
#define ZMAV_EXPORT
#endif
