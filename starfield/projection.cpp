#include "starfield/projection.h"

#include <cmath>

DisplayPoint projectToDisplay(const DisplayView& view, const int64_t offset[3]) {
    const Vec3d d{static_cast<double>(offset[0]), static_cast<double>(offset[1]), static_cast<double>(offset[2])};
    const Vec3d f = view.forward * (1.0 / std::sqrt(dot(view.forward, view.forward)));
    Vec3d s = cross(f, view.up);
    s = s * (1.0 / std::sqrt(dot(s, s)));
    const Vec3d u = cross(s, f);
    DisplayPoint p;
    const double depth = dot(d, f);
    if (!(depth > 0)) return p;
    const double W = view.width, H = view.height;
    const double t = std::tan(view.viewAngle * 3.141592653589793 / 180.0 * (W / H) / 2.0);
    const double scale = W / (2.0 * t);  // pixels per unit of the tangent
    p.inFront = true;
    p.x = W / 2 + dot(d, s) / depth * scale;
    p.y = H / 2 - dot(d, u) / depth * scale;
    return p;
}

Vec3d displayDirection(const DisplayView& view, double x, double y) {
    const Vec3d f = view.forward * (1.0 / std::sqrt(dot(view.forward, view.forward)));
    Vec3d s = cross(f, view.up);
    s = s * (1.0 / std::sqrt(dot(s, s)));
    const Vec3d u = cross(s, f);
    const double W = view.width, H = view.height;
    const double scale = W / (2.0 * std::tan(view.viewAngle * 3.141592653589793 / 180.0 * (W / H) / 2.0));
    const Vec3d d = f + s * ((x - W / 2) / scale) - u * ((y - H / 2) / scale);
    return d * (1.0 / std::sqrt(dot(d, d)));
}
