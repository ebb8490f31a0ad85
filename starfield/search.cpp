#include "starfield/search.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <shared_mutex>

#include "galaxy/star_name.h"
#include "numeric/constants.h"
#include "starfield/foreground.h"

namespace {

constexpr int DISTANCE_BUCKETS = 1000;

// The found stars, farthest on top of a heap, never more than the limit.
struct Collector {
    std::vector<SearchResult> heap;
    double lo = 0;
    double hi = 0;
    uint32_t limit = SEARCH_LIMIT;
    int64_t at[3] = {0, 0, 0};

    static bool farther(const SearchResult& a, const SearchResult& b) { return a.distanceSquared < b.distanceSquared; }

    double distanceSquared(const StarRecord& s) const {
        const auto dx = static_cast<double>(static_cast<int64_t>(static_cast<uint64_t>(s.x) - static_cast<uint64_t>(at[0])));
        const auto dy = static_cast<double>(static_cast<int64_t>(static_cast<uint64_t>(s.y) - static_cast<uint64_t>(at[1])));
        const auto dz = static_cast<double>(static_cast<int64_t>(static_cast<uint64_t>(s.z) - static_cast<uint64_t>(at[2])));
        return dx * dx + dy * dy + dz * dz;
    }

    void offer(const StarRecord& s, uint32_t index, uint32_t vx, uint32_t vy, uint32_t vz, int level, int firstTier,
               uint8_t existing) {
        const double d2 = distanceSquared(s);
        if (d2 < lo || d2 > hi) return;
        SearchResult r;
        r.star = s;
        r.level = static_cast<uint8_t>(level);
        r.firstTier = static_cast<uint8_t>(firstTier);
        r.distanceSquared = d2;
        const int shift = 32 - level;
        r.cellX = static_cast<uint32_t>(static_cast<int32_t>(vx) >> shift);
        r.cellY = static_cast<uint32_t>(static_cast<int32_t>(vy) >> shift);
        r.cellZ = static_cast<uint32_t>(static_cast<int32_t>(vz) >> shift);
        r.drawNumber = uint32_t{s.drawIndex} + 1;
        r.starNumber = index + 1;
        r.existing = existing;
        heap.push_back(r);
        std::push_heap(heap.begin(), heap.end(), farther);
        if (heap.size() > limit) {
            std::pop_heap(heap.begin(), heap.end(), farther);
            heap.pop_back();
            hi = heap.front().distanceSquared;
        }
    }
};

// Squared distance (position units, double) from a position to the nearest point of a voxel.
double boxDistanceSquared(const int64_t at[3], uint32_t x, uint32_t y, uint32_t z, int level) {
    const double edge = std::ldexp(1.0, 64 - level);
    const uint32_t corner[3] = {x, y, z};
    double d2 = 0;
    for (int a = 0; a < 3; ++a) {
        const double lo = std::ldexp(static_cast<double>(static_cast<int32_t>(corner[a])), 32);
        const double hi = lo + edge;
        const auto v = static_cast<double>(at[a]);
        const double gap = v < lo ? lo - v : v > hi ? v - hi : 0;
        d2 += gap * gap;
    }
    return d2;
}

int distanceBucket(uint64_t d2) {
    if (d2 <= 1) return 0;
    const int e = 63 - std::countl_zero(d2);
    const auto f = static_cast<int>(e >= 5 ? d2 >> (e - 5) : d2 << (5 - e));
    return 32 * e + f;
}

// A voxel of the depth-first walk: the existing start voxel or a virtual child.
struct WalkNode {
    VoxelParent parent;  // for a virtual child: its parent; for the start voxel: itself
    int octant = -1;     // -1: the existing start voxel
    uint8_t childMask = 0;
};

// The octant of a voxel's children on the search position's side of each axis.
int nearOctant(const int64_t at[3], const VoxelParent& v) {
    const int64_t half = int64_t{1} << (32 - (v.level + 1));
    int o = 0;
    if ((at[0] >> 32) >= static_cast<int32_t>(v.x) + half) o |= 4;
    if ((at[1] >> 32) >= static_cast<int32_t>(v.y) + half) o |= 2;
    if ((at[2] >> 32) >= static_cast<int32_t>(v.z) + half) o |= 1;
    return o;
}

}  // namespace

void nameStar(SearchResult& r) {
    char code[LATTICE_CODE_SIZE];
    char* end = code;
    latticeCode(code, end, static_cast<int32_t>(r.cellX), static_cast<int32_t>(r.cellY), static_cast<int32_t>(r.cellZ));
    std::snprintf(r.name, sizeof r.name, "%c-%s-%d", LATTICE_ALPHABET[r.level], code, static_cast<int>(r.starNumber));
}

void search(StarField& field, GalaxySeed seed, std::vector<SearchResult>& results, uint32_t limit, int64_t x,
            int64_t y, int64_t z, double minParsecs, double maxParsecs) {
    Collector found;
    found.limit = limit;
    found.at[0] = x;
    found.at[1] = y;
    found.at[2] = z;
    const double u = UNIT_PARSECS_DOUBLE;
    found.lo = (minParsecs / u) * (minParsecs / u);
    found.hi = (maxParsecs / u) * (maxParsecs / u);
    {
        const auto lock = field.lockGenerationShared();
        const Galaxy& galaxy = field.galaxy;
        const ChannelConstants channels = field.channels;

        // Phase 1: every star the field holds; voxels sorted into distance buckets.
        // Voxels generated with another galaxy seed (a new seed was set and
        // no update has regenerated them yet) hold stars of another galaxy:
        // then the walk starts from the root alone.
        std::vector<std::vector<VoxelHandle>> buckets(DISTANCE_BUCKETS);
        const bool poolCurrent = field.generatedSeed == seed;
        if (!poolCurrent) buckets[0].push_back(ROOT_VOXEL);
        for (uint32_t ci = 0; poolCurrent && ci < field.chunks.size(); ++ci) {
            for (uint32_t e = 0; e < VOXEL_CHUNK_SIZE; ++e) {
                const Voxel& v = field.chunks[ci][e];
                if (v.stars == FREE_VOXEL) continue;
                // A voxel wholly beyond the current bound has no star to offer
                // (the margin covers the rounding of the box distance).
                if (v.count > 0 && boxDistanceSquared(found.at, v.x, v.y, v.z, v.level) * (1 - 1e-9) <= found.hi) {
                    for (uint32_t i = 0; i < v.count; ++i)
                        found.offer(v.stars[i], i, v.x, v.y, v.z, v.level, v.firstTier, 1);
                }
                const int b = distanceBucket(gridBoxDistance(found.at, v.x, v.y, v.z, v.level));
                if (b < DISTANCE_BUCKETS) buckets[b].push_back((ci << 16) + e);
            }
        }

        // Phase 2: the voxels not generated yet, walked depth first from each
        // existing voxel, nearest buckets first, while nearer than the current
        // farthest found star.
        std::vector<WalkNode> stack;
        GenerationWorkspace ws;
        std::vector<StarRecord> stars;
        uint64_t densities[GALAXY_MAX_COMPONENTS];
        for (int b = 0; b < DISTANCE_BUCKETS; ++b) {
            for (VoxelHandle h : buckets[b]) {
                const Voxel& v = field.voxel(h);
                stack.push_back(WalkNode{poolCurrent ? parentOf(v) : rootParent(galaxy.count), -1,
                                         poolCurrent ? v.childMask : uint8_t{0}});
                while (!stack.empty()) {
                    const WalkNode node = stack.back();
                    stack.pop_back();
                    VoxelParent self = node.parent;
                    if (node.octant >= 0) {
                        ChildPlan plan;
                        if (!planChild(galaxy, node.parent, node.octant, plan, densities)) continue;
                        // The box distance in position units: measured from the
                        // search position itself, not from its grid cell, which
                        // can lie almost a grid unit nearer the box and would drop
                        // voxels holding stars within the bound.
                        if (boxDistanceSquared(found.at, plan.x, plan.y, plan.z, plan.level) * (1 - 1e-9) > found.hi)
                            continue;
                        stars.resize(generateVoxelStars(galaxy, voxelRequestFor(plan, densities, seed), plan.firstTier,
                                                        plan.lastTier, channels, ws));
                        copySorted(ws, stars.data());
                        // A voxel that happens to draw no stars still has
                        // children that may (the star field keeps such voxels
                        // too), so the walk goes on below it.
                        for (uint32_t i = 0; i < stars.size(); ++i)
                            found.offer(stars[i], i, plan.x, plan.y, plan.z, plan.level, plan.firstTier, 0);
                        self = parentOf(plan);
                    }
                    if (self.level + self.lastTier >= DEEPEST_LEVEL) continue;
                    // Farthest children first onto the stack, so the nearest is walked first.
                    const int nearest = nearOctant(found.at, self);
                    for (int k = 7; k >= 0; --k) {
                        const int o = nearest ^ k;
                        if (node.octant < 0 && (node.childMask & (1u << o))) continue;
                        stack.push_back(WalkNode{self, o, 0});
                    }
                }
            }
        }
    }

    std::sort_heap(found.heap.begin(), found.heap.end(), Collector::farther);
    results = std::move(found.heap);
    for (SearchResult& r : results) nameStar(r);
}

void searchNearest(StarField& field, GalaxySeed seed, int64_t x, int64_t y, int64_t z) {
    std::vector<SearchResult> found;
    search(field, seed, found, SEARCH_LIMIT, x, y, z, SEARCH_MIN_PARSECS, SEARCH_MAX_PARSECS);
    std::lock_guard lock(field.resultsMutex);
    field.searchResults.swap(found);
}

StarProperties foundStarProperties(const PopulationTable& table, GalaxySeed seed, const SearchResult& r) {
    ForegroundVoxel voxel;
    const int shift = 32 - r.level;
    voxel.x = r.cellX << shift;
    voxel.y = r.cellY << shift;
    voxel.z = r.cellZ << shift;
    voxel.level = r.level;
    voxel.firstTier = r.firstTier;
    // The result does not keep the voxel's last tier: every deeper tier is a candidate.
    voxel.lastTier = POPULATION_LEVELS - 1;
    StarProperties star = starFromDraw(table, starDraw(table, seed, r.star, voxel), r.star.population);
    completeStar(star);
    return star;
}
