// SPDX-License-Identifier: GPL-2.0-or-later
#ifndef ZMAV_ZMAV_H
#define ZMAV_ZMAV_H

/* C interface of the encoder library: one recording at a time, described by a ZM_MovieInfo,
   fed with pictures and PCM sound from capture threads. Every function takes leading
   reserved pointers (pass the caller's object or null) that the library never reads.

   Threads: init, Start, Pause, Resume and Stop on the controlling thread; EncodeVideoFrame
   on one screen-capture thread, EncodeAudioFrame on one audio delivery thread. Stop may run
   while a capture call is in progress: it waits for that call to return before the
   recording is destroyed. */

#include <zmav/zm_movie_info.h>
#include <zmav/zmav_export.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Opens a new recording (creating its file) from a copy of info, finalising and replacing
   any existing one. False, with no recording left, when the file cannot be set up (frame
   rates above 240 included). False with the existing recording kept when save_path is empty
   or not zero-terminated. ZMAV_GetLastError tells why. */
ZMAV_EXPORT bool ZMAV_init(void* reserved1, void* reserved2, void* reserved3, ZM_MovieInfo info);

/* Video encoder choices for the recordings that later ZMAV_init calls open (they stay until
   changed; controlling thread). crf: x264's constant rate factor, 0 (best, largest) to 51
   (smallest), which replaces the description's videoBitRate; -1, the default, keeps the
   description's rate control (videoBitRate, or x264's own default when that is 0). preset:
   x264's speed preset, "ultrafast" (the default, least CPU), "superfast", "veryfast",
   "faster", "fast" or "medium" (smaller files for more CPU per picture); null keeps the
   current one. 1 when taken; 0, changing nothing, for a value outside these. */
ZMAV_EXPORT int ZMAV_SetVideoEncoding(void* reserved1, void* reserved2, int crf, const char* preset);

/* Starts the encoding thread of the recording opened by ZMAV_init. */
ZMAV_EXPORT void ZMAV_Start(void* reserved1, void* reserved2);
ZMAV_EXPORT void ZMAV_Pause(void* reserved1, void* reserved2);
ZMAV_EXPORT void ZMAV_Resume(void* reserved1, void* reserved2);
/* Ends the intake, encodes and writes what is left, closes the file (an MP4 is finished in
   place, see ZMAV_FinishFile) and destroys the recording. Input still waiting in the library is
   dropped. */
ZMAV_EXPORT void ZMAV_Stop(void* reserved1, void* reserved2);

/* Copies one picture (width x height x 4 bytes of B,G,R,X, or width x height x 3 / 2 bytes
   of NV21). Blocks while 5 pictures are waiting. A null picture (or a size of 0) says that
   nothing changed: it fills one frame slot with the previous picture. 1 when queued; 0
   without a running recording, while paused or stopping, or for a picture whose size is not
   the description's (it takes no slot). */
ZMAV_EXPORT int ZMAV_EncodeVideoFrame(void* reserved1, void* reserved2, const unsigned char* data,
                                      int size);

/* A rectangle of a picture, in pixels from its top-left corner. */
typedef struct ZMAV_Rect {
    int x, y, width, height;
} ZMAV_Rect;

/* ZMAV_EncodeVideoFrame for a B,G,R,X picture that differs from the last picture accepted only
   inside the count rectangles of changed (clipped to the picture): only those parts are
   converted again, which on a mostly still screen saves most of the work. changed null or
   count negative: the whole picture changed. After a refused picture, the next one must
   describe the refused picture's changes too (or pass null). Besides blocking while 5
   pictures are waiting, it blocks while the pictures the library holds would take more than
   32 MB (at 3840 x 2160 that leaves the last picture and the next one). */
ZMAV_EXPORT int ZMAV_EncodeVideoFrameChanged(void* reserved1, void* reserved2, const unsigned char* data,
                                             int size, const ZMAV_Rect* changed, int count);

/* Copies a chunk of interleaved signed 16-bit PCM of any length. Never blocks: 0 when 16
   chunks are already waiting (the chunk is dropped), otherwise as for pictures. */
ZMAV_EXPORT int ZMAV_EncodeAudioFrame(void* reserved1, void* reserved2, const unsigned char* data,
                                      int size);

/* How a file survives: its extension chooses the container, ".mp4" (MP4) or ".mkv" (Matroska);
   either is written so that an interruption at any moment (the program killed or crashed, the
   power lost, the disk full) keeps all but about the last second. An MP4 grows by fragments of
   about one second; ZMAV_Stop turns it into a regular MP4 in place (no copy: the disk needs
   room only for the index), with its exact length and a full index for seeking. Matroska
   grows by clusters of about one second and plays up to the last one.

   ZMAV_FinishFile finishes an MP4 that a recording left fragmented (its program was killed,
   crashed or lost power, or the disk was full at the stop): a torn last fragment is cut and the
   index written in place, as ZMAV_Stop does. 1 when the file was finished; 0 when there was
   nothing to do (a regular MP4 already, text then empty; or one without a single whole
   fragment, left as it is, text then saying that it holds nothing to play); -1 when it cannot
   be finished, with the reason copied into text (at most size bytes), the file then left as
   playable as it was. Any thread; never on the file of a recording in progress. A Matroska
   file needs nothing (0): it plays up to its last cluster as it is. */
ZMAV_EXPORT int ZMAV_FinishFile(void* reserved1, void* reserved2, const char* path, char* text,
                                int size);

/* What became of the input of a recording. */
struct ZMAV_Stats {
    int frameSlots;         /* video frame slots on the file's timeline */
    int newPictures;        /* slots filled with a picture handed in */
    int repeatedSlots;      /* slots without a new picture, filled with the previous one */
    int emptySlots;         /* slots without a new picture, left empty (nothing stored) */
    int audioChunksRefused; /* sound chunks dropped because 16 were already waiting */
    int picturesDropped;    /* pictures accepted but not encoded: still waiting when the recording
                               stopped, or come too late for their slot with a newer one waiting */
};

/* Figures of the current recording, or of the last one once ZMAV_Stop has returned.
   1 when out was filled, 0 when there was no recording yet (or out is null). */
ZMAV_EXPORT int ZMAV_GetStats(void* reserved1, void* reserved2, struct ZMAV_Stats* out);

/* Why the last ZMAV_init failed, or the first failed write of the current (or last)
   recording, with FFmpeg's or the system's reason: copied zero-terminated into text (at most
   size bytes, cut if longer). 1 when there is such an error, else 0 (text set to ""). */
ZMAV_EXPORT int ZMAV_GetLastError(void* reserved1, void* reserved2, char* text, int size);

/* Packet writes of the current (or last) recording that failed (finishing the file at the stop
   included); the recording goes on, each failure loses that packet. After the first one a
   program should stop the recording: the packets written before it stay playable. */
ZMAV_EXPORT int ZMAV_GetWriteFailures(void* reserved1, void* reserved2);

/* The library's log: set-up failures, write errors and the encoders' own warnings. Nothing is
   printed without a handler. level: 0 error, 1 warning, 2 information. The handler may be
   called on any of the library's threads, one call at a time; null removes it. */
typedef void (*ZMAV_LogHandler)(int level, const char* text, void* user);
ZMAV_EXPORT void ZMAV_SetLogHandler(ZMAV_LogHandler handler, void* user);

#ifdef __cplusplus
}
#endif

#endif
