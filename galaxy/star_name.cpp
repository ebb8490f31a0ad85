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
