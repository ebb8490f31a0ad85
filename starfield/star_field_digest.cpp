#include "starfield/star_field_digest.h"

#include <xxhash.h>

#include <memory>
#include <vector>

namespace {

struct Hasher {
    std::unique_ptr<XXH64_state_t, XXH_errorcode (*)(XXH64_state_t*)> state{XXH64_createState(), XXH64_freeState};
    Hasher() { XXH64_reset(state.get(), 0); }
    template <typename T>
    void add(const T& value) {
        XXH64_update(state.get(), &value, sizeof value);
    }
    void addStar(const StarRecord& s) {
        // Field by field: the digest must not see padding.
        add(s.x), add(s.y), add(s.z), add(s.slot), add(s.drawIndex), add(s.state), add(s.foreground);
        add(s.colour), add(s.population), add(s.luminosityCode), add(s.key), add(s.radius);
    }
    template <typename T>
    void addAll(const std::vector<T>& values) {
        add(values.size());
        for (const T& v : values) add(v);
    }
    uint64_t digest() { return XXH64_digest(state.get()); }
};

}  // namespace

uint64_t starFieldDigest(const StarField& f) {
    Hasher h;
    h.add(f.chunks.size());
    for (const auto& chunk : f.chunks) {
        for (uint32_t e = 0; e < VOXEL_CHUNK_SIZE; ++e) {
            const Voxel& v = chunk[e];
            const bool live = v.stars != FREE_VOXEL;
            h.add(live), h.add(v.parent);
            if (!live) continue;
            h.add(v.x), h.add(v.y), h.add(v.z), h.add(v.node), h.add(v.count), h.add(v.shownUpTo);
            h.add(v.nearUpTo), h.add(v.components), h.add(v.firstTier), h.add(v.lastTier), h.add(v.level);
            h.add(v.childMask);
            for (uint32_t i = 0; i < v.count; ++i) h.addStar(v.stars[i]);
        }
    }
    h.add(f.freeHead), h.add(f.liveVoxels), h.add(f.starsInMemory);
    h.add(f.points.highWater);
    h.addAll(f.points.freed);
    h.addAll(f.points.cleared);
    h.add(f.nearList.size());
    for (const StarRecord* s : f.nearList) h.add(s->x), h.add(s->y), h.add(s->z);
    h.add(f.foreground.count), h.add(f.foreground.missed);
    for (uint32_t i = 0; i < f.foreground.count; ++i) {
        const ForegroundEntry& e = f.foreground.entries[i];
        h.add(e.x), h.add(e.y), h.add(e.z), h.add(e.radius), h.add(e.colour);
    }
    h.add(f.queue.resumePriority), h.add(f.queue.cutoff);
    return h.digest();
}

uint64_t uploadDigest(const StarFieldResults& r) {
    Hasher h;
    h.add(r.regions.size());
    for (const CopyRegion& c : r.regions) h.add(c.srcOffset), h.add(c.dstOffset), h.add(c.size);
    h.add(r.staged.size());
    for (const PointRecord& p : r.staged) h.add(p.w);
    h.add(r.pointHighWater), h.add(r.clearedFree), h.add(r.nearCount), h.add(r.generationViewpoint);
    return h.digest();
}
