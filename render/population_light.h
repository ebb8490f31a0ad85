// The colour of each component's diffuse light from the light of its stellar
// populations. Every component holds the same population table, the mix at
// birth; what differs is how much of each population still shines at the
// component's age. A star lives about 10 Gyr x (mass / solar mass)^-2.5 on
// the main sequence: the old core (one burst 10 Gyr ago) has lost its
// massive blue stars, the disc (stars born evenly over 10 Gyr) keeps the
// massive ones only for their short lives, the arms (where stars are being
// born) keep the whole young mix. So the core is yellower and the arms
// bluer. The light of each population and channel comes from the same
// population tables and colour channels as the stars' (backgroundLight).
#pragma once

#include <array>
#include <cstdint>

#include "galaxy/populations.h"
#include "starfield/appearance.h"

// How old a component's stars are: born in one burst `years` ago, or evenly
// over the last `years` (0: all of them just born).
struct StellarAge {
    double years = 0;
    bool burst = false;
};
StellarAge stellarAgeOfKind(uint32_t componentKind);

// The share of a population (stars of masses from low to high, solar masses,
// taken evenly in the logarithm of the mass) that shines at that age.
double shiningShare(double lowMass, double highMass, const StellarAge& age);

// The colour of the light of the table's populations at that age (the
// largest channel 1).
std::array<float, 3> populationColour(const PopulationTable& table, const ChannelConstants& channels,
                                      const StellarAge& age);
