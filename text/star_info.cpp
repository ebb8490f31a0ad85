#include "text/star_info.h"

#include <cmath>
#include <cstdio>

#include "numeric/constants.h"
#include "text/markup.h"

namespace {

// One astronomical unit in position units, and 1000 of them.
constexpr double AU_UNITS = 14959787.0691;
constexpr double THOUSAND_AU_UNITS = 14959786919.50213;
// Solar radius in kilometres (the constant is in position units of 10 km).
const double SUN_RADIUS_KM = toDouble(SUN_RADIUS) * toDouble(UNIT_METRES) / 1000.0;

std::string format(const char* fmt, double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, value);
    return buf;
}

double distanceFrom(const StarRecord& s, const int64_t at[3]) {
    // Differences wrap like the star field's, then widen to double.
    const auto d = [](int64_t a, int64_t b) {
        return static_cast<double>(static_cast<int64_t>(static_cast<uint64_t>(a) - static_cast<uint64_t>(b)));
    };
    const double dx = d(s.x, at[0]), dy = d(s.y, at[1]), dz = d(s.z, at[2]);
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

}  // namespace

std::string starDistanceText(double d) {
    if (d < THOUSAND_AU_UNITS) return format("%10.8f", d / AU_UNITS) + " AU";
    const double p = d * UNIT_PARSECS_DOUBLE;
    if (p < 999.99999) return format("%12.8f", p) + " pc";
    if (p < 999999.99) return format("%12.8f", p * 0.001) + " kpc";
    return format("%12.8f", p * 1e-6) + " Mpc";
}

std::string starInfoText(const SearchResult& star, const int64_t viewpoint[3], const StarProperties& properties) {
    const StarRecord& s = star.star;
    std::string text = "Name: " + markupLiteral(star.name) + "\n";
    text += "|fx|v: |f" + format("%18.10f", static_cast<double>(s.x) * UNIT_PARSECS_DOUBLE) + "|v pc\n";
    text += "|fy|v: |f" + format("%18.10f", static_cast<double>(s.y) * UNIT_PARSECS_DOUBLE) + "|v pc\n";
    text += "|fz|v: |f" + format("%18.10f", static_cast<double>(s.z) * UNIT_PARSECS_DOUBLE) + "|v pc\n";
    const double d = distanceFrom(s, viewpoint);
    text += "Distance:" + starDistanceText(d) + "\n";
    text += "Type: " + std::string(spectralClassName(properties)) + "\n";
    const double absMag = toDouble(properties.absMagnitude);
    const double parsecs = d * UNIT_PARSECS_DOUBLE;
    text += "Magnitude:" + format("%6.2f", 5.0 * (std::log10(parsecs) - 1.0) + absMag) + "\n";
    text += "Abs Magnitude:" + format("%6.2f", absMag) + "\n";
    text += "Temperature: " + format("%.0f", toDouble(properties.temperature)) + " K\n";
    char colour[16];
    std::snprintf(colour, sizeof colour, "%02X%02X%02X", 2u * s.colour[0], 2u * s.colour[1], 2u * s.colour[2]);
    text += "Colour: #" + std::string(colour) + "\n";
    text += "Radius: " + format("%.0f", toDouble(properties.radius) * SUN_RADIUS_KM) + " km\n";
    return text;
}
