// Going to a star by its name: the inverse of the lattice numbering and of the
// name format, the walk to the named voxel, and the place next to it.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>

#include "galaxy/star_name.h"
#include "numeric/constants.h"
#include "starfield/locate.h"
#include "starfield/navigation.h"
#include "starfield/search.h"
#include "tests/galaxy_fixture.h"

namespace {

struct Point {
    int32_t x, y, z;
    friend bool operator==(const Point&, const Point&) = default;
};

Point pointOf(uint64_t index) {
    Point p{};
    latticePoint(index, p.x, p.y, p.z);
    return p;
}

uint64_t indexOf(const Point& p) {
    uint64_t index = 0;
    EXPECT_TRUE(latticeIndex(p.x, p.y, p.z, index));
    return index;
}

std::string codeOf(const Point& p) {
    char code[LATTICE_CODE_SIZE];
    char* end = code;
    latticeCode(code, end, p.x, p.y, p.z);
    return code;
}

// Everything of a star record that generation decides.
void expectSameStar(const StarRecord& a, const StarRecord& b, const std::string& what) {
    auto generated = [](const StarRecord& s) {
        return std::tuple(s.x, s.y, s.z, s.population, s.drawIndex, s.colour[0], s.colour[1], s.colour[2],
                          s.luminosityCode, std::bit_cast<uint32_t>(s.key), std::bit_cast<uint32_t>(s.radius));
    };
    EXPECT_EQ(generated(a), generated(b)) << what;
}

std::vector<SearchResult> searchAt(StarField& field, const int64_t at[3], uint32_t limit = SEARCH_LIMIT) {
    std::vector<SearchResult> results;
    search(field, field.settings.seed, results, limit, at[0], at[1], at[2], SEARCH_MIN_PARSECS, SEARCH_MAX_PARSECS);
    return results;
}

// Searches at the position and locates every name found: the same star, with
// the same voxel facts. Returns how many came from voxels the field holds.
int locateEverySearchResult(StarField& field, const int64_t at[3]) {
    const std::vector<SearchResult> results = searchAt(field, at);
    EXPECT_GT(results.size(), 0u);
    int existing = 0;
    for (const SearchResult& r : results) {
        existing += r.existing;
        LocatedStar located;
        std::string error;
        if (!locateStar(field, field.settings.seed, r.name, located, error)) {
            ADD_FAILURE() << r.name << ": " << error;
            continue;
        }
        const SearchResult& f = located.found;
        expectSameStar(f.star, r.star, r.name);
        EXPECT_STREQ(f.name, r.name);
        EXPECT_EQ(std::tuple(f.level, f.firstTier, f.starNumber, f.drawNumber),
                  std::tuple(r.level, r.firstTier, r.starNumber, r.drawNumber))
            << r.name;
        EXPECT_EQ(f.star.slot, NO_SLOT);
        EXPECT_GE(located.voxelStars, r.starNumber);
        // The star lies in the voxel the walk reached.
        const int64_t edge = int64_t{1} << (64 - f.level);
        const int64_t pos[3] = {f.star.x, f.star.y, f.star.z};
        for (int a = 0; a < 3; ++a) {
            const int64_t lo = static_cast<int64_t>(static_cast<uint64_t>(static_cast<int32_t>(located.corner[a])) << 32);
            EXPECT_GE(pos[a], lo) << r.name;
            EXPECT_LT(pos[a] - lo, edge) << r.name;
        }
    }
    return existing;
}

}  // namespace

// [-40, 39]^3 is shells 0..39, numbered 0 .. 8 * 40^3 - 1: every point
// comes back from its number, so no two share one and all are used.
TEST(LatticeInverse, EveryPointOfASmallCubeAndEveryIndexBelowIt) {
    for (int32_t x = -40; x <= 39; ++x)
        for (int32_t y = -40; y <= 39; ++y)
            for (int32_t z = -40; z <= 39; ++z) {
                const uint64_t index = indexOf({x, y, z});
                ASSERT_LT(index, 8u * 40 * 40 * 40);
                ASSERT_EQ(pointOf(index), (Point{x, y, z})) << index;
            }
}

TEST(LatticeInverse, RandomPointsAcrossTheRangeAndTheExtremeCorners) {
    std::mt19937_64 rng(11);
    // Up to shell 1321121 every point has a number of its own: both ways round.
    std::uniform_int_distribution<int32_t> unique(-1321122, 1321121);
    for (int i = 0; i < 200000; ++i) {
        const Point p{unique(rng), unique(rng), unique(rng)};
        ASSERT_EQ(pointOf(indexOf(p)), p) << p.x << " " << p.y << " " << p.z;
    }
    // Farther out numbers wrap around 2^64 and points share them: the inverse
    // gives the point of the numbering's own range with that number; and for
    // any 64-bit number.
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    for (int i = 0; i < 400000; ++i) {
        const uint64_t index = i % 2 ? indexOf({any(rng), any(rng), any(rng)}) : rng();
        ASSERT_EQ(indexOf(pointOf(index)), index);
    }
    const int32_t corners[] = {INT32_MIN, INT32_MAX, -1321122, 1321121, -1321123, 1321122, 0, -1};
    auto unique1 = [](int32_t c) { return c >= -1321122 && c <= 1321121; };
    for (int32_t x : corners)
        for (int32_t y : corners)
            for (int32_t z : corners) {
                const uint64_t index = indexOf({x, y, z});
                EXPECT_EQ(indexOf(pointOf(index)), index);
                EXPECT_TRUE(!(unique1(x) && unique1(y) && unique1(z)) || pointOf(index) == (Point{x, y, z}));
            }
    // The first and last numbers, and the first numbers of the shells.
    EXPECT_EQ(pointOf(0), (Point{-1, -1, -1}));
    EXPECT_EQ(pointOf(7), (Point{0, 0, 0}));
    EXPECT_EQ(indexOf(pointOf(~uint64_t{0})), ~uint64_t{0});
    for (uint64_t r : {1ull, 2ull, 1000ull, 1321121ull, 1321122ull}) {
        const uint64_t first = 8 * r * r * r;
        EXPECT_EQ(indexOf(pointOf(first)), first);
        EXPECT_EQ(indexOf(pointOf(first - 1)), first - 1);
        // The shell's first point is its bottom corner.
        EXPECT_EQ(pointOf(first), (Point{~static_cast<int32_t>(r), ~static_cast<int32_t>(r), ~static_cast<int32_t>(r)}));
    }
}

TEST(LatticeInverse, CodesReadBackAndMalformedCodesAreRefused) {
    std::mt19937_64 rng(5);
    std::uniform_int_distribution<int32_t> unique(-1321122, 1321121);
    for (int i = 0; i < 20000; ++i) {
        const Point p{unique(rng), unique(rng), unique(rng)};
        const std::string code = codeOf(p);
        Point back{};
        ASSERT_EQ(parseLatticeCode(code.data(), code.size(), back.x, back.y, back.z), LatticeCodeError::NONE);
        ASSERT_EQ(back, p) << code;
    }
    using E = LatticeCodeError;
    // "CA": a vowel; "CBBBBBBBBBBBBBBBB": 16 letters. 2^64 - 1 in base 21 is the
    // largest code value (index 2^64 - 2); its successor does not fit.
    const std::pair<std::string, E> cases[] = {
        {"L", E::NONE}, {"", E::EMPTY}, {"l", E::NOT_A_LETTER}, {"CA", E::NOT_A_LETTER}, {"C-", E::NOT_A_LETTER},
        {"BC", E::LEADING_B}, {"HSLVGVVVKVHJRXT", E::NONE}, {"HSLVGVVVKVHJRXV", E::TOO_LARGE},
        {"CBBBBBBBBBBBBBBBB", E::TOO_LARGE}, {"CBBBBBBBBBBBBBBBBa", E::NOT_A_LETTER}};
    for (const auto& [code, expected] : cases) {
        Point p{};
        EXPECT_EQ(parseLatticeCode(code.data(), code.size(), p.x, p.y, p.z), expected) << code;
    }
}

TEST(StarNames, MalformedNamesAreRefusedWithAReason) {
    StarName name;
    std::string error;
    ASSERT_TRUE(parseStarName("X-GFVXPDD-330", name, error)) << error;
    EXPECT_EQ(name.level, 18);
    EXPECT_EQ(name.number, 330u);
    // Blanks around a pasted name do not count.
    ASSERT_TRUE(parseStarName(" \tX-GFVXPDD-330\r\n", name, error)) << error;
    // No number or an empty one, empty code, no letter, two letters; level 0, the root (no stars), beyond the
    // deepest level, not a letter of the alphabet; lower case; leading B; a code too long for 64 bits; a cell
    // outside the galaxy at level 2; zero, leading zero, signs; stray characters; beyond what "%d" writes.
    const char* bad[] = {"", "X", "X-GFVXPDD", "X-GFVXPDD-", "X--330", "-GFVXPDD-330", "XX-GFVXPDD-330",
                         "B-C-1", "C-C-1", "Y-C-1", "Z-C-1", "A-C-1",
                         "x-GFVXPDD-330", "X-gfvxpdd-330", "X-GFVxPDD-330", "X-BGFVXPDD-330", "X-GFVXPDDGFVXPDDG-1",
                         "D-CCCC-1", "X-GFVXPDD-0", "X-GFVXPDD-0330", "X-GFVXPDD-+330", "X-GFVXPDD--330",
                         "X-GFVXPDD-3 30", "X-GFV XPDD-330", "X-GFVXPDD-330.", "X-GFVXPDD-330-1", "X_GFVXPDD_330",
                         "X-GFVXPDD-2147483648", "X-GFVXPDD-99999999999999999999"};
    for (const char* text : bad) {
        error.clear();
        EXPECT_FALSE(parseStarName(text, name, error)) << "'" << text << "'";
        EXPECT_FALSE(error.empty()) << "'" << text << "'";
    }
    // A string with a NUL inside is not the name before the NUL.
    EXPECT_FALSE(parseStarName(std::string_view("X-GFVXPDD-330\0x", 15), name, error));
}

TEST(StarNames, NumbersBeyondTheVoxelAndEmptyVoxelsNameNoStar) {
    const Galaxy& g = builtGalaxy();
    StarField field(g);
    const std::vector<SearchResult> results = searchAt(field, DEFAULT_VIEWPOINT, 1);
    ASSERT_EQ(results.size(), 1u);
    LocatedStar located;
    std::string error;
    ASSERT_TRUE(locateStar(field, field.settings.seed, results[0].name, located, error)) << error;
    // The last star of the voxel is there; one more is not.
    const std::string prefix = std::string(results[0].name).substr(0, std::string(results[0].name).rfind('-') + 1);
    EXPECT_TRUE(locateStar(field, field.settings.seed, prefix + std::to_string(located.voxelStars), located, error)) << error;
    EXPECT_FALSE(locateStar(field, field.settings.seed, prefix + std::to_string(located.voxelStars + 1), located, error));
    EXPECT_NE(error.find("holds"), std::string::npos) << error;
    // The far corners of the root box at levels 10 and 18 lie outside every
    // component: no star at all.
    for (const std::string& name : {"N-" + codeOf({-256, -256, -256}) + "-1",
                                   "X-" + codeOf({-65536, -65536, -65536}) + "-1"}) {
        error.clear();
        EXPECT_FALSE(locateStar(field, field.settings.seed, name, located, error)) << name;
        EXPECT_NE(error.find("no star"), std::string::npos) << error;
    }
}

// A field that has generated nothing, out in the halo and beyond (the last
// place near a corner of the galaxy's box), where the nearest stars lie in
// big voxels of the upper levels.
TEST(LocateFoundStars, FarPlacesNoneGeneratedYet) {
    StarField field(builtGalaxy());
    const int64_t far[][3] = {{100000000000000000, 0, 0},
                              {300000000000000000, 0, 300000000000000000},
                              {1000000000000000000, -1000000000000000000, 0},
                              {0, 0, 2000000000000000000},
                              {-4000000000000000000, 4000000000000000000, 4000000000000000000}};
    std::set<char> letters;
    for (const auto& at : far) {
        EXPECT_EQ(locateEverySearchResult(field, at), 0);
        letters.insert(searchAt(field, at, 1).back().name[0]);
    }
    // The nearest stars out there come from at least three different levels.
    EXPECT_GE(letters.size(), 3u);
}

// The stars the field holds, and a few and a few hundred parsecs away. Then
// another seed: the old voxels the field still holds are never offered, and
// the next update regenerates what a field that always had the other seed holds.
TEST(LocateFoundStars, StarsTheFieldHoldsAndBeyondAndANewSeedNeverMixesGalaxies) {
    const int64_t home[3] = {DEFAULT_VIEWPOINT[0], DEFAULT_VIEWPOINT[1], DEFAULT_VIEWPOINT[2]};
    const std::unique_ptr<StarField> owned = fieldWith(1000000, 4);
    StarField& field = *owned;
    runToCompletion(field, home);
    EXPECT_GT(locateEverySearchResult(field, home), 0);
    for (const int64_t d : {int64_t{20000000000000}, int64_t{-900000000000000}}) {
        const int64_t at[3] = {home[0] + d, home[1] - d / 2, home[2] + d / 3};
        locateEverySearchResult(field, at);
    }

    const GalaxySeed other{12345, 678};
    const std::unique_ptr<StarField> fresh = fieldWith(1000000, 4);
    fresh->settings.seed = other;
    runToCompletion(*fresh, home);
    const std::vector<SearchResult> expected = searchAt(*fresh, home);
    field.settings.seed = other;
    EXPECT_EQ(locateEverySearchResult(field, home), 0);
    auto sameList = [&](const std::vector<SearchResult>& got) {
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_STREQ(got[i].name, expected[i].name);
            expectSameStar(got[i].star, expected[i].star, got[i].name);
        }
    };
    std::vector<SearchResult> got = searchAt(field, home);
    sameList(got);
    for (const SearchResult& r : got) EXPECT_EQ(r.existing, 0);
    StarFieldInput in = inputAt(home, false);
    updateAsSet(field, in);
    EXPECT_TRUE(field.results.redraw);
    EXPECT_EQ(field.generatedSeed, other);
    while (field.unfinished()) updateAsSet(field, in);
    got = searchAt(field, home);
    sameList(got);
    int existing = 0;
    for (const SearchResult& r : got) existing += r.existing;
    EXPECT_GT(existing, 0);
}

// At the star itself, and with the star behind (from afar: the navigation tests).
TEST(ArriveNextTo, AtTheStarItselfAndWithTheStarBehind) {
    Viewpoint view{};
    for (int a = 0; a < 3; ++a) view.position[a] = {0x1234, 1000000000};
    view.forward = {0, 1, 0};
    view.up = {0, 0, 1};
    view.flyingToTarget = view.turningToTarget = true;
    const int64_t same[3] = {1000000000, 1000000000, 1000000000};
    arriveNextTo(view, same);
    EXPECT_FALSE(view.flyingToTarget || view.turningToTarget);
    EXPECT_EQ(view.position[2].fraction, 0u);
    // Backed off along forward, still looking at it.
    EXPECT_EQ(view.position[1].integer, 1000000000 - 1500000);
    EXPECT_EQ(view.position[0].integer, 1000000000);
    EXPECT_EQ(view.forward.y, 1.0);
    // A star straight behind: a half turn about the pitch axis; up turns over.
    const int64_t behind[3] = {1000000000, 1000000000 - 1500000 - 40000000, 1000000000};
    arriveNextTo(view, behind);
    EXPECT_NEAR(view.forward.y, -1.0, 1e-12);
    EXPECT_NEAR(view.up.z, -1.0, 1e-12);
    EXPECT_EQ(view.position[1].integer, behind[1] + 1500000);
}
