// PNG files of 8-bit images: grey (text-block checks), RGB (screenshots and
// offscreen pictures) or RGBA; and reading one back as RGB (picture checks).
// PFM files of linear light (the checks of the light before its tone curve).
// Plain memory in, a file out; no GPU involved.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "files/safe_write.h"

// Writes `height` rows of `width` pixels, row by row without padding, with
// `channels` bytes per pixel: 1 grey, 3 RGB or 4 RGBA, through the safe write
// (files/safe_write.h): a failure leaves whatever was at `path` as it was.
// Returns false and sets `error` (and `errorNumber`, the errno of the
// failure, 0 when none applies) when the image is empty or the file cannot be
// written.
bool writePng(const std::string& path, int width, int height, int channels, const uint8_t* pixels,
              std::string& error, const WriteOptions& options = {}, int* errorNumber = nullptr);

// Reads a PNG file of any kind as 8-bit RGB rows (alpha dropped). Returns
// false and sets `error` when it cannot be opened or is not a valid PNG.
bool readPngRgb(const std::string& path, int& width, int& height, std::vector<uint8_t>& rgb, std::string& error);

// Writes (reads) a PFM file of three 32-bit floats per pixel, little-endian.
// `rgb` holds the rows from the top; the file, as the format has it, from the
// bottom, written through the safe write. False with `error` set when the
// file cannot be written (read, or is not such a file).
bool writePfm(const std::string& path, int width, int height, const float* rgb, std::string& error);
bool readPfm(const std::string& path, int& width, int& height, std::vector<float>& rgb, std::string& error);
