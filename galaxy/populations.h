// Stellar populations: the seven mass ranges of stars with their physical
// laws (mass-luminosity, mass-radius, temperature, mass function), how many of
// each population are too faint to be seen from each octree level's distance,
// and the properties of one star drawn from a population.
//
// Everything that decides which stars exist is computed with ExtFloat and
// integers; the floats at the start of each record are only what the display
// and the star generator's appearance code read.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "numeric/ext_float.h"

// Octree levels 0..18: level k looks at cubes of side 2^(64-k) units.
inline constexpr int POPULATION_LEVELS = 19;
// Room for this many population records in a table.
inline constexpr int MAX_POPULATIONS = 16;
// Populations the table is built with.
inline constexpr uint32_t POPULATION_COUNT = 7;

// One population. The first 176 bytes are the float block the star display
// and the star generator read (display floats 0..43):
//   0  (gamma/2 - beta/4) / gamma: exponent of R in 1/T = f4 * R^f0
//   1  share * cdfScale
//   2  gamma * imfExpPlus1Inv
//   3  cdfLow * cdfScale
//   4  1 / tempCoef
//   5  unused (0)
//   6..24  hiddenFraction[0..18]
//   25..43 bandFraction[0..18] * 2^-31
// With a uniform draw u in [0, 1) the radius is (u*f1 + f3)^f2.
struct StarPopulation {
    std::array<float, 6> displayParams{};
    std::array<float, POPULATION_LEVELS> hiddenFractionF{};
    std::array<float, POPULATION_LEVELS> bandFractionF{};

    ExtFloat massLow, massHigh;   // solar masses
    ExtFloat lumExp, lumCoef;     // L = lumCoef * m^lumExp
    ExtFloat radiusExp;           // R = m^radiusExp
    ExtFloat imfExp;              // dN/dm = imfCoef * m^imfExp
    ExtFloat imfExpPlus1, imfExpPlus1Inv;
    ExtFloat imfCoef;             // normalised over all populations
    ExtFloat share;               // this population's share of all stars
    ExtFloat cdfLow;              // imfCoef * massLow^(imfExp+1) / (imfExp+1)
    ExtFloat cdfScale;            // (imfExp+1) / imfCoef
    ExtFloat tempCoef, tempExp;   // T = tempCoef * m^tempExp
    ExtFloat brightCoef, brightExp;        // peak spectral brightness ~ brightCoef * m^brightExp
    ExtFloat brightCoefInv, brightExpInv;  // their reciprocals

    // Fraction of the population too faint to be seen from 2^(64-k) units.
    std::array<ExtFloat, POPULATION_LEVELS> hiddenFraction{};
    // hiddenFraction[k-1] - hiddenFraction[k]: first seen at level k. Entry 0 is 0.
    std::array<ExtFloat, POPULATION_LEVELS> bandFraction{};
    // Expected band-k stars in a cube of side 2^(64-k) at the local density.
    std::array<ExtFloat, POPULATION_LEVELS> cellCount{};
    // cellCount[k] * 8^k: the same band over the whole top cube.
    std::array<ExtFloat, POPULATION_LEVELS> cellCountTop{};
    // cellCount[k] in 32.32 fixed point, saturating.
    std::array<uint64_t, POPULATION_LEVELS> cellCountFixed{};

    std::string name;
};

struct PopulationTable {
    std::array<StarPopulation, MAX_POPULATIONS> populations{};
    // Bit p of levelMask[k] is set when population p has stars in band k.
    std::array<uint64_t, POPULATION_LEVELS> levelMask{};
    uint32_t count = 0;
};

// The evaluated properties of one star.
struct StarProperties {
    ExtFloat mass;          // solar masses
    ExtFloat radius;        // solar radii
    ExtFloat luminosity;    // solar luminosities
    ExtFloat temperature;   // kelvin
    ExtFloat massToLight;   // mass / luminosity, filled by completeStar
    ExtFloat absMagnitude;  // absolute bolometric magnitude
    uint8_t completed = 0;  // 1 once completeStar has run
    uint8_t population = 0;
    uint32_t spectralClass = 0;  // 0..7 = O B A F G K M L, filled by completeStar
};

// Fills all population records, the level masks and the count. Throws
// std::overflow_error("overflow") when a parameter drives an exponent out of range.
void buildPopulations(PopulationTable& table);

// An expected star count as 32.32 fixed point, saturating at 2^64 - 1; throws
// std::overflow_error("overflow") when the exponent passes the word's range.
// A band never holds fewer than no stars: a negative or Invalid count (which
// other population parameters could produce by rounding or a domain error)
// gives 0 rather than saturating into billions of stars per voxel.
uint64_t cellCountFixedPoint(ExtFloat count);

// The star of `population` at the uniform draw u in [0, 1) within that
// population (the inverse of its cumulative mass distribution). Throws
// std::out_of_range for a population index the table does not hold.
StarProperties starFromDraw(const PopulationTable& table, ExtFloat u, uint32_t population);

// The star of `population` with the given mass.
StarProperties starFromMass(const PopulationTable& table, ExtFloat mass, uint32_t population);

// Fills massToLight and spectralClass, once.
void completeStar(StarProperties& star);

// "main sequence: O" .. "main sequence: L", or "unknown".
const char* spectralClassName(const StarProperties& star);
