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
};

uint32_t bitsOf(float f) { return std::bit_cast<uint32_t>(f); }
uint64_t bitsOf(double d) { return std::bit_cast<uint64_t>(d); }

// The range's ends and the special values, a stride through every positive
// float (subnormal, normal and overflowing results), and exact ties: odd m from
// 65 to 75 has a 25-bit m^4, and so has m * 2^k, also where the result is
// subnormal. Ties go to the even neighbour.
TEST(ExactPowFour, IsTheFourthPowerRoundedOnce) {
    Reference ref(24);
    const Reference::Fn fourthPower = [](mpfr_ptr r, mpfr_srcptr a, mpfr_rnd_t d) { return mpfr_pow_ui(r, a, 4, d); };
    std::vector<float> xs = {
        0x1p-37f,        // 2^-148: subnormal, exact
        0x1p-38f,        // 2^-152 rounds to zero
        0x1.8p-38f,      // 1.27 * 2^-150: above the tie between 0 and the smallest subnormal
        0x1.6a09e6p-38f, // 0.99999995 * 2^-150: below it
        0x1.fffffep31f,  // the largest finite result
        0x1p32f, std::numeric_limits<float>::infinity(), -0.0f,
        0x1.000002p0f,   // 1 + 4 * 2^-23 + 6 * 2^-46 + ...: the tail rounds away
    };
    for (uint32_t b = 1; b < 0x7F800000u; b += 0x7F800000u / 40009) xs.push_back(std::bit_cast<float>(b));
    for (int m = 65; m <= 75; m += 2)
        for (int k = -60; k <= 24; ++k) xs.push_back(std::ldexp(static_cast<float>(m), k));
    for (const float x : xs) {
        ASSERT_EQ(bitsOf(exactPowFour(x)), bitsOf(static_cast<float>(ref.of(fourthPower, x)))) << std::hexfloat << x;
        ASSERT_EQ(bitsOf(exactPowFour(-x)), bitsOf(exactPowFour(x))) << std::hexfloat << x;
    }
    EXPECT_EQ(exactPowFour(65.0f), 17850624.0f);  // 65^4 = 17850625, a tie: to the even neighbour
    EXPECT_TRUE(std::isnan(exactPowFour(std::numeric_limits<float>::quiet_NaN())));
}

// The range's ends, zeros, infinities and NaN, the exactly representable powers
// of ten, then random arguments: every result is MPFR's, rounded once. Beyond
// +-2^20 the argument of sin and cos is the exact remainder modulo the double
// nearest 2 pi.
TEST(ExactMath, EveryResultIsRoundedOnce) {
    Reference ref(53);
    const double nan = std::nan("");
    std::vector<double> exps = {0.0, -0.0, 709.78, 709.79, 1e300, -745.0, -746.0, -INF, nan};
    std::vector<double> tens = {-1, 308, -307, 309, -324, nan};
    for (int n = 0; n <= 22; ++n) tens.push_back(n);
    std::vector<double> trig = {0.0, 1e-300, INF, -INF, nan};
    // Near multiples of pi/2 a remainder of ~1e-16 decides the whole result.
    for (int k = -64; k <= 64; ++k) trig.push_back(k * 1.5707963267948966);
    for (int k : {1000, 12345, 99999, 400000, 667544}) trig.push_back(k * 1.5707963267948966);
    for (size_t k = 5, n = trig.size(); k < n; ++k) trig.push_back(std::nextafter(trig[k], INF));
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(-1, 1), decimal(-307.6, 308.2);
    const double expScales[3] = {708.3, 1, 1e-7}, trigScales[4] = {1, 1e-8, 20, 1048576};
    for (int i = 0; i < 40000; ++i) {
        exps.push_back(unit(rng) * expScales[i % 3]);
        // The view limits' arguments (m - 4.83)/5 + 1 densely, then the whole range.
        tens.push_back(i <= 12000 ? (4 + i * 0.001 - 4.83) / 5 + 1 : decimal(rng));
        trig.push_back(unit(rng) * trigScales[i % 4]);
    }
    const struct {
        double (*f)(double);
        Reference::Fn reference;
        const std::vector<double>& xs;
    } cases[] = {{exactExp, mpfr_exp, exps}, {exactPowTen, mpfr_exp10, tens}, {exactSin, mpfr_sin, trig},
                 {exactCos, mpfr_cos, trig}};
    for (const auto& c : cases) {
        for (const double x : c.xs) {
            const double expected = ref.of(c.reference, x);
            if (std::isnan(expected))
                ASSERT_TRUE(std::isnan(c.f(x))) << x;
            else
                ASSERT_EQ(bitsOf(c.f(x)), bitsOf(expected)) << std::hexfloat << x;
        }
    }
    for (double x : {0x1p20 + 0.5, 1e6 * 3.7, -1e15, 1e300}) {
        EXPECT_EQ(exactSin(x), exactSin(std::fmod(x, 6.283185307179586))) << x;
        EXPECT_EQ(exactCos(x), exactCos(std::fmod(x, 6.283185307179586))) << x;
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
