// The machine-independent elementary functions: every result exactly rounded,
// checked against MPFR, so that no machine's C library decides a bit.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "numeric/exact_math.h"

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

// MPFR set up for double (or float) results, subnormals included.
struct Reference {
    mpfr_t v;
    const mpfr_exp_t emin = mpfr_get_emin(), emax = mpfr_get_emax();
    explicit Reference(int precision) {
        mpfr_init2(v, precision);
        mpfr_set_emin(precision == 24 ? -148 : -1073);
        mpfr_set_emax(precision == 24 ? 128 : 1024);
    }
    ~Reference() {
        mpfr_clear(v);
        mpfr_set_emin(emin);
        mpfr_set_emax(emax);
    }
    using Fn = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
    double of(Fn f, double x) {
        mpfr_set_d(v, x, MPFR_RNDN);
        const int inexact = f(v, v, MPFR_RNDN);
        mpfr_subnormalize(v, inexact, MPFR_RNDN);
        return mpfr_get_d(v, MPFR_RNDN);
    }
    float fourthPower(float x) {
        return static_cast<float>(of([](mpfr_ptr r, mpfr_srcptr a, mpfr_rnd_t d) { return mpfr_pow_ui(r, a, 4, d); }, x));
    }
};

uint32_t bitsOf(float f) { return std::bit_cast<uint32_t>(f); }
uint64_t bitsOf(double d) { return std::bit_cast<uint64_t>(d); }

TEST(ExactPowFour, IsTheFourthPowerRoundedOnce) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, float> rows[] = {
        {3.0f, 81.0f}, {0.5f, 0.0625f}, {0x1p31f, 0x1p124f},
        {0x1p-37f, 0x1p-148f},                // subnormal, exact
        {0x1p-38f, 0.0f},                     // 2^-152 rounds to zero
        {0x1.8p-38f, 0x1p-149f},              // 1.27 * 2^-150: above the tie between 0 and the smallest subnormal
        {0x1.6a09e6p-38f, 0.0f},              // 0.99999995 * 2^-150: below it
        {0x1.fffffep31f, 0x1.fffff8p127f},    // the largest finite result
        {0x1p32f, inf}, {-inf, inf}, {-0.0f, 0.0f},
        {0x1.000002p0f, 0x1.000008p0f},       // 1 + 4 * 2^-23 + 6 * 2^-46 + ...: the tail rounds away
        {65.0f, 17850624.0f},                 // 65^4 = 17850625, a tie: to the even neighbour
    };
    for (const auto& [x, expected] : rows) EXPECT_EQ(bitsOf(exactPowFour(x)), bitsOf(expected)) << std::hexfloat << x;
    EXPECT_TRUE(std::isnan(exactPowFour(std::numeric_limits<float>::quiet_NaN())));
    // A stride through every positive float: subnormal, normal and overflowing results.
    Reference ref(24);
    for (uint32_t b = 1; b < 0x7F800000u; b += 0x7F800000u / 40009) {
        const float x = std::bit_cast<float>(b);
        ASSERT_EQ(bitsOf(exactPowFour(x)), bitsOf(ref.fourthPower(x))) << std::hexfloat << x;
        ASSERT_EQ(bitsOf(exactPowFour(-x)), bitsOf(exactPowFour(x))) << std::hexfloat << x;
    }
    // Exact ties: odd m from 65 to 75 has a 25-bit m^4; so has m * 2^k, also
    // where the result is subnormal. Ties go to the even neighbour.
    for (int m = 65; m <= 75; m += 2)
        for (int k = -60; k <= 24; ++k) {
            const float x = std::ldexp(static_cast<float>(m), k);
            ASSERT_EQ(bitsOf(exactPowFour(x)), bitsOf(ref.fourthPower(x))) << m << " * 2^" << k;
        }
}

// Edge values of the double functions; NaN expected means any NaN.
struct DoubleCase {
    double (*f)(double);
    double x, expected;
};

TEST(ExactMath, SpecialValuesAndRangeEnds) {
    const double nan = std::nan("");
    const DoubleCase rows[] = {
        {exactExp, 0.0, 1.0}, {exactExp, -0.0, 1.0}, {exactExp, 709.79, INF}, {exactExp, 1e300, INF},
        {exactExp, -745.0, std::numeric_limits<double>::denorm_min()},  // 0.57 of it
        {exactExp, -746.0, 0.0}, {exactExp, -INF, 0.0}, {exactExp, nan, nan},
        {exactPowTen, -1, 0.1}, {exactPowTen, 308, 1e308}, {exactPowTen, -307, 1e-307}, {exactPowTen, 309, INF},
        {exactPowTen, -324, 0.0}, {exactPowTen, nan, nan},
        {exactSin, 0.0, 0.0}, {exactCos, 0.0, 1.0}, {exactSin, 1e-300, 1e-300},
        {exactSin, INF, nan}, {exactCos, -INF, nan}, {exactSin, nan, nan},
    };
    for (const DoubleCase& c : rows) {
        if (std::isnan(c.expected))
            EXPECT_TRUE(std::isnan(c.f(c.x))) << c.x;
        else
            EXPECT_EQ(c.f(c.x), c.expected) << c.x;
    }
    // Integer exponents give the exactly representable powers exactly.
    double p = 1;
    for (int n = 0; n <= 22; ++n, p *= 10) EXPECT_EQ(exactPowTen(n), p) << n;
    Reference ref(53);
    EXPECT_EQ(exactExp(709.78), ref.of(mpfr_exp, 709.78));  // just below the top
    // Beyond +-2^20 the exact remainder modulo the double nearest 2 pi.
    for (double x : {0x1p20 + 0.5, 1e6 * 3.7, -1e15, 1e300}) {
        EXPECT_EQ(exactSin(x), exactSin(std::fmod(x, 6.283185307179586))) << x;
        EXPECT_EQ(exactCos(x), exactCos(std::fmod(x, 6.283185307179586))) << x;
    }
}

TEST(ExactMath, RandomArgumentsAreRoundedOnce) {
    Reference ref(53);
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(-1, 1), decimal(-307.6, 308.2);
    const double expScales[3] = {708.3, 1, 1e-7}, trigScales[4] = {1, 1e-8, 20, 1048576};
    // Near multiples of pi/2 a remainder of ~1e-16 decides the whole result.
    std::vector<double> trig;
    for (int k = -64; k <= 64; ++k) trig.push_back(k * 1.5707963267948966);
    for (int k : {1000, 12345, 99999, 400000, 667544}) trig.push_back(k * 1.5707963267948966);
    for (size_t k = 0, n = trig.size(); k < n; ++k) trig.push_back(std::nextafter(trig[k], INF));
    for (int i = 0; i < 40000; ++i) {
        const double x = unit(rng) * expScales[i % 3];
        ASSERT_EQ(bitsOf(exactExp(x)), bitsOf(ref.of(mpfr_exp, x))) << std::hexfloat << x;
        // The view limits' arguments (m - 4.83)/5 + 1 densely, then the whole range.
        const double y = i <= 12000 ? (4 + i * 0.001 - 4.83) / 5 + 1 : decimal(rng);
        ASSERT_EQ(bitsOf(exactPowTen(y)), bitsOf(ref.of(mpfr_exp10, y))) << std::hexfloat << y;
        trig.push_back(unit(rng) * trigScales[i % 4]);
    }
    for (double t : trig) {
        ASSERT_EQ(bitsOf(exactSin(t)), bitsOf(ref.of(mpfr_sin, t))) << std::hexfloat << t;
        ASSERT_EQ(bitsOf(exactCos(t)), bitsOf(ref.of(mpfr_cos, t))) << std::hexfloat << t;
    }
}

// Truncated inside the range, the nearest end outside; NaN (and negatives unsigned) 0.
TEST(SaturatingConversions, TruncateInsideAndSaturateOutside) {
    const std::pair<double, int64_t> signedRows[] = {
        {-2.9, -2}, {2.9, 2}, {-0.0, 0}, {std::nan(""), 0},
        {0x1.fffffffffffffp62, INT64_C(0x7FFFFFFFFFFFFC00)},  // largest double below 2^63
        {0x1p63, INT64_MAX}, {1e300, INT64_MAX}, {INF, INT64_MAX},
        {-0x1p63, INT64_MIN},  // representable: exact
        {-0x1.0000000000001p63, INT64_MIN}, {-INF, INT64_MIN},
    };
    for (const auto& [v, n] : signedRows) EXPECT_EQ(saturatingInt64(v), n) << v;
    const std::pair<double, uint64_t> unsignedRows[] = {
        {2.9, 2}, {0x1p63, UINT64_C(1) << 63}, {0x1.fffffffffffffp63, UINT64_C(0xFFFFFFFFFFFFF800)},
        {0x1p64, UINT64_MAX}, {INF, UINT64_MAX}, {-1.0, 0}, {-INF, 0}, {std::nan(""), 0},
    };
    for (const auto& [v, n] : unsignedRows) EXPECT_EQ(saturatingUint64(v), n) << v;
}

}  // namespace
