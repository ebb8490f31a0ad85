// The numbers every machine computes alike: ExtFloat (edge cases, and random
// operands against MPFR or long double) and the exactly rounded elementary
// functions; the constants built from them, and the icosahedron's faces.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "galaxy/galaxy.h"
#include "numeric/constants.h"
#include "numeric/exact_math.h"
#include "numeric/ext_float.h"

namespace {

// The random property tests are scaled down under AddressSanitizer and the
// emulator (which runs the same code, checked bit for bit by the cross-check).
#if defined(STARLOOM_EMULATED)
constexpr int SLOWDOWN = 4;
#elif defined(__SANITIZE_ADDRESS__)
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
const ExtFloat ZERO{};
const ExtFloat INVALID = ExtFloat::Invalid;
ExtFloat fi(int32_t n) { return xf::fromInt32(n); }
ExtFloat fd(double v) { return xf::fromDouble(v); }

std::string hex(ExtFloat a) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%016" PRIX64, a.w);
    return buf;
}

// The galaxy's own generator: a fixed seed gives the same operands on every run.
struct Rng {
    uint64_t state;
    uint64_t next() { return wyhashDraw(state); }
    int range(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1)); }
    bool coin() { return (next() & 1) != 0; }
};

// A random normalised value with its exponent in [eLo, eHi]; one in eight has
// the smallest or largest mantissa (powers of two of either sign).
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

// A value in [1/2, 2), often very close to 1.
ExtFloat nearOne(Rng& rng, int shift) {
    const uint64_t f = (rng.next() >> rng.range(1, shift)) & FRACTION_BITS;
    return rng.coin() ? W(0x4000000000000000ull + f + ONE_EXPONENT) : W(0x7FFFFFFFFFFF0000ull - f + ONE_EXPONENT - 1);
}

bool isNormalised(ExtFloat a) {
    const uint64_t top = a.w >> 62;
    return top == 1 || top == 2;
}

// An MPFR number that frees itself, optionally holding a word's exact value:
// mantissa (bits 63..16) * 2^(exponent - 32816).
struct Mp {
    mpfr_t v;
    explicit Mp(mpfr_prec_t precision = 256) { mpfr_init2(v, precision); }
    explicit Mp(ExtFloat a) : Mp(64) { mpfr_set_si_2exp(v, a.mantissaWord() >> 16, a.exponent() - 32816, MPFR_RNDN); }
    ~Mp() { mpfr_clear(v); }
    Mp(const Mp&) = delete;
    Mp& operator=(const Mp&) = delete;
    operator mpfr_ptr() { return v; }
};

// The exact value as long double (47 significant bits always fit).
long double ld(ExtFloat a) { return std::ldexp(static_cast<long double>(a.mantissaWord() >> 16), a.exponent() - 32816); }

// One unit in the last of the 47 significant bits of a value in x's binade
// (zero has none: 0, so that max(ulpOf(x), floor) falls to the floor).
long double ulpOf(long double x) { return x == 0 ? 0 : std::ldexp(1.0L, std::ilogb(x) - 46); }

// Results known to the bit: the range ends of every operation and the cases
// each treats apart. Zero is the all-zero word, invalid the all-ones word.
TEST(ExtFloatEdges, ExactResults) {
    const ExtFloat top = W(0x600000000000FFFFull), quarter = W(0x4000000000008000ull);
    const std::pair<ExtFloat, ExtFloat> words[] = {
        // Conversions; fromDecimal with a negative mantissa and power keeps
        // the plain algorithm: an unnormalised word with the exact value.
        {fi(std::numeric_limits<int32_t>::min()), W(0x8000000000008020ull)},
        {xf::fromDecimal(1570796326794896619, -18), W(0x6487ED5110B48002ull)},  // pi / 2
        {xf::fromDecimal(1, 0), ONE_W}, {xf::fromDecimal(5, -1), HALF_W}, {xf::fromDecimal(2, 0), TWO_W},
        {xf::fromDecimal(100, -1), fi(10)}, {xf::fromDecimal(-7, 0), fi(-7)},
        {xf::fromDecimal(3085677581, 7), xf::fromUint64(30856775810000000ull)},
        {xf::fromDecimal(-1, 0), MINUS_ONE_W}, {xf::fromDecimal(-25, 2), fi(-2500)},
        {xf::fromDecimal(-2048, 0), W(0x800000000000800Cull)},  // -2^11 keeps mantissa 0x8000...
        {xf::fromDecimal(-25, -1), W(0xFB00000000008007ull)},
        {fd(0.0), ZERO}, {fd(-0.0), ZERO}, {fi(0), ZERO}, {xf::fromDecimal(0, 5), ZERO},
        // Huge powers finish quickly; 10^9864 is the first power of ten above
        // 2^32766, 10^-9866 below the smallest value.
        {xf::fromDecimal(1, 10000), INVALID}, {xf::fromDecimal(-1, 100000), INVALID},
        {xf::fromDecimal(1, std::numeric_limits<int32_t>::max()), INVALID},
        {xf::fromDecimal(std::numeric_limits<int64_t>::max(), -10000), ZERO},
        {xf::fromDecimal(-1, std::numeric_limits<int32_t>::min()), ZERO},
        {xf::fromDecimal(1, 9864), INVALID}, {xf::fromDecimal(1, -9866), ZERO},
        // neg of the powers of two at the ends of the range
        {neg(MINUS_ONE_W), ONE_W}, {neg(ONE_W), MINUS_ONE_W}, {neg(fd(1.5)), fd(-1.5)}, {neg(ZERO), ZERO},
        {neg(W(0x800000000000FFFFull)), INVALID}, {neg(W(0x4000000000000000ull)), ZERO},
        // add and sub: the largest sum, and results below the range stay
        // unnormalised at exponent 0: (1 + 2^-46) - 1 at exponent 1 is kept.
        {add(ZERO, ZERO), ZERO}, {add(W(0x400000000000FFFEull), W(0x400000000000FFFEull)), W(0x400000000000FFFFull)},
        {sub(W(0x6000000000000001ull), W(0x4000000000000001ull)), W(0x4000000000000000ull)},
        {sub(W(0x4000000000010001ull), W(0x4000000000000001ull)), W(0x0000000000020000ull)},
        // mul: mantissas 2^62 * 2^62 give the exponent ea + eb - 32770
        {mul(ZERO, fd(3.5)), ZERO}, {mul(fd(-3.5), ZERO), ZERO}, {mul(top, top), INVALID},
        {mul(pow2(65535), pow2(32770)), W(0x400000000000FFFFull)}, {mul(pow2(65535), pow2(32771)), INVALID},
        {mul(pow2(1), pow2(32769)), W(0x4000000000000000ull)}, {mul(pow2(1), pow2(32768)), ZERO},
        // div: mantissas 2^62 / 2^62 give the exponent ea - eb + 32770; the
        // invalid marker spells -2^32719, and 1 / that is exactly -2^-32719
        {div(ONE_W, ZERO), INVALID}, {div(ZERO, ZERO), INVALID}, {div(ZERO, fd(-7.0)), ZERO},
        {div(fi(-6), fi(3)), fi(-2)}, {div(fi(6), fi(-3)), fi(-2)}, {div(ONE_W, INVALID), W(0x8000000000000032ull)},
        {div(pow2(65535), pow2(32770)), W(0x400000000000FFFFull)}, {div(pow2(65535), pow2(32769)), INVALID},
        {div(pow2(0), pow2(32770)), W(0x4000000000000000ull)}, {div(pow2(0), pow2(32771)), ZERO},
        // scalePow2 keeps the mantissa down to exponent 0 and up to the top
        {scalePow2(ONE_W, 1), TWO_W}, {scalePow2(ONE_W, -1), HALF_W},
        {scalePow2(W(0x6000000000000005ull), -5), W(0x6000000000000000ull)},
        {scalePow2(W(0x6000000000000005ull), -6), ZERO},
        {scalePow2(W(0x600000000000FFF0ull), 15), W(0x600000000000FFFFull)},
        {add(scalePow2(ZERO, 40), ONE_W), ONE_W},
        // sqrt and invSqrt
        {sqrt(fi(4)), TWO_W}, {sqrt(ONE_W), ONE_W}, {sqrt(fd(0.25)), HALF_W}, {sqrt(MINUS_ONE_W), INVALID},
        {sqrt(INVALID), INVALID}, {sqrt(ZERO), ZERO}, {invSqrt(fi(4)), HALF_W}, {invSqrt(ONE_W), ONE_W},
        {invSqrt(fd(0.25)), TWO_W}, {invSqrt(ZERO), INVALID}, {invSqrt(MINUS_ONE_W), INVALID},
        // log2 and pow; exponents too small to matter give 1
        {log2(ONE_W), ZERO}, {log2(TWO_W), ONE_W}, {log2(HALF_W), MINUS_ONE_W}, {log2(ZERO), INVALID},
        {log2(MINUS_ONE_W), INVALID}, {pow(fi(-2), TWO_W), INVALID}, {pow(fi(4), HALF_W), TWO_W},
        {pow(TWO_W, fi(32765)), W(0x400000000000FFFFull)}, {pow(TWO_W, fi(32766)), INVALID},
        {pow(TWO_W, fi(40000)), INVALID}, {pow(TWO_W, fi(-40000)), ZERO}, {pow(fi(10), fi(100000)), INVALID},
        {pow(fi(10), fi(-100000)), ZERO}, {pow(TWO_W, W(0x4000000000000000ull + 100)), ONE_W},
        // sin, cos and atan2 in turns; atan2 of the axes
        {cosTurns(ZERO), ONE_W}, {sinTurns(ZERO), ZERO}, {sinTurns(HALF_W), ZERO}, {cosTurns(HALF_W), MINUS_ONE_W},
        {atan2Turns(ZERO, MINUS_ONE_W), HALF_W}, {atan2Turns(ZERO, ONE_W), ZERO}, {atan2Turns(ZERO, ZERO), ZERO},
        {atan2Turns(ONE_W, ZERO), quarter}, {atan2Turns(MINUS_ONE_W, ZERO), W(0x6000000000008001ull)},
    };
    for (size_t i = 0; i < std::size(words); ++i) EXPECT_EQ(hex(words[i].first), hex(words[i].second)) << "row " << i;
    // Exact values of words that need not be normalised, and of the diagonals
    // (exact eighths of a turn, wrapped into [-1/2, 1/2)).
    const ExtFloat three = fi(3), minusThree = fi(-3);
    const std::pair<ExtFloat, long double> values[] = {
        {xf::fromDecimal(std::numeric_limits<int64_t>::min(), 0), -0x1p63L},
        {scalePow2(fd(-1.25), -100), -1.25L * std::ldexp(1.0L, -100)},
        {atan2Turns(MINUS_ONE_W, ONE_W), -0.125L}, {atan2Turns(three, three), 0.125L},
        {atan2Turns(three, minusThree), 0.375L}, {atan2Turns(minusThree, minusThree), -0.375L},
        {atan2Turns(minusThree, three), -0.125L},
    };
    for (size_t i = 0; i < std::size(values); ++i) EXPECT_EQ(ld(values[i].first), values[i].second) << "value " << i;
    EXPECT_FALSE(xf::fromDecimal(1, 9863).isInvalid());
    EXPECT_FALSE(xf::fromDecimal(1, -9864).isZero());
    for (int k : {-100000, -1, 0, 1, 5, 65535, 100000}) EXPECT_EQ(scalePow2(ZERO, k).w, 0u) << k;
    EXPECT_THROW(add(top, top), std::overflow_error);
    EXPECT_THROW(sub(top, neg(top)), std::overflow_error);
    EXPECT_THROW(add(W(0x400000000000FFFFull), W(0x400000000000FFFFull)), std::overflow_error);
    EXPECT_THROW(scalePow2(W(0x600000000000FFF0ull), 16), std::overflow_error);
}

// The exact value inside the normal doubles (47 bits always fit), 0 below,
// NaN above (+-2^1024 spell infinities): every exponent around the range, with
// powers of two of either sign (negative ones have a path of their own).
TEST(ExtFloatConversions, ToDoubleIsExactInsideTheNormalRange) {
    EXPECT_EQ(toDouble(ZERO), 0.0);
    for (int e = 31740; e <= 33800; ++e) {
        for (uint64_t m : {0x4000000000000000ull, 0x8000000000000000ull, 0x7FFFFFFFFFFF0000ull, 0xAAAAAAAAAAAA0000ull}) {
            const ExtFloat a = W(m + static_cast<uint64_t>(e));
            const long double v = ld(a), magnitude = std::fabs(v);
            const double got = toDouble(a);
            if (magnitude < 0x1p1024L)
                ASSERT_EQ(got, magnitude < 0x1p-1022L ? 0.0 : static_cast<double>(v)) << hex(a);
            else
                ASSERT_TRUE(std::isnan(got) || (magnitude == 0x1p1024L && got == std::copysign(HUGE_VAL, v))) << hex(a);
        }
    }
}

// Against the integer cut to its top 47 significant bits, and back.
TEST(ExtFloatConversions, FromUint64KeepsTheTop47Bits) {
    Rng rng{2};
    const uint64_t edges[] = {1, 2, 3, 0xFFFF, 0x7FFFFFFFFFFF, 0xFFFFFFFFFFFF, 0x8000000000000000ull,
                              0xFFFFFFFFFFFFFFFFull, 0x7FFFFFFFFFFFFFFFull};
    for (int i = -static_cast<int>(std::size(edges)); i < runs(100000); ++i) {
        const uint64_t n = i < 0 ? edges[-i - 1] : rng.next() >> rng.range(0, 63);
        const ExtFloat x = xf::fromUint64(n);
        const int dropped = std::max(0, 64 - std::countl_zero(n) - 47);
        const uint64_t kept = n >> dropped << dropped;
        ASSERT_TRUE(n == 0 ? x.isZero() : isNormalised(x)) << n;
        ASSERT_EQ(ld(x), static_cast<long double>(kept)) << n << " -> " << hex(x);
        ASSERT_EQ(toUint64(x), kept) << n;
    }
}

// The six lowest fraction bits of a double are dropped (toward zero); powers
// of two one draw in eight.
TEST(ExtFloatConversions, FromDoubleRoundTripsDoublesWith47SignificantBits) {
    Rng rng{3};
    for (int i = 0; i < runs(300000); ++i) {
        const uint64_t be = static_cast<uint64_t>(rng.range(1, 2046));
        const uint64_t frac = i % 8 == 0 ? 0 : rng.next() & ((uint64_t{1} << 52) - 1);
        const uint64_t sign = rng.coin() ? uint64_t{1} << 63 : 0;
        const double d = std::bit_cast<double>(sign | (be << 52) | frac);
        const double kept = std::bit_cast<double>(sign | (be << 52) | (frac & ~uint64_t{63}));
        const ExtFloat x = fd(d);
        ASSERT_TRUE(isNormalised(x)) << d;
        ASSERT_EQ(ld(x), static_cast<long double>(kept)) << d;
        ASSERT_EQ(toDouble(x), kept) << d;
        ASSERT_EQ(fd(kept), x) << d;
    }
}

// Below 2^-46 + |p| 2^-58 relative, toward minus infinity. A negative mantissa
// with a negative power keeps an unnormalised quotient: up to 2^-41.7 relative.
TEST(ExtFloatConversions, FromDecimalAgainstTheExactDecimalValue) {
    Mp exact(2400), diff(2400), ten(2400);
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
        mpfr_sub(diff, Mp(x), exact, MPFR_RNDN);
        mpfr_div(diff, diff, exact, MPFR_RNDN);
        mpfr_abs(diff, diff, MPFR_RNDN);
        const double rel = mpfr_get_d(diff, MPFR_RNDU);
        const bool plain = mant < 0 && p < 0;
        const double bound = (plain ? std::ldexp(1.0, -41) * 0.81 : std::ldexp(1.0, -46)) + std::abs(p) * std::ldexp(1.0, -58);
        ASSERT_LE(rel, bound) << mant << "e" << p << " -> " << hex(x);
        if (!plain) {
            ASSERT_LE(mpfr_cmp(Mp(x), exact), 0) << mant << "e" << p << " rounds toward minus infinity";
            ASSERT_TRUE(isNormalised(x)) << mant << "e" << p;
        }
    }
}

// Both are the floor; toUint64 saturates (all ones for a negative value and
// from 2^64), toInt64 gives all ones from 2^63 and 0 for magnitudes up to 1/2
// of either sign (exponents up to 32768).
TEST(ExtFloatConversions, ToIntegersAreTheFloor) {
    EXPECT_EQ(toUint64(ZERO), 0u);
    EXPECT_EQ(toInt64(ZERO), 0);
    Rng rng{5};
    for (int i = 0; i < runs(400000); ++i) {
        const ExtFloat a = randomNormal(rng, 32750, 32834);
        Mp x(a);
        ASSERT_EQ(toUint64(a), a.isNegative() ? ~uint64_t{0} : mpfr_get_uj(x, MPFR_RNDD)) << hex(a);
        const int64_t expected = a.exponent() >= 32833 ? -1 : a.exponent() <= 32768 ? 0 : mpfr_get_sj(x, MPFR_RNDD);
        ASSERT_EQ(toInt64(a), expected) << hex(a);
    }
}

// Bit for bit: with u the weight of the halved mantissas' last bit at the larger
// exponent, floor(a/u) u +- floor(b/u) u rounded up to a multiple of 2^15 u, and
// after a carry into the top bit down to 2^16 u. Operands 63 or more binades
// apart (zero among them) give the larger one unchanged.
TEST(ExtFloatAdd, IsTheAlignedSumRoundedUpAtTheGuardBit) {
    Mp sum(256);
    // v rounded to a multiple of 2^k in the given direction.
    const auto roundAt = [](mpfr_ptr v, int k, mpfr_rnd_t direction) {
        mpfr_mul_2si(v, v, -k, MPFR_RNDN);
        mpfr_rint(v, v, direction);
        mpfr_mul_2si(v, v, k, MPFR_RNDN);
    };
    Rng rng{26};
    for (int i = 0; i < runs(200000); ++i) {
        const int e = rng.range(200, 65000);
        const ExtFloat a = i % 64 == 0 ? ZERO : randomNormal(rng, e - 66, e + 66);
        const ExtFloat b = i % 64 == 1 ? ZERO : randomNormal(rng, e - 66, e + 66);
        const bool subtract = rng.coin();
        const ExtFloat r = subtract ? sub(a, b) : add(a, b);
        const int apart = b.exponent() - a.exponent();
        if (std::abs(apart) >= 63) {
            const ExtFloat larger = apart < 0 ? a : subtract ? neg(b) : b;
            ASSERT_EQ(r, larger) << hex(a) << (subtract ? " - " : " + ") << hex(b);
            continue;
        }
        const int u = std::max(a.exponent(), b.exponent()) - 32831;
        Mp x(a), y(b);
        roundAt(x, u, MPFR_RNDD);
        roundAt(y, u, MPFR_RNDD);
        (subtract ? mpfr_sub : mpfr_add)(sum, x, y, MPFR_RNDN);
        roundAt(sum, u + 15, MPFR_RNDU);
        if (mpfr_cmp_si_2exp(sum, 1, u + 62) >= 0 || mpfr_cmp_si_2exp(sum, -1, u + 62) < 0) roundAt(sum, u + 16, MPFR_RNDD);
        ASSERT_TRUE(mpfr_equal_p(sum, Mp(r))) << hex(a) << (subtract ? " - " : " + ") << hex(b) << " = " << hex(r);
        ASSERT_TRUE(r.isZero() || isNormalised(r)) << hex(a) << (subtract ? " - " : " + ") << hex(b);
    }
}

// Products and quotients of like signs are rounded toward minus infinity;
// quotients of unlike signs within (-1, 2^-15] units of the result. The same
// operands shifted right (not normalised): a normalised dividend keeps the
// quotient within a unit, a dividend shifted by s places within 2^(s - 61)
// relative.
TEST(ExtFloatMulDiv, ProductsAndQuotientsAreRoundedDown) {
    Mp expected(47), diff(256);
    const auto shifted = [](ExtFloat a, int s) {
        return W((static_cast<uint64_t>(a.mantissaWord() >> s) & ~uint64_t{0xFFFF}) + a.exponent());
    };
    Rng rng{13};
    for (int i = 0; i < runs(300000); ++i) {
        const ExtFloat a = randomNormal(rng, 16400, 49000);
        const ExtFloat b = randomNormal(rng, 16400, 49000);
        const ExtFloat r = mul(a, b), q = div(a, b);
        mpfr_mul(expected, Mp(a), Mp(b), MPFR_RNDD);
        ASSERT_TRUE(isNormalised(r)) << hex(a) << " * " << hex(b);
        ASSERT_TRUE(mpfr_equal_p(expected, Mp(r))) << hex(a) << " * " << hex(b) << " = " << hex(r);
        ASSERT_EQ(mul(b, a), r);
        ASSERT_TRUE(isNormalised(q)) << hex(a) << " / " << hex(b);
        if (a.isNegative() == b.isNegative()) {
            mpfr_div(expected, Mp(a), Mp(b), MPFR_RNDD);
            ASSERT_TRUE(mpfr_equal_p(expected, Mp(q))) << hex(a) << " / " << hex(b) << " = " << hex(q);
        } else {
            mpfr_div(diff, Mp(a), Mp(b), MPFR_RNDN);
            mpfr_sub(diff, Mp(q), diff, MPFR_RNDN);
            mpfr_mul_2si(diff, diff, -(q.exponent() - 32816), MPFR_RNDN);
            const double err = mpfr_get_d(diff, MPFR_RNDN);
            ASSERT_TRUE(err > -1.0 && err <= std::ldexp(1.0, -15)) << hex(a) << " / " << hex(b) << " = " << hex(q);
        }
        if (i % 3 != 0) continue;
        const int shiftA = rng.coin() ? 0 : rng.range(1, 46);
        const ExtFloat sa = shifted(a, shiftA), sb = shifted(b, rng.range(0, 46)), sq = div(sa, sb);
        ASSERT_TRUE(isNormalised(sq)) << hex(sa) << " / " << hex(sb);
        mpfr_div(diff, Mp(sa), Mp(sb), MPFR_RNDN);
        mpfr_sub(diff, Mp(sq), diff, MPFR_RNDN);
        if (shiftA == 0) {
            mpfr_mul_2si(diff, diff, -(sq.exponent() - 32816), MPFR_RNDN);
            ASSERT_LT(std::fabs(mpfr_get_d(diff, MPFR_RNDN)), 1.0) << hex(sa) << " / " << hex(sb) << " = " << hex(sq);
        } else {
            mpfr_div(diff, diff, Mp(sq), MPFR_RNDN);
            ASSERT_LT(std::fabs(mpfr_get_d(diff, MPFR_RNDN)), std::ldexp(1.0, shiftA - 61) + std::ldexp(1.0, -46))
                << hex(sa) << " / " << hex(sb) << " = " << hex(sq);
        }
    }
}

// Every pair of the edge values, then random pairs, often of equal exponents.
TEST(ExtFloatCompare, MatchesTheExactOrdering) {
    const ExtFloat edges[] = {ZERO, ONE_W, MINUS_ONE_W, W(0x4000000000000001ull), W(0x800000000000FFFFull)};
    Rng rng{16};
    for (int i = -25; i < runs(300000); ++i) {
        const int e = rng.range(10, 65525);
        const int spread = (i % 3 == 0) ? 0 : 3;
        const ExtFloat a = i < 0 ? edges[(-i - 1) / 5] : (i % 17 == 0) ? ZERO : randomNormal(rng, e - spread, e + spread);
        const ExtFloat b = i < 0 ? edges[(-i - 1) % 5] : (i % 19 == 0) ? ZERO : randomNormal(rng, e - spread, e + spread);
        const int c = mpfr_cmp(Mp(a), Mp(b));
        ASSERT_EQ(greaterEqual(a, b), c >= 0) << hex(a) << " >= " << hex(b);
        ASSERT_EQ(a >= b, c >= 0);
        ASSERT_EQ(a <= b, c <= 0);
        ASSERT_EQ(a < b, c < 0);
        ASSERT_EQ(a > b, c > 0);
        ASSERT_EQ(min(a, b), c <= 0 ? a : b);
        ASSERT_EQ(max(a, b), c >= 0 ? a : b);
    }
}

// sqrt and invSqrt of powers of four, log2 of powers of two and 2^n are exact.
TEST(ExtFloatPowers, PowersAreExact) {
    for (int k = -16000; k <= 16000; k += 7) {
        const ExtFloat x = pow2(ONE_EXPONENT + 2 * k);
        EXPECT_EQ(sqrt(x), pow2(ONE_EXPONENT + k)) << k;
        EXPECT_EQ(invSqrt(x), pow2(ONE_EXPONENT - k)) << k;
    }
    for (int k = -32000; k <= 32000; k += 13) EXPECT_EQ(log2(pow2(ONE_EXPONENT + k)), fi(k)) << k;
    for (int n = -32700; n <= 32700; n += 11) EXPECT_EQ(pow(TWO_W, fi(n)), pow2(ONE_EXPONENT + n)) << n;
}

// sqrt and invSqrt truncate (observed -1.00031 .. +0.00001 units of the last
// place), log2 too far from 1 (-0.99999 .. +0.0116); in [1/2, 2) log2 is within
// one unit plus 0.994 * 2^-50.
TEST(ExtFloatSqrtLog2, AccuracyAgainstLongDouble) {
    Rng rng{19};
    for (int i = 0; i < runs(300000); ++i) {
        const ExtFloat a = randomNormal(rng, ONE_EXPONENT - 16000, ONE_EXPONENT + 16000, false);
        const long double root = std::sqrt(ld(a)), lg = std::log2(ld(a));
        const long double e1 = (ld(sqrt(a)) - root) / ulpOf(root);
        const long double e2 = (ld(invSqrt(a)) - 1.0L / root) / ulpOf(1.0L / root);
        const long double e3 = (ld(log2(a)) - lg) / ulpOf(lg);
        ASSERT_TRUE(e1 > -1.002L && e1 < 0.0002L && e2 > -1.002L && e2 < 0.0002L) << hex(a);
        ASSERT_TRUE(isNormalised(sqrt(a)) && isNormalised(invSqrt(a))) << hex(a);
        const bool nearUnity = a.exponent() == ONE_EXPONENT || a.exponent() == ONE_EXPONENT - 1;
        ASSERT_TRUE(nearUnity || (e3 > -1.01L && e3 < 0.03L)) << hex(a);
    }
    for (int i = 0; i < runs(300000); ++i) {
        const ExtFloat a = nearOne(rng, 50);
        const long double ref = std::log2(ld(a));
        const long double bound = ref == 0 ? 0 : ulpOf(ref) + 1.1L * std::ldexp(1.0L, -50);
        ASSERT_LE(std::fabs(ld(log2(a)) - ref), bound) << hex(a);
    }
    // Just above one the reciprocal root is just below a power of two.
    const ExtFloat above = W(0x4000000000010000ull + ONE_EXPONENT);
    EXPECT_FALSE(invSqrt(above).isNegative());
    EXPECT_LE(std::fabs(ld(invSqrt(above)) - 1.0L), std::ldexp(1.0L, -46));
    EXPECT_LE(std::fabs(ld(sqrt(W(0x7FFFFFFFFFFF0000ull + ONE_EXPONENT + 1))) - 2.0L), std::ldexp(1.0L, -45));
}

// In units of 2^-46 relative, with y = b log2 a: below 1.06 + 0.081 |b| +
// 1.4 |y| / 2^15 (truncation, the log2 kernel, the fixed-point y); reached 0.969.
// |y| runs from 2^-90 to 16000 of either sign: every split of the power-of-two
// step's input into whole part and fraction.
TEST(ExtFloatPow, AccuracyAgainstLongDouble) {
    Rng rng{22};
    for (int i = 0; i < runs(300000); ++i) {
        ExtFloat a = randomNormal(rng, ONE_EXPONENT - 16000, ONE_EXPONENT + 16000, false);
        if (i % 4 == 0) a = nearOne(rng, 46);
        const long double la = std::log2(ld(a));
        if (la == 0) continue;
        const long double y = std::min(std::ldexp(1.0L + (rng.next() % 1024) / 1024.0L, rng.range(-90, 13)), 16000.0L) *
                              (rng.coin() ? 1 : -1);
        ExtFloat b = fd(static_cast<double>(y / la));
        // One in eight a power of two of either sign (mantissa 2^62 or -2^63), no larger.
        if (i % 8 == 1)
            b = W(b.isNegative() ? 0x8000000000000000ull + b.exponent() - 1 : 0x4000000000000000ull + b.exponent());
        const long double ref = std::pow(ld(a), ld(b));
        const ExtFloat r = pow(a, b);
        ASSERT_TRUE(isNormalised(r)) << hex(a) << " ^ " << hex(b);
        // a^0 = 1^b = 1; 0^b and a negative base are invalid.
        ASSERT_TRUE(pow(a, ZERO) == ONE_W && pow(ONE_W, b) == ONE_W) << hex(a) << " ^ " << hex(b);
        ASSERT_TRUE(pow(ZERO, b).isInvalid() && pow(neg(a), b).isInvalid()) << hex(a) << " ^ " << hex(b);
        const long double rel = std::fabs(ld(r) / ref - 1.0L) / std::ldexp(1.0L, -46);
        ASSERT_LT(rel, 1.06L + 0.081L * std::fabs(ld(b)) + 1.4L * std::fabs(ld(b) * la) / 32768)
            << hex(a) << " ^ " << hex(b);
    }
    // An exponent just below zero gives the value just below 1.
    EXPECT_LE(std::fabs(ld(pow(TWO_W, W(0x8000000000000000ull + 100))) - 1.0L), std::ldexp(1.0L, -47));
}

constexpr long double TAU = 6.283185307179586476925286766559005768L;

// In units of max(last place, 2^-62), observed sin 5.55, cos 3.88; for
// |result| >= 1/4, 1.0314 units of the last place. One angle in four is tiny
// (below 2^-66 turns nothing is left of a positive one: its cosine is exactly
// 1), one in four huge (from 2^47 turns every value is whole: sine 0 and
// cosine 1 exactly).
TEST(ExtFloatTrig, SinCosAccuracyAgainstLongDouble) {
    Rng rng{24};
    const auto unit = [](long double ref) { return std::max(ulpOf(ref), std::ldexp(1.0L, -62)); };
    const int lowest[4] = {32600, 32769 - 62, 32769 - 62, 32800};
    const int highest[4] = {32769 - 62, 32769 + 62, 32769 + 62, 40000};
    for (int i = 0; i < runs(400000); ++i) {
        const ExtFloat a = randomNormal(rng, lowest[i % 4], highest[i % 4]);
        const long double angle = TAU * (ld(a) - std::round(ld(a)));
        const long double s = std::sin(angle), c = std::cos(angle);
        const long double gs = ld(sinTurns(a)), gc = ld(cosTurns(a));
        ASSERT_LT(std::fabs(gs - s) / unit(s), 6.0L) << hex(a);
        ASSERT_LT(std::fabs(gc - c) / unit(c), 4.5L) << hex(a);
        ASSERT_TRUE(std::fabs(s) < 0.25L || std::fabs(gs - s) / ulpOf(s) < 1.1L) << hex(a);
        ASSERT_TRUE(std::fabs(c) < 0.25L || std::fabs(gc - c) / ulpOf(c) < 1.1L) << hex(a);
        ASSERT_TRUE(std::fabs(gs) <= 1.0L && std::fabs(gc) <= 1.0L) << hex(a);
        ASSERT_TRUE(angle != 0 || (sinTurns(a).isZero() && cosTurns(a) == ONE_W)) << hex(a);
        ASSERT_TRUE(a.isNegative() || a.exponent() >= 32704 || cosTurns(a) == ONE_W) << hex(a);
    }
    // A quarter turn gives one within half a unit.
    EXPECT_LE(std::fabs(ld(sinTurns(W(0x4000000000008000ull))) - 1.0L), std::ldexp(1.0L, -47));
    EXPECT_LE(std::fabs(ld(sinTurns(W(0x8000000000007FFFull))) + 1.0L), std::ldexp(1.0L, -47));
}

// In units of max(last place, 2^-64 turns), observed 4.48; for 1/64 <= |angle|
// <= 0.49, 1.307 units of the last place.
TEST(ExtFloatTrig, Atan2AccuracyAgainstLongDouble) {
    Rng rng{25};
    for (int i = 0; i < runs(300000); ++i) {
        const ExtFloat y = randomNormal(rng, ONE_EXPONENT - 70, ONE_EXPONENT + 70);
        const ExtFloat x = randomNormal(rng, ONE_EXPONENT - 70, ONE_EXPONENT + 70);
        const long double got = ld(atan2Turns(y, x)), ref = std::atan2(ld(y), ld(x)) / TAU;
        ASSERT_TRUE(got >= -0.5L && got < 0.5L) << hex(y) << " " << hex(x);
        const long double d = got - ref - std::round(got - ref);
        ASSERT_LT(std::fabs(d) / std::max(ulpOf(ref), std::ldexp(1.0L, -64)), 5.0L) << hex(y) << " " << hex(x);
        ASSERT_TRUE(std::fabs(ref) < 1.0L / 64 || std::fabs(ref) > 0.49L || std::fabs(d) / ulpOf(ref) < 1.4L)
            << hex(y) << " " << hex(x);
    }
}

// The elementary functions that must not leave a bit to the machine's C
// library: every result exactly rounded, checked against MPFR.
constexpr double INF = std::numeric_limits<double>::infinity();

// MPFR set up for double (or float) results, subnormals included.
struct Reference : Mp {
    const mpfr_exp_t emin = mpfr_get_emin(), emax = mpfr_get_emax();
    explicit Reference(int precision) : Mp(precision) {
        mpfr_set_emin(precision == 24 ? -148 : -1073);
        mpfr_set_emax(precision == 24 ? 128 : 1024);
    }
    ~Reference() {
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
    for (int i = 0; i < runs(40000); ++i) {
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

// Constants other code compares bit for bit.
TEST(Constants, ExactWords) {
    const std::pair<ExtFloat, uint64_t> words[] = {
        {TWO, 0x4000000000008003ull},          {FOUR, 0x4000000000008004ull},
        {SUN_LIFETIME_GYR, 0x5000000000008005ull}, {GALAXY_AGE_GYR, 0x6CCCCCCCCCCC8005ull},
        {SCALE_FACTOR, 0x6666666666667FFDull}, {xf::fromInt32(80), SCALE_INV.w},
    };
    for (const auto& [c, w] : words) EXPECT_EQ(c.w, w) << std::hex << w;
    // One unit of the last mantissa bit of 1.0 is 2^-46 above and 2^-47 below.
    EXPECT_LE(std::fabs(ld(mul(LIMIT_RADIUS_SQ, LIMIT_RADIUS_INV_SQ)) - 1.0L), std::ldexp(1.0L, -46));
}

// Every constant within half a unit of the last digit quoted for it.
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
    ASSERT_EQ(std::size(EXT_CONSTANTS), std::size(quoted));
    for (size_t k = 0; k < std::size(quoted); ++k) {
        const NamedConstant& c = EXT_CONSTANTS[k];
        const char* q = quoted[k].second;
        EXPECT_STREQ(c.name, quoted[k].first);
        int digits = 0;  // significant digits of the quoted text
        for (const char* p = q; *p && *p != 'e'; ++p) digits += *p >= '0' && *p <= '9' && (digits || *p != '0');
        const long double expected = std::strtold(q, nullptr), got = ld(c.value);
        const long double tolerance = 0.5L * std::pow(10.0L, 1 - digits) * std::fabs(expected);
        EXPECT_LE(std::fabs(got - expected), tolerance + std::ldexp(std::fabs(expected), -45))
            << c.name << " = " << static_cast<double>(got) << ", quoted " << q;
    }
}

// Finer than their quoted digits: expNatural's accuracy, LOG2_E's last digits.
TEST(Constants, DerivedValuesAgreeWithLongDouble) {
    EXPECT_NEAR(UNIT_PARSECS_DOUBLE, 1e4 / 3.085677581e16, 1e-12 * 1e4 / 3.085677581e16);
    EXPECT_NEAR(static_cast<double>(ld(PEAK_EXP) / std::exp(ld(H_C_OVER_K) / ld(PEAK_B))), 1.0, 1e-12);
    EXPECT_EQ(expNatural(ExtFloat{}), ONE);
    EXPECT_NEAR(static_cast<double>(ld(LOG2_E) * std::log(2.0L)), 1.0, 1e-13);
    EXPECT_FLOAT_EQ(INV_SUN_TEMPERATURE, 1.0f / 5778.0f);
}

// Equilateral faces of edge 2 (the sphere meshes' tests check the rest).
TEST(Icosahedron, FacesAreEquilateral) {
    for (const IcosaFace& face : ICOSA_FACES) {
        for (int j = 0; j < 3; ++j) {
            const auto& p = ICOSA_VERTICES[face.vertex[j]];
            const auto& q = ICOSA_VERTICES[face.vertex[(j + 1) % 3]];
            EXPECT_NEAR(std::hypot(p[0] - q[0], p[1] - q[1], p[2] - q[2]), 2.0f, 1e-5f) << face.vertex[j];
        }
    }
}

}  // namespace
