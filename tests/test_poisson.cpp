#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>

#include "starfield/poisson.h"
#include "starfield/voxel_random.h"

namespace {

uint64_t fixedMean(double mean) { return static_cast<uint64_t>(std::llround(std::ldexp(mean, 32))); }

// Slow references of the three methods, in exact (MPFR) or long double
// arithmetic: the same counts from the same stream, left at the same place.

// The number of uniforms (num / 2^bits each) multiplied before the product
// falls below e^-mean.
template <typename Uniform>
uint64_t multiplicationReference(uint64_t mean, uint64_t& state, Uniform uniform) {
    mpfr_t bound, product;
    mpfr_inits2(8192, bound, product, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_ui_2exp(bound, mean, -32, MPFR_RNDN);  // exact
    mpfr_neg(bound, bound, MPFR_RNDN);
    mpfr_exp(bound, bound, MPFR_RNDN);
    mpfr_set_ui(product, 1, MPFR_RNDN);
    uint64_t k = 0;
    for (;; ++k) {
        int bits = 0;
        const uint64_t num = uniform(state, bits);
        mpfr_mul_ui(product, product, num, MPFR_RNDN);  // exact: 8192 bits hold every product drawn here
        mpfr_div_2ui(product, product, static_cast<unsigned long>(bits), MPFR_RNDN);
        if (mpfr_cmp(product, bound) < 0) break;
    }
    mpfr_clears(bound, product, static_cast<mpfr_ptr>(nullptr));
    return k;
}

uint64_t smallReference(uint64_t mean, uint64_t& state) {
    return multiplicationReference(mean, state, [](uint64_t& s, int& bits) { return bits = 64, wyhashDraw(s); });
}

// Eight 16-bit uniforms from two draws, the second draw's from the top down
// first; the factor is the middle (2v + 1) / 2^17 of the v-th slice.
uint64_t mediumReference(uint64_t mean, uint64_t& state) {
    uint64_t pair[2] = {0, 0};
    int used = 8;
    return multiplicationReference(mean, state, [&](uint64_t& s, int& bits) {
        if (used == 8) {
            pair[0] = wyhashDraw(s);
            pair[1] = wyhashDraw(s);
            used = 0;
        }
        const int word = 1 - used / 4, quarter = 3 - used % 4;
        ++used;
        bits = 17;
        return 2 * ((pair[word] >> (16 * quarter)) & 0xFFFF) + 1;
    });
}

// Transformed rejection with squeeze (two draws per trial), in long double.
uint64_t largeReference(uint64_t mean, uint64_t& state) {
    const long double lam = std::ldexp(static_cast<long double>(mean), -32);
    const long double b = 0.931L + 2.53L * std::sqrt(lam);
    const long double a = -0.059L + 0.02483L * b;
    const long double invAlpha = 1.1239L + 1.1328L / (b - 3.4L);
    const long double vr = 0.9277L - 3.6224L / (b - 2);
    for (;;) {
        const long double U = std::ldexp(static_cast<long double>(wyhashDraw(state)), -64) - 0.5L;
        const long double V = std::ldexp(static_cast<long double>(wyhashDraw(state)), -64);
        const long double us = 0.5L - std::fabs(U);
        if (us <= 0) continue;
        const long double x = (2 * a / us + b) * U + lam + 0.43L;
        if (x < 0) continue;
        const auto k = static_cast<uint64_t>(x);
        if (us >= 0.07L && V <= vr) return k;
        if (us < 0.013L && V > us) continue;
        if (V == 0) return k;
        const long double kk = static_cast<long double>(k);
        if (std::log(V * invAlpha / (a / (us * us) + b)) <= kk * std::log(lam) - lam - std::lgamma(kk + 1)) return k;
    }
}

// n variates of the mean from one stream against the reference, counts and stream positions.
template <typename Reference>
void expectMatchesReference(uint64_t mean, Reference reference, int n) {
    uint64_t state = 0x243F6A8885A308D3ull ^ mean, refState = state;
    for (int i = 0; i < n; ++i) {
        ASSERT_EQ(poissonVariate(mean, state), reference(mean, refState)) << "mean " << mean << " draw " << i;
        ASSERT_EQ(state, refState) << "mean " << mean << " (32.32) draw " << i;
    }
}

TEST(PoissonReference, EachRegimeUpToAndFromItsBoundaryAndAtTheBound) {
    const uint64_t eps = 1;  // one 2^-32 step
    for (uint64_t mean : {fixedMean(1e-6), fixedMean(0.5), fixedMean(7.25), POISSON_MEDIUM_MEAN - eps})
        expectMatchesReference(mean, smallReference, 300);
    for (uint64_t mean : {POISSON_MEDIUM_MEAN, fixedMean(29.5), POISSON_LARGE_MEAN - eps})
        expectMatchesReference(mean, mediumReference, 300);
    for (uint64_t mean : {POISSON_LARGE_MEAN, POISSON_LARGE_MEAN + eps, fixedMean(512.75), fixedMean(90000)})
        expectMatchesReference(mean, largeReference, 3000);
    // A product equal to the bound is not below it: this mean's bound is 2^-34
    // exactly, and this state's first two uniforms are 2^-17 each.
    const uint64_t mean = 101219512042ull;
    uint64_t state = 0x3e823a839d7c0e73ull, refState = state;
    EXPECT_EQ(poissonVariate(mean, state), 2u);
    EXPECT_EQ(mediumReference(mean, refState), 2u);
    // A zero mean draws nothing; the largest one stays finite.
    state = 42;
    EXPECT_EQ(poissonVariate(0, state), 0u);
    EXPECT_EQ(state, 42u);
    const uint64_t k = poissonVariate(~uint64_t{0}, state);
    EXPECT_TRUE(k > 4200000000ull && k < 4400000000ull) << k;
}

}  // namespace
