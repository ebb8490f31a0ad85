#include "render/population_light.h"

#include <algorithm>
#include <cmath>

#include "galaxy/galaxy.h"
#include "starfield/star_generation.h"

namespace {

constexpr double SUN_LIFETIME_YEARS = 1e10;

// The mass whose main-sequence life is `years`.
double massLivingFor(double years) { return std::pow(years / SUN_LIFETIME_YEARS, -1.0 / 2.5); }

}  // namespace

StellarAge stellarAgeOfKind(uint32_t kind) {
    switch (kind) {
        case KIND_CORE: return {1e10, true};
        case KIND_HALO:
        case KIND_ROGUE: return {1.2e10, true};
        case KIND_DISC: return {1e10, false};
        default: return {0, false};  // the arms: stars being born
    }
}

double shiningShare(double low, double high, const StellarAge& age) {
    if (!(age.years > 0) || !(high > low) || !(low > 0)) return 1.0;
    const double span = std::log(high / low);
    if (age.burst) {
        // What is lighter than the mass that lives as long as the burst is old.
        const double limit = massLivingFor(age.years);
        return std::clamp(std::log(limit / low) / span, 0.0, 1.0);
    }
    // Born evenly over the age: a star of life t is there t / age of the time.
    double share = 0;
    constexpr int STEPS = 64;
    for (int k = 0; k < STEPS; ++k) {
        const double mass = low * std::exp(span * (k + 0.5) / STEPS);
        const double life = SUN_LIFETIME_YEARS * std::pow(mass, -2.5);
        share += std::min(1.0, life / age.years);
    }
    return share / STEPS;
}

std::array<float, 3> populationColour(const PopulationTable& table, const ChannelConstants& channels,
                                      const StellarAge& age) {
    double sum[3] = {0, 0, 0};
    PopulationTable one;
    one.count = 1;
    for (uint32_t p = 0; p < table.count; ++p) {
        // One population's light: its colour times its strength (the display
        // value and view limits scale every population alike).
        one.populations[0] = table.populations[p];
        const BackgroundLight light = backgroundLight(one, channels, 1.0, 1.0);
        const StarPopulation& pop = table.populations[p];
        const double share = shiningShare(toDouble(pop.massLow), toDouble(pop.massHigh), age);
        for (int c = 0; c < 3; ++c) sum[c] += share * light.intensity * light.colour[c];
    }
    const double top = std::max({sum[0], sum[1], sum[2]});
    std::array<float, 3> colour{1, 1, 1};
    if (top > 0) {
        for (int c = 0; c < 3; ++c) colour[c] = static_cast<float>(sum[c] / top);
    }
    return colour;
}
