#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

#include "numeric/constants.h"
#include "starfield/appearance.h"
#include "starfield/voxel_random.h"

namespace {

// The logarithm over many decades, the exponential with its underflow and
// overflow, and the power built from them.
TEST(FastMath, LogExpAndPowerAreClose) {
    for (double x = 1e-30; x < 1e30; x *= 1.37) EXPECT_NEAR(fastLog(float(x)), std::log(float(x)), 0.01) << x;
    EXPECT_NEAR(fastLog(1.0f), 0.0f, 0.01f);
    for (float y = -120; y < 120; y += 0.173f) EXPECT_NEAR(fastExp2(y) / std::exp2(y), 1.0, 0.005) << y;
    EXPECT_EQ(fastExp2(-200.0f), 0.0f);
    EXPECT_TRUE(std::isinf(fastExp2(200.0f)));
    EXPECT_NEAR(fastPow(8.0f, 1.0f / 3.0f), 2.0f, 0.02f);
    EXPECT_NEAR(fastPow(0.5f, 2.0f), 0.25f, 0.003f);
    EXPECT_NEAR(fastPow(123.0f, 0.0f), 1.0f, 0.002f);
}

TEST(LuminosityCode, ExponentAndRoundedMantissa) {
    const std::pair<float, uint32_t> rows[] = {
        {1024.0f, 1024u << 7},                         // 2^10: biased exponent 137, mantissa 0
        {3072.0f, (1u << 19) + (1536u << 7)},          // 1.5 * 2^11: one exponent up, mantissa half
        {std::bit_cast<float>((137u << 23) | 0x1000u), 1024u << 7},    // 1024.5 ties to the even 1024
        {std::bit_cast<float>((137u << 23) | 0x3000u), 1026u << 7},    // 1025.5 ties to the even 1026
        {std::bit_cast<float>((137u << 23) | 0x7FFFFFu), 2048u << 7},  // the top rounds up at the same exponent
        {1.0f, static_cast<uint32_t>(-10) * (1u << 19) + (1024u << 7)},  // wraps modulo 2^32, as the shader expects
    };
    for (auto [key, code] : rows) EXPECT_EQ(luminosityCode(key), code) << key;
}

TEST(ChannelConstants, FollowThePlanckFactors) {
    const ChannelConstants c = channelConstantsFor(DEFAULT_WAVELENGTHS);
    const double hcOverK = toDouble(H_C_OVER_K);
    const double twoHc2 = toDouble(TWO_H_C2);
    for (int i = 0; i < 3; ++i) {
        const double w = DEFAULT_WAVELENGTHS[i];
        EXPECT_NEAR(c.exponent[i] / (hcOverK / w), 1.0, 1e-6);
        EXPECT_NEAR(c.intensity[i] / (twoHc2 / (w * w * w * w)), 1.0, 1e-5);
    }
    // Bluer channels have the larger exponent factor.
    EXPECT_LT(c.exponent[0], c.exponent[2]);
}

BandAppearance sunLikeBand() {
    BandAppearance b;
    const float f[5] = {-0.5f, 1.0f, 1.0f, 0.5f, 1.0f / 5778.0f};  // R = (u f1 + f3)^f2 = u + 0.5, 1/T = f4 R^f0
    std::copy(f, f + 5, b.f);
    b.hidden = 0.0f;
    b.band = std::ldexp(1.0f, -31);
    return b;
}

TEST(Appearance, DrawIndicesAndDisplayValues) {
    StarRecord stars[6];
    const ChannelConstants c = channelConstantsFor(DEFAULT_WAVELENGTHS);
    appearanceOfGroup(stars, 6, 8, 1234, sunLikeBand(), c);
    for (int j = 0; j < 6; ++j) {
        const StarRecord& s = stars[j];
        EXPECT_EQ(s.drawIndex, 8 + j);
        // R = u + 0.5 with u the draw in [0, 1)
        const float u = static_cast<float>(appearanceDraw(1234, 8 + j)) * std::ldexp(1.0f, -31);
        EXPECT_NEAR(s.radius, u + 0.5f, 0.01f * (u + 0.5f));
        EXPECT_EQ(s.luminosityCode, luminosityCode(s.key));
        EXPECT_GT(s.key, 0.0f);
        // The brightest channel is scaled to 127.
        EXPECT_EQ(std::max(s.colour[0], std::max(s.colour[1], s.colour[2])), 127);
    }
    // A star far too cold: every e^a overflows, all intensities underflow: white.
    BandAppearance cold = sunLikeBand();
    cold.f[4] = 1.0f;
    appearanceOfGroup(stars, 1, 0, 99, cold, c);
    EXPECT_TRUE(stars[0].colour[0] == 127 && stars[0].colour[1] == 127 && stars[0].colour[2] == 127);
}

TEST(Appearance, FourAtATimeGivesExactlyTheOneByOneValues) {
    const ChannelConstants c = channelConstantsFor(DEFAULT_WAVELENGTHS);
    // Bands of very different stars: cool dwarfs to hot giants, tiny to huge radii.
    for (float f2 : {0.3f, 0.8f, 1.7f}) {
        for (float f4 : {1.0f / 2500.0f, 1.0f / 5778.0f, 1.0f / 40000.0f, 0.01f}) {
            BandAppearance b = sunLikeBand();
            b.f[2] = f2;
            b.f[4] = f4;
            b.f[1] = 37.0f;
            b.hidden = 0.25f;
            b.band = std::ldexp(0.5f, -31);
            StarRecord group[23], single;
            appearanceOfGroup(group, 23, 4, 0xfeedull, b, c);
            for (uint32_t j = 0; j < 23; ++j) {
                appearanceOfStar(single, 4 + j, appearanceDraw(0xfeedull, 4 + j), b, c);
                ASSERT_EQ(std::memcmp(&single, &group[j], sizeof single), 0) << j;
            }
        }
    }
}

TEST(Appearance, ColourLevelsOfDegenerateRatiosAreFixed) {
    // Intensity factors no wavelength gives: negative ones make the brightest
    // channel tiny against the others, whose ratios then lie far beyond the
    // 32-bit range; zero ones give 0/0. C++ leaves those conversions undefined
    // and processors differ (x86 gives -2^31, AArch64 saturates), so the
    // levels are fixed at those of the four-lane conversion: 0.
    ChannelConstants c = channelConstantsFor(DEFAULT_WAVELENGTHS);
    c.intensity[0] = c.intensity[2] = -1.0f;
    c.intensity[1] = -1e-30f;
    ChannelConstants dark = c;
    dark.intensity[0] = dark.intensity[1] = dark.intensity[2] = 0.0f;
    for (const ChannelConstants& channels : {c, dark}) {
        const int expectedMiddle = channels.intensity[1] == 0 ? 0 : 127;
        StarRecord group[8], single;
        appearanceOfGroup(group, 8, 0, 4321, sunLikeBand(), channels);
        for (uint32_t j = 0; j < 8; ++j) {
            appearanceOfStar(single, j, appearanceDraw(4321, j), sunLikeBand(), channels);
            for (const StarRecord* s : {&group[j], &single})
                EXPECT_TRUE(s->colour[0] == 0 && s->colour[1] == expectedMiddle && s->colour[2] == 0) << j;
        }
    }
}

TEST(PointRecord, ShiftKeepsTwentyFiveSignificantBits) {
    StarRecord s;
    s.colour[0] = 1;
    s.colour[1] = 2;
    s.colour[2] = 3;
    s.luminosityCode = 0x123456;
    PointRecord r = makePointRecord(s);  // at the origin: no shift
    EXPECT_EQ(r.w[0], 1u);
    EXPECT_EQ(r.w[3], 0x123456u << 6);
    s.x = int64_t{1} << 40;  // 41 significant bits: shift 17
    s.y = -(int64_t{1} << 40);
    r = makePointRecord(s);
    EXPECT_EQ(r.w[3] & 63, 17u);
    EXPECT_EQ(r.w[0], (uint32_t{1} << 23 << 7) + 1);
    EXPECT_EQ(r.w[1], static_cast<uint32_t>(-(int32_t{1} << 23)) * 128u + 2);
    const int64_t origin[3] = {int64_t{1} << 40, 0, 0};
    const PointRecord n = makeNearRecord(s, origin);
    EXPECT_EQ(n.w[0], 1u);  // at the origin along x
    EXPECT_EQ(n.w[3] & 63, 17u);
    EXPECT_EQ(n.w[3] >> 13, 0x123456u >> 7);
}

}  // namespace
