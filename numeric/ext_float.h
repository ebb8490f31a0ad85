// ExtFloat: the program's own 64-bit binary floating-point number.
//
// One word holds a 48-bit two's-complement mantissa in bits 63..16 and an
// unsigned 16-bit exponent in bits 15..0; the value is
//     (word with the low 16 bits cleared, read as int64) * 2^(exponent - 32832).
// A normalised positive mantissa has top bits 01, a negative one top bits 10,
// so +1.0 is 0x4000000000008002 and -1.0 is 0x8000000000008001.
//
// All arithmetic is 64/128-bit integer code, so every result has the same bits
// on every machine: the galaxy and every star in it are generated from these
// words. Hardware floating point appears only in fromDouble/toDouble.
//
// Everything here is constexpr, so constants can be folded at build time with
// exactly the words the run-time code would give.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <type_traits>

// The number type and every operation on it live in namespace xf, so that
// sqrt, pow, log2, div, min and max of ExtFloat never share a name with the C
// library's functions. Calls with ExtFloat arguments find them by argument-
// dependent lookup; the conversions from other types are written xf::fromInt32
// and so on. The type itself is also known by its plain name.
namespace xf {

struct ExtFloat {
    uint64_t w = 0;

    // The all-ones word: returned by mul, div, sqrt, pow, log2, invSqrt and neg
    // when the result is undefined or its exponent overflows.
    static const ExtFloat Invalid;

    constexpr int64_t mantissaWord() const { return static_cast<int64_t>(w & ~uint64_t{0xFFFF}); }
    constexpr int exponent() const { return static_cast<int>(w & 0xFFFF); }
    constexpr bool isZero() const { return w == 0; }
    constexpr bool isNegative() const { return static_cast<int64_t>(w) < 0; }
    constexpr bool isInvalid() const { return w == ~uint64_t{0}; }

    friend constexpr bool operator==(ExtFloat a, ExtFloat b) { return a.w == b.w; }
};

inline constexpr ExtFloat ExtFloat::Invalid{~uint64_t{0}};

namespace detail {

__extension__ typedef __int128 i128;
__extension__ typedef unsigned __int128 u128;

constexpr uint64_t LOW16 = 0xFFFF;
constexpr uint64_t HIGH48 = ~LOW16;
constexpr uint64_t TOP_BIT = uint64_t{1} << 63;
constexpr uint64_t Q62_ONE = uint64_t{1} << 62;

// Leading zeros of a 64-bit word, 64 for zero.
constexpr int lz(uint64_t x) { return std::countl_zero(x); }
constexpr int lzSigned(int64_t r) { return lz(static_cast<uint64_t>(r >= 0 ? r : ~r)); }

constexpr uint64_t hiU(uint64_t a, uint64_t b) {
    return static_cast<uint64_t>((static_cast<u128>(a) * b) >> 64);
}
constexpr int64_t hiS(int64_t a, int64_t b) {
    return static_cast<int64_t>((static_cast<i128>(a) * b) >> 64);
}

// Signed (hi * 2^64) / d truncating toward zero. Returns false, leaving q
// untouched, when the quotient does not fit in a signed 64-bit word; on x86-64
// the fitting case is one hardware divide, which therefore can never trap.
constexpr bool divHigh(int64_t hi, int64_t d, int64_t& q) {
    const uint64_t un = hi < 0 ? 0 - static_cast<uint64_t>(hi) : static_cast<uint64_t>(hi);
    const uint64_t ud = d < 0 ? 0 - static_cast<uint64_t>(d) : static_cast<uint64_t>(d);
    if (ud == 0 || un >= ud) return false;
    uint64_t uq = 0;
#if defined(__x86_64__)
    if (std::is_constant_evaluated()) {
        uq = static_cast<uint64_t>((static_cast<u128>(un) << 64) / ud);
    } else {
        uint64_t rem = 0;
        asm("divq %[den]" : "=a"(uq), "=d"(rem) : [den] "rm"(ud), "a"(uint64_t{0}), "d"(un) : "cc");
    }
#else
    uq = static_cast<uint64_t>((static_cast<u128>(un) << 64) / ud);
#endif
    // The sign is applied with a mask rather than a test: with operands of
    // either sign a branch on it would be mispredicted half of the time.
    const auto negMask = static_cast<uint64_t>((hi ^ d) >> 63);  // all ones for a negative quotient
    if (uq > (TOP_BIT - 1) + (negMask & 1)) return false;  // -2^63 fits, +2^63 does not
    q = static_cast<int64_t>((uq ^ negMask) - negMask);
    return true;
}

// Shifts a non-zero intermediate r to top bits 01/10 and packs it with the
// exponent E that the unshifted r would carry; over- and underflow as mul/div.
constexpr ExtFloat packShifted(int64_t r, int64_t E) {
    const int s = lzSigned(r) - 1;
    E -= s;
    if (E > 65535) return ExtFloat::Invalid;
    if (E < 0) return ExtFloat{};
    return ExtFloat{((static_cast<uint64_t>(r) << s) & HIGH48) + static_cast<uint64_t>(E)};
}

// Turns a Q0.64 or Q2.62 fixed-point value r (non-zero) into a word, given the
// exponent base: the word for r shifted left by k-1 gets exponent base - k.
constexpr ExtFloat packFixed(int64_t r, int base) {
    const int k = lzSigned(r);
    return ExtFloat{((static_cast<uint64_t>(r) << (k - 1)) & HIGH48) + static_cast<uint64_t>(base - k)};
}

// Reciprocal square root of x in [0.25, 1) as unsigned Q0.64; the result is
// 1/sqrt(x) in Q2.62.
constexpr uint64_t rsqrt(uint64_t x) {
    constexpr uint64_t C = 0xC000000000000000ull;
    uint64_t y = 0x2AAAAAAAAAAAAAAAull - hiU(0xAAAAAAAAAAAAAAAAull, x);
    y = hiU(C - hiU(x, hiU(y, y)), y);
    for (int i = 0; i < 3; ++i) {
        y = 2 * y;
        y = hiU(C - hiU(x, hiU(y, y)), y);
    }
    y = 2 * y;
    return hiU(C - hiU(x, hiU(y, y)), y);
}

// Polynomial kernels. The coefficient tables live at namespace scope (a table
// local to a constexpr function would be copied onto the stack on every call)
// and the Horner loops are unrolled completely, so that the coefficients
// become immediates and the factors k become shifts.

// Horner scheme of the signed kernels: acc = c[0], then for each further
// coefficient acc = c[i] + k[i] * hi(z * acc), every addition wrapping.
template <std::size_t N>
constexpr uint64_t hornerSigned(int64_t z, const uint64_t (&c)[N], const uint64_t (&k)[N]) {
    uint64_t acc = c[0];
#pragma GCC unroll 32
    for (std::size_t i = 1; i < N; ++i) acc = c[i] + k[i] * static_cast<uint64_t>(hiS(z, static_cast<int64_t>(acc)));
    return acc;
}

inline constexpr uint64_t EXP2_C[] = {
    0x0000002AFA7ADDC1ull, 0x000001952F0D2492ull, 0x0000165836E59DC9ull, 0x0000FFC0778AC07Cull,
    0x000A185CF03E4051ull, 0x005761F88E8691B4ull, 0x0276556F7D9CC3AFull, 0x0E35846B51352E5Bull,
    0x3D7F7BFF08B59504ull, 0xB17217F7D1BB465Dull,
};

// 2^x for x in [0, 1) as unsigned Q0.64; result in Q2.62.
constexpr uint64_t exp2Frac(uint64_t x) {
    uint64_t acc = EXP2_C[0];
#pragma GCC unroll 16
    for (int i = 1; i < 10; ++i) acc = EXP2_C[i] + hiU(x, acc);
    return Q62_ONE + (hiU(x, acc) >> 2);
}

inline constexpr uint64_t LOG2_C[] = {
    0xFCEC359EB994A300ull, 0x1028A9F3A38E8D80ull, 0xD7D409822A8E0400ull, 0x3F5947A304948C00ull,
    0xB81625E604011C60ull, 0x3F968AC8DFF2E5A8ull, 0xD1660FDEAD8BDBC4ull, 0x1DF10ACC97CDD2B4ull,
    0xB8F5A9CFA8C2B21Cull, 0x289AAC06E26EBF2Aull, 0xA3DF4FF81F355ECCull, 0x34BE39FEC53F6D98ull,
    0xC2728AA411012854ull, 0x49DDA286F8D1929Eull, 0xA3AAE355AD4A74D0ull, 0x7B1C2767FEE0F6F0ull,
    0xA3AAE26B68EAE8F5ull, 0x5C551D94ADF48615ull,
};
inline constexpr uint64_t LOG2_K[] = {0, 1, 1, 1, 1, 1, 1, 1, 4, 1, 4, 1, 2, 2, 2, 2, 1, 1};

// log2(1 + f) for the fraction f of a mantissa in Q1.63; result in Q1.63.
constexpr int64_t log2Frac(int64_t x) {
    const uint64_t acc = hornerSigned(x, LOG2_C, LOG2_K);
    return static_cast<int64_t>(4 * static_cast<uint64_t>(hiS(x, static_cast<int64_t>(acc))));
}

inline constexpr uint64_t SIN_C[] = {
    0xFFFFFFFD3C7B4DD8ull, 0x000000F449AF94E4ull, 0xFFFFC39F42D520A8ull, 0x000A83C18C9813ACull,
    0xFECD2D3320EA3588ull, 0x1466BC67748A999Cull, 0xD6A88633B4887F24ull, 0x6487ED5110B44751ull,
};
inline constexpr uint64_t SIN_K[] = {0, 4, 4, 4, 4, 4, 1, 4};

// sin(2*pi*x) for x in [0, 2^62] (at most a quarter turn, Q0.64); result in Q2.62.
constexpr int64_t sinQuarter(uint64_t xu) {
    const auto x = static_cast<int64_t>(xu);
    const auto z = static_cast<int64_t>(4 * static_cast<uint64_t>(hiS(x, x)));
    const uint64_t acc = hornerSigned(z, SIN_C, SIN_K);
    return static_cast<int64_t>(4 * static_cast<uint64_t>(hiS(x, static_cast<int64_t>(acc))));
}

inline constexpr uint64_t ATAN_C[] = {
    0xFFFCA0D635D357FCull, 0x002293611944C45Cull, 0xFF5844932C3309D0ull, 0x0203FE9FDE6F1BA4ull,
    0xFB889E3560691718ull, 0x07B96BA805792F2Cull, 0xF4E2966593689704ull, 0x0E1A65893EDFDEFCull,
    0xEF5DD21FAB172148ull, 0x13061E815935E6F8ull, 0xEA4D85EB962F6CC4ull, 0x191152D699124BB0ull,
    0xE25E6E84B2F79990ull, 0x24376F317136E980ull, 0xD16F917ABC743158ull, 0x41309AF79771B504ull,
    0xE4D66A18497D2D6Dull, 0x517CC1B72720C88Bull,
};
inline constexpr uint64_t ATAN_K[] = {0, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 1, 4};

// atan(x)/pi for x in [0, 1] (Q2.62); result in Q0.64, i.e. twice the angle in turns.
constexpr uint64_t atanUnit(int64_t x) {
    const auto z = static_cast<int64_t>(4 * static_cast<uint64_t>(hiS(x, x)));
    const uint64_t acc = hornerSigned(z, ATAN_C, ATAN_K);
    return 4 * static_cast<uint64_t>(hiS(x, static_cast<int64_t>(acc)));
}

// The fraction of a (non-zero) angle in turns, as Q0.64.
//
// For q >= 1 the fraction is the mantissa word shifted left by q (the integer
// part falls off the top); from 2^63 turns on (q >= 64) every value is a whole
// number of turns. For q < 1 the word is shifted right keeping the sign, and
// below 2^-64 turns only the sign is left (the shift saturates rather than
// wrapping its count). Both are computed and one is picked, so angles of mixed
// size cost no branch.
constexpr uint64_t reduceTurns(ExtFloat a) {
    const uint64_t M = static_cast<uint64_t>(a.mantissaWord());
    const int e = a.exponent();
    const int q = e - 32768;
    const uint64_t left = q >= 64 ? 0 : M << (q & 63);
    const auto right = static_cast<uint64_t>(a.mantissaWord() >> std::clamp(32768 - e, 0, 63));
    const uint64_t rightMask = 0 - static_cast<uint64_t>(q < 1);
    return (right & rightMask) | (left & ~rightMask);
}

// The octants of atan2Turns: the smaller magnitude over the larger gives an
// angle alpha that is added to or taken from a base angle (Q0.64 turns).
// Indexed by y < 0, x < 0 and |x| < |y|; a table rather than tests, because
// all three are as good as random and branches on them would be mispredicted.
struct AtanOctant {
    uint64_t base;
    uint64_t minusMask;  // all ones when alpha is taken away
};
inline constexpr AtanOctant ATAN_OCTANTS[8] = {
    {0, 0},          {Q62_ONE, ~uint64_t{0}},               // y > 0, x > 0
    {TOP_BIT, ~uint64_t{0}}, {Q62_ONE, 0},                  // y > 0, x < 0
    {0, ~uint64_t{0}},       {0xC000000000000000ull, 0},    // y < 0, x > 0
    {TOP_BIT, 0},            {0xC000000000000000ull, ~uint64_t{0}},  // y < 0, x < 0
};

// Shared tail of sinTurns and cosTurns: sin(2*pi*t) for t in Q0.64 turns.
//
// The half turn and the quarter are folded with masks (x ^ m) - m, which is
// -x for m = all ones and x for m = 0: for angles spread over the circle a
// branch on either would be mispredicted half of the time.
constexpr ExtFloat sinOfFraction(uint64_t t) {
    const uint64_t negMask = 0 - (t >> 63);                    // second half turn: sin(-t)
    const uint64_t u = (t ^ negMask) - negMask;                 // |t|, at most a half turn
    const uint64_t pastQuarter = 0 - static_cast<uint64_t>(u >= Q62_ONE);
    const uint64_t v = ((u ^ pastQuarter) - pastQuarter) + (TOP_BIT & pastQuarter);  // u or half turn - u
    const auto r = static_cast<uint64_t>(sinQuarter(v));
    if (r == 0) return ExtFloat{};
    return packFixed(static_cast<int64_t>((r ^ negMask) - negMask), 32771);
}

// log2 a for a > 0 in the form Y * 2^(g - 64); sets isOne when log2 a is
// exactly zero.
struct Log2Parts {
    int64_t Y = 0;
    int g = 0;
    int s = 0;
    int k = 0;
    bool isZero = false;
};

constexpr Log2Parts log2Parts(ExtFloat a) {
    Log2Parts p;
    const int64_t L = log2Frac(static_cast<int64_t>((a.w & 0x3FFFFFFFFFFF0000ull) << 1));
    p.k = a.exponent() - 0x8002;
    if (p.k == 0) {
        if (L == 0) {
            p.isZero = true;
            return p;
        }
        p.s = lz(static_cast<uint64_t>(L));
        p.Y = static_cast<int64_t>(static_cast<uint64_t>(L) << (p.s - 1));
        p.g = 2 - p.s;
    } else if (p.k == -1) {
        const auto Y0 = static_cast<int64_t>(static_cast<uint64_t>(L) - TOP_BIT);
        p.s = lz(static_cast<uint64_t>(~Y0));
        p.Y = static_cast<int64_t>(static_cast<uint64_t>(Y0) << (p.s - 1));
        p.g = 2 - p.s;
    } else {
        const int64_t k64 = p.k;
        p.s = lzSigned(k64);
        p.Y = static_cast<int64_t>((static_cast<uint64_t>(L) >> (64 - p.s)) +
                                   (static_cast<uint64_t>(k64) << (p.s - 1)));
        p.g = 65 - p.s;
    }
    return p;
}

// 2^(P * 2^(n - 64)): splits the exponent into integer and fraction and
// evaluates the fraction with exp2Frac. Shared by pow and the natural
// exponential of the start-up constants.
constexpr ExtFloat exp2Scaled(int64_t P, int n) {
    if (n > 16) return P < 0 ? ExtFloat{} : ExtFloat::Invalid;
    // Integer part I and fraction F (Q0.64) of P * 2^(n - 64). For n >= 1 the
    // binary point lies inside the word. For n <= 0 the integer part is only
    // the sign (-1 or 0) and the fraction is the word shifted right
    // arithmetically; from a shift of 64 on that leaves all ones or zero, so
    // 2^(tiny) comes out as 1. Both forms are computed and one is picked: n
    // follows the size of the operands, and a branch on it mispredicts.
    const bool pointInWord = n >= 1;
    const int64_t I = P >> (pointInWord ? 64 - n : 63);
    const uint64_t left = static_cast<uint64_t>(P) << (pointInWord ? n : 0);
    const auto right = static_cast<uint64_t>(P >> (pointInWord ? 0 : (n < -63 ? 63 : -n)));
    const uint64_t F = pointInWord ? left : right;
    const int64_t R = I + 0x8002;
    if (R < 0) return ExtFloat{};
    if (R > 65535) return ExtFloat::Invalid;
    return ExtFloat{(exp2Frac(F) & HIGH48) + static_cast<uint64_t>(R)};
}

}  // namespace detail

// ---------------------------------------------------------------- conversions

// Exact to 47 fraction bits, truncating. Denormals, infinities and NaNs are
// not checked: their bits go through the same formula.
constexpr ExtFloat fromDouble(double d) {
    if (d == 0.0) return ExtFloat{};
    const auto bits = std::bit_cast<uint64_t>(d);
    const uint64_t frac = bits & ((uint64_t{1} << 52) - 1);
    const uint64_t be = (bits >> 52) & 0x7FF;
    const bool negative = (bits >> 63) != 0;
    const uint64_t E = be + 0x7C03;
    if (negative && frac == 0) return ExtFloat{0x8000000000000000ull + be + 0x7C02};
    const uint64_t M = (((uint64_t{1} << 52) + frac) >> 6) << 16;
    return ExtFloat{negative ? E - M : M + E};
}

// 0.0 below the double range, NaN above it.
constexpr double toDouble(ExtFloat a) {
    if (a.isZero()) return 0.0;
    const uint64_t e = static_cast<uint64_t>(a.exponent());
    const auto Mw = static_cast<uint64_t>(a.mantissaWord());
    constexpr uint64_t NAN_BITS = 0x7FF8000000000000ull;
    if (Mw == 0x8000000000000000ull) {
        if (e < 31746) return 0.0;
        if (e < 33794) return std::bit_cast<double>((e + 3070) << 52);
        return std::bit_cast<double>(NAN_BITS);
    }
    // |M| and the sign bit by masks: a branch on the sign mispredicts for
    // values of mixed sign.
    const auto signMask = static_cast<uint64_t>(static_cast<int64_t>(a.w) >> 63);
    const uint64_t mag = (Mw ^ signMask) - signMask;
    // At exponent 31747 the double's exponent field would be zero, and the
    // mantissa bits without their hidden one would spell a denormal of the
    // wrong value: values that small flush to zero like the rest below range.
    if (e <= 31747) return 0.0;
    if (e > 33794) return std::bit_cast<double>(NAN_BITS);
    const uint64_t bits = ((e + 1021) << 52) + (a.w & detail::TOP_BIT) +
                          ((mag >> 10) & ((uint64_t{1} << 52) - 1));
    return std::bit_cast<double>(bits);
}

constexpr ExtFloat fromInt32(int32_t n) {
    if (n == 0) return ExtFloat{};
    const int64_t v = n;
    const int k = detail::lzSigned(v);
    return ExtFloat{((static_cast<uint64_t>(v) << (k - 1)) & detail::HIGH48) + 0x8041 - k};
}

// Truncates below bit 16 of the normalised word.
constexpr ExtFloat fromUint64(uint64_t n) {
    if (n == 0) return ExtFloat{};
    const int k = detail::lz(n);
    if (k >= 1) return ExtFloat{((n << (k - 1)) & detail::HIGH48) + 0x8041 - k};
    return ExtFloat{((n >> 1) & detail::HIGH48) + 0x8041};
}

// mant * 10^pow10, the way every written constant of the program is built.
//
// With a negative mantissa and a non-negative power the final packing of the
// plain algorithm would put a small negative integer straight into the word
// without shifting it up to the mantissa bits (fromDecimal(-1, 0) would come
// out as -131072). That case is normalised like a positive one instead; every
// other input, including the negative mantissas with negative powers that the
// star physics uses, keeps the plain algorithm's exact words.
constexpr ExtFloat fromDecimal(int64_t mant, int32_t pow10) {
    using detail::lz;
    if (mant == 0) return ExtFloat{};
    // |mant| < 2^63 < 10^19, so beyond these powers the value is certainly
    // outside the exponent range; stop before running billions of steps.
    if (pow10 > 10000) return ExtFloat::Invalid;
    if (pow10 < -10000) return ExtFloat{};
    int64_t v = mant;
    int64_t b = 0;
    auto lzOf = [](int64_t x) { return lz(static_cast<uint64_t>(x >= 0 ? x : ~x)); };
    for (int32_t i = 0; i < pow10; ++i) {
        const int k = lzOf(v);
        if (k < 5) {
            v >>= (5 - k);
            b += 5 - k;
        }
        v *= 10;
    }
    for (int32_t i = 0; i > pow10; --i) {
        const int k = lzOf(v);
        if (k > 1) {
            v = static_cast<int64_t>(static_cast<uint64_t>(v) << (k - 1));
            b += 1 - k;
        }
        v /= 10;
    }
    const bool mended = v < 0 && pow10 >= 0;
    const int k = mended ? lzOf(v) : lz(static_cast<uint64_t>(v));
    const uint64_t shifted = k == 0 ? static_cast<uint64_t>(v >> 1) : static_cast<uint64_t>(v) << (k - 1);
    const int64_t E = b - k + 0x8041;
    // An exponent outside the word would otherwise spill into the mantissa.
    if (E > 65535) return ExtFloat::Invalid;
    if (E < 0) return ExtFloat{};
    return ExtFloat{(shifted & detail::HIGH48) + static_cast<uint64_t>(E)};
}

// Integer part, saturating: negative gives all ones, too large gives all ones.
constexpr uint64_t toUint64(ExtFloat a) {
    if (a.isNegative()) return ~uint64_t{0};
    if (a.isZero()) return 0;
    const int e = a.exponent();
    const auto M = static_cast<uint64_t>(a.mantissaWord());
    if (e == 32833) return M << 1;
    if (e > 32833) return ~uint64_t{0};
    const int sh = 32832 - e;
    return sh >= 64 ? 0 : M >> sh;
}

// Integer part rounded toward minus infinity; all ones (-1) when too large.
// Values of magnitude below 1/2 whose shift reaches 64 give 0, as the galaxy
// geometry has always been converted.
constexpr int64_t toInt64(ExtFloat a) {
    if (a.isZero()) return 0;
    const int e = a.exponent();
    if (e >= 32833) return -1;
    const int sh = 32832 - e;
    return sh >= 64 ? 0 : a.mantissaWord() >> sh;
}

// ----------------------------------------------------------------- arithmetic

constexpr ExtFloat neg(ExtFloat a) {
    const uint64_t M = a.w & detail::HIGH48;
    const uint64_t e = a.w & detail::LOW16;
    if ((M & 0x3FFFFFFFFFFF0000ull) != 0) return ExtFloat{e - M};
    if (M == 0x8000000000000000ull) {
        if (e == 65535) return ExtFloat::Invalid;
        return ExtFloat{0x4000000000000000ull + e + 1};
    }
    if (M == 0x4000000000000000ull) {
        if (e == 0) return ExtFloat{};
        return ExtFloat{0x8000000000000000ull + e - 1};
    }
    return ExtFloat{e - M};
}

namespace detail {

// |a| for a non-zero a: the same word as neg(a) for a negative a. Only the
// rare mantissas that neg treats specially (powers of two) take a branch; the
// sign of the general case is applied with a mask.
constexpr ExtFloat magnitude(ExtFloat a) {
    const uint64_t M = a.w & HIGH48;
    if ((M & 0x3FFFFFFFFFFF0000ull) == 0) return a.isNegative() ? neg(a) : a;
    const auto signMask = static_cast<uint64_t>(static_cast<int64_t>(a.w) >> 63);
    return ExtFloat{((M ^ signMask) - signMask) + (a.w & LOW16)};
}

// add and sub: B is the second operand's halved mantissa, already negated for sub.
constexpr ExtFloat addAligned(ExtFloat a, ExtFloat b, bool subtract) {
    const int ea = a.exponent();
    const int eb = b.exponent();
    const int d = eb - ea;
    int64_t A = (static_cast<int64_t>(a.w) >> 1) & ~int64_t{0x7FFF};
    int64_t B = (static_cast<int64_t>(b.w) >> 1) & ~int64_t{0x7FFF};
    int E;
    if (d >= 0) {
        A >>= d;
        E = eb;
    } else {
        B >>= -d;
        E = ea;
    }
    const uint64_t sum = subtract ? static_cast<uint64_t>(A) - static_cast<uint64_t>(B)
                                  : static_cast<uint64_t>(A) + static_cast<uint64_t>(B);
    const auto r = static_cast<int64_t>((sum + 0x7FFF) & ~uint64_t{0x7FFF});
    if (r == 0) return ExtFloat{};
    int s = lzSigned(r) - 1;
    if (s > E + 1) s = E + 1;  // never below exponent 0: leave it unnormalised there
    const int E2 = E + 1 - s;
    if (E2 > 65535) throw std::overflow_error("overflow");
    return ExtFloat{((static_cast<uint64_t>(r) << s) & HIGH48) + static_cast<uint64_t>(E2)};
}

}  // namespace detail

// Sum rounded up to the guard position; throws std::overflow_error("overflow").
constexpr ExtFloat add(ExtFloat a, ExtFloat b) {
    const int d = b.exponent() - a.exponent();
    if (d >= 63) return b;
    if (d <= -63) return a;
    return detail::addAligned(a, b, false);
}

constexpr ExtFloat sub(ExtFloat a, ExtFloat b) {
    const int d = b.exponent() - a.exponent();
    if (d >= 63) return neg(b);
    if (d <= -63) return a;
    return detail::addAligned(a, b, true);
}

// Product rounded toward minus infinity; Invalid on overflow, zero on underflow.
constexpr ExtFloat mul(ExtFloat a, ExtFloat b) {
    const int64_t P = detail::hiS(a.mantissaWord(), b.mantissaWord());
    if (P == 0) return ExtFloat{};
    return detail::packShifted(P, int64_t{a.exponent()} + b.exponent() - 32768);
}

// Quotient; Invalid for a zero divisor or on overflow. Operands that are not
// normalised can make the 64-bit quotient overflow; that case is computed
// with a full 128-bit quotient instead of trapping.
constexpr ExtFloat div(ExtFloat a, ExtFloat b) {
    using namespace detail;
    const int64_t Mb = b.mantissaWord();
    if (Mb == 0) return ExtFloat::Invalid;
    const int64_t hi = a.mantissaWord() >> 2;
    int64_t Q = 0;
    int64_t E = int64_t{a.exponent()} - b.exponent() + 0x8002;
    if (!divHigh(hi, Mb, Q)) {
        i128 q128 = (static_cast<i128>(hi) * (static_cast<i128>(1) << 64)) / Mb;
        while (q128 >= (static_cast<i128>(1) << 63) || q128 < -(static_cast<i128>(1) << 63)) {
            q128 >>= 1;
            ++E;
        }
        Q = static_cast<int64_t>(q128);
    }
    if (Q == 0) return ExtFloat{};
    return packShifted(Q, E);
}

// a >= b. Assumes normal form; zero orders below every positive normalised value.
constexpr bool greaterEqual(ExtFloat a, ExtFloat b) {
    // Kept as tests: the first one depends only on the loaded words and
    // resolves early, and measured with operands of random sign this form is
    // about twice as fast as one combining all three rules with bit operations.
    if (a.isNegative() != b.isNegative()) return b.isNegative();
    const int ea = a.exponent();
    const int eb = b.exponent();
    if (ea == eb) return a.w >= b.w;
    return (ea > eb) != b.isNegative();
}

constexpr ExtFloat sqrt(ExtFloat a) {
    using namespace detail;
    if (a.isNegative()) return ExtFloat::Invalid;
    if (a.isZero()) return ExtFloat{};
    const uint64_t e = static_cast<uint64_t>(a.exponent());
    const auto M = static_cast<uint64_t>(a.mantissaWord());
    if (M == 0x4000000000000000ull && (e & 1) == 0) return ExtFloat{0x4000000000000000ull + (e >> 1) + 0x4001};
    // M for an even exponent, 2M for an odd one: a shift rather than a branch
    // on the parity, which is as good as random.
    const uint64_t x = M << (e & 1);
    const uint64_t t = hiU(x, rsqrt(x));
    return ExtFloat{((t & ~uint64_t{0x7FFF}) << 1) + (e >> 1) + 0x4001};
}

constexpr ExtFloat invSqrt(ExtFloat a) {
    using namespace detail;
    if (static_cast<int64_t>(a.w) <= 0) return ExtFloat::Invalid;
    const uint64_t e = static_cast<uint64_t>(a.exponent());
    const auto M = static_cast<uint64_t>(a.mantissaWord());
    if (M == 0x4000000000000000ull && (e & 1) == 0) return ExtFloat{0x4000000000000000ull - (e >> 1) + 0xC003};
    // As in sqrt: M or 2M by the parity of the exponent, without a branch.
    // The odd exponent is taken one lower, which leaves e >> 1 unchanged.
    const uint64_t x = M << (e & 1);
    return ExtFloat{(rsqrt(x) & HIGH48) + 0xC002 - (e >> 1)};
}

// Exact power of two scaling; throws std::overflow_error("overflow").
constexpr ExtFloat scalePow2(ExtFloat a, int32_t k) {
    // Zero stays the zero word: adding to its exponent would leave a zero
    // mantissa with a non-zero exponent that no longer compares equal to zero.
    if (a.isZero()) return a;
    const int64_t e2 = int64_t{a.exponent()} + k;
    if (e2 > 65535) throw std::overflow_error("overflow");
    if (e2 < 0) return ExtFloat{};
    return ExtFloat{a.w + static_cast<uint64_t>(static_cast<int64_t>(k))};
}

// ------------------------------------------------------ transcendental functions

constexpr ExtFloat sinTurns(ExtFloat a) {
    if (a.isZero()) return ExtFloat{};
    return detail::sinOfFraction(detail::reduceTurns(a));
}

constexpr ExtFloat cosTurns(ExtFloat a) {
    if (a.isZero()) return ExtFloat{0x4000000000008002ull};
    return detail::sinOfFraction(detail::reduceTurns(a) + detail::Q62_ONE);
}

// The angle of the point (x, y) in turns: in [-0.5, 0.5) except for the axis
// special cases (0.5 on the negative x axis, 0.25 and 0.75 on the y axis).
constexpr ExtFloat atan2Turns(ExtFloat y, ExtFloat x) {
    using namespace detail;
    if (y.isZero()) return x.isNegative() ? ExtFloat{0x4000000000008001ull} : ExtFloat{};
    if (x.isZero()) return y.isNegative() ? ExtFloat{0x6000000000008001ull} : ExtFloat{0x4000000000008000ull};
    const ExtFloat ax = magnitude(x);
    const ExtFloat ay = magnitude(y);
    const bool xGeY = greaterEqual(ax, ay);
    // n = the smaller magnitude, d = the larger, picked with a mask: which of
    // the two is larger is as good as random.
    const uint64_t yMask = 0 - static_cast<uint64_t>(xGeY);
    const ExtFloat n{(ay.w & yMask) | (ax.w & ~yMask)};
    const ExtFloat d{(ax.w & yMask) | (ay.w & ~yMask)};
    const AtanOctant& oct = ATAN_OCTANTS[(y.isNegative() ? 4 : 0) + (x.isNegative() ? 2 : 0) + (xGeY ? 0 : 1)];
    int64_t rho = 0;
    if (n == d) {
        rho = static_cast<int64_t>(Q62_ONE);
    } else {
        int64_t q = 0;
        if (!divHigh(n.mantissaWord() >> 2, d.mantissaWord(), q)) {
            // Only operands that are not normalised get here; the ratio is at most one.
            rho = static_cast<int64_t>(Q62_ONE);
        } else if (q != 0) {
            const int k = lz(static_cast<uint64_t>(q)) - 1;
            const int sh = n.exponent() - k - d.exponent();
            // k is -1 only for a negative q, which an Invalid or other
            // non-normal operand can produce; the shift count is taken modulo
            // 64 there (as the hardware shift does) instead of being undefined.
            const auto qs = static_cast<int64_t>(static_cast<uint64_t>(q) << (k & 63));
            if (sh > 0)
                rho = qs;
            else if (sh >= -63)
                rho = qs >> -sh;
        }
    }
    const uint64_t alpha = atanUnit(rho) >> 1;
    const uint64_t T = oct.base + ((alpha ^ oct.minusMask) - oct.minusMask);
    if (T == 0) return ExtFloat{};
    return packFixed(static_cast<int64_t>(T), 32769);
}

// Base-2 logarithm for a > 0; Invalid otherwise.
constexpr ExtFloat log2(ExtFloat a) {
    if (static_cast<int64_t>(a.w) <= 0) return ExtFloat::Invalid;
    const detail::Log2Parts p = detail::log2Parts(a);
    if (p.isZero) return ExtFloat{};
    const int E = (p.k == 0 || p.k == -1) ? 32770 - p.s : 32833 - p.s;
    return ExtFloat{(static_cast<uint64_t>(p.Y) & detail::HIGH48) + static_cast<uint64_t>(E)};
}

// a^b = 2^(b * log2 a) for a > 0; Invalid otherwise.
constexpr ExtFloat pow(ExtFloat a, ExtFloat b) {
    using namespace detail;
    constexpr ExtFloat ONE_WORD{0x4000000000008002ull};
    if (static_cast<int64_t>(a.w) <= 0) return ExtFloat::Invalid;
    const Log2Parts p = log2Parts(a);
    if (p.isZero) return ONE_WORD;
    int64_t P = hiS(b.mantissaWord(), p.Y);
    if (P == 0) return ONE_WORD;
    const int t = lzSigned(P) - 1;
    P = static_cast<int64_t>(static_cast<uint64_t>(P) << t);
    const int n = b.exponent() - t - 0x8000 + p.g;
    return exp2Scaled(P, n);
}

// ------------------------------------------------------------------ operators

constexpr ExtFloat operator+(ExtFloat a, ExtFloat b) { return add(a, b); }
constexpr ExtFloat operator-(ExtFloat a, ExtFloat b) { return sub(a, b); }
constexpr ExtFloat operator*(ExtFloat a, ExtFloat b) { return mul(a, b); }
constexpr ExtFloat operator/(ExtFloat a, ExtFloat b) { return div(a, b); }
constexpr ExtFloat operator-(ExtFloat a) { return neg(a); }
constexpr ExtFloat& operator+=(ExtFloat& a, ExtFloat b) { return a = add(a, b); }
constexpr ExtFloat& operator-=(ExtFloat& a, ExtFloat b) { return a = sub(a, b); }
constexpr ExtFloat& operator*=(ExtFloat& a, ExtFloat b) { return a = mul(a, b); }
constexpr ExtFloat& operator/=(ExtFloat& a, ExtFloat b) { return a = div(a, b); }
constexpr bool operator>=(ExtFloat a, ExtFloat b) { return greaterEqual(a, b); }
constexpr bool operator<=(ExtFloat a, ExtFloat b) { return greaterEqual(b, a); }
constexpr bool operator<(ExtFloat a, ExtFloat b) { return !greaterEqual(a, b); }
constexpr bool operator>(ExtFloat a, ExtFloat b) { return !greaterEqual(b, a); }
constexpr ExtFloat min(ExtFloat a, ExtFloat b) { return greaterEqual(b, a) ? a : b; }
constexpr ExtFloat max(ExtFloat a, ExtFloat b) { return greaterEqual(a, b) ? a : b; }

}  // namespace xf

using xf::ExtFloat;
