// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

#include <QImage>
#include <QRegion>

#include <memory>

// Stamps one watermark picture into frames in place, at a fixed position in frame pixels.
// The mark is copied when the filter is made, so its owner may change or drop it meanwhile.
class ImageFilter
{
public:
    explicit ImageFilter(const QImage& mark);
    virtual ~ImageFilter();
    ImageFilter(const ImageFilter&) = delete;
    ImageFilter& operator=(const ImageFilter&) = delete;

    void setPosition(int x, int y);
    // frame: width x height pixels of 4 bytes (B, G, R, X), stride width x 4. A mark larger
    // than the frame in either direction is not drawn; one partly outside is clipped.
    void apply(unsigned char* frame, int width, int height);
    // apply() inside clip only: where the frame was just refreshed, while elsewhere it still
    // carries the mark (blending it there again would darken it).
    void apply(unsigned char* frame, int width, int height, const QRegion& clip);

private:
    std::unique_ptr<QImage> m_mark;
    int m_x = 0;
    int m_y = 0;
};
