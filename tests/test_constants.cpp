#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <utility>

#include "numeric/constants.h"

namespace {

long double ld(ExtFloat a) { return std::ldexp(static_cast<long double>(a.mantissaWord() >> 16), a.exponent() - 32816); }

// Exact words of the constants other code compares against bit for bit.
TEST(Constants, ExactWords) {
    const std::pair<ExtFloat, uint64_t> words[] = {
        {ONE, 0x4000000000008002ull},          {HALF, 0x4000000000008001ull},
        {TWO, 0x4000000000008003ull},          {FOUR, 0x4000000000008004ull},
        {SUN_LIFETIME_GYR, 0x5000000000008005ull}, {GALAXY_AGE_GYR, 0x6CCCCCCCCCCC8005ull},
        {UNIT_PARSECS, 0x5B38469DBA8D7FD8ull}, {SCALE_FACTOR, 0x6666666666667FFDull},
        {xf::fromInt32(80), SCALE_INV.w},
    };
    for (const auto& [c, w] : words) EXPECT_EQ(c.w, w) << std::hex << w;
    // One unit of the last mantissa bit of 1.0 is 2^-46 above and 2^-47 below.
    EXPECT_LE(std::fabs(ld(mul(LIMIT_RADIUS_SQ, LIMIT_RADIUS_INV_SQ)) - 1.0L), std::ldexp(1.0L, -46));
}

// Every constant of the table against its value to the digits quoted for it:
// half a unit of the last quoted digit.
TEST(Constants, ValuesMatchTheirQuotedDigits) {
    const std::pair<const char*, const char*> quoted[] = {
        {"ONE", "1"}, {"HALF", "0.5"}, {"TWO", "2"}, {"FOUR", "4"}, {"SUN_LIFETIME_GYR", "10"},
        {"GALAXY_AGE_GYR", "13.6"}, {"UNIT_METRES", "10000"}, {"PARSEC_METRES", "3.085677581e16"},
        {"UNIT_PARSECS", "3.24077929e-13"}, {"LOCAL_DENSITY_PC3", "0.14"}, {"LOCAL_DENSITY", "4.76514807e-39"},
        {"SUN_ABS_MAG", "4.83"}, {"SUN_RADIUS", "69550.8"}, {"STAR_RADIUS_MAX", "118236360"},
        {"SUN_TEMPERATURE", "5778"}, {"RADIATION_K", "6.753409389e-8"}, {"MAG_LIMIT", "9.0"},
        {"SUN_DIST_AT_LIMIT_PC", "68.23386941"}, {"SUN_DIST_AT_LIMIT", "2.105477211e14"},
        {"SCALE_FACTOR", "0.05"}, {"SCALE_INV", "80"}, {"LIMIT_RADIUS", "2.353995085e13"},
        {"LIMIT_RADIUS_SQ", "5.541292858e26"}, {"LIMIT_RADIUS_INV_SQ", "1.804633008e-27"},
        {"LIGHT_SPEED", "299792458"}, {"PLANCK", "6.62607004e-34"}, {"BOLTZMANN", "1.380649e-23"},
        {"TWO_H_C2", "1.191042953e-16"}, {"H_C_OVER_K", "0.01438776854"}, {"PEAK_X", "3.920690395"},
        {"PEAK_B", "0.003669702804"}, {"LOG2_E", "1.442695041"}, {"PEAK_EXP", "50.435253"},
        {"PLANCK_PEAK_NORM", "1.328516913e-8"},
    };
    std::set<std::string> seen;
    for (const NamedConstant& c : EXT_CONSTANTS) {
        const char* q = nullptr;
        for (const auto& [name, value] : quoted)
            if (std::strcmp(name, c.name) == 0) q = value;
        ASSERT_NE(q, nullptr) << c.name << " has no quoted value";
        EXPECT_TRUE(seen.insert(c.name).second) << c.name << " listed twice";
        int digits = 0;  // significant digits of the quoted text
        for (const char* p = q; *p && *p != 'e'; ++p) digits += *p >= '0' && *p <= '9' && (digits || *p != '0');
        const long double expected = std::strtold(q, nullptr), got = ld(c.value);
        const long double tolerance = 0.5L * std::pow(10.0L, 1 - digits) * std::fabs(expected);
        EXPECT_LE(std::fabs(got - expected), tolerance + std::ldexp(std::fabs(expected), -45))
            << c.name << " = " << static_cast<double>(got) << ", quoted " << q;
    }
    EXPECT_EQ(seen.size(), std::size(quoted));
}

// The quantities built from others, recomputed from their inputs.
TEST(Constants, DerivedValuesAgreeWithLongDouble) {
    EXPECT_NEAR(UNIT_PARSECS_DOUBLE, 1e4 / 3.085677581e16, 1e-12 * 1e4 / 3.085677581e16);
    const long double distPc = std::pow(10.0L, (9.0L - 4.83L) / 5 + 1);
    EXPECT_NEAR(static_cast<double>(ld(SUN_DIST_AT_LIMIT_PC) / distPc), 1.0, 1e-12);
    EXPECT_NEAR(static_cast<double>(ld(LIMIT_RADIUS) / (ld(SUN_DIST_AT_LIMIT) / std::sqrt(80.0L))), 1.0, 1e-12);
    EXPECT_NEAR(static_cast<double>(ld(PEAK_EXP) / std::exp(ld(H_C_OVER_K) / ld(PEAK_B))), 1.0, 1e-12);
    EXPECT_NEAR(static_cast<double>(ld(LOG2_E) * std::log(2.0L)), 1.0, 1e-13);
    EXPECT_FLOAT_EQ(INV_SUN_TEMPERATURE, 1.0f / 5778.0f);
}

// e^x as the start-up constants use it: x log2(e) split as in pow. The factor
// LOG2_E is truncated to 47 bits, so the relative error grows like |x| 2^-46
// on top of about one unit of the last place.
TEST(Constants, NaturalExponential) {
    EXPECT_EQ(expNatural(ExtFloat{}), ONE);
    long double worst = 0;
    for (int i = -2000; i <= 2000; ++i) {
        const ExtFloat ex = xf::fromDouble(static_cast<double>(i / 100.0L + 0.003L));
        const long double rel = std::fabs(ld(expNatural(ex)) / std::exp(ld(ex)) - 1.0L) / std::ldexp(1.0L, -46);
        worst = std::max(worst, rel / (1.1L + 2.0L * std::fabs(ld(ex))));
    }
    EXPECT_LT(worst, 1.0L);
}

// The twelve vertices, scaled, lie on a sphere of radius 1/2 and are
// distinct; every face is equilateral (edge 2 unscaled) and all wind alike;
// face f's neighbour j shares f's edge j (from vertex j to vertex j+1) as its
// own edge number edge[j], whose neighbour in turn is f.
TEST(Icosahedron, VerticesFacesAndNeighbours) {
    for (size_t i = 0; i < ICOSA_VERTICES.size(); ++i) {
        float r2 = 0;
        for (float c : ICOSA_VERTICES[i]) r2 += (c * ICOSA_SCALE) * (c * ICOSA_SCALE);
        EXPECT_NEAR(std::sqrt(r2), 0.5f, 1e-6f) << "vertex " << i;
        for (size_t j = i + 1; j < 12; ++j) EXPECT_NE(ICOSA_VERTICES[i], ICOSA_VERTICES[j]) << i << " " << j;
    }
    int outward = 0;
    for (uint32_t f = 0; f < 20; ++f) {
        const IcosaFace& face = ICOSA_FACES[f];
        const auto &a = ICOSA_VERTICES[face.vertex[0]], &b = ICOSA_VERTICES[face.vertex[1]],
                   &c = ICOSA_VERTICES[face.vertex[2]];
        for (const auto& [p, q] : {std::pair{a, b}, std::pair{b, c}, std::pair{c, a}})
            EXPECT_NEAR(std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]), 2.0f, 1e-5f) << f;
        const float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        const float v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        const float n[3] = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]};
        if (n[0] * a[0] + n[1] * a[1] + n[2] * a[2] > 0) ++outward;
        for (int j = 0; j < 3; ++j) {
            const uint32_t g = face.neighbour[j], k = face.edge[j];
            ASSERT_TRUE(g < 20 && k < 3 && g != f) << "face " << f << " edge " << j;
            const IcosaFace& other = ICOSA_FACES[g];
            const std::set<uint32_t> mine{face.vertex[j], face.vertex[(j + 1) % 3]};
            const std::set<uint32_t> theirs{other.vertex[k], other.vertex[(k + 1) % 3]};
            EXPECT_EQ(mine, theirs) << "face " << f << " edge " << j;
            EXPECT_EQ(other.neighbour[k], f) << "face " << f << " edge " << j;
            EXPECT_EQ(other.edge[k], static_cast<uint32_t>(j)) << "face " << f << " edge " << j;
        }
    }
    EXPECT_TRUE(outward == 0 || outward == 20) << outward << " of 20 faces wind outward";
}

}  // namespace
