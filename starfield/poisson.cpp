#include "starfield/poisson.h"

#include <bit>

#include "numeric/ext_float.h"
#include "starfield/voxel_random.h"

namespace {

using xf::detail::u128;

// log2(e) in Q2.62.
constexpr uint64_t LOG2E_Q62 = 0x5c551d94ae0bf85dull;

// A positive number M * 2^(-63 - E) with M normalised (top bit set).
struct Scaled {
    uint64_t m;
    uint64_t e;
};

constexpr bool below(Scaled a, Scaled b) { return a.e != b.e ? a.e > b.e : a.m < b.m; }

// e^-mean for a 32.32 mean, as 2^-(mean * log2 e).
Scaled expNegative(uint64_t mean) {
    const auto y = static_cast<uint64_t>((static_cast<u128>(mean) * LOG2E_Q62) >> 62);  // 32.32
    const uint64_t whole = y >> 32;
    const uint64_t frac = y << 32;  // Q0.64
    if (frac == 0) return {uint64_t{1} << 63, whole};
    // 2^-y = 2^(1 - frac) * 2^-(whole + 1), with 2^(1 - frac) in [1, 2) as Q2.62.
    const uint64_t p = xf::detail::exp2Frac(0 - frac);
    return {p << 1, whole + 1};
}

// Multiplies the product by f * 2^-bits (f < 2^bits); false once it is zero.
bool multiplyBy(Scaled& p, uint64_t f, int bits) {
    const auto m = static_cast<uint64_t>((static_cast<u128>(p.m) * f) >> bits);
    if (m == 0) return false;
    const int s = std::countl_zero(m);
    p.m = m << s;
    p.e += static_cast<uint64_t>(s);
    return true;
}

uint64_t multiplicationMethod(uint64_t mean, uint64_t& state) {
    const Scaled bound = expNegative(mean);
    Scaled p{uint64_t{1} << 63, 0};
    for (uint64_t k = 0;; ++k) {
        if (!multiplyBy(p, wyhashDraw(state), 64) || below(p, bound)) return k;
    }
}

uint64_t multiplicationMethod16(uint64_t mean, uint64_t& state) {
    const Scaled bound = expNegative(mean);
    Scaled p{uint64_t{1} << 63, 0};
    uint64_t words[2] = {0, 0};
    int left = 0;
    for (uint64_t k = 0;; ++k) {
        if (left == 0) {
            words[0] = wyhashDraw(state);
            words[1] = wyhashDraw(state);
            left = 8;
        }
        --left;
        const uint64_t v = (words[left >> 2] >> (16 * (left & 3))) & 0xFFFF;
        // The middle of the v-th of 65536 equal slices of [0, 1): never zero.
        if (!multiplyBy(p, 2 * v + 1, 17) || below(p, bound)) return k;
    }
}

// ----------------------------------------------------- transformed rejection

constexpr ExtFloat LN2 = xf::fromDecimal(6931471805599453094, -19);
constexpr ExtFloat HALF_LN_TWO_PI = xf::fromDecimal(9189385332046727418, -19);
constexpr ExtFloat X_HALF = xf::fromDecimal(5, -1);
constexpr ExtFloat STIRLING_C1 = div(xf::fromInt32(1), xf::fromInt32(12));
constexpr ExtFloat STIRLING_C3 = div(xf::fromInt32(1), xf::fromInt32(360));
constexpr ExtFloat STIRLING_C5 = div(xf::fromInt32(1), xf::fromInt32(1260));

ExtFloat ln(ExtFloat x) { return mul(log2(x), LN2); }

// A uniform value in [0, 1) from one draw.
ExtFloat uniform(uint64_t& state) { return scalePow2(xf::fromUint64(wyhashDraw(state)), -64); }

// ln(k!) : exact factorials below 10, Stirling's series above.
ExtFloat logFactorial(uint64_t k) {
    if (k < 10) {
        uint64_t f = 1;
        for (uint64_t i = 2; i <= k; ++i) f *= i;
        return f == 1 ? ExtFloat{} : ln(xf::fromUint64(f));
    }
    const ExtFloat x = xf::fromUint64(k + 1);
    const ExtFloat inv = div(xf::fromInt32(1), x);
    const ExtFloat inv2 = mul(inv, inv);
    // 1/(12x) - 1/(360x^3) + 1/(1260x^5), by Horner's rule in 1/x^2.
    ExtFloat series = STIRLING_C5;
    series = sub(mul(inv2, series), STIRLING_C3);
    series = add(mul(inv2, series), STIRLING_C1);
    series = mul(series, inv);
    return add(add(sub(mul(sub(x, X_HALF), ln(x)), x), HALF_LN_TWO_PI), series);
}

uint64_t transformedRejection(uint64_t mean, uint64_t& state) {
    const ExtFloat lambda = scalePow2(xf::fromUint64(mean), -32);
    const ExtFloat slam = sqrt(lambda);
    const ExtFloat loglam = ln(lambda);
    const ExtFloat b = add(xf::fromDecimal(931, -3), mul(xf::fromDecimal(253, -2), slam));
    const ExtFloat a = add(neg(xf::fromDecimal(59, -3)), mul(xf::fromDecimal(2483, -5), b));
    const ExtFloat invAlpha = add(xf::fromDecimal(11239, -4), div(xf::fromDecimal(11328, -4), sub(b, xf::fromDecimal(34, -1))));
    const ExtFloat vr = sub(xf::fromDecimal(9277, -4), div(xf::fromDecimal(36224, -4), sub(b, xf::fromInt32(2))));
    const ExtFloat twoA = scalePow2(a, 1);
    const ExtFloat shift = add(lambda, xf::fromDecimal(43, -2));
    const ExtFloat usSqueeze = xf::fromDecimal(7, -2);
    const ExtFloat usTail = xf::fromDecimal(13, -3);
    const ExtFloat logInvAlpha = ln(invAlpha);
    for (;;) {
        const ExtFloat U = sub(uniform(state), X_HALF);
        const ExtFloat V = uniform(state);
        const ExtFloat us = sub(X_HALF, U.isNegative() ? neg(U) : U);
        if (us.isZero() || us.isNegative()) continue;
        const ExtFloat x = add(mul(add(div(twoA, us), b), U), shift);
        if (x.isNegative()) continue;
        const uint64_t k = toUint64(x);
        if (us >= usSqueeze && V <= vr) return k;
        if (us < usTail && V > us) continue;
        if (V.isZero()) return k;  // ln 0 is minus infinity: always accepted
        const ExtFloat lhs = sub(add(ln(V), logInvAlpha), ln(add(div(a, mul(us, us)), b)));
        const ExtFloat rhs = sub(sub(mul(xf::fromUint64(k), loglam), lambda), logFactorial(k));
        if (lhs <= rhs) return k;
    }
}

}  // namespace

uint64_t poissonVariate(uint64_t mean, uint64_t& state) {
    if (mean == 0) return 0;
    if (mean < POISSON_MEDIUM_MEAN) return multiplicationMethod(mean, state);
    if (mean < POISSON_LARGE_MEAN) return multiplicationMethod16(mean, state);
    return transformedRejection(mean, state);
}
