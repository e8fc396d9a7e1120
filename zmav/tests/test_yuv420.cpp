// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/yuv420_rotate.h>

#include "zm_changedblocks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<char> testPicture(int w, int h)
{
    std::vector<char> pic(size_t(w) * h * 3 / 2);
    fill_yuv420_test(pic.data(), w, h);
    return pic;
}

// Byte (row, col) of a w-wide block, chroma rows following the luma rows.
char at(const std::vector<char>& pic, int w, int row, int col)
{
    return pic[size_t(row) * w + col];
}

} // namespace

TEST(Yuv420, AllocationAndTestFillCoverTheWholeBlock)
{
    char* buf = malloc_yuv420(4, 2);
    ASSERT_NE(buf, nullptr);
    EXPECT_EQ(fill_yuv420_test(buf, 4, 2), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(buf[i], char(i));
    free_yuv420(buf);

    std::vector<char> big = testPicture(32, 16);
    EXPECT_EQ(big[256], char(0)) << "byte i holds i modulo 256";
    EXPECT_EQ(big[767], char(255));
}

TEST(Yuv420, RotateRightMovesLumaAndChromaPairsClockwise)
{
    const int w = 4, h = 2;
    std::vector<char> src = testPicture(w, h);
    std::vector<char> dst(src.size());
    EXPECT_EQ(yuv420_rotate_90_right(src.data(), dst.data(), w, h), dst.data());
    // The result is 2 wide and 4 high; its first row is source column 0 from the bottom up.
    EXPECT_EQ(dst[0], at(src, w, 1, 0));
    EXPECT_EQ(dst[1], at(src, w, 0, 0));
    for (int c = 0; c < w; ++c)
        for (int r = 0; r < h; ++r)
            EXPECT_EQ(dst[c * h + r], at(src, w, h - 1 - r, c));
    // One chroma row of two pairs becomes two rows of one pair, byte order kept.
    EXPECT_EQ(dst[8], at(src, w, 2, 0));
    EXPECT_EQ(dst[9], at(src, w, 2, 1));
    EXPECT_EQ(dst[10], at(src, w, 2, 2));
    EXPECT_EQ(dst[11], at(src, w, 2, 3));
}

TEST(Yuv420, BothClockwiseRotationsAgree)
{
    const int w = 8, h = 6;
    std::vector<char> src(size_t(w) * h * 3 / 2);
    std::srand(7);
    for (char& b : src)
        b = char(std::rand());
    std::vector<char> a(src.size()), b(src.size());
    yuv420_rotate_90_right(src.data(), a.data(), w, h);
    rotateYUV420Degree90(src.data(), b.data(), w, h);
    EXPECT_EQ(a, b);
}

TEST(Yuv420, LeftThenRightRestoresLumaAndSwapsChromaPairs)
{
    const int w = 8, h = 4;
    std::vector<char> src = testPicture(w, h);
    std::vector<char> left(src.size()), back(src.size());
    yuv420_rotate_90_left(src.data(), left.data(), w, h);
    // Counter-clockwise: the first output row is the last source column, top down.
    for (int r = 0; r < h; ++r)
        EXPECT_EQ(left[r], at(src, w, r, w - 1));
    yuv420_rotate_90_right(left.data(), back.data(), h, w);
    for (int i = 0; i < w * h; ++i)
        EXPECT_EQ(back[i], src[i]) << "luma byte " << i;
    for (int i = w * h; i < int(src.size()); i += 2) {
        EXPECT_EQ(back[i], src[i + 1]) << "chroma pair at " << i;
        EXPECT_EQ(back[i + 1], src[i]);
    }
}

TEST(Yuv420, ReflectTransposes)
{
    const int w = 4, h = 4;
    std::vector<char> src = testPicture(w, h);
    std::vector<char> dst(src.size());
    yuv420_rotate_90_reflect(src.data(), dst.data(), w, h);
    for (int r = 0; r < w; ++r)
        for (int c = 0; c < h; ++c)
            EXPECT_EQ(dst[r * h + c], at(src, w, c, r));
    // Chroma: row r/2 of the output is source pair column r, top down.
    EXPECT_EQ(dst[16], at(src, w, 4, 0));
    EXPECT_EQ(dst[17], at(src, w, 4, 1));
    EXPECT_EQ(dst[18], at(src, w, 5, 0));
    EXPECT_EQ(dst[19], at(src, w, 5, 1));
    EXPECT_EQ(dst[20], at(src, w, 4, 2));
}

TEST(Yuv420, PrintDumpsSignedBytesRowByRow)
{
    std::vector<char> pic = testPicture(4, 2);
    pic[3] = char(200);
    testing::internal::CaptureStdout();
    print_yuv420(pic.data(), 4, 2, "t");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "--------------- yuv: t ----------------\n"
              "   0    1    2  -56 \n"
              "   4    5    6    7 \n"
              "\n"
              "   8    9   10   11 \n"
              "--------------------------------------\n\n");
}

// Blocks of 16 x 16 pixels, the last column and row cut short by the picture's edge; a change
// in a chroma plane alone counts for its block, and neighbours in a row are joined.
TEST(Yuv420, ChangedBlocksFindLumaAndChromaChangesUpToTheEdges)
{
    const int w = 72, h = 40; // 5 x 3 blocks, the last ones 8 wide and 8 high
    const std::vector<uint8_t> before(size_t(w) * h * 3 / 2, 90);
    ZM::ZM_ChangedBlocks blocks(w, h);
    std::vector<ZMAV_Rect> rects;
    auto rect = [&](size_t i) { return std::vector<int>{rects[i].x, rects[i].y, rects[i].width, rects[i].height}; };

    ASSERT_TRUE(blocks.find(before.data(), before.data(), &rects));
    EXPECT_TRUE(rects.empty());

    std::vector<uint8_t> after = before;
    after[size_t(5) * w + 2] = 91;                                   // luma of block (0, 0)
    after[size_t(w) * h + 3 * (w / 2) + 9] = 91;                     // U alone of block (1, 0)
    after[size_t(20) * w + 71] = 91;                                 // luma of block (4, 1)
    after[size_t(w) * h + size_t(w) * h / 4 + 19 * (w / 2) + 35] = 91; // V alone of block (4, 2)
    ASSERT_TRUE(blocks.find(before.data(), after.data(), &rects));
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_EQ(rect(0), (std::vector<int>{0, 0, 32, 16}));
    EXPECT_EQ(rect(1), (std::vector<int>{64, 16, 8, 16}));
    EXPECT_EQ(rect(2), (std::vector<int>{64, 32, 8, 8}));

    std::vector<uint8_t> other(before.size(), 91);
    EXPECT_FALSE(blocks.find(before.data(), other.data(), &rects)) << "every block changed";
}
