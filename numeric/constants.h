// Program-wide constants.
//
// Every ExtFloat constant is built from integer and decimal literals with the
// ExtFloat operations, each from the ones before it, in exactly the order
// written (the operations are not associative bit for bit). They are constexpr,
// so the compiler folds them with the same integer code that runs at run time:
// the words are identical on every machine, and the star generator depends on
// that.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

#include "numeric/ext_float.h"

// e^x for the radiation constants: x * log2(e) split into integer part and
// fraction as in pow.
constexpr ExtFloat expNatural(ExtFloat x, ExtFloat log2e) {
    const ExtFloat y = mul(x, log2e);
    if (y.isZero()) return ExtFloat{0x4000000000008002ull};
    return xf::detail::exp2Scaled(y.mantissaWord(), y.exponent() - 32768);
}

// ---------------------------------------------------------------- small numbers
inline constexpr ExtFloat ONE = xf::fromInt32(1);
inline constexpr ExtFloat HALF{ONE.w - 1};
inline constexpr ExtFloat TWO = xf::fromInt32(2);
inline constexpr ExtFloat FOUR = xf::fromInt32(4);
inline constexpr ExtFloat SUN_LIFETIME_GYR = xf::fromDecimal(100, -1);  // main-sequence lifetime of the Sun, Gyr
inline constexpr ExtFloat GALAXY_AGE_GYR = xf::fromDecimal(136, -1);

// ------------------------------------------------- length unit and scales
// All lengths in the galaxy are counted in a unit of 10 000 metres.
inline constexpr ExtFloat UNIT_METRES = xf::fromInt32(10000);
inline constexpr ExtFloat PARSEC_METRES = xf::fromDecimal(3085677581, 7);
inline constexpr ExtFloat UNIT_PARSECS = div(UNIT_METRES, PARSEC_METRES);
inline constexpr double UNIT_PARSECS_DOUBLE = toDouble(UNIT_PARSECS);
inline constexpr ExtFloat LOCAL_DENSITY_PC3 = xf::fromDecimal(14, -2);  // stars per cubic parsec near the Sun
inline constexpr ExtFloat LOCAL_DENSITY =
    mul(UNIT_PARSECS, mul(UNIT_PARSECS, mul(UNIT_PARSECS, LOCAL_DENSITY_PC3)));  // stars per cubic unit

// ------------------------------------------------------ solar reference values
inline constexpr ExtFloat SUN_ABS_MAG = xf::fromDecimal(483, -2);
inline constexpr ExtFloat SUN_RADIUS = xf::fromDecimal(695508, -1);  // units
inline constexpr ExtFloat STAR_RADIUS_MAX = mul(xf::fromInt32(1700), SUN_RADIUS);
inline constexpr ExtFloat SUN_TEMPERATURE = xf::fromInt32(5778);  // kelvin
inline constexpr ExtFloat RADIATION_K = xf::fromDecimal(6753409389264, -20);

// ------------------------------------------- brightness scale of the display
// The distance at which a Sun-like star has apparent magnitude 9, and what follows from it.
inline constexpr ExtFloat MAG_LIMIT = xf::fromDecimal(90, -1);
inline constexpr ExtFloat SUN_DIST_AT_LIMIT_PC =
    pow(xf::fromInt32(10), add(div(sub(MAG_LIMIT, SUN_ABS_MAG), xf::fromInt32(5)), ONE));
inline constexpr ExtFloat SUN_DIST_AT_LIMIT = div(SUN_DIST_AT_LIMIT_PC, UNIT_PARSECS);
inline constexpr ExtFloat SCALE_FACTOR{0x6666666666667FFDull};  // 0.05, a stored word
inline constexpr ExtFloat SCALE_INV = div(ONE, mul(mul(SCALE_FACTOR, HALF), HALF));
inline constexpr ExtFloat LIMIT_RADIUS = div(SUN_DIST_AT_LIMIT, sqrt(SCALE_INV));
inline constexpr ExtFloat LIMIT_RADIUS_SQ = mul(LIMIT_RADIUS, LIMIT_RADIUS);
inline constexpr ExtFloat LIMIT_RADIUS_INV_SQ = div(ONE, LIMIT_RADIUS_SQ);

// --------------------------------------------- radiation constants (SI units)
inline constexpr ExtFloat LIGHT_SPEED = xf::fromUint64(299792458);
inline constexpr ExtFloat PLANCK = xf::fromDecimal(662607004, -42);
inline constexpr ExtFloat BOLTZMANN = xf::fromDecimal(1380649, -29);
inline constexpr ExtFloat TWO_H_C2 = mul(mul(mul(xf::fromInt32(2), PLANCK), LIGHT_SPEED), LIGHT_SPEED);
inline constexpr ExtFloat H_C_OVER_K = div(mul(LIGHT_SPEED, PLANCK), BOLTZMANN);
inline constexpr ExtFloat PEAK_X = xf::fromDecimal(3920690394872885953, -18);  // where x^4/(e^x - 1) peaks
inline constexpr ExtFloat PEAK_B = div(H_C_OVER_K, PEAK_X);
inline constexpr ExtFloat LOG2_E = xf::fromDecimal(1442695040888963407, -18);
inline constexpr ExtFloat PEAK_EXP = expNatural(div(H_C_OVER_K, PEAK_B), LOG2_E);
inline constexpr ExtFloat PLANCK_PEAK_NORM = div(div(TWO_H_C2, sub(PEAK_EXP, ONE)), pow(PEAK_B, FOUR));

constexpr ExtFloat expNatural(ExtFloat x) { return expNatural(x, LOG2_E); }

// ------------------------------------------------------------ other constants
inline constexpr const char* BRAND_FOLDER = "tarnwick";  // folder under the saved-games folder
inline constexpr const char* SAVE_FILE_NAME = "default.sav";
inline constexpr std::array<const char*, 1> DEVICE_EXTENSIONS = {"VK_KHR_swapchain"};
inline constexpr float INV_SUN_TEMPERATURE = static_cast<float>(toDouble(div(ONE, SUN_TEMPERATURE)));
inline constexpr double TWO_POW_64 = 18446744073709551616.0;
inline const float GOLDEN_RATIO = (std::sqrt(5.0f) + 1.0f) * 0.5f;
inline const float ICOSA_SCALE = 0.5f / std::sqrt(GOLDEN_RATIO * GOLDEN_RATIO + 1.0f);

// One named ExtFloat constant, for listings and checks.
struct NamedConstant {
    const char* name;
    ExtFloat value;
};

// Every ExtFloat constant above, in the order it is defined.
inline constexpr NamedConstant EXT_CONSTANTS[] = {
    {"ONE", ONE},
    {"HALF", HALF},
    {"TWO", TWO},
    {"FOUR", FOUR},
    {"SUN_LIFETIME_GYR", SUN_LIFETIME_GYR},
    {"GALAXY_AGE_GYR", GALAXY_AGE_GYR},
    {"UNIT_METRES", UNIT_METRES},
    {"PARSEC_METRES", PARSEC_METRES},
    {"UNIT_PARSECS", UNIT_PARSECS},
    {"LOCAL_DENSITY_PC3", LOCAL_DENSITY_PC3},
    {"LOCAL_DENSITY", LOCAL_DENSITY},
    {"SUN_ABS_MAG", SUN_ABS_MAG},
    {"SUN_RADIUS", SUN_RADIUS},
    {"STAR_RADIUS_MAX", STAR_RADIUS_MAX},
    {"SUN_TEMPERATURE", SUN_TEMPERATURE},
    {"RADIATION_K", RADIATION_K},
    {"MAG_LIMIT", MAG_LIMIT},
    {"SUN_DIST_AT_LIMIT_PC", SUN_DIST_AT_LIMIT_PC},
    {"SUN_DIST_AT_LIMIT", SUN_DIST_AT_LIMIT},
    {"SCALE_FACTOR", SCALE_FACTOR},
    {"SCALE_INV", SCALE_INV},
    {"LIMIT_RADIUS", LIMIT_RADIUS},
    {"LIMIT_RADIUS_SQ", LIMIT_RADIUS_SQ},
    {"LIMIT_RADIUS_INV_SQ", LIMIT_RADIUS_INV_SQ},
    {"LIGHT_SPEED", LIGHT_SPEED},
    {"PLANCK", PLANCK},
    {"BOLTZMANN", BOLTZMANN},
    {"TWO_H_C2", TWO_H_C2},
    {"H_C_OVER_K", H_C_OVER_K},
    {"PEAK_X", PEAK_X},
    {"PEAK_B", PEAK_B},
    {"LOG2_E", LOG2_E},
    {"PEAK_EXP", PEAK_EXP},
    {"PLANCK_PEAK_NORM", PLANCK_PEAK_NORM},
};

// ------------------------------------------------------- icosahedron tables
// The unit icosahedron the sphere meshes are subdivided from: 12 vertices
// (±1, ±phi, 0) and their cyclic permutations, and 20 faces with their three
// vertex indices, the three faces sharing an edge, and those edges' numbers.
struct IcosaFace {
    uint32_t vertex[3];
    uint32_t neighbour[3];
    uint32_t edge[3];
};

inline const std::array<std::array<float, 3>, 12> ICOSA_VERTICES = [] {
    const float p = GOLDEN_RATIO;
    return std::array<std::array<float, 3>, 12>{{
        {-1, p, 0}, {1, p, 0}, {-1, -p, 0}, {1, -p, 0},
        {0, -1, p}, {0, 1, p}, {0, -1, -p}, {0, 1, -p},
        {p, 0, -1}, {p, 0, 1}, {-p, 0, -1}, {-p, 0, 1},
    }};
}();

inline constexpr IcosaFace ICOSA_FACES[20] = {
    {{0, 11, 5}, {4, 6, 1}, {2, 0, 0}},   {{0, 5, 1}, {0, 5, 2}, {2, 0, 0}},
    {{0, 1, 7}, {1, 9, 3}, {2, 0, 0}},    {{0, 7, 10}, {2, 8, 4}, {2, 0, 0}},
    {{0, 10, 11}, {3, 7, 0}, {2, 0, 0}},  {{1, 5, 9}, {1, 15, 19}, {1, 1, 2}},
    {{5, 11, 4}, {0, 16, 15}, {1, 1, 2}}, {{11, 10, 2}, {4, 17, 16}, {1, 1, 2}},
    {{10, 7, 6}, {3, 18, 17}, {1, 1, 2}}, {{7, 1, 8}, {2, 19, 18}, {1, 1, 2}},
    {{3, 9, 4}, {14, 15, 11}, {2, 0, 0}}, {{3, 4, 2}, {10, 16, 12}, {2, 0, 0}},
    {{3, 2, 6}, {11, 17, 13}, {2, 0, 0}}, {{3, 6, 8}, {12, 18, 14}, {2, 0, 0}},
    {{3, 8, 9}, {13, 19, 10}, {2, 0, 0}}, {{4, 9, 5}, {10, 5, 6}, {1, 1, 2}},
    {{2, 4, 11}, {11, 6, 7}, {1, 1, 2}},  {{6, 2, 10}, {12, 7, 8}, {1, 1, 2}},
    {{8, 6, 7}, {13, 8, 9}, {1, 1, 2}},   {{9, 8, 1}, {14, 9, 5}, {1, 1, 2}},
};
