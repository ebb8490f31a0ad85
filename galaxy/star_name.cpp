#include "galaxy/star_name.h"

namespace {

// 0 and -1 fold to 0, 1 and -2 to 1, ...: the shell a coordinate lies on.
int64_t fold(int64_t v) { return v < ~v ? ~v : v; }

}  // namespace

bool latticeIndex(int32_t x32, int32_t y32, int32_t z32, uint64_t& index) {
    const int64_t x = x32;
    const int64_t y = y32;
    const int64_t z = z32;
    int64_t r = fold(x);
    if (fold(y) > r) r = fold(y);
    if (fold(z) > r) r = fold(z);

    // Far shells wrap around 2^64 on purpose; unsigned arithmetic keeps that
    // wrap well defined. ux etc. are the sign-extended coordinates.
    const auto ux = static_cast<uint64_t>(x);
    const auto uy = static_cast<uint64_t>(y);
    const auto uz = static_cast<uint64_t>(z);
    const auto ur = static_cast<uint64_t>(r);
    const uint64_t inner = 8 * ur * ur * ur;  // points of the cube [-r, r-1]^3

    if (fold(z) != r) {
        // On one of the four sides, walked round the shell ring by ring.
        uint64_t w;
        if (y == ~r)
            w = 2 * (ur + ux) + 3;
        else if (x == r)
            w = 2 * (3 * ur + uy) + 5;
        else if (y == r)
            w = 2 * (5 * ur - ux) + 5;
        else if (x == ~r)
            w = 2 * (7 * ur - uy) + 7;
        else
            return false;
        index = w * ur + inner + 4 * (ur + 1) * (ur + 1) + uz;
        return true;
    }
    // On the bottom face (z = -r-1) or, after the sides, the top face (z = r).
    const uint64_t base = z == r ? inner + 4 + (20 * ur + 16) * ur : inner;
    index = base + ux + 2 * (uy + 1 + ur) * (ur + 1) + 1 + ur;
    return true;
}

void latticeCode(char* buffer, char*& end, int32_t x, int32_t y, int32_t z) {
    buffer[0] = '\0';
    end = buffer;
    uint64_t index = 0;
    if (!latticeIndex(x, y, z, index)) return;
    uint64_t n = index + 1;
    if (n == 0) return;

    // Digits come out least significant first; write them backwards into a
    // scratch array, then copy in reading order.
    char digits[LATTICE_CODE_SIZE];
    int count = 0;
    while (n != 0) {
        digits[count++] = LATTICE_ALPHABET[n % 21];
        n /= 21;
    }
    for (int i = 0; i < count; ++i) buffer[i] = digits[count - 1 - i];
    buffer[count] = '\0';
    end = buffer + count;
}

void latticePoint(uint64_t index, int32_t& x, int32_t& y, int32_t& z) {
    // The shell: the largest r with 8r^3 <= index, that is r^3 <= index / 8,
    // found by bisection in integers. index / 8 < 2^61, so r stays below
    // 1321123 (and r^3 fits in 64 bits).
    const uint64_t q = index >> 3;
    uint64_t r = 0, above = 1321123;  // r^3 <= q < above^3
    while (above - r > 1) {
        const uint64_t mid = (r + above) / 2;
        if (mid * mid * mid <= q)
            r = mid;
        else
            above = mid;
    }
    const auto sr = static_cast<int64_t>(r);

    uint64_t offset = index - 8 * r * r * r;
    const uint64_t side = 2 * r + 2;  // the shell's edge in points
    const uint64_t face = side * side;
    const uint64_t sides = (16 * r + 8) * r;  // the four sides, z in [-r, r-1]
    int64_t px = 0, py = 0, pz = 0;
    if (offset < face || offset >= face + sides) {
        // Bottom face (z = -r-1) or top face (z = r): x + r + 1 runs fastest.
        const bool top = offset >= face;
        if (top) offset -= face + sides;
        px = static_cast<int64_t>(offset % side) - sr - 1;
        py = static_cast<int64_t>(offset / side) - sr - 1;
        pz = top ? sr : ~sr;
    } else {
        // A side: (w - 1) r + (z + r) with w odd walks the ring of (x, y)
        // round the shell, 2r values of z per ring point.
        offset -= face;
        const uint64_t w = 2 * (offset / (2 * r)) + 1;
        pz = static_cast<int64_t>(offset % (2 * r)) - sr;
        const auto sw = static_cast<int64_t>(w);
        if (w <= 4 * r + 3) {
            py = ~sr;
            px = (sw - 3) / 2 - sr;
        } else if (w <= 8 * r + 5) {
            px = sr;
            py = (sw - 5) / 2 - 3 * sr;
        } else if (w <= 12 * r + 7) {
            py = sr;
            px = 5 * sr - (sw - 5) / 2;
        } else {
            px = ~sr;
            py = 7 * sr - (sw - 7) / 2;
        }
    }
    x = static_cast<int32_t>(px);
    y = static_cast<int32_t>(py);
    z = static_cast<int32_t>(pz);
}

LatticeCodeError parseLatticeCode(const char* text, size_t length, int32_t& x, int32_t& y, int32_t& z) {
    if (length == 0) return LatticeCodeError::EMPTY;
    uint64_t n = 0;
    bool tooLarge = false;
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        int digit = -1;
        for (int d = 0; d < 21; ++d) {
            if (LATTICE_ALPHABET[d] == c) digit = d;
        }
        if (digit < 0) return LatticeCodeError::NOT_A_LETTER;
        if (i == 0 && digit == 0) return LatticeCodeError::LEADING_B;
        // n * 21 + digit must stay below 2^64.
        if (n > (~uint64_t{0} - static_cast<uint64_t>(digit)) / 21) tooLarge = true;
        n = n * 21 + static_cast<uint64_t>(digit);
    }
    // Every character is checked before the size is judged, so that a stray
    // character is reported as such however long the text.
    if (tooLarge) return LatticeCodeError::TOO_LARGE;
    latticePoint(n - 1, x, y, z);
    return LatticeCodeError::NONE;
}
