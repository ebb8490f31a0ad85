#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "galaxy/populations.h"
#include "numeric/constants.h"
#include "tests/test_support.h"

namespace {

// The table every component of the built galaxy shares.
const PopulationTable& table() { return builtGalaxy().components[0].populations; }

const StarPopulation& pop(uint32_t i) { return table().populations[i]; }

double d(ExtFloat v) { return toDouble(v); }

// Relative closeness for values quoted to about ten digits.
void expectNear(double actual, double expected, double relTol, const std::string& what) {
    EXPECT_NEAR(actual, expected, std::fabs(expected) * relTol) << what;
}

// The seven populations' quoted parameters, each starting where the one before
// ends; imfCoef is normalised by the raw shares' total, 3.648553815.
TEST(Populations, QuotedParametersAndDerivedCoefficients) {
    struct Row {
        const char* name;
        double massLow, beta, gamma, alpha, lumCoef, imfCoef, share;
    };
    const Row rows[] = {
        {"Red Dwarf0", 0.08, 2.3, 0.8, -1.3, 0.2381751, 1, 0.772245875},
        {"Red Dwarf1", 0.43, 4, 0.8, -1.3, 1, 1, 0.05206163204},
        {"Red Dwarf2", 0.5, 4, 0.8, -2.3, 1, 0.5, 0.1391237009},
        {"Dwarf0", 0.9025827530, 4, 0.8, -5.3, 1, 0.3676470588, 0.01297850653},
        {"Dwarf1", 1, 4, 0.57, -5.3, 1, 0.3676470588, 0.02224412222},
        {"Main", 2, 3.5, 0.57, -4.8, 1.414213503, 0.2599657, 0.00134615878},
        {"Blue Giant", 55, 1, 0.57, -4.8, 31726.46632, 0.2599657, 4.46613252e-9},
    };
    const double total = 3.648553815;
    ASSERT_EQ(table().count, 7u);
    EXPECT_EQ(pop(0).massLow, xf::fromDecimal(8, -2));
    EXPECT_EQ(pop(6).massHigh, xf::fromInt32(150));
    ExtFloat sum{};
    for (uint32_t i = 0; i < 7; ++i) {
        SCOPED_TRACE("population " + std::to_string(i));
        const Row& r = rows[i];
        const StarPopulation& p = pop(i);
        EXPECT_EQ(p.name, r.name);
        expectNear(d(p.massLow), r.massLow, 1e-9, "massLow");
        if (i > 0) {
            EXPECT_EQ(p.massLow, pop(i - 1).massHigh);
        }
        expectNear(d(p.lumExp), r.beta, 1e-12, "beta");
        expectNear(d(p.radiusExp), r.gamma, 1e-12, "gamma");
        expectNear(d(p.imfExp), r.alpha, 1e-12, "alpha");
        expectNear(d(p.lumCoef), r.lumCoef, 1e-7, "K_L");
        expectNear(d(p.imfCoef) * total, r.imfCoef, 1e-6, "K_N");
        // The peak brightness law is the luminosity law again, but for rounding.
        expectNear(d(p.brightCoef), r.lumCoef, 1e-5, "brightCoef");
        expectNear(d(p.brightExp), r.beta, 1e-12, "brightExp");
        expectNear(d(p.brightCoefInv) * d(p.brightCoef), 1, 1e-12, "brightCoefInv");
        expectNear(d(p.brightExpInv) * d(p.brightExp), 1, 1e-12, "brightExpInv");
        expectNear(d(p.share), r.share, 1e-8, "share");
        sum += p.share;
        // The 44 display floats are the first 176 bytes of the record, in order.
        const auto* base = reinterpret_cast<const char*>(&p);
        const std::pair<const void*, int> offsets[] = {
            {p.displayParams.data(), 0}, {p.hiddenFractionF.data(), 24}, {p.bandFractionF.data(), 100}, {&p.massLow, 176}};
        for (auto [field, at] : offsets) EXPECT_EQ(static_cast<const char*>(field), base + at) << at;
        EXPECT_EQ(p.displayParams[5], 0.0f);
    }
    EXPECT_NEAR(d(sum), 1.0, 8 * std::ldexp(1.0, -47));
    expectNear(1 / d(pop(0).imfCoef), total, 1e-9, "total");
}

// Draws span the mass range and follow the power-law mass function; radius,
// luminosity, temperature and magnitude follow from the mass (Dwarf1's least
// mass is the Sun's: luminosity and radius 1, 5778 K, magnitude 4.74).
TEST(Populations, DrawsFollowTheMassFunctionAndThePhysicalLaws) {
    const ExtFloat justBelowOne{0x7FFFFFFFFFFF8001ull};  // 1 - 2^-47
    ASSERT_LT(justBelowOne, ONE);
    for (uint32_t i = 0; i < 7; ++i) {
        const StarPopulation& p = pop(i);
        SCOPED_TRACE("population " + std::to_string(i));
        const StarProperties top = starFromDraw(table(), justBelowOne, i);
        expectNear(d(top.mass), d(p.massHigh), 1e-8, "u -> 1");
        EXPECT_LE(d(top.mass), d(p.massHigh) * (1 + 1e-12));
        expectNear(d(starFromDraw(table(), ExtFloat{}, i).mass), d(p.massLow), 1e-9, "u = 0");
        const double a1 = d(p.imfExp) + 1, lo = std::pow(d(p.massLow), a1), hi = std::pow(d(p.massHigh), a1);
        for (double u : {0.0, 0.1, 0.25, 0.3, 0.5, 0.7, 0.75, 0.9, 0.99}) {
            const StarProperties s = starFromDraw(table(), xf::fromDouble(u), i);
            const double m = d(s.mass);
            const std::string at = " u " + std::to_string(u);
            EXPECT_TRUE(s.population == i && s.completed == 0 && s.massToLight.isZero()) << at;
            EXPECT_NEAR((std::pow(m, a1) - lo) / (hi - lo), u, 1e-6) << "mass function" << at;
            expectNear(d(s.radius), std::pow(m, d(p.radiusExp)), 1e-9, "radius" + at);
            expectNear(d(s.luminosity), d(p.lumCoef) * std::pow(m, d(p.lumExp)), 1e-9, "luminosity" + at);
            // Stefan-Boltzmann: L = R^2 (T / T_sun)^4, which is also T_c * m^tau.
            expectNear(d(s.temperature), 5778 * std::pow(d(s.luminosity) / (d(s.radius) * d(s.radius)), 0.25), 1e-9,
                       "temperature" + at);
            expectNear(d(s.temperature), d(p.tempCoef) * std::pow(m, d(p.tempExp)), 1e-7, "temperature law" + at);
            EXPECT_NEAR(d(s.absMagnitude), -2.5 * std::log10(d(s.luminosity) * 3.828e26 / 3.0128e28), 1e-9)
                << "magnitude" << at;
            // The display floats in single precision: R = (u f1 + f3)^f2 and 1/T = f4 R^f0.
            const auto& f = p.displayParams;
            expectNear(std::pow(u * f[1] + f[3], double(f[2])), d(s.radius), 2e-4, "display radius" + at);
            expectNear(f[4] * std::pow(d(s.radius), double(f[0])), 1 / d(s.temperature), 1e-5, "display 1/T" + at);
        }
    }
    for (uint32_t bad : {7u, ~uint32_t{0}}) EXPECT_THROW(starFromDraw(table(), HALF, bad), std::out_of_range) << bad;
    EXPECT_THROW(starFromMass(table(), ONE, 16), std::out_of_range);
}

// completeStar does not re-derive a completed record.
TEST(Populations, CompletingAStarOnce) {
    StarProperties s = starFromDraw(table(), xf::fromDouble(0.4), 3);
    completeStar(s);
    EXPECT_EQ(s.completed, 1);
    EXPECT_EQ(s.massToLight, s.mass / s.luminosity);
    const StarProperties first = s;
    s.temperature = xf::fromInt32(40000);
    s.luminosity = FOUR;
    completeStar(s);
    EXPECT_EQ(s.spectralClass, first.spectralClass);
    EXPECT_EQ(s.massToLight, first.massToLight);
}

TEST(Populations, SpectralClassBoundaries) {
    // Each class's hottest and coolest temperature: O from 30000 K down to L below 2400 K.
    const int32_t edges[][2] = {{100000, 30000}, {29999, 10000}, {9999, 7500}, {7499, 6000},
                                {5999, 5200},    {5199, 3700},   {3699, 2400}, {2399, 500}};
    for (uint32_t cls = 0; cls < 8; ++cls) {
        for (int32_t kelvin : edges[cls]) {
            StarProperties s;
            s.mass = ONE;
            s.luminosity = TWO;
            s.temperature = xf::fromInt32(kelvin);
            completeStar(s);
            EXPECT_EQ(s.spectralClass, cls) << kelvin << " K";
            EXPECT_EQ(spectralClassName(s), std::string("main sequence: ") + "OBAFGKML"[cls]) << kelvin << " K";
        }
    }
    for (uint32_t cls : {8u, 0xFFFFFFFFu}) {
        StarProperties odd;
        odd.spectralClass = cls;
        EXPECT_STREQ(spectralClassName(odd), "unknown");
    }
}

// The least mass seen from distance d, as the build defines it.
double leastVisibleMass(const StarPopulation& p, int level) {
    const ExtFloat dist = scalePow2(ONE, 64 - level);
    return d(pow(p.brightCoefInv * ((dist * dist) * LIMIT_RADIUS_INV_SQ), p.brightExpInv));
}

// Per level: the hidden fraction (the share below the least visible mass) falls
// from 1 to 0, the bands are its steps, and the band counts add up to the
// population's share of the top cube (side 2^64) at the local density.
TEST(Populations, HiddenFractionsBandsAndCellCounts) {
    const StarPopulation& red = pop(0);
    expectNear(leastVisibleMass(red, 1), 136000, 0.01, "least visible mass at level 1");
    expectNear(leastVisibleMass(red, 17), 8.8, 0.01, "least visible mass at level 17");
    EXPECT_EQ(red.hiddenFraction[17], ONE);
    EXPECT_EQ(red.bandFraction[18], ONE);
    int checked = 0;
    double allPopulations = 0;
    for (uint32_t i = 0; i < 7; ++i) {
        const StarPopulation& p = pop(i);
        SCOPED_TRACE("population " + std::to_string(i));
        EXPECT_TRUE(p.hiddenFraction[0] == ONE && p.hiddenFraction[18].isZero() && p.bandFraction[0].isZero());
        EXPECT_TRUE(p.hiddenFractionF[0] == 1.0f && p.bandFractionF[0] == 0.0f);
        EXPECT_TRUE(p.cellCount[0].isZero() && p.cellCountTop[0].isZero() && p.cellCountFixed[0] == 0);
        const double a1 = d(p.imfExp) + 1;
        double bands = 0, top = 0;
        for (int k = 1; k < POPULATION_LEVELS; ++k) {
            SCOPED_TRACE("level " + std::to_string(k));
            EXPECT_EQ(p.bandFraction[k], p.hiddenFraction[k - 1] - p.hiddenFraction[k]);
            EXPECT_FALSE(p.bandFraction[k].isNegative());
            EXPECT_EQ(p.hiddenFractionF[k], static_cast<float>(d(p.hiddenFraction[k])));
            EXPECT_FLOAT_EQ(std::ldexp(p.bandFractionF[k], 31), static_cast<float>(d(p.bandFraction[k])));
            const double side = std::ldexp(1.0, 64 - k);
            expectNear(d(p.cellCount[k]), d(p.bandFraction[k]) * d(p.share) * side * side * side * d(LOCAL_DENSITY),
                       1e-12, "cellCount");
            expectNear(d(p.cellCountTop[k]), d(p.cellCount[k]) * std::ldexp(1.0, 3 * k), 1e-14, "cellCountTop");
            // 32.32 fixed point, truncated.
            const double fixed = std::floor(std::ldexp(d(p.cellCount[k]), 32));
            EXPECT_NEAR(static_cast<double>(p.cellCountFixed[k]), fixed, fixed * 1e-14 + 1);
            // The level masks mark the populations with stars at each level.
            EXPECT_EQ((table().levelMask[k] >> i) & 1, p.cellCountFixed[k] != 0);
            bands += d(p.bandFraction[k]);
            top += d(p.cellCountTop[k]);
            if (k == 18) break;
            const double m = leastVisibleMass(p, k);
            double expected = 1;
            if (m <= d(p.massLow))
                expected = 0;
            else if (m < d(p.massHigh))
                expected = (std::pow(m, a1) - std::pow(d(p.massLow), a1)) /
                           (std::pow(d(p.massHigh), a1) - std::pow(d(p.massLow), a1));
            if (expected > 0 && expected < 1) ++checked;
            EXPECT_NEAR(d(p.hiddenFraction[k]), expected, 1e-6);
        }
        EXPECT_NEAR(bands, 1.0, 1e-12);
        expectNear(top, d(p.share) * std::ldexp(1.0, 192) * d(LOCAL_DENSITY), 1e-12, "top cube");
        allPopulations += top;
    }
    EXPECT_GE(checked, 5);  // the Main and Blue Giant populations cross several levels
    // 0.14 stars per cubic parsec over a cube 2^64 units on a side.
    const double sidePc = std::ldexp(1.0, 64) * 1e4 / 3.085677581e16;
    expectNear(allPopulations, 0.14 * sidePc * sidePc * sidePc, 1e-6, "all stars of the top cube");
    EXPECT_EQ(table().levelMask[0], 0u);
}

TEST(Populations, FixedPointCountsSaturateAndNeverGoNegative) {
    const std::pair<ExtFloat, uint64_t> rows[] = {
        {ExtFloat{}, 0}, {xf::fromDecimal(15, -1), uint64_t{3} << 31}, {scalePow2(ONE, -32), 1},
        {scalePow2(ONE, -33), 0}, {scalePow2(ONE, 31), uint64_t{1} << 63}, {scalePow2(ONE, 32), ~uint64_t{0}},
        {scalePow2(ONE, 1000), ~uint64_t{0}}, {neg(scalePow2(ONE, -40)), 0}, {neg(xf::fromInt32(7)), 0},
        {ExtFloat::Invalid, 0}};
    for (const auto& [v, fixed] : rows) EXPECT_EQ(cellCountFixedPoint(v), fixed) << std::hex << v.w;
    EXPECT_THROW(cellCountFixedPoint(ExtFloat{0x4000000000000000ull + 65530}), std::overflow_error);
}

std::string hex(uint64_t w) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%016llX", static_cast<unsigned long long>(w));
    return buf;
}

// The commands print the table's words; each population's block under its name.
TEST(PopulationsCli, PopulationsStarAndNameCommands) {
    const std::string out = "\n" + runCli("populations").out;
    for (uint32_t i = 0; i < 7; ++i) {
        const StarPopulation& p = pop(i);
        const size_t at = out.find("\n" + p.name + "\n");
        const std::string block = out.substr(at, out.find("\n\n", at + 1) - at);
        for (const std::string& line :
             {"\nshare " + hex(p.share.w) + "\n", "\nbrightExpInv " + hex(p.brightExpInv.w) + "\n",
              "\nhiddenFraction[17] " + hex(p.hiddenFraction[17].w) + "\n",
              "\ncellCountTop[9] " + hex(p.cellCountTop[9].w) + "\n",
              "\ncellCountFixed[18] " + std::to_string(p.cellCountFixed[18])})
            EXPECT_NE(block.find(line), std::string::npos) << p.name << line;
    }
    EXPECT_NE(out.find("\nlevelMask[18] " + hex(table().levelMask[18]) + "\n"), std::string::npos);
    // star takes a draw as a decimal or a word; name prints an index and code.
    StarProperties s = starFromDraw(table(), xf::fromDouble(0.5), 4);
    completeStar(s);
    const std::string decimal = runCli("star 4 0.5").out;
    EXPECT_NE(decimal.find("mass " + hex(s.mass.w)), std::string::npos) << decimal;
    EXPECT_NE(decimal.find("temperature " + hex(s.temperature.w)), std::string::npos);
    EXPECT_NE(decimal.find("spectralClass 3 main sequence: F\n"), std::string::npos) << decimal;
    EXPECT_EQ(runCli("star 4 " + hex(xf::fromDouble(0.5).w)).out, decimal);
    EXPECT_EQ(runCli("name 100 200 -300").out, "index 214147592\ncode DNMDQMM\n");
}

}  // namespace
