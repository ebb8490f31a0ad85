// PNG files of 8-bit images: grey (text-block checks) or RGBA (screenshots).
// Plain memory in, a file out; no GPU involved.
#pragma once

#include <cstdint>
#include <string>

// Writes `height` rows of `width` pixels, row by row without padding, with
// `channels` bytes per pixel: 1 grey, 3 RGB or 4 RGBA. Returns false and sets
// `error` when the image is empty or the file cannot be written.
bool writePng(const std::string& path, int width, int height, int channels, const uint8_t* pixels,
              std::string& error);
