// Star name codes: every point of the signed 32-bit integer lattice gets a
// number of its own, written in base 21 with the consonants of the alphabet.
// The catalog builds full star names around these codes.
#pragma once

#include <cstdint>

// Digit values 0..20.
inline constexpr char LATTICE_ALPHABET[] = "BCDFGHJKLMNPQRSTVWXYZ";
// Room a caller must give latticeCode: at most 15 letters (21^15 > 2^64) and the NUL.
inline constexpr int LATTICE_CODE_SIZE = 16;

// The number of the point (x, y, z). Points are numbered shell by shell: shell
// r is the surface of the cube [-r-1, r]^3, after the 8r^3 points inside it.
// Unsigned 64-bit with wrap-around, so unique for shells r <= 1321121.
// Returns false for a point no side of its shell claims (cannot happen for
// 32-bit inputs, kept as a guard).
bool latticeIndex(int32_t x, int32_t y, int32_t z, uint64_t& index);

// Writes the code of (x, y, z) at buffer[0..] (LATTICE_CODE_SIZE bytes) and
// points `end` at its terminating NUL, so that the caller can append. Writes
// the empty string when the point has no index or its index is 2^64 - 1.
void latticeCode(char* buffer, char*& end, int32_t x, int32_t y, int32_t z);
