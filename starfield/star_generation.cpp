#include "starfield/star_generation.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "numeric/constants.h"
#include "starfield/poisson.h"

namespace {

using u128 = xf::detail::u128;

constexpr int MAX_MASK_COMPONENTS = 16;

}  // namespace

BandAppearance bandAppearance(const StarPopulation& pop, int k) {
    BandAppearance b;
    for (int i = 0; i < 5; ++i) b.f[i] = pop.displayParams[i];
    b.hidden = pop.hiddenFractionF[k];
    b.band = pop.bandFractionF[k];
    return b;
}

uint64_t tierMean(uint64_t density, uint64_t cellCount, int tier) {
    // density * cellCount is a 64.64 number of stars per band-k cube; the
    // voxel holds 8^tier of them, so the 32.32 mean is the product shifted by
    // 3 tier - 32: right for the tiers below 11, left beyond (which only
    // voxels with a first tier that deep reach). Saturates at 64 bits.
    const u128 product = static_cast<u128>(density) * cellCount;
    const int shift = 32 - 3 * tier;
    u128 mean;
    if (shift >= 0)
        mean = product >> shift;
    else
        mean = (product >> (128 + shift)) != 0 ? ~u128{0} : product << -shift;
    return (mean >> 64) != 0 ? ~uint64_t{0} : static_cast<uint64_t>(mean);
}

int lastTierFor(int level, int firstTier, uint64_t totalDensity) {
    const int spare = 32 - std::bit_width(totalDensity);
    int last = std::max(spare, firstTier) / 3;
    last = std::min(DEEPEST_LEVEL - level, last);
    // The formula can fall below the first tier; the voxel then holds just that one.
    return std::max(last, firstTier);
}

void computeAppearance(StarRecord* stars, uint32_t count, const PopulationTable& table, int level, int tier,
                       uint64_t seed, const ChannelConstants& channels) {
    const int k = level + tier;
    uint32_t drawIndex = 0;
    for (uint32_t start = 0; start < count;) {
        const uint32_t end = stars[start].luminosityCode;
        const StarPopulation& pop = table.populations[stars[start].population];
        appearanceOfGroup(stars + start, end - start, drawIndex, seed, bandAppearance(pop, k), channels);
        // The next group starts on the next multiple of four.
        drawIndex = (drawIndex + (end - start) + 3) & ~3u;
        start = end;
    }
}

void generateTier(const Galaxy& galaxy, const VoxelRequest& voxel, int tier, const ChannelConstants& channels,
                  std::vector<StarRecord>& out) {
    const PopulationTable& table = galaxy.components[0].populations;
    const int k = voxel.level + tier;
    if (k < 1 || k > DEEPEST_LEVEL) return;

    // 1. Counts: a Poisson variate per population and component, the mean
    // being the component's density times the population's band count, over
    // the 8^tier cubes of band k that fill the voxel.
    int comps[MAX_MASK_COMPONENTS];
    int compCount = 0;
    for (uint32_t m = voxel.components; m != 0; m &= m - 1) comps[compCount++] = std::countr_zero(m);
    uint32_t counts[MAX_POPULATIONS][MAX_MASK_COMPONENTS];
    int pops[MAX_POPULATIONS];
    int popCount = 0;
    const uint64_t seed = tierSeed(voxel.seed, tier);
    uint64_t poissonState = seed;
    for (uint64_t m = table.levelMask[k]; m != 0 && popCount < MAX_POPULATIONS; m &= m - 1) {
        const int p = std::countr_zero(m);
        const uint64_t f = table.populations[p].cellCountFixed[k];
        bool any = false;
        for (int i = 0; i < compCount; ++i) {
            const uint64_t n = poissonVariate(tierMean(voxel.cellDensity[comps[i]], f, tier), poissonState);
            counts[popCount][i] = static_cast<uint32_t>(std::min<uint64_t>(n, MAX_TIER_STARS));
            any = any || n != 0;
        }
        if (any) pops[popCount++] = p;
    }

    // 2. Positions: uniform candidates in the voxel, accepted against the
    // component's density at the point relative to its bound for the voxel.
    const size_t first = out.size();
    uint64_t positionState = seed;
    const uint64_t cornerX = static_cast<uint64_t>(voxel.x) << 32;
    const uint64_t cornerY = static_cast<uint64_t>(voxel.y) << 32;
    const uint64_t cornerZ = static_cast<uint64_t>(voxel.z) << 32;
    const int L = voxel.level;
    uint32_t made = 0;
    for (int g = 0; g < popCount && made < MAX_TIER_STARS; ++g) {
        const size_t groupStart = out.size();
        for (int i = 0; i < compCount && made < MAX_TIER_STARS; ++i) {
            const GalaxyComponent& component = galaxy.components[comps[i]];
            const uint64_t bound = voxel.cellDensity[comps[i]];
            for (uint32_t n = counts[g][i]; n > 0 && made < MAX_TIER_STARS; --n) {
                const auto x = static_cast<int64_t>((wyhashDraw(positionState) >> L) + cornerX);
                const auto y = static_cast<int64_t>((wyhashDraw(positionState) >> L) + cornerY);
                const auto z = static_cast<int64_t>((wyhashDraw(positionState) >> L) + cornerZ);
                const uint64_t u = wyhashDraw(positionState);
                const auto threshold = static_cast<uint64_t>((static_cast<u128>(u) * bound) >> 64);
                if (pointDensity(component, galaxy.tree, voxel.node, L, x, y, z) <= threshold) continue;
                StarRecord s;
                s.x = x;
                s.y = y;
                s.z = z;
                s.population = static_cast<uint8_t>(pops[g]);
                out.push_back(s);
                ++made;
            }
        }
        // 3. The group's first star carries the index one past its end (within
        // the tier) until the appearance replaces it.
        if (out.size() > groupStart) out[groupStart].luminosityCode = static_cast<uint32_t>(out.size() - first);
    }
    computeAppearance(out.data() + first, static_cast<uint32_t>(out.size() - first), table, L, tier, seed,
                      channels);
}

size_t generateVoxelStars(const Galaxy& galaxy, const VoxelRequest& voxel, int firstTier, int lastTier,
                          const ChannelConstants& channels, GenerationWorkspace& ws) {
    ws.unsorted.clear();
    for (int t = firstTier; t <= lastTier; ++t) generateTier(galaxy, voxel, t, channels, ws.unsorted);
    // Keys are never negative, so their bits order like their values; the
    // complement sorts the brightest first and the index keeps ties in order.
    const size_t n = ws.unsorted.size();
    ws.order.resize(n);
    for (size_t i = 0; i < n; ++i) {
        const uint32_t bits = std::bit_cast<uint32_t>(ws.unsorted[i].key);
        ws.order[i] = (static_cast<uint64_t>(~bits) << 32) | i;
    }
    std::sort(ws.order.begin(), ws.order.end());
    return n;
}

void copySorted(const GenerationWorkspace& ws, StarRecord* out) {
    for (size_t i = 0; i < ws.order.size(); ++i) out[i] = ws.unsorted[static_cast<uint32_t>(ws.order[i])];
}

BackgroundLight backgroundLight(const PopulationTable& table, const ChannelConstants& channels, double displayValue,
                                double limitScale) {
    const double radiationK = static_cast<float>(toDouble(RADIATION_K));
    double sum[3] = {0, 0, 0};
    for (uint32_t p = 0; p < table.count; ++p) {
        const StarPopulation& pop = table.populations[p];
        const float* f = pop.displayParams.data();
        double ec[3];
        for (int c = 0; c < 3; ++c) ec[c] = static_cast<double>(channels.exponent[c]) * f[4];
        for (int k = DEEPEST_LEVEL; k >= 1; --k) {
            const ExtFloat top = pop.cellCountTop[k];
            if (top.isZero() || top.isNegative()) continue;
            const double H = pop.hiddenFractionF[k];
            const double B = std::ldexp(static_cast<double>(pop.bandFractionF[k]), 31);
            const double weightBase = toDouble(top);
            for (int j = 0; j < 8; ++j) {
                const double u = (j * 0.125 + 0.0625) * B + H;
                const auto x = static_cast<float>(u * f[1] + f[3]);
                const float R = fastPow(x, f[2]);
                const float Rf0 = fastPow(R, f[0]);
                const double weight = weightBase * R * R * radiationK;
                for (int c = 0; c < 3; ++c) {
                    const double a = static_cast<double>(Rf0) * ec[c];
                    const float I = a < 88.72270202636719
                                        ? channels.intensity[c] / (fastExp2(static_cast<float>(1.442695 * a)) - 1.0f)
                                        : 1e-36f;
                    sum[c] += weight * I;
                }
            }
        }
    }
    for (double& s : sum) s *= 0.125;
    const double M = std::max(sum[0], std::max(sum[1], sum[2]));
    BackgroundLight light;
    for (int c = 0; c < 3; ++c) light.colour[c] = static_cast<float>(sum[c] / M);
    light.intensity = std::ldexp(limitScale, -96) / displayValue * std::ldexp(M, -48);
    return light;
}
