#include "starfield/voxel_random.h"

#include <xxhash.h>

uint64_t voxelSeed(uint32_t x, uint32_t y, uint32_t z, int level, GalaxySeed seed) {
    // Lane 1 mixes the x and y corners into 32 bits (y's arithmetic shift keeps
    // its sign), sign-extended; lane 2 carries z, the level and the second seed
    // word. Both are hashed as little-endian bytes.
    const auto ys = static_cast<int32_t>(y);
    const uint32_t mixed = x + (y << 27) + static_cast<uint32_t>(ys >> 5);
    const auto lane1 = static_cast<uint64_t>(static_cast<int64_t>(static_cast<int32_t>(mixed)));
    const uint64_t lane2 = uint64_t{seed.second} + static_cast<uint64_t>(level) + uint64_t{z};
    unsigned char key[16];
    for (int i = 0; i < 8; ++i) {
        key[i] = static_cast<unsigned char>(lane1 >> (8 * i));
        key[8 + i] = static_cast<unsigned char>(lane2 >> (8 * i));
    }
    return XXH64(key, sizeof key, seed.first);
}
