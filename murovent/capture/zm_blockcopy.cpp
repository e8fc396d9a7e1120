// SPDX-License-Identifier: GPL-2.0-or-later
#include "zm_blockcopy.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kBlock = 16;

// A whole block's row (64 bytes) compares word by word in place, not through a call: a
// picture has tens of thousands of them.
bool sameRow(const uint8_t* a, const uint8_t* b, size_t bytes)
{
    if (bytes != kBlock * 4)
        return std::memcmp(a, b, bytes) == 0;
    uint64_t diff = 0;
    for (int i = 0; i < kBlock * 4; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        diff |= x ^ y;
    }
    return diff == 0;
}

// Adds a changed rectangle, extending the last one when it continues it downwards, so that a
// change as wide as the part lists once and not once per block row.
void note(std::vector<QRect>* changed, const QRect& rect)
{
    if (!changed->empty()) {
        QRect& last = changed->back();
        if (last.left() == rect.left() && last.width() == rect.width() && last.bottom() + 1 == rect.top()) {
            last.setBottom(rect.bottom());
            return;
        }
    }
    changed->push_back(rect);
}

} // namespace

namespace ZMBlockCopy {

void update(const uint8_t* from, int fromStride, uint8_t* to, int toStride, const QRect& part,
            std::vector<QRect>* changed)
{
    const auto source = [&](int y, int x) {
        return from + size_t(y - part.top()) * fromStride + size_t(x - part.left()) * 4;
    };
    const auto target = [&](int y, int x) {
        return to + size_t(y - part.top()) * toStride + size_t(x - part.left()) * 4;
    };
    const size_t rowBytes = size_t(part.width()) * 4;
    for (int band = part.top() - part.top() % kBlock; band <= part.bottom(); band += kBlock) {
        const int last = std::min(band + kBlock, part.bottom() + 1);
        // Most block rows of a redrawn window are as they were: whole rows compare fastest.
        int first = std::max(band, part.top());
        while (first < last && std::memcmp(source(first, part.left()), target(first, part.left()), rowBytes) == 0)
            ++first;
        if (first == last)
            continue;
        // Neighbouring changed blocks are copied and listed as one run.
        int runLeft = -1, runRight = -1;
        const auto endRun = [&] {
            for (int row = first; row < last; ++row)
                std::memcpy(target(row, runLeft), source(row, runLeft), size_t(runRight - runLeft) * 4);
            note(changed, QRect(runLeft, first, runRight - runLeft, last - first));
            runLeft = -1;
        };
        for (int block = part.left() - part.left() % kBlock; block <= part.right(); block += kBlock) {
            const int left = std::max(block, part.left()), right = std::min(block + kBlock, part.right() + 1);
            const size_t bytes = size_t(right - left) * 4;
            int y = first;
            while (y < last && sameRow(source(y, left), target(y, left), bytes))
                ++y;
            if (y < last) {
                runLeft = runLeft < 0 ? left : runLeft;
                runRight = right;
            } else if (runLeft >= 0) {
                endRun();
            }
        }
        if (runLeft >= 0)
            endRun();
    }
}

void bound(std::vector<QRect>* changed, size_t most)
{
    if (changed->size() <= most)
        return;
    QRect all;
    for (const QRect& rect : *changed)
        all |= rect;
    changed->assign(1, all);
}

} // namespace ZMBlockCopy
