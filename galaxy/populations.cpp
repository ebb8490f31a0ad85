#include "galaxy/populations.h"

#include <cmath>
#include <stdexcept>

#include "numeric/constants.h"

namespace {

constexpr ExtFloat ZERO{};

// 2^(64-k): the side of a level-k octree cube and the distance from which its
// stars are looked at, in units.
constexpr ExtFloat levelSide(int k) { return ExtFloat{ONE.w + static_cast<uint64_t>(63 - (k - 1))}; }

// The mass whose main-sequence lifetime, SUN_LIFETIME_GYR * m^(1-4), equals the
// galaxy's age: heavier stars of that age have left the main sequence.
ExtFloat turnOffMass() { return pow(GALAXY_AGE_GYR / SUN_LIFETIME_GYR, ONE / (ONE - FOUR)); }

// The temperature and brightness laws that follow from the luminosity and
// radius laws.
void setDerivedLaws(StarPopulation& p) {
    p.tempCoef = SUN_TEMPERATURE * sqrt(sqrt(p.lumCoef));
    p.tempExp = p.lumExp * xf::fromDecimal(25, -2) - p.radiusExp * xf::fromDecimal(5, -1);
    p.brightCoef = (RADIATION_K * PLANCK_PEAK_NORM) * pow(p.tempCoef, FOUR);
    p.brightExp = FOUR * p.tempExp + TWO * p.radiusExp;
    p.brightCoefInv = ONE / p.brightCoef;
    p.brightExpInv = ONE / p.brightExp;
}

struct PopulationLaws {
    const char* name;
    ExtFloat massHigh;
    ExtFloat lumExp;
    ExtFloat radiusExp;
    ExtFloat imfExp;
};

// Step 1: the seven populations; every one after the first starts at the
// previous upper mass and takes coefficients that keep the luminosity law and
// the mass function continuous there.
void constructPopulations(PopulationTable& table) {
    const ExtFloat turnOff = turnOffMass();
    const ExtFloat beta23 = xf::fromDecimal(23, -1);
    const ExtFloat gammaLow = xf::fromDecimal(8, -1);
    const ExtFloat gammaHigh = xf::fromDecimal(57, -2);
    const ExtFloat alphaLow = neg(xf::fromDecimal(13, -1));
    const ExtFloat alphaSalpeter = neg(xf::fromDecimal(23, -1));
    // Above the turn-off the slope is steepened by the lifetime factor m^(1-beta_t).
    const ExtFloat alphaDwarf = (neg(xf::fromDecimal(23, -1)) + ONE) - FOUR;
    const ExtFloat alphaMain = (neg(xf::fromDecimal(23, -1)) + ONE) - xf::fromDecimal(35, -1);

    const PopulationLaws laws[POPULATION_COUNT] = {
        {"Red Dwarf0", xf::fromDecimal(43, -2), beta23, gammaLow, alphaLow},
        {"Red Dwarf1", xf::fromDecimal(5, -1), FOUR, gammaLow, alphaLow},
        {"Red Dwarf2", turnOff, FOUR, gammaLow, alphaSalpeter},
        {"Dwarf0", ONE, FOUR, gammaLow, alphaDwarf},
        {"Dwarf1", TWO, FOUR, gammaHigh, alphaDwarf},
        {"Main", xf::fromInt32(55), xf::fromDecimal(35, -1), gammaHigh, alphaMain},
        {"Blue Giant", xf::fromInt32(150), ONE, gammaHigh, alphaMain},
    };

    for (uint32_t i = 0; i < POPULATION_COUNT; ++i) {
        StarPopulation& p = table.populations[i];
        p.name = laws[i].name;
        p.massHigh = laws[i].massHigh;
        p.lumExp = laws[i].lumExp;
        p.radiusExp = laws[i].radiusExp;
        p.imfExp = laws[i].imfExp;
        if (i == 0) {
            p.massLow = xf::fromDecimal(8, -2);
            p.lumCoef = xf::fromDecimal(2381751, -7);
            p.imfCoef = ONE;
        } else {
            const StarPopulation& prev = table.populations[i - 1];
            const ExtFloat b = prev.massHigh;
            p.massLow = b;
            p.lumCoef = prev.lumCoef * pow(b, prev.lumExp - p.lumExp);
            p.imfCoef = prev.imfCoef * pow(b, prev.imfExp - p.imfExp);
        }
        setDerivedLaws(p);
    }
    table.count = POPULATION_COUNT;
}

// Display floats 0..4 (float 5 stays 0).
void setDisplayParams(StarPopulation& p) {
    const ExtFloat gamma = p.radiusExp;
    const ExtFloat beta = p.lumExp;
    p.displayParams[0] =
        static_cast<float>(toDouble((gamma * xf::fromDecimal(5, -1) - beta * xf::fromDecimal(25, -2)) / gamma));
    p.displayParams[1] = static_cast<float>(toDouble(p.share * p.cdfScale));
    p.displayParams[2] = static_cast<float>(toDouble(gamma * p.imfExpPlus1Inv));
    p.displayParams[3] = static_cast<float>(toDouble(p.cdfLow * p.cdfScale));
    p.displayParams[4] =
        static_cast<float>(INV_SUN_TEMPERATURE * toDouble(pow(p.lumCoef, xf::fromDecimal(-25, -2))));
    p.displayParams[5] = 0.0f;
}

// The fraction of the population too faint to be seen from distance d.
ExtFloat hiddenAt(const StarPopulation& p, ExtFloat d) {
    // The least mass bright enough to be seen from d.
    const ExtFloat mMin = pow(p.brightCoefInv * ((d * d) * LIMIT_RADIUS_INV_SQ), p.brightExpInv);
    if (greaterEqual(p.massLow, mMin)) return ZERO;
    if (greaterEqual(mMin, p.massHigh)) return ONE;
    return ((p.imfCoef * pow(mMin, p.imfExpPlus1)) / p.imfExpPlus1 - p.cdfLow) / p.share;
}

}  // namespace

uint64_t cellCountFixedPoint(ExtFloat count) {
    // Invalid is the all-ones word, so it is caught here as well.
    if (count.isNegative()) return 0;
    return toUint64(scalePow2(count, 32));
}

void buildPopulations(PopulationTable& table) {
    table = PopulationTable{};
    constructPopulations(table);
    const uint32_t n = table.count;

    // Step 2: the cumulative mass distribution of each population and the
    // number of stars, relative to the first population's coefficient.
    ExtFloat total = ZERO;
    for (uint32_t i = 0; i < n; ++i) {
        StarPopulation& p = table.populations[i];
        p.imfExpPlus1 = p.imfExp + ONE;
        p.imfExpPlus1Inv = ONE / p.imfExpPlus1;
        p.cdfLow = (p.imfCoef * pow(p.massLow, p.imfExpPlus1)) / p.imfExpPlus1;
        p.share = (p.imfCoef * pow(p.massHigh, p.imfExpPlus1)) / p.imfExpPlus1 - p.cdfLow;
        p.cdfScale = p.imfExpPlus1 / p.imfCoef;
        total = total + p.share;
    }

    // Step 3: normalise so that the shares of all populations sum to one.
    for (uint32_t i = 0; i < n; ++i) {
        StarPopulation& p = table.populations[i];
        p.imfCoef /= total;
        p.cdfLow /= total;
        p.share /= total;
        p.cdfScale *= total;
        setDisplayParams(p);
    }

    for (uint32_t i = 0; i < n; ++i) {
        StarPopulation& p = table.populations[i];

        // Step 4: the hidden fraction at each level's distance.
        p.hiddenFraction[0] = ONE;
        for (int k = 1; k <= 17; ++k) p.hiddenFraction[k] = hiddenAt(p, levelSide(k));
        p.hiddenFraction[18] = ZERO;

        // Step 5: the stars first seen at each level, and how many of them a
        // cube of that level holds at the local density.
        p.bandFraction[0] = ZERO;
        p.cellCount[0] = ZERO;
        p.cellCountTop[0] = ZERO;
        p.cellCountFixed[0] = 0;
        for (int k = 1; k < POPULATION_LEVELS; ++k) {
            const ExtFloat s = levelSide(k);
            const ExtFloat band = p.hiddenFraction[k - 1] - p.hiddenFraction[k];
            p.cellCount[k] = ((((band * p.share) * s) * s) * s) * LOCAL_DENSITY;
            p.cellCountTop[k] = p.cellCount[k] * xf::fromUint64(uint64_t{1} << (3 * k));
            p.cellCountFixed[k] = cellCountFixedPoint(p.cellCount[k]);
            p.bandFraction[k] = band;
            if (p.cellCountFixed[k] != 0) table.levelMask[k] |= uint64_t{1} << i;
        }

        // Step 6: the float copies for the display.
        for (int k = 0; k < POPULATION_LEVELS; ++k) {
            p.hiddenFractionF[k] = static_cast<float>(toDouble(p.hiddenFraction[k]));
            p.bandFractionF[k] = static_cast<float>(std::ldexp(toDouble(p.bandFraction[k]), -31));
        }
    }
}

StarProperties starFromMass(const PopulationTable& table, ExtFloat mass, uint32_t population) {
    if (population >= table.count) throw std::out_of_range("population");
    const StarPopulation& p = table.populations[population];
    StarProperties star;
    star.mass = mass;
    star.radius = pow(mass, p.radiusExp);
    star.luminosity = p.lumCoef * pow(mass, p.lumExp);
    star.temperature = SUN_TEMPERATURE * pow(star.luminosity / (star.radius * star.radius), xf::fromDecimal(25, -2));
    // -2.5 log10(L * 3.828e26 W / 3.0128e28 W): the bolometric magnitude scale
    // with zero point 3.0128e28 W, log10 taken as log2 times log10(2).
    star.absMagnitude =
        xf::fromDecimal(-25, -1) * (log2(star.luminosity * (xf::fromDecimal(3828, 23) / xf::fromDecimal(30128, 24))) *
                                xf::fromDecimal(3010299956639811952, -19));
    star.massToLight = ZERO;
    star.completed = 0;
    star.population = static_cast<uint8_t>(population);
    return star;
}

StarProperties starFromDraw(const PopulationTable& table, ExtFloat u, uint32_t population) {
    if (population >= table.count) throw std::out_of_range("population");
    const StarPopulation& p = table.populations[population];
    // The inverse of the population's cumulative mass distribution.
    const ExtFloat mass = pow((u * p.share + p.cdfLow) * p.cdfScale, p.imfExpPlus1Inv);
    return starFromMass(table, mass, population);
}

void completeStar(StarProperties& star) {
    if (star.completed != 0) return;
    star.completed = 1;
    star.massToLight = star.mass / star.luminosity;
    static constexpr int32_t CLASS_FLOORS[] = {30000, 10000, 7500, 6000, 5200, 3700, 2400};
    uint32_t cls = 0;
    while (cls < 7 && !greaterEqual(star.temperature, xf::fromInt32(CLASS_FLOORS[cls]))) ++cls;
    star.spectralClass = cls;
}

const char* spectralClassName(const StarProperties& star) {
    static constexpr const char* NAMES[] = {
        "main sequence: O", "main sequence: B", "main sequence: A", "main sequence: F",
        "main sequence: G", "main sequence: K", "main sequence: M", "main sequence: L",
    };
    return star.spectralClass < 8 ? NAMES[star.spectralClass] : "unknown";
}
