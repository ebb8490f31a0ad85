// How generated stars look: radius, colour and brightness from one appearance
// draw per star, with fast single-precision approximations of the logarithm
// and the exponential. Display values only: nothing here decides which stars
// exist or where they are.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "starfield/star_record.h"

// Per colour channel (red, green, blue): the intensity factor K and the
// exponent factor E of the Planck-like law I = K / (e^(E/T) - 1).
struct ChannelConstants {
    float intensity[3] = {0, 0, 0};
    float exponent[3] = {0, 0, 0};
};

// The channel constants for the wavelengths (metres) shown in the three
// channels: K = (1/wavelength)^4 * 2hc^2 and E = (hc/k) / wavelength, in
// single precision.
ChannelConstants channelConstantsFor(const float wavelength[3]);

// The wavelengths shown by default: 650, 550 and 450 nm.
inline constexpr float DEFAULT_WAVELENGTHS[3] = {6.5e-7f, 5.5e-7f, 4.5e-7f};

// ln x for x > 0: a cubic on the mantissa plus the exponent times ln 2.
inline float fastLog(float x) {
    const auto bits = std::bit_cast<uint32_t>(x);
    const auto e = static_cast<float>(static_cast<int32_t>((bits >> 23) & 0xFF) - 127);
    const float f = std::bit_cast<float>((bits & 0x007FFFFFu) | 0x3F800000u);
    return ((0.10969f * f - 0.729104f) * f + 2.11263f) * f - 1.49278f + 0.6931472f * e;
}

// 2^y: a quadratic on the fraction of y times the power of two of its floor.
// Below the normal range the result is 0, above it infinity; a NaN stays NaN.
inline float fastExp2(float y) {
    if (!(y >= -126.0f)) return y < -126.0f ? 0.0f : y;
    if (y >= 128.0f) return std::numeric_limits<float>::infinity();
    // floor(y) without a library call: truncate, then step down for negative fractions.
    auto i = static_cast<int32_t>(y);
    if (static_cast<float>(i) > y) --i;
    const float g = y - static_cast<float>(i);
    const float poly = (0.33718944f * g + 0.6576363f) * g + 1.0017247f;
    return poly * std::bit_cast<float>(static_cast<uint32_t>(i + 127) << 23);
}

// x^b = 2^(1.442695 * b * ln x).
inline float fastPow(float x, float b) { return fastExp2(1.442695f * b * fastLog(x)); }

// The 26-bit luminosity code of a brightness key: the key's biased exponent
// minus 137 from bit 19 up, its mantissa rounded (ties to even) to one of
// 1024..2048 from bit 7.
uint32_t luminosityCode(float key);

// What the appearance of one population in one band needs: the display floats
// f0..f4 and the band's hidden and band fractions (the latter times 2^-31).
struct BandAppearance {
    float f[5] = {0, 0, 0, 0, 0};
    float hidden = 0;
    float band = 0;
};

// The radius (solar radii) of the star whose 31-bit appearance draw is r:
// u = r * band + hidden inside the population's draw range, R = (u*f1 + f3)^f2.
inline float drawRadius(const BandAppearance& band, uint32_t r) {
    const float u = static_cast<float>(r) * band.band + band.hidden;
    return fastPow(u * band.f[1] + band.f[3], band.f[2]);
}

// The display values of one star with draw index d and appearance draw r.
void appearanceOfStar(StarRecord& s, uint32_t drawIndex, uint32_t r, const BandAppearance& band,
                      const ChannelConstants& channels);

// Fills the display values of `count` stars of one population group: star j
// takes draw index firstDrawIndex + j, draws its 31-bit number from the stream
// that starts at `seed`, and gets colour, key, luminosity code, radius and draw
// index. The population byte is left as it is.
void appearanceOfGroup(StarRecord* stars, size_t count, uint32_t firstDrawIndex, uint64_t seed,
                       const BandAppearance& band, const ChannelConstants& channels);
