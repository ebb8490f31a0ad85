// Star name codes: every point of the signed 32-bit integer lattice gets a
// number of its own, written in base 21 with the consonants of the alphabet.
// The catalog builds full star names around these codes.
#pragma once

#include <cstddef>
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

// The inverse of latticeIndex: the point whose number is `index`. Every 64-bit
// index has one (the shells it reaches lie well inside the 32-bit lattice), and
// latticeIndex of that point gives `index` back.
void latticePoint(uint64_t index, int32_t& x, int32_t& y, int32_t& z);

// Why a text is not a lattice code.
enum class LatticeCodeError {
    NONE,
    EMPTY,
    NOT_A_LETTER,  // a character outside LATTICE_ALPHABET (lower case included)
    LEADING_B,     // B is the digit 0 and never leads
    TOO_LARGE,     // the number does not fit in 64 bits, or is 2^64 (index 2^64 - 1 has no code)
};

// The inverse of latticeCode: reads the `length` characters at `text` as a
// code and gives the point it names. Strict: exactly the codes latticeCode
// writes are accepted.
LatticeCodeError parseLatticeCode(const char* text, size_t length, int32_t& x, int32_t& y, int32_t& z);
