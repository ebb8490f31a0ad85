// The star record: the one form in which a generated star is held by the star
// field, the foreground table and the catalog search, and the 16-byte point
// record the display reads for a star shown as a point.
#pragma once

#include <bit>
#include <cstdint>

struct StarRecord {
    int64_t x = 0, y = 0, z = 0;  // position units
    uint32_t slot = ~0u;          // point slot or near-list index; all ones when not shown
    uint16_t drawIndex = 0;       // appearance draw index within the tier
    uint8_t state = 0;            // 0 point (or not shown), 1 in the near list
    uint8_t foreground = 0;       // foreground entry index + 1, 0 when none
    uint8_t colour[3] = {0, 0, 0};  // 7-bit red, green, blue
    uint8_t population = 0;       // population index 0..6
    uint32_t luminosityCode = 0;  // 26-bit code the point shader decodes
    float key = 0;                // brightness key; a voxel's stars are sorted by it, descending
    float radius = 0;             // radius in solar radii
};
static_assert(sizeof(StarRecord) == 48);

inline constexpr uint32_t NO_SLOT = ~0u;
inline constexpr uint8_t STAR_POINT = 0;
inline constexpr uint8_t STAR_NEAR = 1;

// The three colour bytes in bits 0..23 and the population in bits 24..31.
inline uint32_t colourWord(const StarRecord& s) {
    return uint32_t{s.colour[0]} | uint32_t{s.colour[1]} << 8 | uint32_t{s.colour[2]} << 16 |
           uint32_t{s.population} << 24;
}

// One point of the midground point buffer.
struct PointRecord {
    uint32_t w[4] = {0, 0, 0, 0};
    friend bool operator==(const PointRecord&, const PointRecord&) = default;
};
static_assert(sizeof(PointRecord) == 16);

// The shift that leaves each coordinate with at most 25 significant bits and
// its sign: max(0, 40 - leading zeros of the largest magnitude).
inline uint32_t coordinateShift(int64_t x, int64_t y, int64_t z) {
    auto mag = [](int64_t v) { return v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v); };
    uint64_t m = mag(x);
    if (mag(y) > m) m = mag(y);
    if (mag(z) > m) m = mag(z);
    const int lz = std::countl_zero(m);
    return lz >= 40 ? 0 : static_cast<uint32_t>(40 - lz);
}

// The point record of a star at its absolute position.
inline PointRecord makePointRecord(const StarRecord& s) {
    const uint32_t sh = coordinateShift(s.x, s.y, s.z);
    PointRecord r;
    r.w[0] = (static_cast<uint32_t>(s.x >> sh) << 7) + s.colour[0];
    r.w[1] = (static_cast<uint32_t>(s.y >> sh) << 7) + s.colour[1];
    r.w[2] = (static_cast<uint32_t>(s.z >> sh) << 7) + s.colour[2];
    r.w[3] = (s.luminosityCode << 6) + sh;
    return r;
}

// The record of a near star for the renderer's near-star buffer: the position
// relative to the midground origin, the colour, and the luminosity code's top
// bits above the shift.
inline PointRecord makeNearRecord(const StarRecord& s, const int64_t origin[3]) {
    const int64_t dx = static_cast<int64_t>(static_cast<uint64_t>(s.x) - static_cast<uint64_t>(origin[0]));
    const int64_t dy = static_cast<int64_t>(static_cast<uint64_t>(s.y) - static_cast<uint64_t>(origin[1]));
    const int64_t dz = static_cast<int64_t>(static_cast<uint64_t>(s.z) - static_cast<uint64_t>(origin[2]));
    const uint32_t sh = coordinateShift(dx, dy, dz);
    PointRecord r;
    r.w[0] = (static_cast<uint32_t>(dx >> sh) << 7) + s.colour[0];
    r.w[1] = (static_cast<uint32_t>(dy >> sh) << 7) + s.colour[1];
    r.w[2] = (static_cast<uint32_t>(dz >> sh) << 7) + s.colour[2];
    r.w[3] = ((s.luminosityCode >> 7) << 13) + sh;
    return r;
}
