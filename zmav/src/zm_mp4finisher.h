// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include "zm_mp4box.h"
#include "zm_mp4file.h"
#include "zm_mp4samplewalker.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ZM {

class ZM_Mp4BoxWriter;

// Turns a fragmented MP4 that a recording wrote into a regular one, in place, the way hybrid
// MP4 writers do: no byte of media data moves and no copy is made, so a nearly full disk
// only needs room for the index.
//
// Why not keep the fragmented file with its random-access index ('mfra'): FFmpeg's fragmented
// writer leaves out the edit lists and the length, so ffprobe counts the sound's priming into
// the length (and a video track may start with a stretched picture), GStreamer reports only the
// first fragment's length, and some editors refuse fragmented files. The regular file has the
// exact length, sound and pictures start together, and every reader seeks in it from the index.
//
// While recording, the file is a header ('ftyp', a 'moov' without samples but with 'mvex')
// followed by one 'moof' + 'mdat' pair a second, so whatever was written before an
// interruption plays. Finishing:
//   1. cuts a fragment torn by an interruption (and anything after the last whole one);
//   2. appends a complete regular 'moov' (sample tables pointing into the existing 'mdat'
//      boxes, the exact length in the edit lists) as a 'free' box, flushes it to the device
//      and only then renames it 'moov';
//   3. renames the random-access index 'mfra', every 'moof' (last to first) and finally the
//      fragmented header's 'moov' to 'free', and gives 'ftyp' the brands of a regular file.
// Until the last rename of step 3, readers take the first 'moov', so the file plays as the
// fragmented file it was (while the 'moof' boxes are renamed, up to the last fragment not
// yet renamed); after it, as a regular MP4 with its full length. Each step can be redone, so
// a file interrupted at any point is finished by calling this again.
//
// Memory stays flat: the tables are written in passes over the fragments, one fragment in
// memory at a time. Any thread; one file per object.
class ZM_Mp4Finisher {
public:
    enum Result { Finished, NothingToDo, Empty, Failed };

    // audioPriming: samples that the AAC encoder puts before the sound (its delay); the edit
    // list skips them so that sound and pictures start together.
    explicit ZM_Mp4Finisher(int audioPriming = 1024) : m_audioPriming(audioPriming) {}

    // NothingToDo: a regular MP4 already. Empty: a fragmented one without a single whole
    // fragment, which holds nothing to play (it stays as it is). Failed: error() says why; a
    // fragmented file is then left as playable as it was.
    Result finish(const std::string& path);
    const std::string& error() const { return m_error; }

private:
    struct Track {
        uint32_t id = 0;
        uint32_t timescale = 0;
        bool aac = false;
        ZM_Mp4Box tkhd, mdhd, hdlr, minf, stbl, stsd;
        // Summary of the samples, from one pass over the fragments.
        uint64_t samples = 0;
        uint64_t chunks = 0;
        uint64_t firstDts = 0;
        uint64_t duration = 0; // sum of the sample durations
        bool allSync = true;
        bool anyCto = false;
        bool negativeCto = false;
        int32_t firstCto = 0;
        uint32_t firstDuration = 0;
        uint32_t firstTrim = 0; // taken off the first sample's duration
    };

    Result fail(const std::string& why);
    bool scan();
    bool readMovie();
    bool cutTornTail();
    bool summarise(Track& track);
    bool appendMovie();
    void writeMovieHeader(ZM_Mp4BoxWriter& w, uint64_t duration) const;
    void writeTrack(ZM_Mp4BoxWriter& w, const Track& track);
    void writeTables(ZM_Mp4BoxWriter& w, const Track& track, bool longOffsets);
    uint64_t startSkip(const Track& track) const;
    uint64_t editDuration(const Track& track) const;
    uint64_t emptyEdit(const Track& track) const;
    void trimLeadIn();
    bool retireFragments();
    bool regularBrands();

    int m_audioPriming;
    ZM_Mp4File m_file;
    std::string m_error;
    std::vector<ZM_Mp4Box> m_boxes; // top-level boxes in file order
    int64_t m_wholeEnd = 0;         // end of the last box that is whole
    ZM_Mp4Box m_fragmentedMoov;
    bool m_hasFragmentedMoov = false;
    bool m_hasRegularMoov = false;
    bool m_walkFailed = false;
    std::vector<ZM_Mp4Box> m_fragments;
    std::vector<uint8_t> m_movie; // the fragmented header's 'moov', whole
    uint32_t m_movieTimescale = 1000;
    std::map<uint32_t, ZM_Mp4SampleDefaults> m_defaults;
    std::vector<Track> m_tracks;
};

} // namespace ZM
