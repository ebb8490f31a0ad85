#include "starfield/star_field.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "numeric/exact_math.h"

namespace {

using u128 = xf::detail::u128;

constexpr uint64_t TWO_POW_32 = uint64_t{1} << 32;
// Octant order in which a new voxel queues its children.
constexpr int CHILD_ORDER[8] = {0, 1, 3, 2, 6, 7, 5, 4};

uint64_t saturatingAdd(uint64_t a, uint64_t b) { return a + b < a ? ~uint64_t{0} : a + b; }

uint64_t highSquare(int64_t d) {
    const uint64_t m = d < 0 ? 0 - static_cast<uint64_t>(d) : static_cast<uint64_t>(d);
    return static_cast<uint64_t>((static_cast<u128>(m) * m) >> 64);
}

constexpr uint32_t MARKER_OFFSETS[16] = {28684, 24588, 24588, 24590, 36876, 40972, 40972, 40974,
                                         28692, 24596, 24596, 24594, 36884, 40980, 40980, 40978};

}  // namespace

// ------------------------------------------------------------- free helpers

uint64_t steadyClockNs() {
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

uint64_t runUntilComplete(StarField& field, StarFieldInput input, const std::function<void()>& afterEach) {
    uint64_t updates = 0;
    do {
        field.update(input);
        for (uint8_t& change : input.changes) change = 0;
        if (afterEach) afterEach();
        ++updates;
    } while (field.unfinished());
    return updates;
}

int voxelPriority(uint64_t d2, int tier, int level) {
    if (d2 == 0) return QUEUE_TOP_PRIORITY;
    const int e = 63 - std::countl_zero(d2);
    const auto f = static_cast<int>(e >= 5 ? d2 >> (e - 5) : d2 << (5 - e));
    const int p = QUEUE_TOP_PRIORITY - 64 * (tier + level) - 32 * e - f;
    return std::clamp(p, 0, QUEUE_TOP_PRIORITY);
}

bool withinBound(uint64_t d2, int64_t bound, int tier, int level) {
    if (bound < 0) return false;
    const int shift = 2 * (24 - tier - level);
    const auto b = static_cast<uint64_t>(bound);
    uint64_t limit;
    if (shift <= 0)
        limit = shift == 0 ? b : b >> std::min(63, -shift);
    else
        limit = (shift >= 64 || (b >> (64 - shift)) != 0) ? ~uint64_t{0} : b << shift;
    return (d2 >> 16) <= limit;
}

uint64_t gridBoxDistance(const int64_t at[3], uint32_t x, uint32_t y, uint32_t z, int level) {
    const uint64_t edge = uint64_t{1} << (32 - level);
    const uint32_t corner[3] = {x, y, z};
    uint64_t d2 = 0;
    for (int a = 0; a < 3; ++a) {
        const int64_t v = at[a] >> 32;
        const int64_t lo = static_cast<int32_t>(corner[a]);
        const int64_t hi = lo + static_cast<int64_t>(edge);
        uint64_t gap = 0;
        if (v < lo)
            gap = static_cast<uint64_t>(lo - v);
        else if (v > hi)
            gap = static_cast<uint64_t>(v - hi);
        d2 = saturatingAdd(d2, gap * gap);
    }
    return d2;
}

void highlightMarker(uint32_t i, uint32_t words[16]) {
    for (int j = 0; j < 16; ++j) words[j] = (i << 22) + 0x1f83f0u + MARKER_OFFSETS[j];
}

bool planChild(const Galaxy& galaxy, const VoxelParent& parent, int octant, ChildPlan& plan,
               uint64_t* densities) {
    plan.level = parent.level + 1;
    const uint32_t edge = uint32_t{1} << (32 - plan.level);
    plan.x = parent.x + ((octant & 4) ? edge : 0);
    plan.y = parent.y + ((octant & 2) ? edge : 0);
    plan.z = parent.z + ((octant & 1) ? edge : 0);
    // The plane tree's levels follow the octree's: descend one node while not at a leaf.
    plan.node = parent.node;
    const PlaneNode& pn = galaxy.tree.nodes[plan.node];
    if (!pn.leaf) plan.node = pn.child[((octant >> 1) & 1) + 2 * ((octant >> 2) & 1)];
    const PlaneNode& node = galaxy.tree.nodes[plan.node];
    plan.components = 0;
    plan.total = 0;
    for (uint32_t m = parent.components; m != 0; m &= m - 1) {
        const int c = std::countr_zero(m);
        const uint64_t d = cellDensity(galaxy.components[c], node, plan.level, static_cast<int32_t>(plan.x),
                                       static_cast<int32_t>(plan.y), static_cast<int32_t>(plan.z));
        densities[c] = d;
        if (d != 0) plan.components |= static_cast<uint16_t>(1u << c);
        plan.total = saturatingAdd(plan.total, d);
    }
    if (plan.total == 0) return false;
    plan.firstTier = parent.lastTier;
    plan.lastTier = lastTierFor(plan.level, plan.firstTier, plan.total);
    return true;
}

VoxelRequest voxelRequestFor(const ChildPlan& plan, const uint64_t* densities, GalaxySeed seed) {
    VoxelRequest request;
    request.x = plan.x;
    request.y = plan.y;
    request.z = plan.z;
    request.level = plan.level;
    request.components = plan.components;
    request.node = plan.node;
    request.cellDensity = densities;
    request.seed = voxelSeed(plan.x, plan.y, plan.z, plan.level, seed);
    return request;
}

VoxelParent parentOf(const ChildPlan& plan) {
    return VoxelParent{plan.x, plan.y, plan.z, plan.level, plan.node, plan.components, plan.lastTier};
}

VoxelParent parentOf(const Voxel& v) {
    return VoxelParent{v.x, v.y, v.z, v.level, v.node, v.components, v.lastTier};
}

VoxelParent rootParent(uint32_t count) {
    return VoxelParent{ROOT_CORNER, ROOT_CORNER, ROOT_CORNER, 1, PLANE_ROOT,
                       static_cast<uint16_t>(count >= 16 ? 0xFFFF : (1u << count) - 1), 0};
}

// ------------------------------------------------- children prefetched ahead

// A child voxel worked out on a helper thread: its plan and its sorted stars,
// from a copy of its parent's description. A child's stars depend on nothing
// else but the octant, the galaxy, the seed and the appearance constants, so
// the result stands for the child as long as its parent item still names a
// voxel described the same way when the pass reaches it.
struct PrefetchedChild {
    PoolTask task;
    // Inputs, fixed when submitted.
    const Galaxy* galaxy = nullptr;
    ChannelConstants channels;
    GalaxySeed seed;
    VoxelParent parent;
    int octant = 0;
    int priority = 0;  // the bucket the item was seen in
    // Results, valid once the task is done.
    bool planned = false;  // false: no component reaches the child
    ChildPlan plan;
    std::unique_ptr<StarRecord[]> stars;  // sorted by key, descending
    size_t count = 0;

    static void run(void* context, GenerationWorkspace& ws) {
        auto& c = *static_cast<PrefetchedChild*>(context);
        uint64_t densities[GALAXY_MAX_COMPONENTS];
        c.planned = planChild(*c.galaxy, c.parent, c.octant, c.plan, densities);
        if (!c.planned) return;
        c.count = generateVoxelStars(*c.galaxy, voxelRequestFor(c.plan, densities, c.seed), c.plan.firstTier,
                                     c.plan.lastTier, c.channels, ws);
        if (c.count == 0) return;
        c.stars.reset(new StarRecord[c.count]);
        copySorted(ws, c.stars.get());
    }
};

bool sameParent(const VoxelParent& a, const VoxelParent& b) {
    return a.x == b.x && a.y == b.y && a.z == b.z && a.level == b.level && a.node == b.node &&
           a.components == b.components && a.lastTier == b.lastTier;
}

bool sameChannels(const ChannelConstants& a, const ChannelConstants& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct ChildPrefetch {
    // Room for 32 children per thread: the helpers can work ahead through
    // stretches where the pass is busy with the voxels themselves.
    explicit ChildPrefetch(unsigned threads) : pool(threads - 1), window(32 * threads) {}
    using Entries = std::unordered_map<uint32_t, std::unique_ptr<PrefetchedChild>>;
    // Declared first so that they are destroyed last: the pool's helpers may
    // still run tasks of `children` until the pool has settled.
    Entries children;                       // by work item
    std::vector<Entries::node_type> spare;  // entries taken out, reused to spare allocations
    GenerationPool pool;
    size_t window;  // children submitted and not yet taken, at most
    int purgedBelow = 0;  // the cut-off when children below it were last dropped
    std::vector<PoolTask*> batch;  // children found by one look ahead
    // What the results were generated with.
    GalaxySeed seed;
    ChannelConstants channels;

    // A new entry for the item; null when it has one.
    PrefetchedChild* add(uint32_t item) {
        if (children.find(item) != children.end()) return nullptr;
        if (spare.empty()) return children.try_emplace(item, std::make_unique<PrefetchedChild>()).first->second.get();
        Entries::node_type node = std::move(spare.back());
        spare.pop_back();
        node.key() = item;
        PrefetchedChild* child = node.mapped().get();
        children.insert(std::move(node));
        return child;
    }
    // The item's entry, taken out (empty when it has none).
    Entries::node_type take(uint32_t item) { return children.extract(item); }
    void recycle(Entries::node_type node) {
        if (node.empty()) return;
        *node.mapped() = PrefetchedChild{};  // frees stars it still holds
        spare.push_back(std::move(node));
    }
    // Drops every entry (waiting for those being generated).
    void forget() {
        pool.settle();
        while (!children.empty()) recycle(children.extract(children.begin()));
        purgedBelow = 0;
    }
};

// --------------------------------------------------------------- StarField

StarField::StarField(const Galaxy& galaxy) : galaxy(galaxy) {
    channels = channelConstantsFor(DEFAULT_WAVELENGTHS);
    buildPool();
}

StarField::~StarField() { discardAll(); }

void StarField::buildPool() {
    chunks.clear();
    chunks.reserve(maxChunks);
    freeHead = 0;
    liveVoxels = 0;
    // Chunk 0: entries 0 and 1 are never used, entry 2 is the root.
    chunks.emplace_back(new Voxel[VOXEL_CHUNK_SIZE]);
    Voxel* c = chunks[0].get();
    for (uint32_t e = 0; e < VOXEL_CHUNK_SIZE; ++e) {
        c[e].stars = FREE_VOXEL;
        c[e].parent = e + 1 < VOXEL_CHUNK_SIZE ? e + 1 : 0;
    }
    freeHead = 3;
    Voxel& root = c[ROOT_VOXEL];
    root = Voxel{};
    const VoxelParent top = rootParent(galaxy.count);
    root.x = top.x;
    root.y = top.y;
    root.z = top.z;
    root.level = static_cast<uint8_t>(top.level);
    root.node = top.node;
    root.components = top.components;
    liveVoxels = 1;
}

void StarField::discardAll() {
    if (prefetch) prefetch->forget();
    pending.clear();
    clearForeground(foreground);
    for (auto& chunk : chunks) {
        for (uint32_t e = 0; e < VOXEL_CHUNK_SIZE; ++e) {
            StarRecord* s = chunk[e].stars;
            if (s != FREE_VOXEL) delete[] s;
        }
    }
    chunks.clear();
    nearList.clear();
    points.reset();
    queue.release();
    starsInMemory = 0;
    liveVoxels = 0;
}

VoxelHandle StarField::allocateVoxel() {
    if (freeHead == 0) {
        if (chunks.size() >= maxChunks) return 0;
        const auto ci = static_cast<uint32_t>(chunks.size());
        chunks.emplace_back(new Voxel[VOXEL_CHUNK_SIZE]);
        Voxel* c = chunks.back().get();
        for (uint32_t e = 0; e < VOXEL_CHUNK_SIZE; ++e) {
            c[e].stars = FREE_VOXEL;
            c[e].parent = e + 1 < VOXEL_CHUNK_SIZE ? (ci << 16) + e + 1 : 0;
        }
        freeHead = ci << 16;
    }
    const VoxelHandle h = freeHead;
    Voxel& v = voxel(h);
    freeHead = v.parent;
    v = Voxel{};
    ++liveVoxels;
    return h;
}

void StarField::deleteVoxel(VoxelHandle h) {
    Voxel& v = voxel(h);
    if (v.parent != 0) voxel(v.parent >> 3).childMask &= static_cast<uint8_t>(~(1u << (v.parent & 7)));
    for (uint32_t i = 0; i < v.count; ++i) hide(v.stars[i]);
    starsInMemory -= v.count;
    delete[] v.stars;
    freeVoxel(h);
}

void StarField::freeVoxel(VoxelHandle h) {
    Voxel& v = voxel(h);
    v.stars = FREE_VOXEL;
    v.count = 0;
    v.parent = freeHead;
    freeHead = h;
    --liveVoxels;
}

uint64_t StarField::boxDistance(uint32_t x, uint32_t y, uint32_t z, int level) const {
    return gridBoxDistance(generationViewpoint, x, y, z, level);
}

uint64_t StarField::starDistance(const StarRecord& s) const {
    auto diff = [](int64_t a, int64_t b) {
        return static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b));
    };
    uint64_t d2 = highSquare(diff(s.x, generationViewpoint[0]));
    d2 = saturatingAdd(d2, highSquare(diff(s.y, generationViewpoint[1])));
    return saturatingAdd(d2, highSquare(diff(s.z, generationViewpoint[2])));
}

void StarField::enqueueChild(int parentLastTier, VoxelHandle parent, int octant, int level, uint32_t x, uint32_t y,
                             uint32_t z, int64_t bound) {
    const uint64_t d2 = boxDistance(x, y, z, level);
    if (!withinBound(d2, bound, parentLastTier, level)) return;
    const int p = voxelPriority(d2, parentLastTier, level);
    if (p < queue.cutoff) return;
    queue.push(p, parent * 8 + static_cast<uint32_t>(octant));
}

void StarField::startPass() {
    queue.clear();
    for (uint32_t ci = 0; ci < chunks.size(); ++ci) {
        for (uint32_t e = 0; e < VOXEL_CHUNK_SIZE; ++e) {
            const VoxelHandle h = (ci << 16) + e;
            Voxel& v = chunks[ci][e];
            if (v.stars == FREE_VOXEL) continue;
            const uint64_t d2 = boxDistance(v.x, v.y, v.z, v.level);
            // The root is always kept: without it nothing could ever be generated again.
            if (h != ROOT_VOXEL && !withinBound(d2, static_cast<int64_t>(std::min<uint64_t>(limits.keepBound, INT64_MAX)),
                                                v.firstTier, v.level)) {
                deleteVoxel(h);
                continue;
            }
            queue.push(voxelPriority(d2, v.firstTier, v.level), ITEM_EXISTING | h);
            if (v.lastTier + v.level < DEEPEST_LEVEL) {
                const uint32_t half = uint32_t{1} << (32 - (v.level + 1));
                for (int o = 0; o < 8; ++o) {
                    if (v.childMask & (1u << o)) continue;
                    enqueueChild(v.lastTier, h, o, v.level + 1, v.x + ((o & 4) ? half : 0), v.y + ((o & 2) ? half : 0),
                                 v.z + ((o & 1) ? half : 0), limits.createBound);
                }
            }
        }
    }
}

void StarField::pass(int resumePriority) {
    const uint64_t start = clock();
    ++stats.passes;
    int bucket = resumePriority;
    if (resumePriority == 0) {
        // New priorities: children generated ahead for the last pass are dropped.
        if (prefetch) prefetch->forget();
        startPass();
        bucket = QUEUE_TOP_PRIORITY;
    }
    if (prefetch && (!sameChannels(prefetch->channels, channels) || prefetch->seed.first != settings.seed.first ||
                     prefetch->seed.second != settings.seed.second)) {
        prefetch->forget();
        prefetch->channels = channels;
        prefetch->seed = settings.seed;
    }
    pending.clear();
    prefetchIdle = false;
    queue.resumePriority = 0;
    bool exhausted = false;
    for (; bucket >= queue.cutoff && !exhausted; --bucket) {
        uint32_t item = 0;
        while (!exhausted && nextItem(bucket, item)) {
            if (item & ITEM_EXISTING)
                reexamine(item & ~ITEM_EXISTING);
            else
                // Memory is exhausted and nothing of lower priority is left:
                // the display keeps what it has.
                exhausted = createChild(item, bucket);
        }
        if (!exhausted && bucket > 0 && clock() - start > settings.frameTimeoutNs &&
            (!runUntilCollected || yieldRequested.load(std::memory_order_relaxed))) {
            queue.resumePriority = bucket - 1;
            break;
        }
    }
    pending.clear();
    settlePrefetch();
}

bool StarField::nextItem(int bucket, uint32_t& item) {
    if (!prefetch) return queue.pop(bucket, item);
    if (!queue.empty(bucket)) {
        // Items pushed on top of the bucket come before those taken from it earlier.
        const size_t below = pending.size();
        while (queue.pop(bucket, item)) pending.push_back(item);
        std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(below), pending.end());
        prefetchIdle = false;
    }
    ChildPrefetch& pf = *prefetch;
    if (queue.cutoff > pf.purgedBelow) {
        // Eviction raised the cut-off: children seen below it are out of the
        // pass's reach and only hold room in the window.
        pf.purgedBelow = queue.cutoff;
        for (auto it = pf.children.begin(); it != pf.children.end();) {
            const auto next = std::next(it);
            if (it->second->priority < queue.cutoff && pf.pool.done(it->second->task)) pf.recycle(pf.children.extract(it));
            it = next;
        }
    }
    if (!prefetchIdle && pf.children.size() <= pf.window * 3 / 4) prefetchAhead(bucket);
    if (pending.empty()) return false;
    item = pending.back();
    pending.pop_back();
    return true;
}

void StarField::prefetchAhead(int bucket) {
    ChildPrefetch& pf = *prefetch;
    // Items the pass looks at for children to prefetch, and buckets below
    // this one it looks into; what lies beyond is prefetched when nearer.
    constexpr size_t SCAN_ITEMS = 256;
    constexpr int SCAN_BUCKETS = 256;
    size_t budget = SCAN_ITEMS;
    auto room = [&] { return pf.children.size() < pf.window; };
    pf.batch.clear();
    for (size_t i = pending.size(); i-- > 0 && room() && budget > 0; --budget) prefetchChild(pending[i], bucket);
    for (int b = bucket - 1; b >= queue.cutoff && b >= bucket - SCAN_BUCKETS && room() && budget > 0; --b) {
        queue.peek(b, [&](uint32_t item) {
            prefetchChild(item, b);
            return room() && --budget > 0;
        });
    }
    pf.pool.submit(pf.batch.data(), pf.batch.size());
    // Nothing more to find until the queue changes.
    prefetchIdle = room();
}

void StarField::prefetchChild(uint32_t item, int priority) {
    if (item & ITEM_EXISTING) return;
    ChildPrefetch& pf = *prefetch;
    const VoxelHandle ph = item >> 3;
    if ((ph >> 16) >= chunks.size() || !isLive(ph)) return;
    PrefetchedChild* added = pf.add(item);
    if (added == nullptr) return;
    PrefetchedChild& c = *added;
    c.galaxy = &galaxy;
    c.channels = channels;
    c.seed = settings.seed;
    c.parent = parentOf(voxel(ph));
    c.octant = static_cast<int>(item & 7);
    c.priority = priority;
    c.task.run = PrefetchedChild::run;
    c.task.context = &c;
    pf.batch.push_back(&c.task);  // submitted by prefetchAhead
    ++stats.childrenPrefetched;
}

void StarField::settlePrefetch() {
    if (!prefetch) return;
    if (queue.resumePriority == 0) {
        prefetch->forget();
        return;
    }
    // The children handed out are finished and kept for the resumed pass,
    // so that what it finds ready does not depend on the helpers' pace.
    prefetch->pool.drain(workspace);
}

bool StarField::createChild(uint32_t item, int priority) {
    const VoxelHandle ph = item >> 3;
    const int octant = static_cast<int>(item & 7);
    const VoxelParent parent = parentOf(voxel(ph));
    // The child as a helper thread worked it out, if it did so from the same
    // parent; its entry goes back to the spares however this ends.
    ChildPrefetch::Entries::node_type entry;
    struct Recycle {
        ChildPrefetch* prefetch;
        ChildPrefetch::Entries::node_type& entry;
        ~Recycle() {
            if (prefetch != nullptr) prefetch->recycle(std::move(entry));
        }
    } recycle{prefetch.get(), entry};
    PrefetchedChild* ready = nullptr;
    if (prefetch) {
        entry = prefetch->take(item);
        if (!entry.empty()) {
            PrefetchedChild& c = *entry.mapped();
            const bool done = prefetch->pool.finish(c.task, workspace);
            const bool valid = done && sameParent(c.parent, parent);
            if (done && !valid) ++stats.prefetchesStale;
            if (valid) {
                ++stats.prefetchesUsed;
                ready = &c;
            }
        }
    }
    ChildPlan plan;
    if (ready) {
        if (!ready->planned) return false;
        plan = ready->plan;
    } else if (!planChild(galaxy, parent, octant, plan, cellDensity)) {
        return false;
    }

    VoxelHandle h = allocateVoxel();
    while (h == 0) {
        if (!evict(priority)) return true;
        h = allocateVoxel();
    }

    const uint64_t n = ready ? ready->count
                             : generateVoxelStars(galaxy, voxelRequestFor(plan, cellDensity, settings.seed), plan.firstTier,
                                                  plan.lastTier, channels, workspace);
    stats.starsGenerated += n;

    // Make room. Slots on the point side are counted as those in use, so that
    // evicting (which frees slots) can relieve the limit.
    auto pointsInUse = [this] {
        return points.highWater - points.freed.size() - points.cleared.size();
    };
    while (starsInMemory + n >= maxStarsGen || pointsInUse() + n >= settings.pointCapacity) {
        if (!evict(priority)) {
            freeVoxel(h);
            return true;
        }
    }

    Voxel& v = voxel(h);
    v.parent = ph * 8 + static_cast<uint32_t>(octant);
    v.x = plan.x;
    v.y = plan.y;
    v.z = plan.z;
    v.node = plan.node;
    v.components = plan.components;
    v.firstTier = static_cast<uint8_t>(plan.firstTier);
    v.lastTier = static_cast<uint8_t>(plan.lastTier);
    v.level = static_cast<uint8_t>(plan.level);
    v.count = static_cast<uint32_t>(n);
    v.stars = nullptr;
    if (n > 0 && ready) {
        v.stars = ready->stars.release();
    } else if (n > 0) {
        v.stars = new StarRecord[n];
        copySorted(workspace, v.stars);
    }
    ++stats.voxelsCreated;
    const uint64_t d2 = boxDistance(v.x, v.y, v.z, v.level);
    classify(v, d2, false);
    starsInMemory += n;
    voxel(ph).childMask |= static_cast<uint8_t>(1u << octant);

    if (plan.level + plan.lastTier < DEEPEST_LEVEL) {
        const uint32_t half = uint32_t{1} << (32 - (plan.level + 1));
        for (int o : CHILD_ORDER)
            enqueueChild(plan.lastTier, h, o, plan.level + 1, v.x + ((o & 4) ? half : 0), v.y + ((o & 2) ? half : 0),
                         v.z + ((o & 1) ? half : 0), limits.createBound);
        prefetchIdle = false;
    } else if (n == 0) {
        deleteVoxel(h);
    }
    return false;
}

bool StarField::evict(int priority) {
    if (queue.cutoff < 1) queue.cutoff = 1;
    while (queue.cutoff <= priority) {
        const int b = queue.cutoff - 1;
        uint32_t item = 0;
        while (queue.pop(b, item)) {
            if (!(item & ITEM_EXISTING)) continue;
            const VoxelHandle h = item & ~ITEM_EXISTING;
            // A voxel whose children are still alive would leave them without a
            // parent (and its reused entry with a stranger's octant bits); those
            // children sit in this bucket too and go first. The root stays.
            if (h == ROOT_VOXEL || voxel(h).childMask != 0) continue;
            deleteVoxel(h);
            ++stats.evictions;
            return true;
        }
        ++queue.cutoff;
    }
    return false;
}

// ------------------------------------------------------------ classification

bool StarField::pointAvailable() const {
    return !points.freed.empty() || !points.cleared.empty() || points.highWater < settings.pointCapacity;
}

void StarField::removeNear(StarRecord& s) {
    const uint32_t i = s.slot;
    StarRecord* last = nearList.back();
    nearList[i] = last;
    last->slot = i;
    nearList.pop_back();
    s.state = STAR_POINT;
    s.slot = NO_SLOT;
}

void StarField::hide(StarRecord& s) {
    if (s.state == STAR_NEAR)
        removeNear(s);
    else if (s.slot != NO_SLOT)
        points.release(s.slot);
    s.slot = NO_SLOT;
    // A star that is not shown at all draws no disc either.
    releaseForeground(foreground, s);
}

void StarField::ensurePoint(StarRecord& s) {
    if (s.state == STAR_NEAR) removeNear(s);
    if (s.slot != NO_SLOT || !pointAvailable()) return;
    s.slot = points.take();
    points.stage(s.slot, makePointRecord(s));
}

void StarField::classify(Voxel& v, uint64_t d2, bool existing) {
    const float dist = static_cast<float>(d2);
    const float nearThreshold = dist * limits.nearRatio;
    const float pointThreshold = dist * limits.pointRatio;
    StarRecord* stars = v.stars;
    if (existing) {
        // Stars at the end of the shown range that fell below the point
        // threshold are hidden, then those below the near threshold leave the
        // near range.
        while (v.shownUpTo > 0 && stars[v.shownUpTo - 1].key < pointThreshold) hide(stars[--v.shownUpTo]);
        if (v.nearUpTo > v.shownUpTo) v.nearUpTo = v.shownUpTo;
        while (v.nearUpTo > 0 && stars[v.nearUpTo - 1].key < nearThreshold) ensurePoint(stars[--v.nearUpTo]);
    }
    const ForegroundVoxel fv{v.x, v.y, v.z, v.level, v.firstTier, v.lastTier};
    const PopulationTable& table = galaxy.components[0].populations;
    uint32_t i = 0;
    for (; i < v.count && stars[i].key >= nearThreshold; ++i) {
        StarRecord& s = stars[i];
        const uint64_t bound = s.key < limits.nearKeyFloor
                                   ? limits.nearBoundFaint
                                   : saturatingUint64(static_cast<double>(s.key) * limits.nearFactor * 0x1p-64);
        const uint64_t sd2 = starDistance(s);
        if (sd2 <= bound) {
            if (s.state != STAR_NEAR) {
                if (s.slot != NO_SLOT) points.release(s.slot);
                s.state = STAR_NEAR;
                s.slot = static_cast<uint32_t>(nearList.size());
                nearList.push_back(&s);
            }
            if (isForeground(sd2, s.radius, limits))
                makeForeground(foreground, s, table, settings.seed, fv);
            else
                releaseForeground(foreground, s);
        } else {
            ensurePoint(s);
        }
    }
    v.nearUpTo = i;
    for (; i < v.count && stars[i].key >= pointThreshold; ++i) ensurePoint(stars[i]);
    const uint32_t oldShown = v.shownUpTo;
    v.shownUpTo = i;
    for (; i < oldShown; ++i) hide(stars[i]);
}

void StarField::reexamine(VoxelHandle h) {
    Voxel& v = voxel(h);
    if (v.count == 0) return;
    classify(v, boxDistance(v.x, v.y, v.z, v.level), true);
}

// ------------------------------------------------------------------ update

void StarField::update(const StarFieldInput& input) {
    for (int a = 0; a < 3; ++a) {
        previousPosition[a] = position[a];
        position[a] = input.position[a];
        velocity[a] = input.velocity[a];
    }
    points.beginUpdate();
    results.redraw = false;
    results.labelsRebuilt = false;
    bool changed = false;
    for (uint8_t f : input.changes) changed = changed || f != 0;

    runUntilCollected = input.runUntilCollected;
    {
        std::unique_lock lock(generationLock);
        // The search reads the appearance constants, the limits and the
        // settings too: they change only under the lock.
        channels = input.channels;
        limits = input.limits;
        settings = input.settings;
        const unsigned threads = std::max(1u, settings.generationThreads);
        if (threads == 1)
            prefetch.reset();
        else if (!prefetch || prefetch->pool.helpers() + 1 != threads)
            prefetch = std::make_unique<ChildPrefetch>(threads);
        // Capacity changes: raising keeps everything, lowering starts again from the root.
        const uint32_t chunksWanted = std::clamp(settings.maxVoxelChunks, 1u, MAX_VOXEL_CHUNKS);
        // Another galaxy seed (a loaded file, a pasted place) makes another
        // galaxy: nothing generated with the old one may stay, nor a search
        // result of it.
        const bool seedChanged = settings.seed != generatedSeed;
        if (seedChanged) {
            generatedSeed = settings.seed;
            std::lock_guard resultsLock(resultsMutex);
            searchResults.clear();
        }
        if (seedChanged || chunksWanted < maxChunks || settings.maxStarsGen < maxStarsGen) {
            discardAll();
            maxChunks = chunksWanted;
            maxStarsGen = settings.maxStarsGen;
            buildPool();
            results.redraw = true;
            changed = true;
        } else {
            maxChunks = chunksWanted;
            maxStarsGen = settings.maxStarsGen;
        }

        // The viewpoint predicted a little ahead. The offset is truncated on
        // its own and added in integers, so that large coordinates keep every
        // bit; near the edge of space the sum is held at the 64-bit range
        // instead of wrapping to the far end.
        int64_t predicted[3];
        for (int a = 0; a < 3; ++a) {
            const double ahead = velocity[a] * static_cast<double>(settings.frameLookaheadNs) * 1e-9 * 0x1p-64;
            const int64_t offset = std::isfinite(ahead) ? static_cast<int64_t>(std::clamp(ahead, -0x1p62, 0x1p62)) : 0;
            const __int128 sum = static_cast<__int128>(position[a]) + offset;
            predicted[a] = static_cast<int64_t>(std::clamp<__int128>(sum, INT64_MIN, INT64_MAX));
        }
        const bool moved = predicted[0] != lastPassViewpoint[0] || predicted[1] != lastPassViewpoint[1] ||
                           predicted[2] != lastPassViewpoint[2];
        if (moved || changed) {
            std::memcpy(generationViewpoint, predicted, sizeof predicted);
            std::memcpy(lastPassViewpoint, predicted, sizeof predicted);
            pass(0);
        } else if (queue.resumePriority != 0) {
            pass(queue.resumePriority);
        }
    }

    points.finishPass();
    points.clearFreed();

    results.regions = std::move(points.regions);
    points.regions.clear();
    results.staged.swap(points.staged);
    points.staged.clear();
    results.pointHighWater = points.highWater;
    results.clearedFree = static_cast<uint32_t>(points.cleared.size());
    results.nearCount = static_cast<uint32_t>(nearList.size());
    std::memcpy(results.generationViewpoint, generationViewpoint, sizeof generationViewpoint);
    labelFont = input.font;
    std::memcpy(labelChoice, input.labelChoice, sizeof labelChoice);
    labelFontSize = input.displayFontSize;
    hasSelection = input.hasSelection;
    selection = input.selection;
    places = input.places;
    const bool distanceLabels = input.labelsNeedDistance || labelChoice[0] == LABEL_DISTANCE ||
                                labelChoice[1] == LABEL_DISTANCE;
    if (input.changes[CHANGE_LABELS] || distanceLabels) buildHighlights();
}

std::shared_lock<std::shared_mutex> StarField::lockGenerationShared() {
    yieldRequested.store(true);
    return std::shared_lock(generationLock);
}

void StarField::buildHighlights() {
    std::lock_guard lock(resultsMutex);
    // The marked places first, then the marked stars: the search results,
    // and before them the selected star when they do not hold it.
    std::vector<SearchResult> marked(places.begin(), places.begin() + std::min<size_t>(places.size(), LABELLED_RESULTS));
    const size_t placeCount = marked.size();
    int selected = -1;
    for (size_t i = 0; i < searchResults.size() && i + placeCount < LABELLED_RESULTS; ++i) {
        const StarRecord& s = searchResults[i].star;
        if (hasSelection && s.x == selection.star.x && s.y == selection.star.y && s.z == selection.star.z) {
            selected = static_cast<int>(placeCount + i);
        }
    }
    if (hasSelection && selected < 0 && marked.size() < LABELLED_RESULTS) {
        selected = static_cast<int>(marked.size());
        marked.push_back(selection);
    }
    for (size_t i = 0; i < searchResults.size() && marked.size() < LABELLED_RESULTS; ++i) marked.push_back(searchResults[i]);
    const size_t n = marked.size();
    results.highlightWords.resize(n * 16);
    results.highlightPositions.resize(n * 3);
    for (size_t i = 0; i < n; ++i) {
        highlightMarker(static_cast<uint32_t>(i), &results.highlightWords[i * 16]);
        const StarRecord& star = marked[i].star;
        results.highlightPositions[3 * i] = star.x;
        results.highlightPositions[3 * i + 1] = star.y;
        results.highlightPositions[3 * i + 2] = star.z;
    }
    results.highlightCount = static_cast<uint32_t>(n);
    results.placeMarkCount = static_cast<uint32_t>(placeCount);
    if (labelFont != nullptr) {
        results.labelGlyphCount = buildLabels(marked, labelChoice, position, *labelFont, labelFontSize,
                                              results.labelVertices, LABEL_GLYPH_CAPACITY, &results.labelBoxes, selected,
                                              placeCount);
    } else {
        results.labelVertices.clear();
        results.labelBoxes.assign(n, LabelBox{});
        results.labelGlyphCount = 0;
    }
    results.labelsRebuilt = true;
}
