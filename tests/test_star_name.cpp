#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "galaxy/star_name.h"

namespace {

std::string codeOf(int32_t x, int32_t y, int32_t z) {
    char buffer[LATTICE_CODE_SIZE];
    char* end = nullptr;
    latticeCode(buffer, end, x, y, z);
    EXPECT_EQ(*end, '\0');
    EXPECT_EQ(static_cast<size_t>(end - buffer), std::strlen(buffer));
    return buffer;
}

uint64_t indexOf(int32_t x, int32_t y, int32_t z) {
    uint64_t index = 0;
    EXPECT_TRUE(latticeIndex(x, y, z, index));
    return index;
}

// Reads a code back as a base-21 number (independent of the writer).
uint64_t decode(const std::string& code) {
    uint64_t n = 0;
    for (char c : code) {
        const char* at = std::strchr(LATTICE_ALPHABET, c);
        EXPECT_NE(at, nullptr) << "letter " << c;
        n = n * 21 + static_cast<uint64_t>(at - LATTICE_ALPHABET);
    }
    return n;
}

TEST(StarName, ListedPointsHaveTheirIndexesAndCodes) {
    EXPECT_EQ(indexOf(0, 0, 0), 7u);
    EXPECT_EQ(codeOf(0, 0, 0), "L");
    EXPECT_EQ(indexOf(-1, -1, -1), 0u);
    EXPECT_EQ(codeOf(-1, -1, -1), "C");
    EXPECT_EQ(indexOf(1, 0, 0), 35u);
    EXPECT_EQ(codeOf(1, 0, 0), "CT");
    EXPECT_EQ(indexOf(5, -3, 2), 1291u);
    EXPECT_EQ(codeOf(5, -3, 2), "DYP");
    EXPECT_EQ(indexOf(100, 200, -300), 214147592u);
    EXPECT_EQ(codeOf(100, 200, -300), "DNMDQMM");
}

// The numbering maps the cube [-R-1, R]^3 onto 0 .. 8(R+1)^3 - 1, and each
// shell r onto 8r^3 .. 8(r+1)^3 - 1, so growing cubes never reuse a number.
TEST(StarName, CubesMapOntoTheFirstNumbers) {
    for (int32_t R : {0, 1, 2, 3, 7, 16}) {
        const uint64_t side = 2 * static_cast<uint64_t>(R) + 2;
        const uint64_t total = side * side * side;
        std::vector<bool> seen(total, false);
        std::set<std::string> codes;
        for (int32_t x = -R - 1; x <= R; ++x)
            for (int32_t y = -R - 1; y <= R; ++y)
                for (int32_t z = -R - 1; z <= R; ++z) {
                    const uint64_t index = indexOf(x, y, z);
                    ASSERT_LT(index, total) << x << ' ' << y << ' ' << z;
                    ASSERT_FALSE(seen[index]) << "index " << index << " twice, at " << x << ' ' << y << ' ' << z;
                    seen[index] = true;
                    if (R > 3) continue;
                    codes.insert(codeOf(x, y, z));
                    EXPECT_EQ(decode(codeOf(x, y, z)), index + 1);  // shell 0: the numbers 1 to 8
                }
        if (R <= 3) {
            EXPECT_EQ(codes.size(), total) << "R = " << R;
        }
    }
}

TEST(StarName, FarPointsStayInTheirShell) {
    std::mt19937_64 rng(12345);
    const int64_t limit = 1321120;  // the last shell whose numbers do not wrap
    std::uniform_int_distribution<int64_t> coord(-limit - 1, limit);
    for (int i = 0; i < 20000; ++i) {
        const auto x = static_cast<int32_t>(coord(rng));
        const auto y = static_cast<int32_t>(coord(rng));
        const auto z = static_cast<int32_t>(coord(rng));
        auto fold = [](int64_t v) { return v < 0 ? -v - 1 : v; };
        const auto r = static_cast<uint64_t>(std::max({fold(x), fold(y), fold(z)}));
        const uint64_t index = indexOf(x, y, z);
        EXPECT_GE(index, 8 * r * r * r);
        EXPECT_LT(index, 8 * (r + 1) * (r + 1) * (r + 1));
        // The code is the base-21 form of index + 1, without a leading zero digit.
        const std::string code = codeOf(x, y, z);
        ASSERT_FALSE(code.empty());
        EXPECT_NE(code[0], 'B');
        EXPECT_EQ(decode(code), index + 1);
    }
}

TEST(StarName, ExtremePointsGiveShortCodes) {
    const int32_t lo = INT32_MIN;
    const int32_t hi = INT32_MAX;
    for (int32_t x : {lo, hi, 0})
        for (int32_t y : {lo, hi, -1})
            for (int32_t z : {lo, hi, 1}) {
                const std::string code = codeOf(x, y, z);
                EXPECT_LE(code.size(), 15u);
                if (!code.empty()) {
                    EXPECT_EQ(decode(code), indexOf(x, y, z) + 1);
                }
            }
    // The far corner is the last point of its cube, 8 * 2^93 - 1, which wraps
    // to 2^64 - 1: its successor is 0, and the code is empty.
    EXPECT_EQ(indexOf(hi, hi, hi), ~uint64_t{0});
    char buffer[LATTICE_CODE_SIZE];
    buffer[0] = 'X';
    char* end = nullptr;
    latticeCode(buffer, end, hi, hi, hi);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(end, buffer);
}

TEST(StarName, TheLongestCodeFitsTheBuffer) {
    // 21^15 > 2^64 - 1 >= 21^14: the largest numbers take 15 letters. The
    // corner just inside the far one has the index 2^64 - 2, the largest a
    // point can be written with.
    char buffer[LATTICE_CODE_SIZE + 4];
    std::memset(buffer, 0x55, sizeof buffer);
    char* end = nullptr;
    const int32_t hi = INT32_MAX;
    latticeCode(buffer, end, hi - 1, hi, hi);
    const uint64_t index = indexOf(hi - 1, hi, hi);
    EXPECT_EQ(index, ~uint64_t{0} - 1);
    EXPECT_EQ(std::strlen(buffer), 15u);
    EXPECT_EQ(end, buffer + 15);
    EXPECT_EQ(decode(buffer), index + 1);
    EXPECT_EQ(static_cast<unsigned char>(buffer[16]), 0x55u);  // nothing written past the NUL
}

TEST(StarName, CodesAppendAtTheEndPointer) {
    char buffer[LATTICE_CODE_SIZE + 8];
    char* end = nullptr;
    latticeCode(buffer, end, 5, -3, 2);
    std::strcpy(end, "-12");
    EXPECT_STREQ(buffer, "DYP-12");
}

}  // namespace
