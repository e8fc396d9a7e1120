#pragma once

#include <cstdint>
#include <vector>

struct AVPacket;

namespace ZM {

// Repeats of the previous picture as H.264 frames that cost next to nothing: one P slice whose
// macroblocks are all skipped, which a decoder turns into an exact copy of the picture before
// it. Encoding an unchanged picture again costs the encoder nearly as much as a new one (it
// still analyses every macroblock and copies the whole picture), and a still desktop is mostly
// repeats.
//
// Each repeat is a reference frame and takes the next frame number, so the encoder's own
// later frames are renumbered to follow it (the numbers are fixed-width fields in their slice
// headers) until its next IDR frame starts counting afresh. This works for the streams the
// library makes: CAVLC, frames only, picture order derived from frame numbers, no weighted
// prediction; for any other stream usable() is false and nothing is touched.
//
// One encoding thread only.
class ZM_RepeatFrames {
public:
    // The encoder's parameter sets as Annex B bytes (its global header); they may instead come
    // with its first packet.
    ZM_RepeatFrames(const uint8_t* header, int size);

    // Whether repeats can be made for the stream seen so far.
    bool usable() const { return m_usable && m_sequence.seen && m_picture.seen; }

    // Follows one of the encoder's packets (Annex B) and renumbers its slices in place when
    // repeats came before it. False when it could not be rewritten (no memory); usable() turns
    // false when the packet shows a stream that repeats cannot follow.
    bool follow(AVPacket* packet);

    // Appends an Annex B repeat of the latest picture to out. False (out untouched) when not
    // usable() or no picture was followed yet.
    bool makeRepeat(std::vector<uint8_t>* out);

private:
    struct Sequence {
        bool seen = false;
        int log2MaxFrameNum = 0;
        int macroblocks = 0;
    };
    struct Picture {
        bool seen = false;
        int id = 0;
        bool deblockingControl = false;
        bool redundantPictureCount = false;
    };

    void readParameterSet(int type, const std::vector<uint8_t>& rbsp);
    void readSequence(const std::vector<uint8_t>& rbsp);
    void readPicture(const std::vector<uint8_t>& rbsp);
    bool renumber(std::vector<uint8_t>& rbsp);
    int maxFrameNum() const { return 1 << m_sequence.log2MaxFrameNum; }

    Sequence m_sequence;
    Picture m_picture;
    bool m_usable = true;
    bool m_havePicture = false;
    // Repeats written since the encoder's last IDR frame, modulo the frame number range, and
    // the frame number of the latest frame in the stream.
    int m_offset = 0;
    int m_frameNum = 0;
};

} // namespace ZM
