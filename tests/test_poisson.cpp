#include <gtest/gtest.h>

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
    const double z = 3.0902;  // standard normal upper 0.1% point
    const double a = 2.0 / (9.0 * df);
    const double c = 1 - a + z * std::sqrt(a);
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
    for (const auto& [k, c] : counts)
        if (k > limit) tailObserved += c;
    expected += (1 - cumulative) * n;
    if (bins.empty()) bins.emplace_back(0, 0);
    bins.back().first += expected;
    bins.back().second += tailObserved;
    double chi = 0;
    for (const auto& [e, o] : bins) chi += (o - e) * (o - e) / e;
    const int df = static_cast<int>(bins.size()) - 1;
    return chi / chiSquareCritical(df);
}

void expectPoisson(double mean) {
    double sampleMean = 0;
    const int n = 20000;
    const double r = chiSquareRatio(mean, n, 0x9e3779b97f4a7c15ull ^ fixedMean(mean), &sampleMean);
    EXPECT_LT(r, 1.0) << "mean " << mean;
    // The sample mean within five standard errors.
    EXPECT_NEAR(sampleMean, mean, 5 * std::sqrt(mean / n)) << "mean " << mean;
}

TEST(Poisson, ZeroMeanGivesZeroAndDrawsNothing) {
    uint64_t state = 42;
    EXPECT_EQ(poissonVariate(0, state), 0u);
    EXPECT_EQ(state, 42u);
}

TEST(Poisson, SmallMeansFollowThePoissonDistribution) {
    for (double mean : {0.05, 0.7, 2.0, 5.5, 11.0, 17.9}) expectPoisson(mean);
}

TEST(Poisson, MediumMeansFollowThePoissonDistribution) {
    for (double mean : {18.0, 23.5, 30.0, 37.9}) expectPoisson(mean);
}

TEST(Poisson, LargeMeansFollowThePoissonDistribution) {
    for (double mean : {38.0, 55.0, 140.0, 1000.0, 25000.0}) expectPoisson(mean);
}

TEST(Poisson, CountsDependOnlyOnTheStream) {
    for (double mean : {3.0, 25.0, 300.0}) {
        uint64_t a = 777, b = 777;
        for (int i = 0; i < 200; ++i) {
            ASSERT_EQ(poissonVariate(fixedMean(mean), a), poissonVariate(fixedMean(mean), b));
            ASSERT_EQ(a, b);
        }
    }
}

TEST(Poisson, MediumMethodTakesItsUniformsInPairsOfDraws) {
    uint64_t state = 5;
    for (int i = 0; i < 100; ++i) {
        const uint64_t before = state;
        poissonVariate(fixedMean(25), state);
        int draws = -1;
        for (int d = 0; d < 1000 && draws < 0; ++d)
            if (before + static_cast<uint64_t>(d) * WYHASH_INCREMENT == state) draws = d;
        ASSERT_GT(draws, 0);
        EXPECT_EQ(draws % 2, 0);
    }
}

TEST(Poisson, HugeMeanStaysFinite) {
    uint64_t state = 1;
    const uint64_t k = poissonVariate(~uint64_t{0}, state);  // mean just below 2^32
    EXPECT_GT(k, 4200000000ull);
    EXPECT_LT(k, 4400000000ull);
}

}  // namespace
