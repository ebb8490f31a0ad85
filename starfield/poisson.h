// Poisson variates from a voxel's random stream, in integer arithmetic only, so
// that every machine draws the same star counts.
#pragma once

#include <cstdint>

// Means at or above these (32.32 fixed point) use the next method.
inline constexpr uint64_t POISSON_MEDIUM_MEAN = uint64_t{18} << 32;
inline constexpr uint64_t POISSON_LARGE_MEAN = uint64_t{38} << 32;

// A Poisson variate with the given mean (32.32 fixed point; 0 gives 0). Draws
// its uniforms from the stream whose state is passed and advanced:
//   mean < 18:       multiplication of 64-bit uniforms until the product falls
//                    below e^-mean (product and bound as normalised 64-bit
//                    mantissas with a power of two, the bound from a polynomial
//                    2^x), one draw per factor;
//   18 <= mean < 38: the same with 16-bit uniforms, eight taken from every two
//                    draws;
//   mean >= 38:      transformed rejection with squeeze, in ExtFloat arithmetic,
//                    two draws per trial.
uint64_t poissonVariate(uint64_t mean, uint64_t& state);
