// SPDX-License-Identifier: GPL-2.0-or-later
#include <zmav/yuv420_rotate.h>

#include <cassert>
#include <cstdio>
#include <cstdlib>

extern "C" {

char* malloc_yuv420(int w, int h)
{
    return static_cast<char*>(std::malloc((3u * unsigned(h) * unsigned(w)) / 2u));
}

void free_yuv420(char* buf)
{
    std::free(buf);
}

int fill_yuv420_test(char* buf, int w, int h)
{
    const int n = w * h * 3 / 2;
    for (int i = 0; i < n; ++i)
        buf[i] = char(i % 256);
    return n;
}

void print_yuv420(char* buf, int w, int h, const char* title)
{
    std::printf("--------------- yuv: %s ----------------\n", title);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            std::printf("%4d ", int(static_cast<signed char>(buf[y * w + x])));
        std::printf("\n");
    }
    std::printf("\n");
    for (int y = h; y < h * 3 / 2; ++y) {
        for (int x = 0; x < w; ++x)
            std::printf("%4d ", int(static_cast<signed char>(buf[y * w + x])));
        std::printf("\n");
    }
    std::puts("--------------------------------------\n");
    std::fflush(stdout);
}

char* yuv420_rotate_90_right(char* src, char* dst, int srcWidth, int srcHeight)
{
    assert(srcWidth>0 && srcHeight>0 && dst);
    const int w = srcWidth, h = srcHeight;
    char* d = dst;
    for (int c = 0; c < w; ++c)
        for (int r = h - 1; r >= 0; --r)
            *d++ = src[r * w + c];
    const char* uv = src + w * h;
    for (int c = 0; c < w; c += 2)
        for (int r = h / 2 - 1; r >= 0; --r) {
            *d++ = uv[r * w + c];
            *d++ = uv[r * w + c + 1];
        }
    return dst;
}

char* yuv420_rotate_90_left(char* src, char* dst, int srcWidth, int srcHeight)
{
    assert(srcWidth>0 && srcHeight>0 && dst);
    const int w = srcWidth, h = srcHeight;
    char* d = dst;
    for (int c = w - 1; c >= 0; --c)
        for (int r = 0; r < h; ++r)
            *d++ = src[r * w + c];
    const char* uv = src + w * h;
    for (int c = w - 2; c >= 0; c -= 2)
        for (int r = 0; r < h / 2; ++r) {
            *d++ = uv[r * w + c + 1];
            *d++ = uv[r * w + c];
        }
    return dst;
}

char* yuv420_rotate_90_reflect(char* src, char* dst, int srcWidth, int srcHeight)
{
    assert(dst);
    const int w = srcWidth, h = srcHeight;
    char* d = dst;
    for (int c = 0; c < w; ++c)
        for (int r = 0; r < h; ++r)
            *d++ = src[r * w + c];
    const char* uv = src + w * h;
    for (int c = 0; c < w; c += 2)
        for (int r = 0; r < h / 2; ++r) {
            *d++ = uv[r * w + c];
            *d++ = uv[r * w + c + 1];
        }
    return dst;
}

char* rotateYUV420Degree90(char* src, char* dst, int srcWidth, int srcHeight)
{
    const int w = srcWidth, h = srcHeight;
    int i = 0;
    for (int x = 0; x < w; ++x)
        for (int y = h - 1; y >= 0; --y)
            dst[i++] = src[y * w + x];
    i = w * h * 3 / 2 - 1;
    for (int x = w - 1; x > 0; x -= 2)
        for (int y = 0; y < h / 2; ++y) {
            dst[i--] = src[w * h + y * w + x];
            dst[i--] = src[w * h + y * w + x - 1];
        }
    return dst;
}

} // extern "C"
