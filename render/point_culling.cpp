#include "render/point_culling.h"

#include <array>
#include <cmath>

namespace {

// 2^k for k = -64 .. 63, the exponents a record's position and luminosity carry.
const std::array<double, 128> POWERS = [] {
    std::array<double, 128> p{};
    for (int k = 0; k < 128; ++k) p[k] = std::ldexp(1.0, k - 64);
    return p;
}();

}  // namespace

void visiblePoints(const PointRecord* records, uint32_t count, const PointView& v, double margin,
                   std::vector<uint32_t>& slots) {
    const double across = v.tanAcross + margin, down = v.tanDown + margin;
    // Half the faintest luminosity: a margin for the program's single precision.
    const double faintest = 0.5 * FAINTEST_POINT / v.luminosityConst;
    for (uint32_t i = 0; i < count; ++i) {
        const PointRecord& p = records[i];
        const auto w3 = static_cast<int32_t>(p.w[3]);
        const int mantissa = (w3 >> 13) & 4095;
        if (mantissa == 0) continue;  // a cleared slot, or no light
        const double scale = POWERS[(w3 & 63) - 48 + 64];
        double d[3];
        for (int a = 0; a < 3; ++a) d[a] = static_cast<double>(static_cast<int32_t>(p.w[a]) >> 7) * scale - v.eye[a];
        const double ahead = d[0] * v.forward[0] + d[1] * v.forward[1] + d[2] * v.forward[2];
        if (!(ahead > 0)) continue;
        const double x = d[0] * v.right[0] + d[1] * v.right[1] + d[2] * v.right[2];
        const double y = d[0] * v.up[0] + d[1] * v.up[1] + d[2] * v.up[2];
        if (std::abs(x) > across * ahead || std::abs(y) > down * ahead) continue;
        const double distanceSquared = d[0] * d[0] + d[1] * d[1] + d[2] * d[2];
        if (mantissa * POWERS[(w3 >> 25) + 64] < faintest * distanceSquared) continue;
        slots.push_back(i);
    }
}
