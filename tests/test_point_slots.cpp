#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "starfield/point_slots.h"
#include "starfield/voxel_queue.h"

namespace {

// The display side: applies the published regions to a simulated point buffer.
void upload(std::vector<PointRecord>& gpu, const PointSlots& slots) {
    for (const CopyRegion& r : slots.regions) {
        ASSERT_EQ((r.srcOffset | r.dstOffset | r.size) % 16, 0u);
        for (uint64_t i = 0; i < r.size / 16; ++i) gpu.at(r.dstOffset / 16 + i) = slots.staged.at(r.srcOffset / 16 + i);
    }
}

PointRecord recordFor(uint32_t owner) { return PointRecord{{owner, owner * 3 + 1, owner ^ 0x55, 7}}; }

void endUpdate(PointSlots& p) {
    p.finishPass();
    p.clearFreed();
}

// New slots come from those freed in this update (the last first), then the
// cleared ones, then the high-water mark, which freeing the top slot lowers
// instead of staging zeros for it; consecutive slots coalesce into one region.
TEST(PointSlots, NewSlotsComeFromFreedThenClearedThenTheHighWaterMark) {
    PointSlots p;
    p.beginUpdate();
    for (uint32_t i = 0; i < 5; ++i) p.stage(p.take(), recordFor(i));
    p.release(1);
    p.release(2);
    EXPECT_EQ(p.take(), 2u);
    p.release(2);
    endUpdate(p);
    EXPECT_EQ(p.regions, (std::vector<CopyRegion>{{0, 0, 80}}));
    EXPECT_EQ(p.cleared, (std::vector<uint32_t>{1, 2}));
    p.beginUpdate();
    p.release(4);
    endUpdate(p);
    EXPECT_EQ(p.highWater, 4u);
    EXPECT_TRUE(p.staged.empty());
    EXPECT_EQ(p.displayed(), 2u);
    p.beginUpdate();
    EXPECT_EQ(p.take(), 2u);
    EXPECT_EQ(p.take(), 1u);
    EXPECT_EQ(p.take(), 4u);
}

// A long random history of shown and hidden points; after every update each
// slot below the mark holds its owner's record, or zeros when free.
TEST(PointSlots, SimulatedUploadsKeepTheDisplayBufferExact) {
    std::mt19937_64 rng(12345);
    PointSlots p;
    std::vector<PointRecord> gpu(4096);
    std::map<uint32_t, uint32_t> ownerOf;  // slot -> owner id
    uint32_t nextOwner = 1;
    for (int update = 0; update < 400; ++update) {
        p.beginUpdate();
        const int ops = static_cast<int>(rng() % 60);
        for (int i = 0; i < ops; ++i) {
            if (!ownerOf.empty() && rng() % 100 < 45) {
                auto it = ownerOf.begin();
                std::advance(it, static_cast<long>(rng() % ownerOf.size()));
                p.release(it->first);
                ownerOf.erase(it);
            } else if (ownerOf.size() < 3000) {
                const uint32_t s = p.take();
                ASSERT_EQ(ownerOf.count(s), 0u);
                ownerOf[s] = nextOwner;
                p.stage(s, recordFor(nextOwner));
                ++nextOwner;
            }
        }
        endUpdate(p);
        upload(gpu, p);
        ASSERT_LE(p.highWater, gpu.size());
        for (uint32_t s = 0; s < p.highWater; ++s) {
            auto it = ownerOf.find(s);
            ASSERT_EQ(gpu[s], it != ownerOf.end() ? recordFor(it->second) : PointRecord{}) << "slot " << s << " update " << update;
        }
        EXPECT_EQ(p.displayed(), ownerOf.size());
    }
}

TEST(VoxelQueue, BucketsAreStacksAcrossBlocksAndChunks) {
    VoxelQueue q;
    const uint32_t n = 70000;  // more than one 4096-block chunk's worth of items
    for (uint32_t i = 0; i < n; ++i) q.push(7, i);
    q.push(3000, 99);
    EXPECT_EQ(q.size(7), n);
    EXPECT_EQ(q.size(3000), 1u);
    EXPECT_TRUE(q.empty(6));
    uint32_t item = 0;
    for (uint32_t i = n; i-- > 0;) {
        ASSERT_TRUE(q.pop(7, item));
        ASSERT_EQ(item, i);
    }
    EXPECT_FALSE(q.pop(7, item));
    EXPECT_TRUE(q.empty(7));
    // Emptied blocks are reused before new ones are taken.
    const uint32_t used = q.blocksUsed;
    for (uint32_t i = 0; i < n; ++i) q.push(1, i);
    EXPECT_EQ(q.blocksUsed, used);
    q.clear();
    EXPECT_TRUE(q.empty(1) && q.empty(3000));
    EXPECT_EQ(q.cutoff, 0);
}

}  // namespace
