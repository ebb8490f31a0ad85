// The exposure of the star display: the factor the tone map puts on the
// light before its curve. "Fixed" keeps a set factor (1 shows the light as
// the brightness setting makes it); "Auto" follows the light of the picture
// itself, measured by the GPU as the mean luminance of EXPOSURE_GRID_WIDTH x
// EXPOSURE_GRID_HEIGHT blocks of the star display, and moves towards it over
// about a second. Pure arithmetic, no graphics API.
#pragma once

#include <cstddef>
#include <cstdint>

// The measurement's blocks across and down (the exposure target's size).
inline constexpr uint32_t EXPOSURE_GRID_WIDTH = 64, EXPOSURE_GRID_HEIGHT = 40;

// The automatic exposure stays within these factors of the light.
inline constexpr double AUTO_EXPOSURE_LOWEST = 1.0 / 64, AUTO_EXPOSURE_HIGHEST = 4096;
// The grey the log-average light is brought to.
inline constexpr double AUTO_EXPOSURE_KEY = 0.07;
// The 99th percentile of the blocks (the brightest part that is more than a
// star or two) is brought at most this far up: it stays within the tone
// map's shoulder instead of being washed out.
inline constexpr double AUTO_EXPOSURE_BRIGHTEST = 0.8;
// Blocks darker than this share of that percentile are empty sky: the
// average is taken over the rest, so that a galaxy seen from outside is
// exposed for itself and not for the black around it.
inline constexpr double AUTO_EXPOSURE_SKY = 1e-3;
// Time constant of the adaptation, seconds: 95 % of a change within about a second.
inline constexpr double AUTO_EXPOSURE_SECONDS = 0.33;

// The exposure the picture asks for, from the measurement: `count` blocks of
// two floats each, the luminance summed over the part of the block no opaque
// disc covers and the size of that part (in samples). Blocks that are all
// covered are left out; with no light at all, the highest exposure.
double autoExposureTarget(const float* blocks, size_t count);

// One step from `current` towards `target` after `seconds`, evenly in the
// logarithm (a doubling takes as long as a halving).
double adaptExposure(double current, double target, double seconds);

// True while `current` is visibly away from `target` (more than 2 %).
bool exposureSettling(double current, double target);
