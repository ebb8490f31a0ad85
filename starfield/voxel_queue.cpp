#include "starfield/voxel_queue.h"

#include <cstdlib>
#include <new>

void VoxelQueue::AlignedFree::operator()(uint32_t* p) const { std::free(p); }

void VoxelQueue::clear() {
    for (Bucket& b : buckets) b = Bucket{};
    blocksUsed = 0;
    freeBlock = NONE;
    cutoff = 0;
    resumePriority = 0;
}

void VoxelQueue::release() {
    clear();
    chunks.clear();
}

uint32_t VoxelQueue::takeBlock() {
    if (freeBlock != NONE) {
        const uint32_t b = freeBlock;
        freeBlock = block(b)[ITEMS_PER_BLOCK];
        return b;
    }
    if (blocksUsed == chunks.size() * BLOCKS_PER_CHUNK) {
        // 64-byte aligned so that every block fills exactly one cache line.
        void* p = std::aligned_alloc(64, CHUNK_WORDS * sizeof(uint32_t));
        if (p == nullptr) throw std::bad_alloc();
        chunks.emplace_back(static_cast<uint32_t*>(p));
    }
    return blocksUsed++;
}

void VoxelQueue::push(int priority, uint32_t item) {
    Bucket& bk = buckets[priority];
    if (bk.head == NONE || bk.fill == ITEMS_PER_BLOCK) {
        const uint32_t b = takeBlock();
        block(b)[ITEMS_PER_BLOCK] = bk.head;
        bk.head = b;
        bk.fill = 0;
    }
    block(bk.head)[bk.fill++] = item;
}

bool VoxelQueue::pop(int priority, uint32_t& item) {
    Bucket& bk = buckets[priority];
    if (bk.head == NONE) return false;
    uint32_t* words = block(bk.head);
    item = words[--bk.fill];
    if (bk.fill == 0) {
        const uint32_t emptied = bk.head;
        bk.head = words[ITEMS_PER_BLOCK];
        bk.fill = bk.head == NONE ? 0 : ITEMS_PER_BLOCK;
        words[ITEMS_PER_BLOCK] = freeBlock;
        freeBlock = emptied;
    }
    return true;
}

uint32_t VoxelQueue::size(int priority) const {
    const Bucket& bk = buckets[priority];
    if (bk.head == NONE) return 0;
    uint32_t n = bk.fill;
    for (uint32_t b = block(bk.head)[ITEMS_PER_BLOCK]; b != NONE; b = block(b)[ITEMS_PER_BLOCK]) n += ITEMS_PER_BLOCK;
    return n;
}
