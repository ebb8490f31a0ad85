// A picture in host memory: what a read-back of the display gives, and what
// a screenshot or an offscreen picture writes.
#pragma once

#include <cstdint>
#include <vector>

// 8-bit RGB pixels, row by row from the top, without padding; or, read from
// an image of floats, linear light as three floats per pixel (rgb empty).
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    std::vector<float> linear;
};

// A rectangle of pixels within an image.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};
