#include "starfield/view_limits.h"

#include <cmath>

#include "numeric/constants.h"
#include "numeric/exact_math.h"

namespace {

// The largest luminosity any population of the table reaches at either end of its mass range.
double brightestLuminosity(const PopulationTable& table) {
    double x = 0;
    for (uint32_t p = 0; p < table.count; ++p) {
        const StarPopulation& pop = table.populations[p];
        for (ExtFloat m : {pop.massLow, pop.massHigh}) {
            const double l = toDouble(starFromMass(table, m, p).luminosity);
            if (l > x) x = l;
        }
    }
    return x;
}

}  // namespace

ViewLimits defaultViewLimits(const Galaxy& galaxy) {
    return computeViewLimits(galaxy, DEFAULT_MAX_MAGNITUDE, DEFAULT_VIEW_ANGLE, DEFAULT_DISPLAY_HEIGHT);
}

ViewLimits computeViewLimits(const Galaxy& galaxy, double maxMagnitude, double viewAngle, int displayHeight) {
    const GalaxyComponent* components = galaxy.components.get();
    ViewLimits v;
    for (uint32_t c = 0; c < galaxy.count; ++c) {
        const double h = displayHeight;
        const double fs = h * 6.283185307179586 / (viewAngle * 4 * 0.56419);
        v.foregroundSize = fs * fs;
        v.foregroundDistance = saturatingUint64(toDouble(mul(STAR_RADIUS_MAX, STAR_RADIUS_MAX)) * v.foregroundSize *
                                                std::ldexp(1.0, -32));
        // 10^x rounded the same everywhere: D sets the bounds that decide which
        // voxels are created and which of their stars are shown.
        const double D = exactPowTen((maxMagnitude - toDouble(SUN_ABS_MAG)) / 5 + 1) / UNIT_PARSECS_DOUBLE;
        const double D2 = D * 0.25 * std::sqrt(0.05);
        const double rootScale = D / std::sqrt(toDouble(SCALE_INV));
        const double S = rootScale * rootScale;
        v.limitScale = S;
        v.nearFactor = static_cast<float>(S * 0.25);
        v.nearRatio = static_cast<float>(4 / S * 18446744073709551616.0);
        v.pointRatio = static_cast<float>(0.0125 / S * 18446744073709551616.0);
        const double X = brightestLuminosity(components[c].populations);
        const uint64_t Q = saturatingUint64(3 * X * D2 * 4e-13);
        v.nearBoundFaint = static_cast<uint64_t>((static_cast<xf::detail::u128>(Q) * Q) >> 64);
        const double q = 3 * X * D / 5e6;
        v.nearKeyFloor = static_cast<float>(16 * (q * q) / S);
        const double radiusSq = toDouble(LIMIT_RADIUS_SQ);
        v.createBound = saturatingInt64(S / (radiusSq * 0.0125) - 1);
        v.keepBound = saturatingUint64(1.1 * S / (radiusSq * 0.0125));
    }
    return v;
}
