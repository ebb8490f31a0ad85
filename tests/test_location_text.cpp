// Location texts: every bit of a place comes back; texts cut short, changed or
// from elsewhere are refused.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "starfield/location_text.h"
#include "starfield/navigation.h"

namespace {

// Every bit of the place: position, directions (signed zeros too) and seed.
void expectSamePlace(const Location& a, const Location& b) {
    static_assert(sizeof(Location) == 3 * 16 + 2 * 24 + 8, "the fields leave no padding between them");
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
}

// Texts of earlier builds and the places they hold (checked by hand: the place
// next to S-MNQW-1 in the default galaxy; negative coordinates, fractions and
// another seed).
struct Earlier {
    const char* text;
    Location place;
};
const Earlier EARLIER[] = {
    {"starloom1:3BJVWYERTVKZY0000000000000SPERHN0R3TFZR00000000000051ZEK660HT1R00000000000000S7PDPYB9REC7WW9RPBMVAEANFWWP1HZTQH1XWZRQQS82ER8XE9ZW02KPNJZTFQKZPVN6AKZFCWY7W0G00000C00001XA7MKXH61",
     {{{0, -6800649173932774}, {0, -25043549680408781}, {0, 2002765560937808}},
      {0.22563800049458671, -0.051977945998082864, 0.97282361497993319},
      {0.09983349292531167, 0.99455229608446061, 0.029983396129514488},
      {1, 3}}},
    {"starloom1:XDZ1D0GBXZEYXVYDNE4PEH9304N00000000000000000000002000000000000500000000000000CSK6CSK6CZ37W0000000000004TK6CSK6CSX6ZSN6CSK6CSKT9Z0000000000000CSK6CSK6CZ37W3G000000M6QVMDTHC21YPE",
     {{{0x0123456789ABCDEFull, -1234567890123456789}, {0x8000000000000000ull, 42}, {0, -POSITION_LIMIT}},
      {0.6, 0.0, -0.8}, {0.8, 0.0, 0.6}, {7, 4000000000u}}},
};

Location decoded(const std::string& text) {
    Location p{};
    std::string error;
    EXPECT_TRUE(decodeLocation(text, p, error)) << text << ": " << error;
    return p;
}

// Whether the text is refused; a refused text names its reason and leaves
// the place it was to be read into as it was.
bool refused(const std::string& text) {
    Location p = EARLIER[1].place;
    std::string error;
    const bool ok = decodeLocation(text, p, error);
    EXPECT_TRUE(ok || !error.empty()) << text;
    if (!ok) expectSamePlace(p, EARLIER[1].place);
    return !ok;
}

}  // namespace

// The ends of every range, axis-aligned directions with signed zeros, a
// component far below the others.
TEST(LocationText, ExtremePlacesComeBackBitForBit) {
    const int64_t integers[] = {-POSITION_LIMIT, POSITION_LIMIT, 0, -1};
    const uint64_t fractions[] = {0, ~uint64_t{0}, uint64_t{1} << 63};
    const Vec3d directions[][2] = {{{1, 0, 0}, {0, 0, 1}},
                                   {{-0.0, -1, 0.0}, {0.0, -0.0, -1}},
                                   {{0, 0, -1}, {-1, -0.0, 0}},
                                   {{1, 1e-300, -0.0}, {-1e-300, 1, 0}}};
    const GalaxySeed seeds[] = {{0, 0}, {UINT32_MAX, UINT32_MAX}, {1, 3}};
    for (int64_t integer : integers)
        for (uint64_t fraction : fractions)
            for (const auto& d : directions)
                for (const GalaxySeed& seed : seeds) {
                    Location p;
                    for (int a = 0; a < 3; ++a) p.position[a] = {fraction ^ static_cast<uint64_t>(a), integer};
                    p.forward = d[0];
                    p.up = d[1];
                    p.seed = seed;
                    expectSamePlace(decoded(encodeLocation(p)), p);
                }
}

// Blanks around a paste are ignored; texts cut short, with any digit changed
// or two swapped, in lower case, with letters the alphabet leaves out or
// anything around them, or of other prefixes and versions are refused.
TEST(LocationText, CutShortChangedAndForeignTextsAreRefused) {
    const Location& p = EARLIER[1].place;
    const std::string text = encodeLocation(p);
    expectSamePlace(decoded("  " + text + "\r\n"), p);
    expectSamePlace(decoded("\t" + text), p);
    for (size_t n = 0; n < text.size(); ++n) EXPECT_TRUE(refused(text.substr(0, n))) << n;
    for (size_t i = sizeof LOCATION_PREFIX - 1; i < text.size(); ++i) {
        for (int c = CHAR_MIN; c <= CHAR_MAX; ++c) {  // other digits, and bytes the alphabet leaves out
            if (c == text[i]) continue;
            std::string changed = text;
            changed[i] = static_cast<char>(c);
            ASSERT_TRUE(refused(changed)) << i << " " << c;
        }
        if (i + 1 < text.size() && text[i] != text[i + 1]) {
            std::string swapped = text;
            std::swap(swapped[i], swapped[i + 1]);
            EXPECT_TRUE(refused(swapped)) << i;
        }
    }
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const std::string& other : {lower, text.substr(0, 40) + " " + text.substr(40), "<" + text + ">", text + ".",
                                     text + "0", std::string(), std::string("   "), std::string("X-GFVXPDD-330"),
                                     "https://example.org/" + text.substr(10), "Starloom1:" + text.substr(10),
                                     "starloom:" + text.substr(10)})
        EXPECT_TRUE(refused(other)) << other;
    Location q{};
    std::string error;
    EXPECT_FALSE(decodeLocation("starloom2:" + text.substr(10), q, error));
    EXPECT_NE(error.find("version"), std::string::npos) << error;
}

// Texts with a right checksum (encodeLocation writes whatever it is given) of
// places no viewpoint can hold.
TEST(LocationText, WhatNoViewpointCanHoldIsRefused) {
    const Location& good = EARLIER[0].place;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Vec3d bad[] = {{nan, 0, 0}, {inf, 0, 0}, {0, 0, 0}, {2, 0, 0}, {1.00001, 0, 0}, {0.5, 0.5, 0.5}};
    for (const Vec3d& v : bad) {
        Location p = good;
        p.forward = v;
        EXPECT_TRUE(refused(encodeLocation(p)));
        p = good;
        p.up = v;
        EXPECT_TRUE(refused(encodeLocation(p)));
    }
    Location p = good;
    p.up = p.forward;  // parallel
    EXPECT_TRUE(refused(encodeLocation(p)));
    // A position beyond the edge of space, on any axis.
    for (int64_t outside : {POSITION_LIMIT + 1, -POSITION_LIMIT - 1, INT64_MAX, INT64_MIN}) {
        for (int a = 0; a < 3; ++a) {
            p = good;
            p.position[a].integer = outside;
            EXPECT_TRUE(refused(encodeLocation(p))) << outside << " on axis " << a;
        }
    }
    // Within a millionth is accepted (navigation's own rounding is far smaller).
    p = good;
    p.forward = p.forward * (1 + 1e-9);
    EXPECT_FALSE(refused(encodeLocation(p)));
}

TEST(LocationText, TextsOfEarlierBuildsKeepTheirMeaning) {
    for (const Earlier& c : EARLIER) {
        SCOPED_TRACE(c.text);
        expectSamePlace(decoded(c.text), c.place);
        EXPECT_EQ(encodeLocation(c.place), c.text);
    }
}
