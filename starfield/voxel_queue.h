// The work queue of a star-field pass: 3001 priority buckets, each a stack of
// 32-bit work items kept in 16-word blocks taken from 256 KiB chunks.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

inline constexpr int QUEUE_BUCKETS = 3001;
inline constexpr int QUEUE_TOP_PRIORITY = QUEUE_BUCKETS - 1;

// A work item with this bit set names an existing voxel to re-examine (bits
// 30..0 its handle); without it, parent handle * 8 + octant of a child voxel
// still to be created.
inline constexpr uint32_t ITEM_EXISTING = 0x80000000u;

struct VoxelQueue {
    static constexpr uint32_t BLOCK_WORDS = 16;
    static constexpr uint32_t ITEMS_PER_BLOCK = BLOCK_WORDS - 1;  // the last word links to the next block
    static constexpr uint32_t CHUNK_WORDS = 65536;
    static constexpr uint32_t BLOCKS_PER_CHUNK = CHUNK_WORDS / BLOCK_WORDS;
    static constexpr uint32_t NONE = ~0u;

    struct Bucket {
        uint32_t head = NONE;  // block holding the most recently pushed items
        uint32_t fill = 0;     // items in the head block; every other block is full
    };

    struct AlignedFree {
        void operator()(uint32_t* p) const;
    };

    std::vector<std::unique_ptr<uint32_t[], AlignedFree>> chunks;
    uint32_t blocksUsed = 0;     // blocks ever handed out from the chunks
    uint32_t freeBlock = NONE;   // emptied blocks, linked through their last word
    Bucket buckets[QUEUE_BUCKETS];
    int cutoff = 0;              // items below it are neither queued nor processed
    int resumePriority = 0;      // where an interrupted pass continues; 0 = none

    // Empties every bucket; the block chunks are kept and reused.
    void clear();
    // Frees the chunks too.
    void release();
    void push(int priority, uint32_t item);
    // Takes the most recently pushed item of the bucket; false when it is empty.
    bool pop(int priority, uint32_t& item);
    bool empty(int priority) const { return buckets[priority].head == NONE; }
    // Number of items in a bucket (walks its blocks).
    uint32_t size(int priority) const;
    // Calls visit(item) for the items of a bucket in the order pop would take
    // them, without taking them, until visit returns false.
    template <typename Visit>
    void peek(int priority, Visit visit) const {
        const Bucket& bk = buckets[priority];
        uint32_t fill = bk.fill;
        for (uint32_t b = bk.head; b != NONE; b = block(b)[ITEMS_PER_BLOCK], fill = ITEMS_PER_BLOCK) {
            const uint32_t* words = block(b);
            for (uint32_t i = fill; i-- > 0;)
                if (!visit(words[i])) return;
        }
    }

  private:
    uint32_t* block(uint32_t b) { return chunks[b / BLOCKS_PER_CHUNK].get() + (b % BLOCKS_PER_CHUNK) * BLOCK_WORDS; }
    const uint32_t* block(uint32_t b) const {
        return chunks[b / BLOCKS_PER_CHUNK].get() + (b % BLOCKS_PER_CHUNK) * BLOCK_WORDS;
    }
    uint32_t takeBlock();
};
