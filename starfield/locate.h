// Finding a star from its name alone. A name says where its star is: the
// letter is its voxel's level, the code is the voxel's cell at that level
// written as a lattice number, and the number is the star's place among the
// voxel's stars sorted by brightness. Locating walks from the root of the
// octree down to that voxel, working out each voxel's tiers on the way as
// the star field and the catalog search do, and generates the stars of that
// one voxel. Nothing needs to have been generated before.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "starfield/search_result.h"
#include "starfield/star_generation.h"

struct StarField;

// The parts of a star's full name.
struct StarName {
    int level = 0;                   // 2..18: the root voxel holds no stars
    int32_t cell[3] = {0, 0, 0};     // the voxel's grid corner >> (32 - level)
    uint32_t number = 0;             // 1-based place in the voxel's sorted stars
};

// Reads a full name "L-CODE-N" (for example "S-MNQW-1"). Strict: the level
// letter and the code use the upper-case letters BCDFGHJKLMNPQRSTVWXYZ only,
// the code has no leading B and its number fits in 64 bits, the cell lies
// inside the galaxy's range at that level, N is a decimal number from 1
// without leading zeros. Blanks around the name (as a paste brings them) are
// ignored; any other stray character refuses it. On failure `error` says why.
bool parseStarName(std::string_view text, StarName& name, std::string& error);

// A located star and the facts of its voxel.
struct LocatedStar {
    // The star as the catalog search lists it: its record (slot all ones,
    // not shown), level, first tier, cell, draw and star numbers and its
    // name; distanceSquared 0, existing 0.
    SearchResult found;
    uint32_t corner[3] = {0, 0, 0};  // the voxel's minimum corner, grid units
    int lastTier = 0;
    uint16_t components = 0;  // galaxy components contributing to the voxel
    uint32_t node = 0;        // plane node covering the voxel
    uint32_t voxelStars = 0;  // stars in the voxel
};

// The named star in the galaxy of the given seed, with the star field's
// appearance constants (they decide the brightness order and so the
// numbers). False, with the reason in `error`, when the name's voxel is never
// made (no component reaches it, or it lies deeper than its branch of the
// octree goes) or holds fewer stars than the number.
bool locateStar(const Galaxy& galaxy, GalaxySeed seed, const ChannelConstants& channels, const StarName& name,
                LocatedStar& out, std::string& error, GenerationWorkspace& ws);

// Parses the name and locates it in the galaxy of `seed`, with the star
// field's appearance constants (read under its generation lock, held shared;
// a running pass is asked to yield first).
bool locateStar(StarField& field, GalaxySeed seed, std::string_view text, LocatedStar& out, std::string& error);
