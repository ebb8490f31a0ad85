#include "numeric/exact_math.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

__extension__ typedef unsigned __int128 u128;

// ------------------------------------------------------------ double-double
// A value hi + lo with |lo| <= half an ulp of hi. Every step below is an IEEE
// operation whose rounding error is captured exactly (Knuth's two-sum,
// Dekker's product by splitting), so no fused multiply-add is needed.
struct DD {
    double hi = 0;
    double lo = 0;
};

// a + b exactly, for |a| >= |b| or a == 0.
DD quickTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a + b exactly.
DD twoSum(double a, double b) {
    const double s = a + b;
    const double bb = s - a;
    return {s, (a - (s - bb)) + (b - bb)};
}

// a * b exactly (Dekker): each factor split into two halves of 26 bits.
DD twoProd(double a, double b) {
    constexpr double SPLITTER = 134217729.0;  // 2^27 + 1
    const double p = a * b;
    const double ta = SPLITTER * a;
    const double ah = ta - (ta - a);
    const double al = a - ah;
    const double tb = SPLITTER * b;
    const double bh = tb - (tb - b);
    const double bl = b - bh;
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

DD add(DD a, DD b) {
    DD s = twoSum(a.hi, b.hi);
    const DD t = twoSum(a.lo, b.lo);
    s = quickTwoSum(s.hi, s.lo + t.hi);
    return quickTwoSum(s.hi, s.lo + t.lo);
}

DD neg(DD a) { return {-a.hi, -a.lo}; }

DD mul(DD a, DD b) {
    DD p = twoProd(a.hi, b.hi);
    p.lo += a.hi * b.lo + a.lo * b.hi;
    return quickTwoSum(p.hi, p.lo);
}

// a / d for a small integer d (exactly representable, non-zero).
DD divSmall(DD a, double d) {
    const double q1 = a.hi / d;
    const DD p = twoProd(q1, d);
    const double r = ((a.hi - p.hi) - p.lo) + a.lo;
    return quickTwoSum(q1, r / d);
}

// x times a constant given as three doubles c0 + c1 + c2 (each about 53 bits
// below the one before); the first two products are exact.
DD mulConst3(double x, const double (&c)[3]) {
    return add(add(twoProd(x, c[0]), twoProd(x, c[1])), DD{x * c[2], 0});
}

// t - k (c0 + c1 + c2) for an integer k and a constant split into three
// doubles. The exact product k c0 is taken away first: it cancels most of t,
// and what remains is small enough for the other parts to keep their bits.
DD reduce(DD t, double k, const double (&c)[3]) {
    DD r = add(t, neg(twoProd(k, c[0])));
    r = add(r, neg(twoProd(k, c[1])));
    return add(r, DD{-(k * c[2]), 0});
}

// v rounded to the nearest integer (ties to even) for |v| < 2^51.
double nearestInteger(double v) {
    constexpr double SHIFTER = 6755399441055744.0;  // 1.5 * 2^52
    return (v + SHIFTER) - SHIFTER;
}

// The constants, each split into three doubles.
constexpr double LN2[3] = {0x1.62e42fefa39efp-1, 0x1.abc9e3b39803fp-56, 0x1.7b57a079a1934p-111};
constexpr double LN10[3] = {0x1.26bb1bbb55516p+1, -0x1.f48ad494ea3e9p-53, -0x1.9ebae3ae0260cp-107};
constexpr double HALF_PI[3] = {0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54, -0x1.f1976b7ed8fbcp-110};
constexpr double INV_LN2 = 0x1.71547652b82fep+0;
constexpr double TWO_OVER_PI = 0x1.45f306dc9c883p-1;
constexpr double TWO_PI = 0x1.921fb54442d18p+2;

// e^t for a double-double t of moderate size (|t| < 746), rounded to a double.
double expOf(DD t) {
    // t = k ln 2 + r with |r| <= ln 2 / 2; then r / 2^8, whose e^x - 1 a short
    // series gives, and eight squarings of 1 + (e^x - 1) kept in that form.
    const double k = nearestInteger(t.hi * INV_LN2);
    const DD r = reduce(t, k, LN2);
    const DD x{r.hi * 0x1p-8, r.lo * 0x1p-8};
    // e^x - 1 = x (1 + x/2 (1 + x/3 (1 + ... (1 + x/12)))); |x| < 2^-9.
    DD s{1, 0};
    for (int n = 12; n >= 2; --n) s = add(DD{1, 0}, mul(divSmall(x, n), s));
    DD m = mul(x, s);
    // (1 + m)^2 = 1 + (2m + m^2).
    for (int i = 0; i < 8; ++i) m = add(DD{2 * m.hi, 2 * m.lo}, mul(m, m));
    const DD e = add(DD{1, 0}, m);
    // e.hi is e rounded to 53 bits; scaling by 2^k is exact in the normal range.
    return std::ldexp(e.hi, static_cast<int>(k));
}

// sin r and cos r for |r| <= pi/4 (plus a hair), by their series.
DD sinSeries(DD r) {
    // sin r = r (1 - r^2/(2*3) (1 - r^2/(4*5) (1 - ... (1 - r^2/(28*29))))).
    const DD r2 = mul(r, r);
    DD s{1, 0};
    for (int n = 28; n >= 2; n -= 2) s = add(DD{1, 0}, neg(mul(divSmall(r2, n * (n + 1)), s)));
    return mul(r, s);
}

DD cosSeries(DD r) {
    // cos r = 1 - r^2/(1*2) (1 - r^2/(3*4) (1 - ... (1 - r^2/(27*28)))).
    const DD r2 = mul(r, r);
    DD s{1, 0};
    for (int n = 27; n >= 1; n -= 2) s = add(DD{1, 0}, neg(mul(divSmall(r2, n * (n + 1)), s)));
    return s;
}

// x = k pi/2 + r: the quadrant k mod 4 and r, |r| <= pi/4 (a hair more at most).
int reduceQuarterTurns(double x, DD& r) {
    if (!(std::fabs(x) <= 0x1p20)) x = std::fmod(x, TWO_PI);  // exact remainder
    const double k = nearestInteger(x * TWO_OVER_PI);
    r = reduce(DD{x, 0}, k, HALF_PI);
    return static_cast<int>(static_cast<int64_t>(k) & 3);
}

// The value p * 2^e2 (p > 0) rounded to the nearest float, ties to even.
float roundToFloat(u128 p, int e2) {
    const int width = 128 - (static_cast<uint64_t>(p >> 64) != 0 ? std::countl_zero(static_cast<uint64_t>(p >> 64))
                                                                   : 64 + std::countl_zero(static_cast<uint64_t>(p)));
    const int top = width - 1 + e2;  // p * 2^e2 lies in [2^top, 2^(top+1))
    if (top > 127) return std::numeric_limits<float>::infinity();
    // Bits kept: 24 for a normal result, fewer for a subnormal one.
    const int keep = top >= -126 ? 24 : top + 150;
    if (keep < 0) return 0.0f;
    const int shift = width - keep;
    uint64_t q;
    if (shift <= 0) {
        q = static_cast<uint64_t>(p) << -shift;
    } else {
        q = static_cast<uint64_t>(p >> shift);
        const u128 rest = p & ((u128{1} << shift) - 1);
        const u128 half = u128{1} << (shift - 1);
        if (rest > half || (rest == half && (q & 1))) ++q;
    }
    // A normal result has q in [2^23, 2^24]: adding q to the biased exponent
    // minus one carries a rounding up to 2^24 into the exponent (and the top
    // one into infinity). A subnormal q is its bit pattern, 2^23 being the
    // smallest normal float.
    const uint32_t bits = top >= -126 ? (static_cast<uint32_t>(top + 126) << 23) + static_cast<uint32_t>(q)
                                      : static_cast<uint32_t>(q);
    return std::bit_cast<float>(bits);
}

}  // namespace

float exactPowFour(float x) {
    const uint32_t bits = std::bit_cast<uint32_t>(x) & 0x7FFFFFFFu;
    const uint32_t biased = bits >> 23;
    const uint32_t fraction = bits & 0x007FFFFFu;
    if (biased == 255) return fraction != 0 ? x : std::numeric_limits<float>::infinity();
    if (bits == 0) return 0.0f;
    // |x| = m * 2^e exactly, m < 2^24; so x^4 = m^4 * 2^(4e), m^4 < 2^96.
    const uint64_t m = biased == 0 ? fraction : (fraction | 0x00800000u);
    const int e = biased == 0 ? -149 : static_cast<int>(biased) - 150;
    const u128 m2 = static_cast<u128>(m * m);
    return roundToFloat(m2 * m2, 4 * e);
}

double exactExp(double x) {
    if (std::isnan(x)) return x;
    if (x > 709.8) return std::numeric_limits<double>::infinity();
    if (x < -745.2) return 0.0;
    return expOf(DD{x, 0});
}

double exactPowTen(double y) {
    if (std::isnan(y)) return y;
    if (y > 308.3) return std::numeric_limits<double>::infinity();
    if (y < -323.7) return 0.0;
    return expOf(mulConst3(y, LN10));
}

double exactSin(double x) {
    if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
    DD r;
    switch (reduceQuarterTurns(x, r)) {
        case 0: return sinSeries(r).hi;
        case 1: return cosSeries(r).hi;
        case 2: return -sinSeries(r).hi;
        default: return -cosSeries(r).hi;
    }
}

double exactCos(double x) {
    if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
    DD r;
    switch (reduceQuarterTurns(x, r)) {
        case 0: return cosSeries(r).hi;
        case 1: return -sinSeries(r).hi;
        case 2: return -cosSeries(r).hi;
        default: return sinSeries(r).hi;
    }
}

int64_t saturatingInt64(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9223372036854775808.0) return INT64_MAX;
    if (v < -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(v);
}

uint64_t saturatingUint64(double v) {
    if (!(v > 0)) return 0;
    if (v >= 18446744073709551616.0) return ~uint64_t{0};
    return static_cast<uint64_t>(v);
}
