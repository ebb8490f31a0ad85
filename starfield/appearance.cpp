#include "starfield/appearance.h"

#include <bit>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "numeric/constants.h"
#include "numeric/exact_math.h"
#include "starfield/voxel_random.h"

namespace {

const float RADIATION_K_F = static_cast<float>(toDouble(RADIATION_K));
constexpr float LOG2E_F = 1.442695f;
// e^a overflows a float from here on.
constexpr float EXP_OVERFLOW = 88.7227f;
constexpr float TINY_INTENSITY = 1e-36f;

// The colour level of a scaled intensity ratio: truncated to a 32-bit integer
// and kept modulo 256, as the four-lane conversion below gives it. The ratio
// lies in [0, 1] for every real star; a NaN (no light in any channel) or a
// value beyond the 32-bit range converts to -2^31 there, whose low byte is 0.
// C++ leaves that conversion undefined and AArch64 saturates instead (NaN to
// 0, large values to 2^31 - 1), so the x86 result is spelt out.
uint8_t colourLevel(float scaled) {
    if (!(scaled >= -2147483648.0f && scaled < 2147483648.0f)) return 0;
    return static_cast<uint8_t>(static_cast<int32_t>(scaled));
}

}  // namespace

ChannelConstants channelConstantsFor(const float wavelength[3]) {
    const auto c1 = static_cast<float>(toDouble(TWO_H_C2));
    const auto c2 = static_cast<float>(toDouble(H_C_OVER_K));
    ChannelConstants c;
    for (int i = 0; i < 3; ++i) {
        // The fourth power rounded once, as the C library's powf would ideally
        // give it: the key of every star depends on these constants.
        c.intensity[i] = exactPowFour(1.0f / wavelength[i]) * c1;
        c.exponent[i] = c2 / wavelength[i];
    }
    return c;
}

uint32_t luminosityCode(float key) {
    const auto bits = std::bit_cast<uint32_t>(key);
    const uint32_t e = (bits >> 23) & 0xFF;
    const uint32_t m = bits & 0x007FFFFFu;
    uint32_t q = m >> 13;
    const uint32_t rest = m & 0x1FFF;
    if (rest > 0x1000 || (rest == 0x1000 && (q & 1))) ++q;
    return ((e - 137u) << 19) + ((1024u + q) << 7);
}

void appearanceOfStar(StarRecord& s, uint32_t drawIndex, uint32_t r, const BandAppearance& band,
                      const ChannelConstants& channels) {
    const float radius = drawRadius(band, r);
    const float w = band.f[4] * fastPow(radius, band.f[0]);
    float intensity[3];
    for (int c = 0; c < 3; ++c) {
        const float a = w * channels.exponent[c];
        intensity[c] = a >= EXP_OVERFLOW ? TINY_INTENSITY : channels.intensity[c] / (fastExp2(LOG2E_F * a) - 1.0f);
    }
    float m = intensity[0];
    if (intensity[1] > m) m = intensity[1];
    if (intensity[2] > m) m = intensity[2];
    for (int c = 0; c < 3; ++c) s.colour[c] = colourLevel(127.995f * intensity[c] / m);
    s.key = radius * radius * m * RADIATION_K_F;
    s.luminosityCode = luminosityCode(s.key);
    s.radius = radius;
    s.drawIndex = static_cast<uint16_t>(drawIndex);
}

#if defined(__SSE2__)
namespace {

// The same arithmetic as fastLog, fastExp2 and fastPow on four lanes; every
// operation is the same single-precision operation in the same order, so the
// lanes get exactly the scalar results.
inline __m128 fastLog4(__m128 x) {
    const __m128i bits = _mm_castps_si128(x);
    const __m128 e = _mm_cvtepi32_ps(
        _mm_sub_epi32(_mm_and_si128(_mm_srli_epi32(bits, 23), _mm_set1_epi32(0xFF)), _mm_set1_epi32(127)));
    const __m128 f =
        _mm_castsi128_ps(_mm_or_si128(_mm_and_si128(bits, _mm_set1_epi32(0x007FFFFF)), _mm_set1_epi32(0x3F800000)));
    __m128 p = _mm_sub_ps(_mm_mul_ps(_mm_set1_ps(0.10969f), f), _mm_set1_ps(0.729104f));
    p = _mm_add_ps(_mm_mul_ps(p, f), _mm_set1_ps(2.11263f));
    p = _mm_sub_ps(_mm_mul_ps(p, f), _mm_set1_ps(1.49278f));
    return _mm_add_ps(p, _mm_mul_ps(_mm_set1_ps(0.6931472f), e));
}

inline __m128 fastExp2x4(__m128 y) {
    __m128i i = _mm_cvttps_epi32(y);
    const __m128 fi = _mm_cvtepi32_ps(i);
    i = _mm_add_epi32(i, _mm_castps_si128(_mm_cmpgt_ps(fi, y)));  // floor: minus one where truncation rounded up
    const __m128 g = _mm_sub_ps(y, _mm_cvtepi32_ps(i));
    __m128 poly = _mm_add_ps(_mm_mul_ps(_mm_set1_ps(0.33718944f), g), _mm_set1_ps(0.6576363f));
    poly = _mm_add_ps(_mm_mul_ps(poly, g), _mm_set1_ps(1.0017247f));
    const __m128 scale = _mm_castsi128_ps(_mm_slli_epi32(_mm_add_epi32(i, _mm_set1_epi32(127)), 23));
    __m128 r = _mm_mul_ps(poly, scale);
    // Out of range: 0 below, infinity above, NaN stays NaN.
    const __m128 low = _mm_cmplt_ps(y, _mm_set1_ps(-126.0f));
    const __m128 high = _mm_cmpge_ps(y, _mm_set1_ps(128.0f));
    const __m128 nan = _mm_cmpunord_ps(y, y);
    r = _mm_andnot_ps(low, r);
    r = _mm_or_ps(_mm_andnot_ps(high, r), _mm_and_ps(high, _mm_set1_ps(std::numeric_limits<float>::infinity())));
    return _mm_or_ps(_mm_andnot_ps(nan, r), _mm_and_ps(nan, y));
}

inline __m128 fastPow4(__m128 x, float b) {
    return fastExp2x4(_mm_mul_ps(_mm_set1_ps(1.442695f * b), fastLog4(x)));
}

}  // namespace
#endif

void appearanceOfGroup(StarRecord* stars, size_t count, uint32_t firstDrawIndex, uint64_t seed,
                       const BandAppearance& band, const ChannelConstants& channels) {
    size_t j = 0;
#if defined(__SSE2__)
    // Four stars at a time while the draw indices stay in whole pairs.
    if ((firstDrawIndex & 1) == 0) {
        for (; j + 4 <= count; j += 4) {
            const uint32_t d = firstDrawIndex + static_cast<uint32_t>(j);
            alignas(16) uint32_t r[4];
            uint64_t state = seed + static_cast<uint64_t>(d >> 1) * WYHASH_INCREMENT;
            for (int k = 0; k < 2; ++k) {
                const uint64_t m = wyhashDraw(state);
                r[2 * k] = static_cast<uint32_t>(m) >> 1;
                r[2 * k + 1] = static_cast<uint32_t>(m >> 32) >> 1;
            }
            const __m128 u = _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(_mm_load_si128(reinterpret_cast<const __m128i*>(r))),
                                                   _mm_set1_ps(band.band)),
                                        _mm_set1_ps(band.hidden));
            const __m128 x = _mm_add_ps(_mm_mul_ps(u, _mm_set1_ps(band.f[1])), _mm_set1_ps(band.f[3]));
            const __m128 radius = fastPow4(x, band.f[2]);
            const __m128 w = _mm_mul_ps(_mm_set1_ps(band.f[4]), fastPow4(radius, band.f[0]));
            __m128 intensity[3];
            for (int c = 0; c < 3; ++c) {
                const __m128 a = _mm_mul_ps(w, _mm_set1_ps(channels.exponent[c]));
                const __m128 e = fastExp2x4(_mm_mul_ps(_mm_set1_ps(LOG2E_F), a));
                const __m128 i = _mm_div_ps(_mm_set1_ps(channels.intensity[c]), _mm_sub_ps(e, _mm_set1_ps(1.0f)));
                const __m128 over = _mm_cmpge_ps(a, _mm_set1_ps(EXP_OVERFLOW));
                intensity[c] = _mm_or_ps(_mm_andnot_ps(over, i), _mm_and_ps(over, _mm_set1_ps(TINY_INTENSITY)));
            }
            const __m128 m = _mm_max_ps(intensity[2], _mm_max_ps(intensity[1], intensity[0]));
            alignas(16) int32_t colour[3][4];
            for (int c = 0; c < 3; ++c)
                _mm_store_si128(reinterpret_cast<__m128i*>(colour[c]),
                                _mm_cvttps_epi32(_mm_div_ps(_mm_mul_ps(_mm_set1_ps(127.995f), intensity[c]), m)));
            alignas(16) float key[4], rad[4];
            _mm_store_ps(key, _mm_mul_ps(_mm_mul_ps(_mm_mul_ps(radius, radius), m), _mm_set1_ps(RADIATION_K_F)));
            _mm_store_ps(rad, radius);
            for (int k = 0; k < 4; ++k) {
                StarRecord& s = stars[j + k];
                for (int c = 0; c < 3; ++c) s.colour[c] = static_cast<uint8_t>(colour[c][k]);
                s.key = key[k];
                s.luminosityCode = luminosityCode(key[k]);
                s.radius = rad[k];
                s.drawIndex = static_cast<uint16_t>(d + static_cast<uint32_t>(k));
            }
        }
    }
#endif
    for (; j < count; ++j) {
        const uint32_t d = firstDrawIndex + static_cast<uint32_t>(j);
        appearanceOfStar(stars[j], d, appearanceDraw(seed, d), band, channels);
    }
}
