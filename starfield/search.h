// Catalog search: the stars nearest to a place, found among the stars the star
// field holds and, beyond those, among the stars of voxels it has not
// generated, nearest first, without keeping them.
#pragma once

#include <cstdint>
#include <vector>

#include "galaxy/populations.h"
#include "starfield/star_field.h"

inline constexpr uint32_t SEARCH_LIMIT = 100;
inline constexpr double SEARCH_MIN_PARSECS = 0;
inline constexpr double SEARCH_MAX_PARSECS = 1e20;

// Replaces `results` with the (at most `limit`) stars of the galaxy of `seed`
// nearest to (x, y, z) whose distance lies within [minParsecs, maxParsecs],
// nearest first, with their names. Reads the star field's voxels under its
// generation lock, held shared (a running pass is asked to yield first); the
// field's voxels count only when they were generated with `seed`.
void search(StarField& field, GalaxySeed seed, std::vector<SearchResult>& results, uint32_t limit, int64_t x,
            int64_t y, int64_t z, double minParsecs, double maxParsecs);

// The search as the Catalog page runs it: at the given viewpoint, into the
// star field's own results list (under its lock).
void searchNearest(StarField& field, GalaxySeed seed, int64_t x, int64_t y, int64_t z);

// The full name of a found star: the level's letter, the voxel's lattice code
// and the star's number in its voxel.
void nameStar(SearchResult& r);

// The physical properties of a found star (mass, radius, temperature,
// magnitude, spectral class), from its population's laws at its draw.
StarProperties foundStarProperties(const PopulationTable& table, GalaxySeed seed, const SearchResult& r);
