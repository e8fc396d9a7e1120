// SPDX-License-Identifier: GPL-2.0-or-later
#pragma once

// A source of screen pictures: each grab() refreshes one persistent frame of width x height
// pixels, 4 bytes each in the order B, G, R, X, rows top-down, stride width x 4.
class GrabBase
{
public:
    virtual ~GrabBase() = default;
    virtual int width() const = 0;
    virtual int height() const = 0;
    // Captures a new frame into the persistent buffer and returns it (watermarks are painted
    // into it in place); null once the screen is gone for good (the display connection broke),
    // after which no further frame will come.
    virtual unsigned char* grab() = 0;
    // The last frame, without capturing.
    virtual const unsigned char* data() const = 0;
};
