#include "render/exposure.h"

#include <algorithm>
#include <cmath>
#include <vector>

double autoExposureTarget(const float* blocks, size_t count) {
    std::vector<double> light;
    light.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const double sum = blocks[2 * i], weight = blocks[2 * i + 1];
        if (!(weight > 0) || !std::isfinite(sum)) continue;
        light.push_back(std::max(0.0, sum / weight));
    }
    if (light.empty()) return AUTO_EXPOSURE_HIGHEST;
    const size_t at = (light.size() - 1) * 99 / 100;
    std::nth_element(light.begin(), light.begin() + static_cast<std::ptrdiff_t>(at), light.end());
    const double brightest = light[at];
    if (!(brightest > 0)) return AUTO_EXPOSURE_HIGHEST;
    const double sky = brightest * AUTO_EXPOSURE_SKY;
    double logSum = 0;
    size_t lit = 0;
    for (double v : light) {
        if (v > sky) {
            logSum += std::log(v);
            ++lit;
        }
    }
    const double average = std::exp(logSum / static_cast<double>(lit));
    const double target = std::min(AUTO_EXPOSURE_KEY / average, AUTO_EXPOSURE_BRIGHTEST / brightest);
    return std::clamp(target, AUTO_EXPOSURE_LOWEST, AUTO_EXPOSURE_HIGHEST);
}

double adaptExposure(double current, double target, double seconds) {
    if (!(current > 0) || !std::isfinite(current)) return target;
    if (!(seconds > 0)) return current;
    const double keep = std::exp(-seconds / AUTO_EXPOSURE_SECONDS);
    return std::exp(std::log(target) + (std::log(current) - std::log(target)) * keep);
}

bool exposureSettling(double current, double target) { return std::abs(std::log(current / target)) > 0.02; }
