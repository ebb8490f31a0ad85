// A fingerprint of what a star field holds: the voxel pool in pool order with
// every field of every voxel and star record, the free list, the counters,
// the point slots (mark, freed and cleared lists), the near list (by the
// position of each star, in list order), the foreground table and the
// queue's resume state. Two star fields that went through the same passes
// have the same digest; a difference anywhere, including which pool entry or
// point slot a voxel or star was given, changes it.
#pragma once

#include <cstdint>

#include "starfield/star_field.h"

uint64_t starFieldDigest(const StarField& field);
// The point records and copy regions an update published.
uint64_t uploadDigest(const StarFieldResults& results);
