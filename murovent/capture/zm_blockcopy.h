// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QRect>

#include <cstdint>
#include <vector>

// Brings a picture up to date with a newer one where the newer may have changed, writing and
// listing only the 16x16 blocks (on the picture's grid, as the encoder's macroblocks) whose
// pixels really differ. Many clients redraw their whole window for a small change, and
// compositors then report the whole window as changed: this turns that back into the change.
//
// Plain functions; the caller owns both pictures for the duration of a call.
namespace ZMBlockCopy {

// `part` is in the target's pixels; `from` and `to` point at its top-left pixel in the newer
// picture and in the target, 4 bytes a pixel. The blocks copied are appended to *changed,
// merged into rectangles within part.
void update(const uint8_t* from, int fromStride, uint8_t* to, int toStride, const QRect& part,
            std::vector<QRect>* changed);

// More than `most` rectangles become the one that holds them all: a picture changed in so many
// scattered places (a scrolling or moving picture) is cheaper to take on as one area than place
// by place, and its encoder looks at each block anyway.
void bound(std::vector<QRect>* changed, size_t most);

} // namespace ZMBlockCopy
