#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "galaxy/star_name.h"
#include "numeric/constants.h"
#include "starfield/locate.h"
#include "starfield/navigation.h"
#include "starfield/pick.h"
#include "starfield/search.h"
#include "starfield/star_field.h"
#include "starfield/star_field_digest.h"
#include "starfield/view_limits.h"
#include "state/settings.h"
#include "tests/galaxy_fixture.h"

namespace {

TEST(StarFieldPriority, InsideIsTopAndDistanceAndLevelLowerIt) {
    EXPECT_EQ(voxelPriority(0, 5, 10), 3000);
    EXPECT_EQ(voxelPriority(1, 1, 2), 3000 - 192 - 32);  // D^2 = 1: e = 0, f = 32
    // A doubling of distance (D^2 times four) costs 64, as does one more level.
    EXPECT_EQ(voxelPriority(1 << 20, 0, 5) - voxelPriority(1 << 22, 0, 5), 64);
    EXPECT_EQ(voxelPriority(1 << 20, 0, 5) - voxelPriority(1 << 20, 0, 6), 64);
    EXPECT_EQ(voxelPriority(~uint64_t{0}, 10, 18), 0);  // clamped below
}

// (d2 >> 16) <= bound << 2(24 - T - L); at T + L = 24 the bound as it is,
// beyond it shifted right.
TEST(StarFieldPriority, BoundsScaleWithLevelAndNeverOverflow) {
    EXPECT_TRUE(withinBound(uint64_t{100} << 16 << 2, 100, 23, 0));
    EXPECT_FALSE(withinBound((uint64_t{101} << 16 << 2), 100, 23, 0));
    EXPECT_TRUE(withinBound(~uint64_t{0}, 1 << 20, 0, 1));  // the shifted bound saturates
    EXPECT_FALSE(withinBound(0x10000, -1, 0, 5));            // a negative bound creates nothing
    EXPECT_TRUE(withinBound(uint64_t{777} << 16, 777, 10, 14));
    EXPECT_FALSE(withinBound(uint64_t{778} << 16, 777, 10, 14));
    EXPECT_TRUE(withinBound(uint64_t{194} << 16, 777, 11, 14));  // 777 >> 2 = 194
    EXPECT_FALSE(withinBound(uint64_t{195} << 16, 777, 11, 14));
    EXPECT_TRUE(withinBound(0xFFFF, 0, 18, 18));  // the shift stops at 63
}

// Distances are measured from the position's grid cell (its top 32 bits) to
// the voxel's box, whose faces count as inside.
TEST(StarFieldPriority, GridBoxDistanceFromTheCellOfThePosition) {
    const int64_t unit = int64_t{1} << 32;
    // A level-30 voxel spans 4 grid units from its corner.
    const int64_t inside[3] = {5 * unit + 123, 2 * unit, 4 * unit + (unit - 1)};
    EXPECT_EQ(gridBoxDistance(inside, 2, 2, 2, 30), 0u);
    const int64_t off[3] = {-1 * unit, 9 * unit + (unit - 1), 3 * unit};  // 3 below in x, 3 beyond in y
    EXPECT_EQ(gridBoxDistance(off, 2, 2, 2, 30), 18u);
    // Corners are two's complement: 0xFFFFFFFE is -2, so x = -5 lies 3 below it.
    const int64_t negative[3] = {-5 * unit, 0, 0};
    EXPECT_EQ(gridBoxDistance(negative, 0xFFFFFFFEu, 0, 0, 31), 9u);
    // From one end of the galaxy cube to a voxel at the other: saturates.
    const int64_t far[3] = {INT64_MIN, INT64_MIN, INT64_MIN};
    EXPECT_EQ(gridBoxDistance(far, 0x7FFFFFF0u, 0x7FFFFFF0u, 0x7FFFFFF0u, 30), ~uint64_t{0});
}

// The default limits, pinned (createBound is S / (R^2 / 80) less one, keepBound
// 1.1 times the quotient); only the foreground test follows the height, with its square.
TEST(ViewLimits, DefaultValuesAndTheDisplayHeight) {
    const ViewLimits& d = defaultLimits();
    EXPECT_EQ(d.createBound, 1266);
    EXPECT_EQ(d.keepBound, 1394u);
    EXPECT_EQ(d.nearBoundFaint, 0u);  // the faint bound is below one unit here
    EXPECT_EQ(d.foregroundDistance, 7974182541u);
    EXPECT_DOUBLE_EQ(d.limitScale, 8.7823573287148003e+27);
    EXPECT_DOUBLE_EQ(d.foregroundSize, 2449.8750345684216);
    EXPECT_FLOAT_EQ(d.pointRatio, 2.6255399e-11f);
    EXPECT_FLOAT_EQ(d.nearRatio, 8.4017282e-09f);
    EXPECT_FLOAT_EQ(d.nearFactor, 2.1955893e+27f);
    EXPECT_FLOAT_EQ(d.nearKeyFloor, 10436.104f);
    for (int h : {1, 2161}) {
        SCOPED_TRACE(h);
        const ViewLimits l = computeViewLimits(builtGalaxy(), DEFAULT_MAX_MAGNITUDE, DEFAULT_VIEW_ANGLE, h);
        const double square = (h / 800.0) * (h / 800.0);
        EXPECT_DOUBLE_EQ(l.foregroundSize, d.foregroundSize * square);
        EXPECT_NEAR(static_cast<double>(l.foregroundDistance), static_cast<double>(d.foregroundDistance) * square,
                    square + 1);  // both truncated
        EXPECT_EQ(l.createBound, d.createBound);
        EXPECT_EQ(l.keepBound, d.keepBound);
        EXPECT_EQ(l.nearBoundFaint, d.nearBoundFaint);
        EXPECT_EQ(l.limitScale, d.limitScale);
        for (double angle : {1.0, 90.0}) {
            const double perDegree = h * 360.0 / angle;
            EXPECT_DOUBLE_EQ(backgroundDisplayValue(h, angle), perDegree * perDegree / 3.141592653589793) << angle;
        }
    }
}

TEST(StarGeneration, LastTierNeverFallsBelowTheFirst) {
    EXPECT_EQ(lastTierFor(5, 0, 1), 10);                    // 31 spare bits / 3
    EXPECT_EQ(lastTierFor(12, 0, 1), 6);                    // capped at 18 - level
    EXPECT_EQ(lastTierFor(5, 4, uint64_t{1} << 40), 4);     // formula gives 1: kept at the first tier
    EXPECT_EQ(lastTierFor(5, 4, uint64_t{1} << 10), 7);
}

// Every tier multiplies the mean by eight (8^t cubes of its band), on both
// sides of tier 11 where the 32.32 scaling turns from a right shift into a
// left one, until the 64-bit mean saturates.
TEST(StarGeneration, TierMeanGrowsEightfoldPerTier) {
    const uint64_t density = uint64_t{1} << 32;  // 1.0
    const uint64_t count = uint64_t{1} << 20;    // 2^-12 stars per band cube
    for (int t = 0; t <= 14; ++t) EXPECT_EQ(tierMean(density, count, t), uint64_t{1} << (20 + 3 * t)) << t;
    for (int t = 15; t <= 17; ++t) EXPECT_EQ(tierMean(density, count, t), ~uint64_t{0}) << t;
    // Tier 0 is the plain 32.32 product; 2.5 x 1.5 = 3.75.
    EXPECT_EQ(tierMean(uint64_t{5} << 31, uint64_t{3} << 31, 0), uint64_t{15} << 30);
    EXPECT_EQ(tierMean(0, ~uint64_t{0}, 17), 0u);
    EXPECT_EQ(tierMean(~uint64_t{0}, ~uint64_t{0}, 0), ~uint64_t{0});
}

TEST(StarGeneration, BackgroundLightIsNormalisedToItsBrightestChannel) {
    const Galaxy& g = builtGalaxy();
    const ChannelConstants ch = channelConstantsFor(DEFAULT_WAVELENGTHS);
    const double V = std::pow(800.0 * 360 / 45.0, 2) / 3.141592653589793;
    const BackgroundLight light = backgroundLight(g.components[0].populations, ch, V, defaultLimits().limitScale);
    EXPECT_EQ(std::max({light.colour[0], light.colour[1], light.colour[2]}), 1.0f);
    for (float c : light.colour) EXPECT_GT(c, 0.0f);
    EXPECT_GT(light.intensity, 0.0);
    EXPECT_TRUE(std::isfinite(light.intensity));
    // Twice the display value halves the intensity; the colour stays.
    const BackgroundLight half = backgroundLight(g.components[0].populations, ch, 2 * V, defaultLimits().limitScale);
    EXPECT_DOUBLE_EQ(half.intensity * 2, light.intensity);
    EXPECT_EQ(half.colour[2], light.colour[2]);
}

// Making room for priority p takes voxels queued below p, lowest first; never
// the root or a voxel whose children are alive.
TEST(StarFieldPass, EvictionTakesOnlyBucketsBelowThePriority) {
    auto f = fieldWith(1000);
    auto child = [&](VoxelHandle parent, int octant) {
        const VoxelHandle h = f->allocateVoxel();
        f->voxel(h).parent = parent * 8 + static_cast<uint32_t>(octant);
        f->voxel(h).level = static_cast<uint8_t>(f->voxel(parent).level + 1);
        f->voxel(parent).childMask |= static_cast<uint8_t>(1u << octant);
        return h;
    };
    const VoxelHandle a = child(ROOT_VOXEL, 0), b = child(ROOT_VOXEL, 1), parent = child(ROOT_VOXEL, 2);
    const VoxelHandle grandchild = child(parent, 5);
    f->queue.push(5, ITEM_EXISTING | ROOT_VOXEL);
    f->queue.push(9, ITEM_EXISTING | a);
    f->queue.push(10, ITEM_EXISTING | b);
    f->queue.push(11, ITEM_EXISTING | grandchild);
    f->queue.push(11, ITEM_EXISTING | parent);  // popped first: the stack's top
    EXPECT_FALSE(f->evict(9));  // below 9 only the root
    EXPECT_TRUE(f->isLive(ROOT_VOXEL));
    EXPECT_TRUE(f->isLive(a));
    EXPECT_TRUE(f->evict(10));
    EXPECT_FALSE(f->isLive(a));
    EXPECT_EQ(f->voxel(ROOT_VOXEL).childMask, 0b110);
    EXPECT_FALSE(f->evict(10));  // b sits at 10 itself
    EXPECT_TRUE(f->isLive(b));
    EXPECT_TRUE(f->evict(12));  // b
    EXPECT_FALSE(f->isLive(b));
    EXPECT_TRUE(f->evict(12));  // the parent is passed over for its child
    EXPECT_FALSE(f->isLive(grandchild));
    EXPECT_TRUE(f->isLive(parent));
    EXPECT_EQ(f->voxel(parent).childMask, 0);
    EXPECT_FALSE(f->evict(12));
    EXPECT_EQ(f->liveVoxels, 2u);
}

// A field holding, below the root, the level-2 voxel at the galaxy cube's
// positive corner (planned into `parent`, with `lastTier` when given), so
// that createChild can make its child 7, the level-3 voxel at the corner.
std::unique_ptr<StarField> fieldWithCornerParent(uint64_t maxStars, uint64_t maxPoints, ChildPlan& parent,
                                                 VoxelHandle& h, int lastTier = -1) {
    const Galaxy& view = builtGalaxy();
    uint64_t dens[GALAXY_MAX_COMPONENTS] = {};
    EXPECT_TRUE(planChild(view, rootParent(view.count), 7, parent, dens));
    if (lastTier >= 0) parent.lastTier = lastTier;
    auto f = fieldWith(maxStars, 1, maxPoints);
    h = f->allocateVoxel();
    Voxel& v = f->voxel(h);
    v.parent = ROOT_VOXEL * 8 + 7;
    f->voxel(ROOT_VOXEL).childMask = 0x80;
    std::tie(v.x, v.y, v.z, v.level, v.node, v.components) =
        std::tuple(parent.x, parent.y, parent.z, uint8_t(2), parent.node, parent.components);
    v.firstTier = v.lastTier = static_cast<uint8_t>(parent.lastTier);
    return f;
}

// A new voxel's n stars must stay below both the star and the point limit:
// with room for exactly n the pass stops (nothing to evict), with n + 1 not.
TEST(StarFieldPass, NewStarsMustStayBelowBothLimits) {
    const Galaxy& view = builtGalaxy();
    ChildPlan parent, plan;
    VoxelHandle h = 0;
    fieldWithCornerParent(1, 1, parent, h);
    uint64_t dens[GALAXY_MAX_COMPONENTS] = {};
    ASSERT_TRUE(planChild(view, parentOf(parent), 7, plan, dens));
    GenerationWorkspace ws;
    const uint64_t n = generateVoxelStars(view, voxelRequestFor(plan, dens, GalaxySeed{}), plan.firstTier,
                                          plan.lastTier, channelConstantsFor(DEFAULT_WAVELENGTHS), ws);
    ASSERT_GT(n, 0u);
    for (const bool points : {false, true}) {
        for (const uint64_t room : {n, n + 1}) {
            auto f = fieldWithCornerParent(points ? 1u << 30 : room, points ? room : 1u << 30, parent, h);
            EXPECT_EQ(f->createChild(h * 8 + 7, 100), room == n) << (points ? "points " : "stars ") << room;
            EXPECT_EQ(f->starsInMemory, room == n ? 0 : n);
        }
    }
}

// A voxel whose last tier reaches the deepest band queues no children; one
// band short, the child holding the viewpoint is queued.
TEST(StarFieldPass, NoChildrenBelowTheDeepestBand) {
    for (const int lastTier : {14, 15}) {  // the level-3 voxel's last band: 17, 18
        ChildPlan parent;
        VoxelHandle h = 0;
        auto f = fieldWithCornerParent(1u << 30, 1u << 30, parent, h, lastTier);
        for (int64_t& c : f->generationViewpoint) c = (int64_t{5} << 27) << 32;  // inside the level-3 voxel
        EXPECT_FALSE(f->createChild(h * 8 + 7, 100));
        uint32_t queued = 0;
        for (int p = 0; p <= QUEUE_TOP_PRIORITY; ++p) queued += f->queue.size(p);
        EXPECT_EQ(queued > 0, lastTier == 14) << queued;
    }
}

// Raising the limits keeps everything, lowering them restarts from the root;
// chunks are held at what parent links address (another seed: the locate
// tests below).
TEST(StarFieldPass, LowerLimitsRestartFromTheRootRaisedLimitsKeepAll) {
    auto f = fieldWith(200000, 2);
    runToCompletion(*f, DEFAULT_VIEWPOINT);
    const uint64_t first = starFieldDigest(*f);
    f->settings.maxStarsGen = 300000;
    f->settings.maxVoxelChunks = 3;
    const StarFieldInput in = inputAt(DEFAULT_VIEWPOINT, false);
    updateAsSet(*f, in);
    EXPECT_FALSE(f->results.redraw);
    EXPECT_EQ(f->maxStarsGen, 300000u);
    EXPECT_EQ(f->maxChunks, 3u);
    EXPECT_EQ(starFieldDigest(*f), first);  // nothing regenerated
    f->settings.maxStarsGen = 100000;
    f->settings.frameTimeoutNs = 0;
    updateAsSet(*f, in);
    EXPECT_TRUE(f->results.redraw);
    EXPECT_EQ(f->maxChunks, 3u);
    runToCompletion(*f, DEFAULT_VIEWPOINT, nullptr, false);
    EXPECT_LE(f->chunks.size(), 3u);
    const uint64_t lowered = starFieldDigest(*f);
    // Run after every bucket, it equals a field given the lowered limits from
    // the start and run in one update: a pass resumes where it stopped, and
    // nothing of the old field stays behind, not even its point slots.
    auto whole = fieldWith(100000, 3);
    whole->settings.frameTimeoutNs = ~uint64_t{0} >> 1;
    runToCompletion(*whole, DEFAULT_VIEWPOINT);
    EXPECT_EQ(whole->stats.passes, 1u);
    EXPECT_GT(f->stats.passes, 100u);
    EXPECT_EQ(starFieldDigest(*whole), lowered);
    f->settings.maxVoxelChunks = ~0u;
    updateAsSet(*f, in);
    EXPECT_EQ(f->maxChunks, MAX_VOXEL_CHUNKS);
    EXPECT_EQ(starFieldDigest(*f), lowered);
}

// Every fill (one star beyond the 32 entries too: counted as missed), the
// entry at every position released: the last entry moves into the hole, its
// star told its new slot, the others stay, the vacated owner is cleared.
TEST(Foreground, EntriesMoveWithTheirStarsAndNeverExceed32) {
    const PopulationTable& pops = builtGalaxy().components[0].populations;
    const ForegroundVoxel v{0, 0, 0, 17, 0, 0};
    for (uint32_t n = 1; n <= MAX_FOREGROUND + 1; ++n) {
        const uint32_t kept = std::min(n, MAX_FOREGROUND);
        for (uint32_t pos = 0; pos < kept; ++pos) {
            ForegroundTable t;
            std::vector<StarRecord> stars(n);
            for (uint32_t i = 0; i < n; ++i) {
                stars[i].x = 1000 + i;
                makeForeground(t, stars[i], pops, GalaxySeed{}, v);
            }
            makeForeground(t, stars[pos], pops, GalaxySeed{}, v);
            ASSERT_EQ(t.missed, n - kept);
            releaseForeground(t, stars[pos]);
            releaseForeground(t, stars[pos]);  // no entry any more: nothing happens
            ASSERT_EQ(t.count, kept - 1);
            EXPECT_EQ(t.owner[kept - 1], nullptr);
            for (uint32_t i = 0; i < n; ++i) {
                const uint32_t slot = (i == pos || i >= kept) ? 0 : (i == kept - 1) ? pos + 1 : i + 1;
                ASSERT_EQ(stars[i].foreground, slot) << n << " entries, released " << pos << ", star " << i;
                if (slot == 0) continue;
                ASSERT_EQ(t.owner[slot - 1], &stars[i]);
                ASSERT_EQ(t.entries[slot - 1].x, stars[i].x);
            }
        }
    }
}

TEST(Foreground, TestAtZeroDistanceAndTheDistanceLimit) {
    ViewLimits l = defaultLimits();
    ASSERT_GT(l.foregroundDistance, 1000u);
    EXPECT_TRUE(isForeground(0, 1e-3f, l));
    EXPECT_TRUE(isForeground(0, 0.0f, l));  // a point at the eye covers any angle
    // A star is a disc up to the distance where its radius still reaches the
    // size limit, and no further.
    const float r = static_cast<float>(std::sqrt(static_cast<double>(l.foregroundDistance) / 2 / l.foregroundSize));
    const double reach = static_cast<double>(r) * l.foregroundSize * static_cast<double>(r);
    ASSERT_LT(reach, static_cast<double>(l.foregroundDistance));
    const auto edge = static_cast<uint64_t>(std::floor(reach));
    EXPECT_TRUE(isForeground(edge, r, l));
    EXPECT_FALSE(isForeground(edge + 1, r, l));
    // However large, nothing at the distance limit or beyond is a disc.
    EXPECT_TRUE(isForeground(l.foregroundDistance - 1, 1e9f, l));
    EXPECT_FALSE(isForeground(l.foregroundDistance, 1e9f, l));
}

// Generates, from the root down, the voxels below v whose box lies within
// `radius` of p, handing each one's stars to visit(plan, stars, count), which
// says whether to go on below it.
template <typename Visit>
void walkVoxelsNear(const Galaxy& view, const VoxelParent& v, const int64_t p[3], double radius, Visit& visit) {
    if (v.level + v.lastTier >= DEEPEST_LEVEL) return;
    uint64_t dens[GALAXY_MAX_COMPONENTS];
    GenerationWorkspace ws;
    for (int o = 0; o < 8; ++o) {
        ChildPlan plan;
        if (!planChild(view, v, o, plan, dens)) continue;
        const uint32_t c[3] = {plan.x, plan.y, plan.z};
        double d2 = 0;
        for (int a = 0; a < 3; ++a) {
            const double lo = std::ldexp(static_cast<double>(static_cast<int32_t>(c[a])), 32);
            const double hi = lo + std::ldexp(1.0, 64 - plan.level);
            const auto q = static_cast<double>(p[a]);
            const double gap = q < lo ? lo - q : q > hi ? q - hi : 0;
            d2 += gap * gap;
        }
        if (d2 > radius * radius) continue;
        const size_t n = generateVoxelStars(view, voxelRequestFor(plan, dens, GalaxySeed{}), plan.firstTier,
                                            plan.lastTier, channelConstantsFor(DEFAULT_WAVELENGTHS), ws);
        if (visit(plan, ws.unsorted.data(), n)) walkVoxelsNear(view, parentOf(plan), p, radius, visit);
    }
}

// The 100 stars a search finds at p are, in order, the nearest of every star
// of every voxel within 1.5 times the farthest one's distance.
void expectSearchMatchesBruteForce(StarField& f, const int64_t p[3]) {
    searchNearest(f, GalaxySeed{}, p[0], p[1], p[2]);
    const std::vector<SearchResult>& r = f.searchResults;
    ASSERT_EQ(r.size(), 100u);
    for (size_t i = 1; i < r.size(); ++i) EXPECT_LE(r[i - 1].distanceSquared, r[i].distanceSquared);
    std::vector<std::pair<double, StarRecord>> all;
    auto visit = [&](const ChildPlan&, const StarRecord* stars, size_t n) {
        for (const StarRecord& s : std::span(stars, n)) {
            const double dx = static_cast<double>(s.x - p[0]), dy = static_cast<double>(s.y - p[1]),
                         dz = static_cast<double>(s.z - p[2]);
            all.emplace_back(dx * dx + dy * dy + dz * dz, s);
        }
        return true;
    };
    walkVoxelsNear(builtGalaxy(), rootParent(builtGalaxy().count), p, std::sqrt(r.back().distanceSquared) * 1.5, visit);
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    ASSERT_GE(all.size(), 100u);
    for (size_t i = 0; i < 100; ++i) {
        EXPECT_EQ(all[i].first, r[i].distanceSquared) << i;
        EXPECT_EQ(all[i].second.x, r[i].star.x) << i;
        EXPECT_EQ(all[i].second.key, r[i].star.key) << i;
    }
}

// Stars within half a grid unit of their voxel's lower x face, looked for from
// one unit below it: measured from the search position's grid cell (a whole
// grid unit lower) the voxel would be dropped and the star missed. A star at
// the search position comes first; a small range lists only its few stars.
TEST(Search, MeasuresFromThePositionAndKeepsToTheRange) {
    std::vector<StarRecord> onFaces;
    auto visit = [&](const ChildPlan& plan, const StarRecord* stars, size_t n) {
        for (const StarRecord& s : std::span(stars, n))
            if ((s.x >> 32) == static_cast<int32_t>(plan.x) && (s.x & 0xFFFFFFFF) < (int64_t{1} << 31))
                onFaces.push_back(s);
        return onFaces.size() < 4;  // no deeper once there are four
    };
    walkVoxelsNear(builtGalaxy(), rootParent(builtGalaxy().count), DEFAULT_VIEWPOINT, 60 / UNIT_PARSECS_DOUBLE, visit);
    ASSERT_FALSE(onFaces.empty());
    auto f = fieldWith(100000);
    std::vector<SearchResult> r;
    for (const StarRecord& s : onFaces) {
        const int64_t at = ((s.x >> 32) << 32) - 1;
        const double distance = static_cast<double>(s.x - at);
        search(*f, GalaxySeed{}, r, 100, at, s.y, s.z, 0, 1.5 * distance * UNIT_PARSECS_DOUBLE);
        bool found = false;
        for (const SearchResult& x : r) found = found || (x.star.x == s.x && x.star.y == s.y && x.star.z == s.z);
        EXPECT_TRUE(found) << "star at " << s.x << "," << s.y << "," << s.z;
        ASSERT_FALSE(r.empty());
        EXPECT_EQ(r[0].distanceSquared, distance * distance);
    }
    const GalaxySeed seed{};
    const StarRecord s = onFaces.back();
    search(*f, seed, r, 100, s.x, s.y, s.z, 0, 1e20);
    EXPECT_EQ(r[0].distanceSquared, 0.0);
    EXPECT_EQ(r[0].star.x, s.x);
    search(*f, seed, r, 100, s.x, s.y, s.z, 0, 0.3);
    EXPECT_LT(r.size(), 100u);
    EXPECT_GE(r.size(), 1u);
    for (const SearchResult& x : r) EXPECT_LE(std::sqrt(x.distanceSquared) * UNIT_PARSECS_DOUBLE, 0.3);
    search(*f, seed, r, 100, s.x, s.y, s.z, 1e-9, 2e-9);
    EXPECT_TRUE(r.empty());
}

}  // namespace

// Passes at every corner, edge and face of space, flying outwards at the
// highest speed: the look-ahead is held at the 64-bit range instead of
// wrapping, and a search there measures the true distances.
TEST(StarFieldEdge, PassesAndSearchesAtTheEdgeOfSpace) {
    auto f = fieldWith(200000);
    for (int d = 0; d < 27; ++d) {
        const int dir[3] = {d % 3 - 1, d / 3 % 3 - 1, d / 9 - 1};
        if (dir[0] == 0 && dir[1] == 0 && dir[2] == 0) continue;
        int64_t at[3];
        for (int a = 0; a < 3; ++a) at[a] = dir[a] * POSITION_LIMIT;
        StarFieldInput in = inputAt(at, true);
        in.settings = f->settings;
        for (int a = 0; a < 3; ++a) in.velocity[a] = dir[a] * 1e40;  // a look-ahead beyond the 64-bit range
        runUntilComplete(*f, in, nullptr);
        for (int a = 0; a < 3; ++a) {
            const int64_t ahead = f->results.generationViewpoint[a];
            EXPECT_TRUE(dir[a] > 0 ? ahead > at[a] : dir[a] < 0 ? ahead < at[a] : ahead == at[a]) << d << " " << a;
        }
        searchNearest(*f, f->settings.seed, at[0], at[1], at[2]);
        ASSERT_FALSE(f->searchResults.empty()) << d;
        const StarRecord& s = f->searchResults.front().star;
        const double dx = static_cast<double>(s.x) - at[0], dy = static_cast<double>(s.y) - at[1],
                     dz = static_cast<double>(s.z) - at[2];
        EXPECT_NEAR(std::sqrt(f->searchResults.front().distanceSquared), std::sqrt(dx * dx + dy * dy + dz * dz), 1e6);
    }
}

// A click selects what a brute force over every drawn star, each projected on
// its own, selects: the nearest drawn edge within the tolerance, the brighter
// of two nearly as near, a disc under the pointer before whatever lies behind
// it. Next to a bright star, looking at it, across it and away.
TEST(Pick, SelectsWhatEveryDrawnStarProjectedOneByOneSays) {
    auto field = fieldWith(1000000, 4);
    LocatedStar located;
    std::string error;
    ASSERT_TRUE(locateStar(*field, GalaxySeed{}, "S-MNQW-1", located, error)) << error;
    Viewpoint at{};
    for (int a = 0; a < 3; ++a) at.position[a] = {0, DEFAULT_VIEWPOINT[a]};
    at.forward = DEFAULT_FORWARD;
    at.up = DEFAULT_UP;
    const StarRecord& target = located.found.star;
    const int64_t star[3] = {target.x, target.y, target.z};
    arriveNextTo(at, star);
    const int64_t eye[3] = {at.position[0].integer, at.position[1].integer, at.position[2].integer};
    runToCompletion(*field, eye);
    ASSERT_GT(field->foreground.count, 0u);
    PickView view;
    std::memcpy(view.eye, eye, sizeof eye);
    view.luminosityConst = pointLuminosityConstant(defaultLimits().limitScale, 1.0f);
    view.foregroundRadiusFactor = toDouble(SUN_RADIUS);
    PickedStar picked;
    struct Drawn {
        const StarRecord* star;
        PickedAs as;
        double x, y, radius, luminosity, depth;
    };
    const Vec3d f = at.forward, u = at.up, s = cross(f, u);
    const DisplayView views[] = {{f, u, 45, 1920, 1080}, {s, u, 10, 801, 601}, {f * -1, u, 90, 333, 999}};
    size_t crowded = 0, behindDisc = 0;
    for (const DisplayView& v : views) {
        view.display = v;
        std::vector<Drawn> drawn;
        for (const std::unique_ptr<Voxel[]>& chunk : field->chunks) {
            for (const Voxel& vx : std::span(chunk.get(), VOXEL_CHUNK_SIZE)) {
                if (vx.stars == FREE_VOXEL) continue;
                for (uint32_t i = 0; i < vx.shownUpTo; ++i) {
                    const StarRecord& r = vx.stars[i];
                    const double disc = r.foreground != 0 ? field->foreground.entries[r.foreground - 1].radius : 0;
                    Drawn d{&r, PickedAs::NONE, 0, 0, 0, 0, 0};
                    d.as = drawnAs(r, view, disc, d.radius, d.luminosity);
                    const int64_t offset[3] = {r.x - eye[0], r.y - eye[1], r.z - eye[2]};
                    const DisplayPoint p = projectToDisplay(v, offset);
                    if (d.as == PickedAs::NONE || !p.inFront) continue;
                    d.x = p.x;
                    d.y = p.y;
                    d.depth = dot(Vec3d{double(offset[0]), double(offset[1]), double(offset[2])}, v.forward);
                    drawn.push_back(d);
                }
            }
        }
        ASSERT_GT(drawn.size(), 1000u);
        // Clicks at the centre, on and beside drawn stars, and on a few stars behind a disc.
        std::vector<std::pair<double, double>> clicks = {{v.width / 2.0, v.height / 2.0}};
        for (size_t k = 0; k < drawn.size() && clicks.size() < 120; k += drawn.size() / 60 + 1) {
            clicks.push_back({drawn[k].x, drawn[k].y});
            clicks.push_back({drawn[k].x + 2.5, drawn[k].y - 1.5});
        }
        size_t hidden = 0;
        for (const Drawn& disc : drawn) {
            if (disc.as != PickedAs::DISC) continue;
            for (const Drawn& d : drawn) {
                if (d.as != PickedAs::DISC && hidden < 5 && std::hypot(d.x - disc.x, d.y - disc.y) < disc.radius) {
                    clicks.push_back({d.x, d.y});
                    ++hidden;
                }
            }
        }
        for (auto [x, y] : clicks) {
            auto edge = [&](const Drawn* d) { return std::hypot(d->x - x, d->y - y) - d->radius; };
            std::vector<const Drawn*> near;
            const Drawn* expected = nullptr;  // first the nearest disc under the pointer
            for (const Drawn& d : drawn) {
                if (edge(&d) > PICK_TOLERANCE) continue;
                near.push_back(&d);
                if (d.as == PickedAs::DISC && edge(&d) <= 0 && (expected == nullptr || d.depth < expected->depth))
                    expected = &d;
            }
            crowded += near.size() > 1 && expected == nullptr;
            behindDisc += expected != nullptr && near.size() > 1;
            if (expected == nullptr && !near.empty()) {
                double nearest = 1e9;
                for (const Drawn* d : near) nearest = std::min(nearest, std::max(0.0, edge(d)));
                for (const Drawn* d : near)
                    if (std::max(0.0, edge(d)) <= nearest + PICK_CLOSE &&
                        (expected == nullptr || d->luminosity > expected->luminosity))
                        expected = d;
            }
            const bool found = pickStar(*field, view, x, y, picked);
            ASSERT_EQ(found, expected != nullptr) << x << " " << y;
            if (!found) continue;
            EXPECT_EQ(picked.as, expected->as);
            EXPECT_EQ(picked.found.star.x, expected->star->x) << v.viewAngle << " " << x << " " << y;
            EXPECT_EQ(picked.found.star.y, expected->star->y);
            EXPECT_EQ(picked.found.star.z, expected->star->z);
            EXPECT_NEAR(picked.x, expected->x, 1e-6 * v.width);
        }
    }
    // The cases that matter were met: stars close together, stars behind a disc.
    EXPECT_GT(crowded, 0u);
    EXPECT_GT(behindDisc, 0u);
}

// Going to a star by its name: the inverse of the lattice numbering and of the
// name format, the walk to the named voxel, and the place next to it.
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

// Up to shell 1321121 every point has a number and a code of its own: both
// ways round.
TEST(LatticeInverse, RandomPointsAndCodesAcrossTheRangeAndTheExtremeCorners) {
    std::mt19937_64 rng(11);
    std::uniform_int_distribution<int32_t> unique(-1321122, 1321121);
    for (int i = 0; i < 200000; ++i) {
        const Point p{unique(rng), unique(rng), unique(rng)};
        ASSERT_EQ(pointOf(indexOf(p)), p) << p.x << " " << p.y << " " << p.z;
        const std::string code = codeOf(p);
        Point back{};
        ASSERT_EQ(parseLatticeCode(code.data(), code.size(), back.x, back.y, back.z), LatticeCodeError::NONE);
        ASSERT_EQ(back, p) << code;
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
    // The last number, and the first numbers of the shells.
    EXPECT_EQ(indexOf(pointOf(~uint64_t{0})), ~uint64_t{0});
    for (uint64_t r : {1ull, 2ull, 1000ull, 1321121ull, 1321122ull}) {
        const uint64_t first = 8 * r * r * r;
        EXPECT_EQ(indexOf(pointOf(first)), first);
        EXPECT_EQ(indexOf(pointOf(first - 1)), first - 1);
        // The shell's first point is its bottom corner.
        EXPECT_EQ(pointOf(first), (Point{~static_cast<int32_t>(r), ~static_cast<int32_t>(r), ~static_cast<int32_t>(r)}));
    }
}

TEST(LatticeInverse, MalformedCodesAreRefused) {
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

// A field that has generated nothing, out in the halo and beyond (the last
// place near a corner of the galaxy's box), where the nearest stars lie in
// big voxels of the upper levels. Then names of no star: numbers beyond the
// voxel's stars, and voxels outside every component.
TEST(LocateFoundStars, FarPlacesNoneGeneratedYetAndNamesOfNoStar) {
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

// A search finds what a brute force scan finds on an empty field (the search
// generates every star), after a pass (most come from the field's voxels) and
// 400 parsecs above the plane; every star found is located by its name, also
// a few and a few hundred parsecs away. Then another seed: the old voxels the
// field still holds are never offered, the next update drops the old search's
// results and regenerates what a field that always had the other seed holds.
TEST(LocateFoundStars, SearchesMatchABruteForceAndANewSeedNeverMixesGalaxies) {
    const int64_t home[3] = {DEFAULT_VIEWPOINT[0], DEFAULT_VIEWPOINT[1], DEFAULT_VIEWPOINT[2]};
    const std::unique_ptr<StarField> owned = fieldWith(1000000, 4);
    StarField& field = *owned;
    expectSearchMatchesBruteForce(field, home);
    EXPECT_EQ(field.searchResults[0].existing, 0);
    runToCompletion(field, home);
    expectSearchMatchesBruteForce(field, home);
    EXPECT_EQ(field.searchResults[0].existing, 1);
    const int64_t above[3] = {home[0], home[1], home[2] + static_cast<int64_t>(400 / UNIT_PARSECS_DOUBLE)};
    expectSearchMatchesBruteForce(field, above);
    EXPECT_GT(locateEverySearchResult(field, home), 0);
    for (const int64_t d : {int64_t{20000000000000}, int64_t{-900000000000000}}) {
        const int64_t at[3] = {home[0] + d, home[1] - d / 2, home[2] + d / 3};
        locateEverySearchResult(field, at);
    }

    const GalaxySeed other{12345, 678};
    StarField fresh(builtGalaxy());
    fresh.settings.seed = other;
    const std::vector<SearchResult> expected = searchAt(fresh, home);
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
    ASSERT_FALSE(field.searchResults.empty());
    updateAsSet(field, in);
    EXPECT_TRUE(field.results.redraw);
    EXPECT_TRUE(field.searchResults.empty());
    EXPECT_EQ(field.generatedSeed, other);
    while (field.unfinished()) updateAsSet(field, in);
    got = searchAt(field, home);
    sameList(got);
    int existing = 0;
    for (const SearchResult& r : got) existing += r.existing;
    EXPECT_GT(existing, 0);
}
