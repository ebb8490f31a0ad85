#include "starfield/appearance.h"

#include <bit>
#include <cmath>

#include "numeric/constants.h"
#include "starfield/voxel_random.h"

namespace {

const float RADIATION_K_F = static_cast<float>(toDouble(RADIATION_K));
constexpr float LOG2E_F = 1.442695f;
// e^a overflows a float from here on.
constexpr float EXP_OVERFLOW = 88.7227f;
constexpr float TINY_INTENSITY = 1e-36f;

}  // namespace

ChannelConstants channelConstantsFor(const float wavelength[3]) {
    const auto c1 = static_cast<float>(toDouble(TWO_H_C2));
    const auto c2 = static_cast<float>(toDouble(H_C_OVER_K));
    const auto four = static_cast<float>(toDouble(FOUR));
    ChannelConstants c;
    for (int i = 0; i < 3; ++i) {
        c.intensity[i] = std::pow(1.0f / wavelength[i], four) * c1;
        c.exponent[i] = c2 / wavelength[i];
    }
    return c;
}

float fastLog(float x) {
    const auto bits = std::bit_cast<uint32_t>(x);
    const auto e = static_cast<float>(static_cast<int32_t>((bits >> 23) & 0xFF) - 127);
    const float f = std::bit_cast<float>((bits & 0x007FFFFFu) | 0x3F800000u);
    return ((0.10969f * f - 0.729104f) * f + 2.11263f) * f - 1.49278f + 0.6931472f * e;
}

float fastExp2(float y) {
    const float fl = std::floor(y);
    const float g = y - fl;
    const float poly = (0.33718944f * g + 0.6576363f) * g + 1.0017247f;
    // 2^floor(y) built from its exponent field; beyond the normal range the
    // result is 0 or infinity (and a NaN stays a NaN).
    if (!(fl >= -126.0f)) return fl < -126.0f ? 0.0f : poly;
    if (fl > 127.0f) return INFINITY;
    const float scale = std::bit_cast<float>(static_cast<uint32_t>(static_cast<int32_t>(fl) + 127) << 23);
    return poly * scale;
}

float fastPow(float x, float b) { return fastExp2(LOG2E_F * b * fastLog(x)); }

uint32_t luminosityCode(float key) {
    const auto bits = std::bit_cast<uint32_t>(key);
    const uint32_t e = (bits >> 23) & 0xFF;
    const uint32_t m = bits & 0x007FFFFFu;
    uint32_t q = m >> 13;
    const uint32_t rest = m & 0x1FFF;
    if (rest > 0x1000 || (rest == 0x1000 && (q & 1))) ++q;
    return ((e - 137u) << 19) + ((1024u + q) << 7);
}

void appearanceOfGroup(StarRecord* stars, size_t count, uint32_t firstDrawIndex, uint64_t seed,
                       const BandAppearance& band, const ChannelConstants& channels) {
    const float f0 = band.f[0], f4 = band.f[4];
    for (size_t j = 0; j < count; ++j) {
        StarRecord& s = stars[j];
        const uint32_t drawIndex = firstDrawIndex + static_cast<uint32_t>(j);
        const uint32_t r = appearanceDraw(seed, drawIndex);
        const float radius = drawRadius(band, r);
        const float w = f4 * fastPow(radius, f0);
        float intensity[3];
        for (int c = 0; c < 3; ++c) {
            const float a = w * channels.exponent[c];
            intensity[c] = a >= EXP_OVERFLOW ? TINY_INTENSITY
                                             : channels.intensity[c] / (fastExp2(LOG2E_F * a) - 1.0f);
        }
        float m = intensity[0];
        if (intensity[1] > m) m = intensity[1];
        if (intensity[2] > m) m = intensity[2];
        for (int c = 0; c < 3; ++c) s.colour[c] = static_cast<uint8_t>(static_cast<int>(127.995f * intensity[c] / m));
        s.key = radius * radius * m * RADIATION_K_F;
        s.luminosityCode = luminosityCode(s.key);
        s.radius = radius;
        s.drawIndex = static_cast<uint16_t>(drawIndex);
    }
}
