#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <map>
#include <vector>

#include "starfield/poisson.h"
#include "starfield/voxel_random.h"

namespace {

uint64_t fixedMean(double mean) { return static_cast<uint64_t>(std::llround(std::ldexp(mean, 32))); }

// Upper 0.1% point of the chi-square distribution with df degrees of freedom
// (Wilson-Hilferty: accurate to a few tenths of a percent for df >= 3).
double chiSquareCritical(int df) {
    const double a = 2.0 / (9.0 * df), c = 1 - a + 3.0902 * std::sqrt(a);  // 3.0902: normal upper 0.1% point
    return df * c * c * c;
}

// Draws n variates of the given mean from one stream and tests them against
// the Poisson distribution: bins of expected count >= 10, tails pooled.
// Returns the statistic divided by its 0.1% critical value (so < 1 passes),
// with a fixed seed, so the outcome is the same on every run.
double chiSquareRatio(double mean, int n, uint64_t seed, double* sampleMean) {
    uint64_t state = seed;
    std::map<uint64_t, int> counts;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        const uint64_t k = poissonVariate(fixedMean(mean), state);
        ++counts[k];
        sum += static_cast<double>(k);
    }
    *sampleMean = sum / n;
    auto pmf = [mean](uint64_t k) {
        return std::exp(static_cast<double>(k) * std::log(mean) - mean - std::lgamma(static_cast<double>(k) + 1));
    };
    // Bins: consecutive values grouped until their expected count reaches 10.
    std::vector<std::pair<double, double>> bins;  // expected, observed
    double expected = 0, observed = 0, cumulative = 0;
    const auto limit = static_cast<uint64_t>(mean + 20 * std::sqrt(mean) + 20);
    for (uint64_t k = 0; k <= limit; ++k) {
        const double p = pmf(k);
        cumulative += p;
        expected += p * n;
        observed += counts.count(k) ? counts[k] : 0;
        if (expected >= 10 && (1 - cumulative) * n >= 10) {
            bins.emplace_back(expected, observed);
            expected = observed = 0;
        }
    }
    // The upper tail joins the last bin.
    double tailObserved = observed;
    for (auto it = counts.upper_bound(limit); it != counts.end(); ++it) tailObserved += it->second;
    expected += (1 - cumulative) * n;
    if (bins.empty()) bins.emplace_back(0, 0);
    bins.back().first += expected;
    bins.back().second += tailObserved;
    double chi = 0;
    for (const auto& [e, o] : bins) chi += (o - e) * (o - e) / e;
    const int df = static_cast<int>(bins.size()) - 1;
    return chi / chiSquareCritical(df);
}

// Small (below 18), medium (below 38) and large means, with the sample mean
// within five standard errors.
TEST(Poisson, EveryRegimeFollowsThePoissonDistribution) {
    for (double mean : {0.05, 0.7, 2.0, 5.5, 11.0, 17.9, 18.0, 23.5, 30.0, 37.9, 38.0, 55.0, 140.0, 1000.0, 25000.0}) {
        double sampleMean = 0;
        const int n = 20000;
        EXPECT_LT(chiSquareRatio(mean, n, 0x9e3779b97f4a7c15ull ^ fixedMean(mean), &sampleMean), 1.0) << mean;
        EXPECT_NEAR(sampleMean, mean, 5 * std::sqrt(mean / n)) << mean;
    }
    // A zero mean gives zero and draws nothing; the largest one (just below
    // 2^32) stays finite.
    uint64_t state = 42;
    EXPECT_EQ(poissonVariate(0, state), 0u);
    EXPECT_EQ(state, 42u);
    const uint64_t k = poissonVariate(~uint64_t{0}, state);
    EXPECT_TRUE(k > 4200000000ull && k < 4400000000ull) << k;
}

// ---------------------------------------------------------------------------
// Slow references of the three methods, one per regime, in exact (MPFR) or
// long double arithmetic, drawing from the same stream. Each must give the
// same count and leave the stream at the same place as poissonVariate.

// The multiplication method: the number of uniforms multiplied before the
// product falls below e^-mean. uniform(state) gives one factor as an exact
// fraction num / 2^bits.
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

// Eight 16-bit uniforms from every two draws: the second draw's four halves
// of halves from the top down, then the first draw's; the factor is the middle
// (2v + 1) / 2^17 of the v-th slice.
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
    // A product exactly equal to the bound is not below it. For this mean
    // (about 23.567) mean * log2 e comes out as exactly 34 in 32.32, so the
    // bound is 2^-34 (the exact e^-mean lies 3e-11 below it). This state's
    // second draw has its top 32 bits zero (found by a search over states):
    // the first two 16-bit uniforms are the bottom slice's middle, 2^-17 each,
    // and the product reaches exactly 2^-34 after two factors; only the third
    // takes it below.
    const uint64_t mean = 101219512042ull;
    uint64_t state = 0x3e823a839d7c0e73ull, refState = state;
    EXPECT_EQ(poissonVariate(mean, state), 2u);
    EXPECT_EQ(mediumReference(mean, refState), 2u);
}

}  // namespace
