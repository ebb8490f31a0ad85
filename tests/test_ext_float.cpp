// ExtFloat: format edge cases, and properties checked on many random operands
// against exact arithmetic (MPFR) or the C library's long double functions.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>

#include "numeric/ext_float.h"

namespace {

// The random property tests are scaled down under AddressSanitizer, where
// every operation costs several times as much.
#if defined(__SANITIZE_ADDRESS__)
constexpr int SLOWDOWN = 2;
#else
constexpr int SLOWDOWN = 1;
#endif
constexpr int runs(int n) { return n / SLOWDOWN; }

constexpr int ONE_EXPONENT = 32770;  // exponent of the values in [1, 2)
constexpr uint64_t FRACTION_BITS = 0x3FFFFFFFFFFF0000ull;
constexpr ExtFloat W(uint64_t w) { return ExtFloat{w}; }
// The word with mantissa 2^62 and exponent field e, raw (e may exceed the normal range).
constexpr ExtFloat pow2(int e) { return W(0x4000000000000000ull + static_cast<uint64_t>(e)); }
const ExtFloat ONE_W = W(0x4000000000008002ull);
const ExtFloat HALF_W = W(0x4000000000008001ull);
const ExtFloat TWO_W = W(0x4000000000008003ull);
const ExtFloat MINUS_ONE_W = W(0x8000000000008001ull);

std::string hex(ExtFloat a) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%016" PRIX64, a.w);
    return buf;
}

// splitmix64: a fixed seed gives the same operands on every run.
struct Rng {
    uint64_t state;
    uint64_t next() {
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1)); }
    bool coin() { return (next() & 1) != 0; }
};

// A random normalised value with its exponent in [eLo, eHi]. One draw in eight
// has the smallest or the largest mantissa, so powers of two (and their
// negative counterparts, mantissa 0x8000...) turn up often.
ExtFloat randomNormal(Rng& rng, int eLo, int eHi, bool allowNegative = true) {
    uint64_t frac = rng.next() & FRACTION_BITS;
    switch (rng.next() & 15) {
        case 0: frac = 0; break;
        case 1: frac = FRACTION_BITS; break;
        default: break;
    }
    const bool negative = allowNegative && rng.coin();
    const uint64_t M = (negative ? 0x8000000000000000ull : 0x4000000000000000ull) | frac;
    return W(M + static_cast<uint64_t>(rng.range(eLo, eHi)));
}

bool isNormalised(ExtFloat a) {
    const uint64_t top = a.w >> 62;
    return top == 1 || top == 2;
}

// An MPFR number that frees itself.
struct Mp {
    mpfr_t v;
    explicit Mp(mpfr_prec_t precision = 256) { mpfr_init2(v, precision); }
    ~Mp() { mpfr_clear(v); }
    Mp(const Mp&) = delete;
    Mp& operator=(const Mp&) = delete;
    operator mpfr_ptr() { return v; }
};

// The exact value of a word: mantissa (bits 63..16) * 2^(exponent - 32816).
void setExact(mpfr_ptr out, ExtFloat a) {
    mpfr_set_si_2exp(out, a.mantissaWord() >> 16, a.exponent() - 32816, MPFR_RNDN);
}

// The exact value as long double (47 significant bits always fit).
long double ld(ExtFloat a) { return std::ldexp(static_cast<long double>(a.mantissaWord() >> 16), a.exponent() - 32816); }

// One unit in the last place of a normalised word whose value lies in the
// binade of x: the format keeps 47 significant bits.
long double ulpOf(long double x) { return std::ldexp(1.0L, std::ilogb(x) - 46); }

// Largest error seen, with the operands that gave it.
struct Worst {
    long double value = 0;
    ExtFloat a{}, b{};
    void note(long double err, ExtFloat x, ExtFloat y = {}) {
        if (std::fabs(err) > std::fabs(value)) {
            value = err;
            a = x;
            b = y;
        }
    }
    std::string where() const { return "worst at " + hex(a) + ", " + hex(b); }
};

// ================================================================ format

// The words of small values, from every constructor and back, and zero as
// the all-zero word whichever way it is made.
TEST(ExtFloatFormat, WordsOfSmallValuesAndZero) {
    const std::pair<double, uint64_t> words[] = {{1.0, 0x4000000000008002ull}, {-1.0, 0x8000000000008001ull},
                                                 {0.5, 0x4000000000008001ull}, {2.0, 0x4000000000008003ull},
                                                 {-0.5, 0x8000000000008000ull}, {0.0, 0}, {-0.0, 0}};
    for (const auto& [value, word] : words) {
        SCOPED_TRACE(value);
        EXPECT_EQ(xf::fromDouble(value).w, word);
        EXPECT_EQ(toDouble(W(word)), value);
        EXPECT_EQ(xf::fromInt32(static_cast<int32_t>(value * 2)).w, value == 0 ? 0 : word + 1);
    }
    EXPECT_EQ(xf::fromUint64(0).w, 0u);
    EXPECT_EQ(xf::fromDecimal(0, 5).w, 0u);
    EXPECT_TRUE(ExtFloat::Invalid.isInvalid());
    EXPECT_EQ(ExtFloat::Invalid.w, ~uint64_t{0});
}

// ================================================================ conversions

TEST(ExtFloatConversions, FromInt32IsExactAndNormalised) {
    const int32_t edges[] = {1, -1, 2, -2, 3, 1000, -1000, 65535, -65536, 0x40000000, -0x40000000,
                             std::numeric_limits<int32_t>::max(), std::numeric_limits<int32_t>::min()};
    for (int32_t n : edges) {
        const ExtFloat x = xf::fromInt32(n);
        EXPECT_TRUE(isNormalised(x)) << n;
        EXPECT_EQ(ld(x), static_cast<long double>(n)) << n;
    }
    EXPECT_EQ(xf::fromInt32(std::numeric_limits<int32_t>::min()).w, 0x8000000000008020ull);  // -2^31
    Rng rng{1};
    for (int i = 0; i < runs(300000); ++i) {
        const auto n = static_cast<int32_t>(rng.next() >> (32 + rng.range(0, 31)) ^ (rng.coin() ? -1 : 0));
        if (n == 0) continue;
        const ExtFloat x = xf::fromInt32(n);
        ASSERT_TRUE(isNormalised(x)) << n;
        ASSERT_EQ(ld(x), static_cast<long double>(n)) << n;
        ASSERT_EQ(toInt64(x), n) << n;
    }
}

TEST(ExtFloatConversions, FromUint64KeepsTheTop47Bits) {
    Mp expected(47), got(64);
    Rng rng{2};
    const uint64_t edges[] = {1, 2, 3, 0xFFFF, 0x7FFFFFFFFFFF, 0xFFFFFFFFFFFF, 0x8000000000000000ull,
                              0xFFFFFFFFFFFFFFFFull, 0x7FFFFFFFFFFFFFFFull};
    auto check = [&](uint64_t n) {
        const ExtFloat x = xf::fromUint64(n);
        if (n == 0) {
            EXPECT_TRUE(x.isZero());
            return;
        }
        mpfr_set_uj(expected, n, MPFR_RNDZ);  // truncated to 47 significant bits
        setExact(got, x);
        EXPECT_TRUE(isNormalised(x)) << n;
        EXPECT_TRUE(mpfr_equal_p(expected, got)) << n << " -> " << hex(x);
        // Back to an integer: exactly the truncated value.
        EXPECT_EQ(toUint64(x), mpfr_get_uj(expected, MPFR_RNDZ)) << n;
    };
    for (uint64_t n : edges) check(n);
    EXPECT_EQ(xf::fromUint64(0xFFFFFFFFFFFFFFFFull).w, 0x7FFFFFFFFFFF8041ull);
    for (int i = 0; i < runs(100000); ++i) check(rng.next() >> rng.range(0, 63));
}

TEST(ExtFloatConversions, FromDoubleRoundTripsDoublesWith47SignificantBits) {
    // The hidden one and 46 fraction bits fit the mantissa; the six lowest
    // fraction bits of a double are dropped, truncating toward zero.
    Rng rng{3};
    for (int i = 0; i < runs(300000); ++i) {
        const uint64_t be = static_cast<uint64_t>(rng.range(1, 2046));
        const uint64_t frac = rng.next() & ((uint64_t{1} << 52) - 1);
        const uint64_t sign = rng.coin() ? uint64_t{1} << 63 : 0;
        const double d = std::bit_cast<double>(sign | (be << 52) | frac);
        const double kept = std::bit_cast<double>(sign | (be << 52) | (frac & ~uint64_t{63}));
        const ExtFloat x = xf::fromDouble(d);
        ASSERT_TRUE(isNormalised(x)) << d;
        ASSERT_EQ(ld(x), static_cast<long double>(kept)) << d;
        ASSERT_EQ(toDouble(x), kept) << d;
        ASSERT_EQ(xf::fromDouble(kept), x) << d;
    }
}

TEST(ExtFloatConversions, ToDoubleRangeEnds) {
    // Normalised words whose value is below the normal doubles give 0, above give NaN.
    EXPECT_EQ(toDouble(W(0x4000000000000000ull + 31746)), 0.0);
    // The lowest exponent whose double would be a denormal flushes to zero too.
    EXPECT_EQ(toDouble(W(0x6000000000000000ull + 31747)), 0.0);
    EXPECT_EQ(toDouble(W(0x4000000000000000ull + 31748)), std::ldexp(1.0, -1022));
    EXPECT_EQ(toDouble(W(0x4000000000000000ull + 33793)), std::ldexp(1.0, 1023));
    EXPECT_TRUE(std::isnan(toDouble(W(0x4000000000000000ull + 33795))));
    EXPECT_TRUE(std::isnan(toDouble(W(0x6000000000000000ull + 40000))));
    // Negative powers of two have their own path.
    EXPECT_EQ(toDouble(W(0x8000000000000000ull + 31745)), 0.0);
    EXPECT_EQ(toDouble(W(0x8000000000000000ull + 31747)), -std::ldexp(1.0, -1022));
    EXPECT_EQ(toDouble(W(0x8000000000000000ull + 33792)), -std::ldexp(1.0, 1023));
    EXPECT_TRUE(std::isnan(toDouble(W(0x8000000000000000ull + 33794))));
    EXPECT_EQ(toDouble(xf::fromDouble(-0.375)), -0.375);
    EXPECT_EQ(toDouble(xf::fromDouble(-std::ldexp(1.0, -1000))), -std::ldexp(1.0, -1000));
}

TEST(ExtFloatConversions, FromDecimalExamples) {
    EXPECT_EQ(xf::fromDecimal(1570796326794896619, -18).w, 0x6487ED5110B48002ull);  // pi / 2
    EXPECT_EQ(xf::fromDecimal(1, 0), ONE_W);
    EXPECT_EQ(xf::fromDecimal(5, -1), HALF_W);
    EXPECT_EQ(xf::fromDecimal(2, 0), TWO_W);
    EXPECT_EQ(xf::fromDecimal(100, -1), xf::fromInt32(10));
    EXPECT_EQ(xf::fromDecimal(3085677581, 7), xf::fromUint64(30856775810000000ull));
    EXPECT_EQ(xf::fromDecimal(-7, 0), xf::fromInt32(-7));
}

// mant * 10^p against MPFR's exact decimal value. Every step of the algorithm
// truncates a working integer of at least 58 significant bits (relative error
// below 2^-58 per step) and the final word keeps 47 bits (below 2^-46). So for
// a non-negative power or a positive mantissa the relative error is below
// 2^-46 + |p| 2^-58, always toward minus infinity. A negative mantissa with a
// negative power keeps the plain algorithm: the quotient is shifted right once
// more and sits unnormalised in the word, so its last kept bit is worth up to
// 2^17 / (2^62 / 10) = 2^-41.7 of the value.
TEST(ExtFloatConversions, FromDecimalAgainstTheExactDecimalValue) {
    Mp exact(2400), got(64), diff(2400), ten(2400);
    Rng rng{4};
    for (int i = 0; i < runs(60000); ++i) {
        auto mant = static_cast<int64_t>(rng.next() >> rng.range(1, 63));
        if (mant == 0) continue;
        if (rng.coin()) mant = -mant;
        const int p = (i % 4 == 0) ? rng.range(-600, 600) : rng.range(-45, 30);
        const ExtFloat x = xf::fromDecimal(mant, p);
        mpfr_set_si(exact, mant, MPFR_RNDN);
        mpfr_ui_pow_ui(ten, 10, static_cast<unsigned long>(std::abs(p)), MPFR_RNDN);
        if (p >= 0)
            mpfr_mul(exact, exact, ten, MPFR_RNDN);
        else
            mpfr_div(exact, exact, ten, MPFR_RNDN);
        setExact(got, x);
        mpfr_sub(diff, got, exact, MPFR_RNDN);
        mpfr_div(diff, diff, exact, MPFR_RNDN);
        mpfr_abs(diff, diff, MPFR_RNDN);
        const double rel = mpfr_get_d(diff, MPFR_RNDU);
        const bool plain = mant < 0 && p < 0;
        const double bound = (plain ? std::ldexp(1.0, -41) * 0.81 : std::ldexp(1.0, -46)) + std::abs(p) * std::ldexp(1.0, -58);
        ASSERT_LE(rel, bound) << mant << "e" << p << " -> " << hex(x);
        if (!plain) {
            ASSERT_LE(mpfr_cmp(got, exact), 0) << mant << "e" << p << " rounds toward minus infinity";
            ASSERT_TRUE(isNormalised(x)) << mant << "e" << p;
        }
    }
}

TEST(ExtFloatConversions, FromDecimalNegativeMantissas) {
    // A non-negative power is normalised like a positive mantissa.
    EXPECT_EQ(xf::fromDecimal(-1, 0).w, 0x8000000000008001ull);
    EXPECT_EQ(ld(xf::fromDecimal(-1, 0)), -1.0L);
    EXPECT_EQ(ld(xf::fromDecimal(-25, 2)), -2500.0L);
    EXPECT_TRUE(isNormalised(xf::fromDecimal(-25, 2)));
    EXPECT_EQ(xf::fromDecimal(-2048, 0).w, 0x800000000000800Cull);  // -2^11 keeps mantissa 0x8000...
    EXPECT_EQ(ld(xf::fromDecimal(std::numeric_limits<int64_t>::min(), 0)), -0x1p63L);
    for (int32_t n : {-3, -10, -12345, -999999937}) {
        EXPECT_EQ(xf::fromDecimal(n, 0), xf::fromInt32(n)) << n;
        EXPECT_EQ(xf::fromDecimal(n, 1), xf::fromDecimal(n * int64_t{10}, 0)) << n;
        EXPECT_EQ(neg(xf::fromDecimal(n, 3)), xf::fromDecimal(-n, 3)) << n;
    }
    // A negative power keeps the plain algorithm: an unnormalised word with the exact value.
    EXPECT_EQ(xf::fromDecimal(-25, -1).w, 0xFB00000000008007ull);
    EXPECT_EQ(ld(xf::fromDecimal(-25, -1)), -2.5L);
}

TEST(ExtFloatConversions, FromDecimalHugePowersFinishQuickly) {
    EXPECT_TRUE(xf::fromDecimal(1, 10000).isInvalid());
    EXPECT_TRUE(xf::fromDecimal(-1, 100000).isInvalid());
    EXPECT_TRUE(xf::fromDecimal(1, std::numeric_limits<int32_t>::max()).isInvalid());
    EXPECT_TRUE(xf::fromDecimal(std::numeric_limits<int64_t>::max(), -10000).isZero());
    EXPECT_TRUE(xf::fromDecimal(-1, std::numeric_limits<int32_t>::min()).isZero());
    // The edges of the exponent range: 10^9863 is the largest power of ten
    // below 2^32766, 10^-9864 the smallest above 2^-32770.
    EXPECT_FALSE(xf::fromDecimal(1, 9863).isInvalid());
    EXPECT_TRUE(xf::fromDecimal(1, 9864).isInvalid());
    EXPECT_FALSE(xf::fromDecimal(1, -9864).isZero());
    EXPECT_TRUE(xf::fromDecimal(1, -9866).isZero());
}

TEST(ExtFloatConversions, ToUint64IsTheFloorAndSaturates) {
    EXPECT_EQ(toUint64(ExtFloat{}), 0u);
    EXPECT_EQ(toUint64(MINUS_ONE_W), ~uint64_t{0});
    EXPECT_EQ(toUint64(HALF_W), 0u);
    EXPECT_EQ(toUint64(xf::fromDouble(1.75)), 1u);
    EXPECT_EQ(toUint64(W(0x7FFFFFFFFFFF0000ull + 32833)), 0xFFFFFFFFFFFE0000ull);  // just below 2^64
    EXPECT_EQ(toUint64(W(0x4000000000000000ull + 32834)), ~uint64_t{0});         // 2^64
    EXPECT_EQ(toUint64(W(0x4000000000000000ull + 32768)), 0u);                   // shift of 64
    Mp x(64);
    Rng rng{5};
    for (int i = 0; i < runs(200000); ++i) {
        const ExtFloat a = randomNormal(rng, 32750, 32833, false);
        setExact(x, a);
        ASSERT_EQ(toUint64(a), mpfr_get_uj(x, MPFR_RNDD)) << hex(a);
    }
}

TEST(ExtFloatConversions, ToInt64IsTheFloorWithinItsRange) {
    EXPECT_EQ(toInt64(ExtFloat{}), 0);
    EXPECT_EQ(toInt64(MINUS_ONE_W), -1);
    EXPECT_EQ(toInt64(xf::fromDouble(-1.5)), -2);
    EXPECT_EQ(toInt64(xf::fromDouble(1.5)), 1);
    EXPECT_EQ(toInt64(xf::fromDouble(-0.75)), -1);
    EXPECT_EQ(toInt64(W(0x8000000000000000ull + 32832)), std::numeric_limits<int64_t>::min());
    EXPECT_EQ(toInt64(W(0x7FFFFFFFFFFF0000ull + 32832)), 0x7FFFFFFFFFFF0000ll);
    EXPECT_EQ(toInt64(W(0x4000000000000000ull + 32833)), -1) << "2^63 is too large: all ones";
    // Values of magnitude at most 1/2 have a shift of 64 or more and convert
    // to 0, negative ones included; the galaxy geometry relies on this.
    EXPECT_EQ(toInt64(W(0x8000000000008000ull)), 0);  // -0.5
    for (double v : {-0.3, -1e-30, 0.49}) EXPECT_EQ(toInt64(xf::fromDouble(v)), 0) << v;
    EXPECT_EQ(toInt64(xf::fromDouble(-0.5000001)), -1);
    Mp x(64);
    Rng rng{6};
    for (int i = 0; i < runs(200000); ++i) {
        const ExtFloat a = randomNormal(rng, 32769, 32832);
        setExact(x, a);
        ASSERT_EQ(toInt64(a), mpfr_get_sj(x, MPFR_RNDD)) << hex(a);
    }
}

// ================================================================ neg

TEST(ExtFloatNeg, PowersOfTwoAndRangeEnds) {
    EXPECT_EQ(neg(MINUS_ONE_W), ONE_W);
    EXPECT_EQ(neg(ONE_W), MINUS_ONE_W);
    EXPECT_TRUE(neg(W(0x800000000000FFFFull)).isInvalid());  // -2^k at the top exponent
    EXPECT_TRUE(neg(W(0x4000000000000000ull)).isZero());      // +2^k at exponent 0
    EXPECT_TRUE(neg(ExtFloat{}).isZero());
    EXPECT_EQ(neg(xf::fromDouble(1.5)), xf::fromDouble(-1.5));
}

TEST(ExtFloatNeg, IsExactAndItsOwnInverse) {
    Mp x(64), y(64);
    Rng rng{7};
    for (int i = 0; i < runs(300000); ++i) {
        const ExtFloat a = randomNormal(rng, 1, 65534);
        const ExtFloat n = neg(a);
        ASSERT_TRUE(isNormalised(n)) << hex(a);
        ASSERT_EQ(neg(n), a) << hex(a);
        setExact(x, a);
        setExact(y, n);
        mpfr_neg(y, y, MPFR_RNDN);
        ASSERT_TRUE(mpfr_equal_p(x, y)) << hex(a);
    }
}

// ================================================================ add and sub

TEST(ExtFloatAdd, ZeroAndFarApartOperands) {
    Rng rng{8};
    for (int i = 0; i < 1000; ++i) {
        const ExtFloat x = randomNormal(rng, 63, 65535);
        EXPECT_EQ(add(x, ExtFloat{}), x) << hex(x);
        EXPECT_EQ(add(ExtFloat{}, x), x) << hex(x);
        EXPECT_EQ(sub(x, ExtFloat{}), x) << hex(x);
        EXPECT_EQ(sub(ExtFloat{}, x), neg(x)) << hex(x);
    }
    EXPECT_TRUE(add(ExtFloat{}, ExtFloat{}).isZero());
    // 63 or more exponent steps apart, the smaller operand is dropped.
    const ExtFloat big = xf::fromDouble(3.0), tiny = scalePow2(xf::fromDouble(1.75), -70);
    EXPECT_EQ(add(big, tiny), big);
    EXPECT_EQ(add(tiny, big), big);
    EXPECT_EQ(sub(big, tiny), big);
    EXPECT_EQ(sub(tiny, big), neg(big));
    EXPECT_EQ(sub(tiny, MINUS_ONE_W), ONE_W);
    // Exactly 63 apart is far enough, whatever the smaller operand's sign.
    for (const uint64_t m : {0x4000000000000000ull, 0x8000000000000000ull, 0xA5A5A5A5A5A50000ull}) {
        const ExtFloat small = W(m + static_cast<uint64_t>(big.exponent() - 63));
        EXPECT_EQ(add(big, small), big) << hex(small);
        EXPECT_EQ(sub(big, small), big) << hex(small);
        EXPECT_EQ(sub(small, big), neg(big)) << hex(small);
    }
}

TEST(ExtFloatAdd, CancellationGivesZero) {
    Rng rng{9};
    for (int i = 0; i < runs(300000); ++i) {
        const ExtFloat x = randomNormal(rng, 1, 65534);
        ASSERT_TRUE(sub(x, x).isZero()) << hex(x);
        ASSERT_TRUE(add(x, neg(x)).isZero()) << hex(x);
        ASSERT_TRUE(add(neg(x), x).isZero()) << hex(x);
    }
}

// Bit for bit (and so within a unit of the larger operand, and commutative):
// with E the larger exponent, u = 2^(E - 32831) the weight of
// the halved mantissas' last bit and U = 2^15 u the guard position, the
// result is floor(a/u) u +- floor(b/u) u rounded up to a multiple of U; when
// that reaches 2^62 u in magnitude (a carry into the top bit) it is further
// rounded down to a multiple of 2U.
TEST(ExtFloatAdd, IsTheAlignedSumRoundedUpAtTheGuardBit) {
    Mp x(64), y(64), sum(256), got(64);
    Rng rng{26};
    for (int i = 0; i < runs(200000); ++i) {
        const int e = rng.range(200, 65000);
        const ExtFloat a = randomNormal(rng, e - 62, e + 62);
        const ExtFloat b = randomNormal(rng, e - 62, e + 62);
        if (std::abs(a.exponent() - b.exponent()) >= 63) continue;
        const bool subtract = rng.coin();
        const int E = std::max(a.exponent(), b.exponent());
        setExact(x, a);
        setExact(y, b);
        // In units of u.
        mpfr_mul_2si(x, x, -(E - 32831), MPFR_RNDN);
        mpfr_mul_2si(y, y, -(E - 32831), MPFR_RNDN);
        mpfr_floor(x, x);
        mpfr_floor(y, y);
        if (subtract)
            mpfr_sub(sum, x, y, MPFR_RNDN);
        else
            mpfr_add(sum, x, y, MPFR_RNDN);
        mpfr_mul_2si(sum, sum, -15, MPFR_RNDN);
        mpfr_ceil(sum, sum);
        mpfr_mul_2si(sum, sum, 15, MPFR_RNDN);
        if (mpfr_cmp_si_2exp(sum, 1, 62) >= 0 || mpfr_cmp_si_2exp(sum, -1, 62) < 0) {
            mpfr_mul_2si(sum, sum, -16, MPFR_RNDN);
            mpfr_floor(sum, sum);
            mpfr_mul_2si(sum, sum, 16, MPFR_RNDN);
        }
        mpfr_mul_2si(sum, sum, E - 32831, MPFR_RNDN);
        const ExtFloat r = subtract ? sub(a, b) : add(a, b);
        setExact(got, r);
        ASSERT_TRUE(mpfr_equal_p(sum, got)) << hex(a) << (subtract ? " - " : " + ") << hex(b) << " = " << hex(r);
        ASSERT_TRUE(r.isZero() || isNormalised(r)) << hex(a) << (subtract ? " - " : " + ") << hex(b);
    }
}

TEST(ExtFloatAdd, OverflowThrows) {
    const ExtFloat top = W(0x600000000000FFFFull);
    try {
        (void)add(top, top);
        ADD_FAILURE() << "add did not throw";
    } catch (const std::overflow_error& e) {
        EXPECT_STREQ(e.what(), "overflow");
    }
    EXPECT_THROW((void)sub(top, neg(top)), std::overflow_error);
    EXPECT_THROW((void)add(W(0x400000000000FFFFull), W(0x400000000000FFFFull)), std::overflow_error);
    EXPECT_NO_THROW((void)add(W(0x400000000000FFFEull), W(0x400000000000FFFEull)));
    EXPECT_EQ(add(W(0x400000000000FFFEull), W(0x400000000000FFFEull)).w, 0x400000000000FFFFull);
    EXPECT_TRUE(mul(top, top).isInvalid());
}

TEST(ExtFloatAdd, ResultsBelowTheRangeStayUnnormalisedAtExponentZero) {
    // 1.5 * 2^-32769 - 2^-32769 lands exactly on exponent 0, still normalised.
    EXPECT_EQ(sub(W(0x6000000000000001ull), W(0x4000000000000001ull)).w, 0x4000000000000000ull);
    // (1 + 2^-46) - 1 at exponent 1: the difference is kept, unnormalised.
    const ExtFloat d = sub(W(0x4000000000010001ull), W(0x4000000000000001ull));
    EXPECT_EQ(d.w, 0x0000000000020000ull);
    EXPECT_EQ(ld(d), std::ldexp(1.0L, -32815));
}

// ================================================================ mul

// The high word of the 128-bit product floors, and clearing the low 16 bits
// floors again: the product is the exact one rounded toward minus infinity to
// 47 significant bits. For negative results the format's grid (magnitudes in
// (2^k, 2^(k+1)] with 47 bits) is the same set of numbers as MPFR's.
TEST(ExtFloatMul, IsTheExactProductRoundedDown) {
    Mp x(64), y(64), expected(47), got(64);
    Rng rng{13};
    for (int i = 0; i < runs(300000); ++i) {
        const ExtFloat a = randomNormal(rng, 16400, 49000);
        const ExtFloat b = randomNormal(rng, 16400, 49000);
        const ExtFloat r = mul(a, b);
        setExact(x, a);
        setExact(y, b);
        mpfr_mul(expected, x, y, MPFR_RNDD);
        setExact(got, r);
        ASSERT_TRUE(isNormalised(r)) << hex(a) << " * " << hex(b);
        ASSERT_TRUE(mpfr_equal_p(expected, got)) << hex(a) << " * " << hex(b) << " = " << hex(r);
        ASSERT_EQ(mul(b, a), r);
    }
}

TEST(ExtFloatMul, ZeroOverflowAndUnderflow) {
    EXPECT_TRUE(mul(ExtFloat{}, xf::fromDouble(3.5)).isZero());
    EXPECT_TRUE(mul(xf::fromDouble(-3.5), ExtFloat{}).isZero());
    EXPECT_EQ(mul(ONE_W, MINUS_ONE_W), MINUS_ONE_W);
    EXPECT_EQ(mul(MINUS_ONE_W, MINUS_ONE_W), ONE_W);
    // Mantissas 2^62 * 2^62: the exponent is ea + eb - 32770.
    EXPECT_EQ(mul(pow2(65535), pow2(32770)).w, 0x400000000000FFFFull);
    EXPECT_TRUE(mul(pow2(65535), pow2(32771)).isInvalid());
    EXPECT_EQ(mul(pow2(1), pow2(32769)).w, 0x4000000000000000ull);
    EXPECT_TRUE(mul(pow2(1), pow2(32768)).isZero());
}

// ================================================================ div

TEST(ExtFloatDiv, PositiveQuotientsAreRoundedDownNegativeOnesWithinAUnit) {
    Mp x(64), y(64), expected(47), exact(256), got(64), diff(256);
    Rng rng{14};
    for (int i = 0; i < runs(300000); ++i) {
        const ExtFloat a = randomNormal(rng, 16400, 49000);
        const ExtFloat b = randomNormal(rng, 16400, 49000);
        const ExtFloat q = div(a, b);
        setExact(x, a);
        setExact(y, b);
        setExact(got, q);
        ASSERT_TRUE(isNormalised(q)) << hex(a) << " / " << hex(b);
        if (a.isNegative() == b.isNegative()) {
            mpfr_div(expected, x, y, MPFR_RNDD);
            ASSERT_TRUE(mpfr_equal_p(expected, got)) << hex(a) << " / " << hex(b) << " = " << hex(q);
        } else {
            // Truncation toward zero, then toward minus infinity: the error
            // is below one unit of the result and at most one unit of the
            // 64-bit quotient (2^-15 of the result's unit) upward.
            mpfr_div(exact, x, y, MPFR_RNDN);
            mpfr_sub(diff, got, exact, MPFR_RNDN);
            mpfr_mul_2si(diff, diff, -(q.exponent() - 32816), MPFR_RNDN);
            const double err = mpfr_get_d(diff, MPFR_RNDN);
            ASSERT_GT(err, -1.0) << hex(a) << " / " << hex(b) << " = " << hex(q);
            ASSERT_LE(err, std::ldexp(1.0, -15)) << hex(a) << " / " << hex(b) << " = " << hex(q);
        }
    }
}

TEST(ExtFloatDiv, ZeroInvalidAndRangeEnds) {
    EXPECT_TRUE(div(ONE_W, ExtFloat{}).isInvalid());
    EXPECT_TRUE(div(ExtFloat{}, ExtFloat{}).isInvalid());
    EXPECT_TRUE(div(ExtFloat{}, xf::fromDouble(-7.0)).isZero());
    EXPECT_EQ(div(ONE_W, TWO_W), HALF_W);
    EXPECT_EQ(div(xf::fromInt32(-6), xf::fromInt32(3)), xf::fromInt32(-2));
    EXPECT_EQ(div(xf::fromInt32(6), xf::fromInt32(-3)), xf::fromInt32(-2));
    EXPECT_EQ(div(xf::fromInt32(-6), xf::fromInt32(-3)), xf::fromInt32(2));
    // Mantissas 2^62 / 2^62: the exponent is ea - eb + 32770.
    EXPECT_EQ(div(pow2(65535), pow2(32770)).w, 0x400000000000FFFFull);
    EXPECT_TRUE(div(pow2(65535), pow2(32769)).isInvalid());
    EXPECT_EQ(div(pow2(0), pow2(32770)).w, 0x4000000000000000ull);
    EXPECT_TRUE(div(pow2(0), pow2(32771)).isZero());
}

TEST(ExtFloatDiv, NonNormalisedOperandsGiveTheCorrectValue) {
    // The invalid marker spells -2^32719: 1 / that is exactly -2^-32719.
    EXPECT_EQ(div(ONE_W, ExtFloat::Invalid).w, 0x8000000000000032ull);
    EXPECT_EQ(ld(div(ONE_W, ExtFloat::Invalid)), -std::ldexp(1.0L, -32719));
    // Unnormalised mantissas (shifted right by up to 46 places) in either
    // place. With a normalised dividend the quotient keeps its full precision
    // (below one unit of the result); an unnormalised dividend brings only its
    // own significant bits, so the relative error grows to 2^(shift - 61).
    Mp x(64), y(64), exact(256), got(64), diff(256);
    Rng rng{15};
    for (int i = 0; i < runs(100000); ++i) {
        const int shiftA = rng.coin() ? 0 : rng.range(1, 46), shiftB = rng.range(0, 46);
        const ExtFloat na = randomNormal(rng, 20000, 45000), nb = randomNormal(rng, 20000, 45000);
        const ExtFloat a = W(((static_cast<uint64_t>(na.mantissaWord() >> shiftA)) & ~uint64_t{0xFFFF}) + na.exponent());
        const ExtFloat b = W(((static_cast<uint64_t>(nb.mantissaWord() >> shiftB)) & ~uint64_t{0xFFFF}) + nb.exponent());
        if (b.mantissaWord() == 0) continue;
        const ExtFloat q = div(a, b);
        setExact(x, a);
        setExact(y, b);
        mpfr_div(exact, x, y, MPFR_RNDN);
        if (a.mantissaWord() == 0) {
            ASSERT_TRUE(q.isZero());
            continue;
        }
        ASSERT_TRUE(isNormalised(q)) << hex(a) << " / " << hex(b);
        setExact(got, q);
        mpfr_sub(diff, got, exact, MPFR_RNDN);
        if (shiftA == 0) {
            mpfr_mul_2si(diff, diff, -(q.exponent() - 32816), MPFR_RNDN);
            ASSERT_LT(std::fabs(mpfr_get_d(diff, MPFR_RNDN)), 1.0) << hex(a) << " / " << hex(b) << " = " << hex(q);
        } else {
            mpfr_div(diff, diff, exact, MPFR_RNDN);
            ASSERT_LT(std::fabs(mpfr_get_d(diff, MPFR_RNDN)), std::ldexp(1.0, shiftA - 61) + std::ldexp(1.0, -46))
                << hex(a) << " / " << hex(b) << " = " << hex(q);
        }
    }
}

// ================================================================ ordering

TEST(ExtFloatCompare, ZeroOrdersBetweenTheSigns) {
    EXPECT_FALSE(greaterEqual(ExtFloat{}, ONE_W));
    EXPECT_TRUE(greaterEqual(ExtFloat{}, MINUS_ONE_W));
    EXPECT_TRUE(greaterEqual(ONE_W, ExtFloat{}));
    EXPECT_FALSE(greaterEqual(MINUS_ONE_W, ExtFloat{}));
    EXPECT_TRUE(greaterEqual(ExtFloat{}, ExtFloat{}));
    EXPECT_FALSE(greaterEqual(ExtFloat{}, W(0x4000000000000001ull)));  // the smallest positive value
    EXPECT_TRUE(greaterEqual(ExtFloat{}, W(0x800000000000FFFFull)));   // the most negative value
}

TEST(ExtFloatCompare, MatchesTheExactOrdering) {
    Mp x(64), y(64);
    Rng rng{16};
    for (int i = 0; i < runs(300000); ++i) {
        const int e = rng.range(10, 65525);
        const int spread = (i % 3 == 0) ? 0 : 3;  // equal exponents often
        const ExtFloat a = (i % 17 == 0) ? ExtFloat{} : randomNormal(rng, e - spread, e + spread);
        const ExtFloat b = (i % 19 == 0) ? ExtFloat{} : randomNormal(rng, e - spread, e + spread);
        setExact(x, a);
        setExact(y, b);
        const int c = mpfr_cmp(x, y);
        ASSERT_EQ(greaterEqual(a, b), c >= 0) << hex(a) << " >= " << hex(b);
        ASSERT_EQ(a >= b, c >= 0);
        ASSERT_EQ(a <= b, c <= 0);
        ASSERT_EQ(a < b, c < 0);
        ASSERT_EQ(a > b, c > 0);
        ASSERT_EQ(min(a, b), c <= 0 ? a : b);
        ASSERT_EQ(max(a, b), c >= 0 ? a : b);
    }
}

// ================================================================ scalePow2

TEST(ExtFloatScalePow2, IsExactAndReportsOverflow) {
    Rng rng{18};
    for (int i = 0; i < runs(100000); ++i) {
        const ExtFloat a = randomNormal(rng, 1, 65535);
        const int k = rng.range(-70000, 70000);
        const int64_t e = int64_t{a.exponent()} + k;
        if (e > 65535) {
            ASSERT_THROW((void)scalePow2(a, k), std::overflow_error);
        } else if (e < 0) {
            ASSERT_TRUE(scalePow2(a, k).isZero());
        } else {
            const ExtFloat r = scalePow2(a, k);
            ASSERT_EQ(r.mantissaWord(), a.mantissaWord());
            ASSERT_EQ(r.exponent(), e);
        }
    }
    EXPECT_EQ(scalePow2(ONE_W, 1), TWO_W);
    EXPECT_EQ(scalePow2(ONE_W, -1), HALF_W);
    EXPECT_EQ(ld(scalePow2(xf::fromDouble(-1.25), -100)), -1.25L * std::ldexp(1.0L, -100));
    EXPECT_EQ(scalePow2(W(0x6000000000000005ull), -5).w, 0x6000000000000000ull);
    EXPECT_TRUE(scalePow2(W(0x6000000000000005ull), -6).isZero());
    EXPECT_EQ(scalePow2(W(0x600000000000FFF0ull), 15).w, 0x600000000000FFFFull);
    try {
        (void)scalePow2(W(0x600000000000FFF0ull), 16);
        ADD_FAILURE() << "scalePow2 did not throw";
    } catch (const std::overflow_error& e) {
        EXPECT_STREQ(e.what(), "overflow");
    }
}

TEST(ExtFloatScalePow2, ZeroStaysTheZeroWord) {
    for (int k : {-100000, -1, 0, 1, 5, 65535, 100000}) EXPECT_EQ(scalePow2(ExtFloat{}, k).w, 0u) << k;
    EXPECT_TRUE(add(scalePow2(ExtFloat{}, 40), ONE_W) == ONE_W);
}

// ================================================================ sqrt, invSqrt

TEST(ExtFloatSqrt, EdgeCases) {
    EXPECT_EQ(sqrt(xf::fromInt32(4)), TWO_W);
    EXPECT_EQ(sqrt(ONE_W), ONE_W);
    EXPECT_EQ(sqrt(xf::fromDouble(0.25)), HALF_W);
    EXPECT_TRUE(sqrt(MINUS_ONE_W).isInvalid());
    EXPECT_TRUE(sqrt(ExtFloat::Invalid).isInvalid());
    EXPECT_TRUE(sqrt(ExtFloat{}).isZero());
    EXPECT_EQ(invSqrt(xf::fromInt32(4)), HALF_W);
    EXPECT_EQ(invSqrt(ONE_W), ONE_W);
    EXPECT_EQ(invSqrt(xf::fromDouble(0.25)), TWO_W);
    EXPECT_TRUE(invSqrt(ExtFloat{}).isInvalid());
    EXPECT_TRUE(invSqrt(MINUS_ONE_W).isInvalid());
    // Every power of four is exact on both.
    for (int k = -16000; k <= 16000; k += 7) {
        const ExtFloat x = W(0x4000000000000000ull + static_cast<uint64_t>(ONE_EXPONENT + 2 * k));
        EXPECT_EQ(sqrt(x).w, 0x4000000000000000ull + static_cast<uint64_t>(ONE_EXPONENT + k)) << k;
        EXPECT_EQ(invSqrt(x).w, 0x4000000000000000ull + static_cast<uint64_t>(ONE_EXPONENT - k)) << k;
    }
    // Just above a power of four the reciprocal root is just below a power of two.
    const ExtFloat above = W(0x4000000000010000ull + ONE_EXPONENT);
    EXPECT_FALSE(invSqrt(above).isNegative());
    EXPECT_LE(std::fabs(ld(invSqrt(above)) - 1.0L), std::ldexp(1.0L, -46));
    EXPECT_LE(std::fabs(ld(sqrt(W(0x7FFFFFFFFFFF0000ull + ONE_EXPONENT + 1))) - 2.0L), std::ldexp(1.0L, -45));
}

// Both truncate a Newton iteration that is good to well beyond 47 bits, so
// they err downward by about one unit of the last place at most. Observed
// over 300000 inputs with exponents across +-16000 binades, in units of the
// exact result's last place: sqrt -1.00028 .. 0, invSqrt -1.00031 .. +0.00001.
TEST(ExtFloatSqrt, AccuracyAgainstLongDouble) {
    Rng rng{19};
    long double sqLo = 0, sqHi = 0, isLo = 0, isHi = 0;
    for (int i = 0; i < runs(300000); ++i) {
        const ExtFloat a = randomNormal(rng, ONE_EXPONENT - 16000, ONE_EXPONENT + 16000, false);
        const long double root = std::sqrt(ld(a));
        const long double e1 = (ld(sqrt(a)) - root) / ulpOf(root);
        const long double e2 = (ld(invSqrt(a)) - 1.0L / root) / ulpOf(1.0L / root);
        sqLo = std::min(sqLo, e1), sqHi = std::max(sqHi, e1);
        isLo = std::min(isLo, e2), isHi = std::max(isHi, e2);
        ASSERT_TRUE(isNormalised(sqrt(a)) && isNormalised(invSqrt(a))) << hex(a);
    }
    EXPECT_GT(sqLo, -1.002L);
    EXPECT_LT(sqHi, 0.0002L);
    EXPECT_GT(isLo, -1.002L);
    EXPECT_LT(isHi, 0.0002L);
}

// ================================================================ log2, pow

TEST(ExtFloatLog2, EdgeCases) {
    EXPECT_TRUE(log2(ONE_W).isZero());
    EXPECT_EQ(log2(TWO_W), ONE_W);
    EXPECT_EQ(log2(HALF_W), MINUS_ONE_W);
    EXPECT_TRUE(log2(ExtFloat{}).isInvalid());
    EXPECT_TRUE(log2(MINUS_ONE_W).isInvalid());
    // Powers of two give their exponent exactly.
    for (int k = -32000; k <= 32000; k += 13) {
        const ExtFloat x = W(0x4000000000000000ull + static_cast<uint64_t>(ONE_EXPONENT + k));
        EXPECT_EQ(log2(x), xf::fromInt32(k)) << k;
    }
}

// The kernel log2(1 + f) is a polynomial good to about 2^-50 absolutely
// (about 7700 units of 2^-63 at its worst). Far from 1 the result's last
// place is coarser than that and the result is truncated: observed
// -0.99999 .. +0.0116 units of the last place. For arguments in [1/2, 2) the
// kernel's absolute error shows through: the error exceeds one unit of the
// last place by at most 0.994 * 2^-50 (observed).
TEST(ExtFloatLog2, AccuracyAgainstLongDouble) {
    Rng rng{20};
    long double farLo = 0, farHi = 0, nearExcess = -1;
    ExtFloat nearWorst{};
    for (int i = 0; i < runs(300000); ++i) {
        const ExtFloat a = randomNormal(rng, ONE_EXPONENT - 16000, ONE_EXPONENT + 16000, false);
        if (a.exponent() == ONE_EXPONENT || a.exponent() == ONE_EXPONENT - 1) continue;
        const long double ref = std::log2(ld(a));
        const long double err = (ld(log2(a)) - ref) / ulpOf(ref);
        farLo = std::min(farLo, err), farHi = std::max(farHi, err);
    }
    for (int i = 0; i < runs(300000); ++i) {
        // Arguments in [1/2, 2), many of them very close to 1.
        const uint64_t f = (rng.next() >> rng.range(1, 50)) & FRACTION_BITS;
        const ExtFloat a = rng.coin() ? W(0x4000000000000000ull + f + ONE_EXPONENT)
                                      : W(0x7FFFFFFFFFFF0000ull - f + ONE_EXPONENT - 1);
        const long double ref = std::log2(ld(a));
        const ExtFloat r = log2(a);
        if (ref == 0) {
            ASSERT_TRUE(r.isZero());
            continue;
        }
        const long double excess = std::fabs(ld(r) - ref) - ulpOf(ref);
        if (excess > nearExcess * std::ldexp(1.0L, -50)) nearExcess = excess / std::ldexp(1.0L, -50), nearWorst = a;
    }
    EXPECT_GT(farLo, -1.01L);
    EXPECT_LT(farHi, 0.03L);
    EXPECT_LT(nearExcess, 1.1L) << "worst at " << hex(nearWorst);
}

TEST(ExtFloatPow, EdgeCases) {
    Rng rng{21};
    for (int i = 0; i < 2000; ++i) {
        const ExtFloat a = randomNormal(rng, 100, 65000, false);
        const ExtFloat b = randomNormal(rng, 100, 65000);
        EXPECT_EQ(pow(a, ExtFloat{}), ONE_W) << hex(a);
        EXPECT_EQ(pow(ONE_W, b), ONE_W) << hex(b);
        EXPECT_TRUE(pow(ExtFloat{}, b).isInvalid()) << hex(b);
        EXPECT_TRUE(pow(neg(a), b).isInvalid()) << hex(a);
    }
    EXPECT_TRUE(pow(xf::fromInt32(-2), TWO_W).isInvalid());
    EXPECT_EQ(pow(xf::fromInt32(4), HALF_W), TWO_W);
    EXPECT_EQ(pow(xf::fromInt32(2), xf::fromInt32(3)), xf::fromInt32(8));
    // Integer powers of two are exact, down to the range ends.
    for (int n = -32700; n <= 32700; n += 11) {
        EXPECT_EQ(pow(TWO_W, xf::fromInt32(n)).w, 0x4000000000000000ull + static_cast<uint64_t>(ONE_EXPONENT + n)) << n;
    }
    EXPECT_EQ(pow(TWO_W, xf::fromInt32(32765)).w, 0x400000000000FFFFull);
    EXPECT_TRUE(pow(TWO_W, xf::fromInt32(32766)).isInvalid());
    EXPECT_TRUE(pow(TWO_W, xf::fromInt32(40000)).isInvalid());
    EXPECT_TRUE(pow(TWO_W, xf::fromInt32(-40000)).isZero());
    EXPECT_TRUE(pow(xf::fromInt32(10), xf::fromInt32(100000)).isInvalid());
    EXPECT_TRUE(pow(xf::fromInt32(10), xf::fromInt32(-100000)).isZero());
    // Exponents too small to matter give 1 or the value just below it.
    EXPECT_EQ(pow(TWO_W, W(0x4000000000000000ull + 100)), ONE_W);
    EXPECT_LE(std::fabs(ld(pow(TWO_W, W(0x8000000000000000ull + 100))) - 1.0L), std::ldexp(1.0L, -47));
}

// pow(a, b) = 2^(b log2 a), and 2^y turns an absolute error of y into a
// relative one (times ln 2). Three parts, in units of 2^-46 relative: the
// truncation of the result and the exp2 kernel (about one unit); the log2
// kernel's absolute error (about 2^-50) times |b|; and log2 a and y kept as
// 64-bit fixed-point words, whose last bits weigh about |y| 2^-61.
// Asserted: 1.06 + 0.081 |b| + 1.4 |y| / 2^15. Over |y| up to 16000 and a
// anywhere (a quarter of them next to 1) the error reaches 0.969 of that;
// fitted one term at a time (the other two at the asserted values) the
// observed terms are 1.029, 0.043 |b| and 0.77 |y| / 2^15.
TEST(ExtFloatPow, AccuracyAgainstLongDouble) {
    Rng rng{22};
    long double worst = 0;
    ExtFloat worstA{}, worstB{};
    for (int i = 0; i < runs(300000); ++i) {
        ExtFloat a = randomNormal(rng, ONE_EXPONENT - 16000, ONE_EXPONENT + 16000, false);
        if (i % 4 == 0) {  // next to 1
            const uint64_t f = (rng.next() >> rng.range(1, 46)) & FRACTION_BITS;
            a = rng.coin() ? W(0x4000000000000000ull + f + ONE_EXPONENT) : W(0x7FFFFFFFFFFF0000ull - f + ONE_EXPONENT - 1);
        }
        const long double la = std::log2(ld(a));
        if (la == 0) continue;
        const long double y = std::min(std::ldexp(1.0L + (rng.next() % 1024) / 1024.0L, rng.range(-40, 13)), 16000.0L) *
                              (rng.coin() ? 1 : -1);
        const ExtFloat b = xf::fromDouble(static_cast<double>(y / la));
        const long double ref = std::pow(ld(a), ld(b));
        const ExtFloat r = pow(a, b);
        ASSERT_TRUE(isNormalised(r)) << hex(a) << " ^ " << hex(b);
        const long double rel = std::fabs(ld(r) / ref - 1.0L) / std::ldexp(1.0L, -46);
        const long double bound = 1.06L + 0.081L * std::fabs(ld(b)) + 1.4L * std::fabs(ld(b) * la) / 32768;
        if (rel / bound > worst) worst = rel / bound, worstA = a, worstB = b;
    }
    EXPECT_LT(worst, 1.0L) << "worst at " << hex(worstA) << " ^ " << hex(worstB);
}

// Exponents whose product with log2 a lies anywhere from 2^-90 to 2 in
// magnitude, of either sign: every way the power-of-two step splits its input
// into a whole part and a fraction, from the binary point inside the word
// through the fraction shifted out of it entirely. Within 1.1 units (2^-46)
// of the exact a^b (MPFR).
TEST(ExtFloatPow, ExponentsNearZeroAgainstExactValues) {
    Mp exact, base, power, got;
    Rng rng{23};
    for (int j = -90; j <= 1; ++j) {
        for (int i = 0; i < 12; ++i) {
            const ExtFloat a = i < 4 ? TWO_W : randomNormal(rng, ONE_EXPONENT - 20, ONE_EXPONENT + 20, false);
            const uint64_t frac = (i % 4 == 1) ? 0 : rng.next() & FRACTION_BITS;
            const uint64_t M = ((i & 1) ? 0x8000000000000000ull : 0x4000000000000000ull) | frac;
            const ExtFloat b = W(M + static_cast<uint64_t>(ONE_EXPONENT + j));
            if (a == ONE_W) continue;
            setExact(base, a);
            setExact(power, b);
            mpfr_pow(exact, base, power, MPFR_RNDN);
            const ExtFloat r = pow(a, b);
            ASSERT_TRUE(isNormalised(r)) << hex(a) << " ^ " << hex(b);
            setExact(got, r);
            mpfr_div(got, got, exact, MPFR_RNDN);
            mpfr_sub_ui(got, got, 1, MPFR_RNDN);
            EXPECT_LE(std::fabs(mpfr_get_d(got, MPFR_RNDN)), 1.1 * std::ldexp(1.0, -46)) << hex(a) << " ^ " << hex(b);
        }
    }
}

// ================================================================ trigonometry

constexpr long double TAU = 6.283185307179586476925286766559005768L;

TEST(ExtFloatTrig, EdgeCases) {
    EXPECT_EQ(cosTurns(ExtFloat{}), ONE_W);
    EXPECT_TRUE(sinTurns(ExtFloat{}).isZero());
    const ExtFloat quarter = W(0x4000000000008000ull);
    EXPECT_LE(std::fabs(ld(sinTurns(quarter)) - 1.0L), std::ldexp(1.0L, -47));
    EXPECT_LE(std::fabs(ld(sinTurns(neg(quarter))) + 1.0L), std::ldexp(1.0L, -47));
    EXPECT_TRUE(sinTurns(HALF_W).isZero());
    EXPECT_EQ(cosTurns(HALF_W), MINUS_ONE_W);
    // Whole turns.
    for (int32_t n : {1, -1, 2, 7, -12345, 1 << 30, std::numeric_limits<int32_t>::min()}) {
        EXPECT_TRUE(sinTurns(xf::fromInt32(n)).isZero()) << n;
        EXPECT_EQ(cosTurns(xf::fromInt32(n)), ONE_W) << n;
    }
}

TEST(ExtFloatTrig, TinyAndHugeAnglesReduceCorrectly) {
    // Below 2^-64 turns nothing of the angle is left: sin is (nearly) zero and
    // cos one, not the value of some wrapped shift.
    for (int e = 32760; e >= 32600; --e) {
        const ExtFloat a = W(0x4000000000000000ull + static_cast<uint64_t>(e));
        const long double expected = std::sin(TAU * ld(a));
        const long double tolerance = 1.1L * ulpOf(expected) + std::ldexp(1.0L, -60);
        EXPECT_LE(std::fabs(ld(sinTurns(a)) - expected), tolerance) << e;
        EXPECT_LE(std::fabs(ld(sinTurns(neg(a))) + expected), tolerance) << e;
        EXPECT_LE(std::fabs(ld(cosTurns(a)) - std::cos(TAU * ld(a))), std::ldexp(1.0L, -46)) << e;
        if (e < 32704) {
            EXPECT_EQ(cosTurns(a), ONE_W) << e;
        }
    }
    // From 2^62 turns on every value is a whole number of turns.
    Rng rng{23};
    for (int i = 0; i < 1000; ++i) {
        const ExtFloat a = randomNormal(rng, 32832, 65535);
        EXPECT_TRUE(sinTurns(a).isZero()) << hex(a);
        EXPECT_EQ(cosTurns(a), ONE_W) << hex(a);
    }
}

// The polynomial for sin(2 pi x) on a quarter turn is good to about 2^-52;
// the reduced angle is a 64-bit fraction of a turn and the kernel's result a
// Q2.62 word. So the error is about one unit of the result's last place for
// large results, and a few units of 2^-62 absolutely for small ones. Observed
// over angles from 2^-63 to 2^61 turns, in units of max(last place, 2^-62):
// sin 5.55, cos 3.88; for |result| >= 1/4, 1.0313 and 1.0314 units of the
// last place.
TEST(ExtFloatTrig, SinCosAccuracyAgainstLongDouble) {
    Rng rng{24};
    Worst sinErr, cosErr, sinUlp, cosUlp;
    for (int i = 0; i < runs(300000); ++i) {
        const ExtFloat a = randomNormal(rng, 32769 - 62, 32769 + 62);
        const long double v = ld(a);
        const long double angle = TAU * (v - std::round(v));
        const long double s = std::sin(angle), c = std::cos(angle);
        const long double gs = ld(sinTurns(a)), gc = ld(cosTurns(a));
        const auto unit = [](long double ref) { return ref == 0 ? std::ldexp(1.0L, -62) : std::max(ulpOf(ref), std::ldexp(1.0L, -62)); };
        sinErr.note((gs - s) / unit(s), a);
        cosErr.note((gc - c) / unit(c), a);
        if (std::fabs(s) >= 0.25L) sinUlp.note((gs - s) / ulpOf(s), a);
        if (std::fabs(c) >= 0.25L) cosUlp.note((gc - c) / ulpOf(c), a);
        ASSERT_LE(std::fabs(gs), 1.0L);
        ASSERT_LE(std::fabs(gc), 1.0L);
    }
    EXPECT_LT(std::fabs(sinErr.value), 6.0L) << sinErr.where();
    EXPECT_LT(std::fabs(cosErr.value), 4.5L) << cosErr.where();
    EXPECT_LT(std::fabs(sinUlp.value), 1.1L) << sinUlp.where();
    EXPECT_LT(std::fabs(cosUlp.value), 1.1L) << cosUlp.where();
}

TEST(ExtFloatTrig, Atan2SpecialCasesAndOctants) {
    EXPECT_EQ(atan2Turns(ExtFloat{}, MINUS_ONE_W), HALF_W);
    EXPECT_TRUE(atan2Turns(ExtFloat{}, ONE_W).isZero());
    EXPECT_TRUE(atan2Turns(ExtFloat{}, ExtFloat{}).isZero());
    EXPECT_EQ(atan2Turns(ONE_W, ExtFloat{}), W(0x4000000000008000ull));        // 0.25
    EXPECT_EQ(atan2Turns(MINUS_ONE_W, ExtFloat{}), W(0x6000000000008001ull));  // 0.75
    EXPECT_EQ(ld(atan2Turns(MINUS_ONE_W, ONE_W)), -0.125L);
    // The diagonals are exact eighths, wrapped into [-1/2, 1/2).
    const ExtFloat three = xf::fromInt32(3), minusThree = xf::fromInt32(-3);
    EXPECT_EQ(ld(atan2Turns(three, three)), 0.125L);
    EXPECT_EQ(ld(atan2Turns(three, minusThree)), 0.375L);
    EXPECT_EQ(ld(atan2Turns(minusThree, minusThree)), -0.375L);
    EXPECT_EQ(ld(atan2Turns(minusThree, three)), -0.125L);
}

// atan(x)/pi is a polynomial good to about 2^-52 turns, computed as a 64-bit
// fraction of a turn. Observed over 300000 points with coordinates spread
// over 2^+-70, modulo one turn, in units of max(last place, 2^-64 turns):
// 4.48; away from the axes (1/64 <= |angle| <= 0.49) 1.307 units of the
// last place.
TEST(ExtFloatTrig, Atan2AccuracyAgainstLongDouble) {
    Rng rng{25};
    Worst err, ulpErr;
    for (int i = 0; i < runs(300000); ++i) {
        const ExtFloat y = randomNormal(rng, ONE_EXPONENT - 70, ONE_EXPONENT + 70);
        const ExtFloat x = randomNormal(rng, ONE_EXPONENT - 70, ONE_EXPONENT + 70);
        const ExtFloat r = atan2Turns(y, x);
        const long double got = ld(r);
        ASSERT_TRUE(got >= -0.5L && got < 0.5L) << hex(y) << " " << hex(x);
        const long double ref = std::atan2(ld(y), ld(x)) / TAU;
        long double d = got - ref;
        d -= std::round(d);
        const long double unit = std::max(ulpOf(ref), std::ldexp(1.0L, -64));
        err.note(d / unit, y, x);
        if (std::fabs(ref) >= 1.0L / 64 && std::fabs(ref) <= 0.49L) ulpErr.note(d / ulpOf(ref), y, x);
    }
    EXPECT_LT(std::fabs(err.value), 5.0L) << err.where();
    EXPECT_LT(std::fabs(ulpErr.value), 1.4L) << ulpErr.where();
}

}  // namespace
