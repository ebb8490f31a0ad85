#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "galaxy/star_name.h"

namespace {

std::string codeOf(int32_t x, int32_t y, int32_t z) {
    char buffer[LATTICE_CODE_SIZE];
    buffer[0] = 'X';  // a code that writes nothing shows
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

// Points of the first shells and one far out keep their indexes and codes
// (names written before still name the same cells); the numbering's round
// trip over the whole range is checked with its inverse.
TEST(StarName, PointsKeepTheirIndexesAndCodes) {
    const struct {
        int32_t x, y, z;
        uint64_t index;
        const char* code;
    } listed[] = {{0, 0, 0, 7, "L"},         {-1, -1, -1, 0, "C"},
                  {1, 0, 0, 35, "CT"},       {5, -3, 2, 1291, "DYP"},
                  {100, 200, -300, 214147592, "DNMDQMM"}};
    for (const auto& p : listed) {
        EXPECT_EQ(indexOf(p.x, p.y, p.z), p.index) << p.code;
        EXPECT_EQ(codeOf(p.x, p.y, p.z), p.code);
    }
}

// The range's ends: codes of at most 15 letters. The far corner's index wraps
// to 2^64 - 1 and has no code (its index + 1 is 0, as "" reads); the corner
// inside it, 2^64 - 2, takes all 15 letters and nothing past the NUL. More may
// follow at the end pointer.
TEST(StarName, ExtremePointsAndTheLongestCodeFitTheBuffer) {
    const int32_t lo = INT32_MIN, hi = INT32_MAX;
    for (int32_t x : {lo, hi, 0})
        for (int32_t y : {lo, hi, -1})
            for (int32_t z : {lo, hi, 1}) {
                const std::string code = codeOf(x, y, z);
                EXPECT_LE(code.size(), 15u);
                EXPECT_EQ(decode(code), indexOf(x, y, z) + 1);
            }
    EXPECT_EQ(indexOf(hi, hi, hi), ~uint64_t{0});
    EXPECT_EQ(codeOf(hi, hi, hi), "");

    char buffer[LATTICE_CODE_SIZE + 4];
    char* end = nullptr;
    std::memset(buffer, 0x55, sizeof buffer);
    latticeCode(buffer, end, hi - 1, hi, hi);
    EXPECT_EQ(indexOf(hi - 1, hi, hi), ~uint64_t{0} - 1);
    EXPECT_EQ(std::strlen(buffer), 15u);
    EXPECT_EQ(end, buffer + 15);
    EXPECT_EQ(decode(buffer), ~uint64_t{0});
    EXPECT_EQ(static_cast<unsigned char>(buffer[16]), 0x55u);

    latticeCode(buffer, end, 5, -3, 2);
    std::strcpy(end, "-12");
    EXPECT_STREQ(buffer, "DYP-12");
}

}  // namespace
