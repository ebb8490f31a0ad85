// The machine-independent elementary functions: every result must be the
// exactly rounded value, checked against MPFR at many arguments (edge values
// included), so that no machine's C library decides a bit.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "numeric/exact_math.h"

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

// MPFR set up for double (or float) results, subnormals included.
struct Reference {
    mpfr_t v;
    mpfr_exp_t emin, emax;
    explicit Reference(int precision) : emin(mpfr_get_emin()), emax(mpfr_get_emax()) {
        mpfr_init2(v, precision);
        if (precision == 24) {
            mpfr_set_emin(-148);
            mpfr_set_emax(128);
        } else {
            mpfr_set_emin(-1073);
            mpfr_set_emax(1024);
        }
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
        mpfr_set_flt(v, x, MPFR_RNDN);
        const int inexact = mpfr_pow_ui(v, v, 4, MPFR_RNDN);
        mpfr_subnormalize(v, inexact, MPFR_RNDN);
        return mpfr_get_flt(v, MPFR_RNDN);
    }
};

uint32_t bitsOf(float f) { return std::bit_cast<uint32_t>(f); }
uint64_t bitsOf(double d) { return std::bit_cast<uint64_t>(d); }

TEST(ExactPowFour, IsTheFourthPowerRoundedOnceOverTheWholeFloatRange) {
    Reference ref(24);
    // A stride through every positive float, so that all exponents are met:
    // results that are subnormal, normal, just below and beyond the top.
    int checked = 0;
    for (uint32_t b = 1; b < 0x7F800000u; b += 0x7F800000u / 40009) {
        const float x = std::bit_cast<float>(b);
        ASSERT_EQ(bitsOf(exactPowFour(x)), bitsOf(ref.fourthPower(x))) << std::hexfloat << x;
        ASSERT_EQ(bitsOf(exactPowFour(-x)), bitsOf(exactPowFour(x))) << std::hexfloat << x;
        ++checked;
    }
    EXPECT_GT(checked, 40000);
    // The channel constants' arguments: 1/wavelength for visible light.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> reciprocal(1.2e6f, 3.5e6f);
    for (int i = 0; i < 20000; ++i) {
        const float x = reciprocal(rng);
        ASSERT_EQ(bitsOf(exactPowFour(x)), bitsOf(ref.fourthPower(x))) << std::hexfloat << x;
    }
}

TEST(ExactPowFour, ExactCasesTiesAndSpecialValues) {
    EXPECT_EQ(exactPowFour(3.0f), 81.0f);
    EXPECT_EQ(exactPowFour(0.5f), 0.0625f);
    EXPECT_EQ(exactPowFour(0x1p31f), 0x1p124f);
    EXPECT_EQ(exactPowFour(0x1p-37f), 0x1p-148f);  // subnormal, exact
    EXPECT_EQ(exactPowFour(0x1p-38f), 0.0f);       // 2^-152 rounds to zero
    // (1.5 * 2^-38)^4 = 1.27 * 2^-150 lies above the tie between 0 and the
    // smallest subnormal; (1.4142135 * 2^-38)^4 = 0.99999995 * 2^-150 below it.
    EXPECT_EQ(exactPowFour(0x1.8p-38f), 0x1p-149f);
    EXPECT_EQ(exactPowFour(0x1.6a09e6p-38f), 0.0f);
    EXPECT_EQ(exactPowFour(0x1.fffffep31f), 0x1.fffff8p127f);  // the largest finite result
    EXPECT_EQ(exactPowFour(0x1p32f), std::numeric_limits<float>::infinity());
    EXPECT_EQ(bitsOf(exactPowFour(-0.0f)), 0u);
    EXPECT_EQ(exactPowFour(-std::numeric_limits<float>::infinity()), std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(exactPowFour(std::numeric_limits<float>::quiet_NaN())));
    // (1 + 2^-23)^4 = 1 + 4 * 2^-23 + 6 * 2^-46 + ...: the tail rounds away.
    EXPECT_EQ(exactPowFour(0x1.000002p0f), 0x1.000008p0f);
    // Exact ties: an odd m from 65 to 75 has an m^4 of 25 bits ending in 1,
    // half a unit of the 24 kept; so has m * 2^k, also where the result is
    // subnormal and fewer bits are kept. Ties go to the even neighbour.
    EXPECT_EQ(exactPowFour(65.0f), 17850624.0f);  // 65^4 = 17850625
    Reference ref(24);
    for (int m = 65; m <= 75; m += 2)
        for (int k = -60; k <= 24; ++k) {
            const float x = std::ldexp(static_cast<float>(m), k);
            ASSERT_EQ(bitsOf(exactPowFour(x)), bitsOf(ref.fourthPower(x))) << m << " * 2^" << k;
        }
}

TEST(ExactExp, IsTheExponentialRoundedOnce) {
    Reference ref(53);
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int i = 0; i < 40000; ++i) {
        // The range of normal results, near zero, and tiny arguments.
        const double scales[3] = {708.3, 1, 1e-7};
        const double x = unit(rng) * scales[i % 3];
        ASSERT_EQ(bitsOf(exactExp(x)), bitsOf(ref.of(mpfr_exp, x))) << std::hexfloat << x;
    }
    EXPECT_EQ(exactExp(0.0), 1.0);
    EXPECT_EQ(exactExp(-0.0), 1.0);
    EXPECT_EQ(exactExp(709.78), ref.of(mpfr_exp, 709.78));  // just below the top
    EXPECT_EQ(exactExp(709.79), INF);
    EXPECT_EQ(exactExp(1e300), INF);
    EXPECT_EQ(exactExp(-745.0), std::numeric_limits<double>::denorm_min());  // 0.57 of it
    EXPECT_EQ(exactExp(-746.0), 0.0);
    EXPECT_EQ(exactExp(-INF), 0.0);
    EXPECT_TRUE(std::isnan(exactExp(std::nan(""))));
}

TEST(ExactPowTen, IsTheDecimalPowerRoundedOnce) {
    Reference ref(53);
    // Integer exponents give the exactly representable powers exactly.
    double p = 1;
    for (int n = 0; n <= 22; ++n, p *= 10) EXPECT_EQ(exactPowTen(n), p) << n;
    EXPECT_EQ(exactPowTen(-1), 0.1);
    EXPECT_EQ(exactPowTen(308), 1e308);
    EXPECT_EQ(exactPowTen(-307), 1e-307);
    EXPECT_EQ(exactPowTen(309), INF);
    EXPECT_EQ(exactPowTen(-324), 0.0);
    EXPECT_TRUE(std::isnan(exactPowTen(std::nan(""))));
    // The view limits' arguments, (m - 4.83)/5 + 1 for magnitudes m of 4..16,
    // densely, then the whole range at random.
    for (int i = 0; i <= 12000; ++i) {
        const double y = (4 + i * 0.001 - 4.83) / 5 + 1;
        ASSERT_EQ(bitsOf(exactPowTen(y)), bitsOf(ref.of(mpfr_exp10, y))) << std::hexfloat << y;
    }
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> range(-307.6, 308.2);  // normal results
    for (int i = 0; i < 20000; ++i) {
        const double y = range(rng);
        ASSERT_EQ(bitsOf(exactPowTen(y)), bitsOf(ref.of(mpfr_exp10, y))) << std::hexfloat << y;
    }
}

TEST(ExactSinCos, AreRoundedOnceIncludingNearMultiplesOfHalfPi) {
    Reference ref(53);
    std::mt19937_64 rng(17);
    std::uniform_real_distribution<double> unit(-1, 1);
    const double scales[4] = {1, 1e-8, 20, 1048576};
    for (int i = 0; i < 40000; ++i) {
        const double x = unit(rng) * scales[i % 4];
        ASSERT_EQ(bitsOf(exactSin(x)), bitsOf(ref.of(mpfr_sin, x))) << std::hexfloat << x;
        ASSERT_EQ(bitsOf(exactCos(x)), bitsOf(ref.of(mpfr_cos, x))) << std::hexfloat << x;
    }
    // The doubles nearest to multiples of pi/2 leave a remainder of ~1e-16
    // that all of the result depends on.
    std::vector<int> multiples;
    for (int k = -64; k <= 64; ++k) multiples.push_back(k);
    for (int k : {1000, 12345, 99999, 400000, 667544}) multiples.push_back(k);
    for (int k : multiples) {
        for (double x : {k * 1.5707963267948966, std::nextafter(k * 1.5707963267948966, INF)}) {
            ASSERT_EQ(bitsOf(exactSin(x)), bitsOf(ref.of(mpfr_sin, x))) << k;
            ASSERT_EQ(bitsOf(exactCos(x)), bitsOf(ref.of(mpfr_cos, x))) << k;
        }
    }
    EXPECT_EQ(exactSin(0.0), 0.0);
    EXPECT_EQ(exactCos(0.0), 1.0);
    EXPECT_EQ(exactSin(1e-300), 1e-300);
}

TEST(ExactSinCos, HugeArgumentsUseTheExactRemainderAndNonFiniteGiveNaN) {
    const double twoPi = 6.283185307179586;
    for (double x : {0x1p20 + 0.5, 1e6 * 3.7, -1e15, 1e300}) {
        EXPECT_EQ(exactSin(x), exactSin(std::fmod(x, twoPi))) << x;
        EXPECT_EQ(exactCos(x), exactCos(std::fmod(x, twoPi))) << x;
    }
    EXPECT_TRUE(std::isnan(exactSin(INF)));
    EXPECT_TRUE(std::isnan(exactCos(-INF)));
    EXPECT_TRUE(std::isnan(exactSin(std::nan(""))));
}

TEST(SaturatingConversions, TruncateInsideAndSaturateOutside) {
    EXPECT_EQ(saturatingInt64(-2.9), -2);
    EXPECT_EQ(saturatingInt64(2.9), 2);
    EXPECT_EQ(saturatingInt64(-0.0), 0);
    EXPECT_EQ(saturatingInt64(0x1.fffffffffffffp62), INT64_C(0x7FFFFFFFFFFFFC00));  // largest double below 2^63
    EXPECT_EQ(saturatingInt64(0x1p63), INT64_MAX);
    EXPECT_EQ(saturatingInt64(1e300), INT64_MAX);
    EXPECT_EQ(saturatingInt64(INF), INT64_MAX);
    EXPECT_EQ(saturatingInt64(-0x1p63), INT64_MIN);  // representable: exact
    EXPECT_EQ(saturatingInt64(-0x1.0000000000001p63), INT64_MIN);
    EXPECT_EQ(saturatingInt64(-INF), INT64_MIN);
    EXPECT_EQ(saturatingInt64(std::nan("")), 0);

    EXPECT_EQ(saturatingUint64(2.9), 2u);
    EXPECT_EQ(saturatingUint64(0x1p63), UINT64_C(1) << 63);
    EXPECT_EQ(saturatingUint64(0x1.fffffffffffffp63), UINT64_C(0xFFFFFFFFFFFFF800));
    EXPECT_EQ(saturatingUint64(0x1p64), UINT64_MAX);
    EXPECT_EQ(saturatingUint64(INF), UINT64_MAX);
    EXPECT_EQ(saturatingUint64(-1.0), 0u);
    EXPECT_EQ(saturatingUint64(-INF), 0u);
    EXPECT_EQ(saturatingUint64(std::nan("")), 0u);
}

}  // namespace
