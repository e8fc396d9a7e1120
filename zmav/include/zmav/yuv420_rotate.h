// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// Helpers for semi-planar 4:2:0 pictures (the NV21 layout): a w x h luma plane followed by
// h/2 rows of w bytes holding w/2 two-byte chroma pairs. Width and height must be even. A
// rotated picture is h wide and w high; the destination is a separate block of the same size.

#include <zmav/zmav_export.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Allocates (3 x h x w) / 2 bytes with malloc; null on failure. */
ZMAV_EXPORT char* malloc_yuv420(int w, int h);
ZMAV_EXPORT void free_yuv420(char* buf);

/* Sets byte i to i modulo 256; returns the number of bytes set. */
ZMAV_EXPORT int fill_yuv420_test(char* buf, int w, int h);

/* Dumps the luma rows, an empty line and the chroma rows to standard output. */
ZMAV_EXPORT void print_yuv420(char* buf, int w, int h, const char* title);

/* 90 degrees clockwise. Returns dst. */
ZMAV_EXPORT char* yuv420_rotate_90_right(char* src, char* dst, int srcWidth, int srcHeight);

/* 90 degrees counter-clockwise; the two bytes of every chroma pair are exchanged. */
ZMAV_EXPORT char* yuv420_rotate_90_left(char* src, char* dst, int srcWidth, int srcHeight);

/* Transpose: destination row r is source column r. */
ZMAV_EXPORT char* yuv420_rotate_90_reflect(char* src, char* dst, int srcWidth, int srcHeight);

/* 90 degrees clockwise, chroma written from the end of the block backwards; the same result
 * as yuv420_rotate_90_right. */
ZMAV_EXPORT char* rotateYUV420Degree90(char* src, char* dst, int srcWidth, int srcHeight);

#ifdef __cplusplus
}
#endif
