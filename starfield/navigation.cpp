#include "starfield/navigation.h"

#include <algorithm>
#include <cmath>

#include "numeric/constants.h"
#include "numeric/exact_math.h"

double speedFromLevel(int32_t level) {
    static constexpr double STEPS[10] = {1, 2, 4, 8, 16, 32, 64, 125, 250, 500};
    // Floor division: -1 is q = -1, r = 9.
    int32_t q = level / 10;
    int32_t r = level % 10;
    if (r < 0) {
        r += 10;
        q -= 1;
    }
    double speed = STEPS[r];
    // Repeated multiplication and division keep the common levels exact
    // (0.5 for -1, 1e12 for 40).
    for (int32_t i = 0; i < q; ++i) speed *= 1000.0;
    for (int32_t i = 0; i > q; --i) speed /= 1000.0;
    return speed;
}

double baseSpeed() { return 1e-12 / UNIT_PARSECS_DOUBLE; }

bool isOrthonormal(Vec3d forward, Vec3d up, double tolerance) {
    auto unitLength = [tolerance](Vec3d v) {
        return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z) &&
               std::fabs(std::sqrt(dot(v, v)) - 1.0) <= tolerance;
    };
    return unitLength(forward) && unitLength(up) && std::fabs(dot(forward, up)) <= tolerance;
}

void orthonormalise(Vec3d& forward, Vec3d& up) {
    forward = forward * (1.0 / std::sqrt(dot(forward, forward)));
    up = up - forward * dot(up, forward);
    up = up * (1.0 / std::sqrt(dot(up, up)));
}

namespace {

struct Quaternion {
    double w, x, y, z;
};

Quaternion multiply(const Quaternion& a, const Quaternion& b) {
    return {a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z,
            a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
            a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
            a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w};
}

// Rotation by angle (radians) about a unit axis. The sine and cosine (and the
// exponential of the fly-to below) are the engine's own, correctly rounded, so
// that the same inputs turn and move the viewpoint alike on every machine.
Quaternion aroundAxis(Vec3d axis, double angle) {
    const double s = exactSin(angle * 0.5);
    return {exactCos(angle * 0.5), axis.x * s, axis.y * s, axis.z * s};
}

// q v q*
Vec3d rotate(const Quaternion& q, Vec3d v) {
    const Quaternion p{0, v.x, v.y, v.z};
    const Quaternion conj{q.w, -q.x, -q.y, -q.z};
    const Quaternion r = multiply(multiply(q, p), conj);
    return {r.x, r.y, r.z};
}

Vec3d unit(Vec3d v) { return v * (1.0 / std::sqrt(dot(v, v))); }

// A coordinate held at the edge of space.
int64_t insideSpace(__int128 v) {
    return static_cast<int64_t>(v < -POSITION_LIMIT ? -POSITION_LIMIT : v > POSITION_LIMIT ? POSITION_LIMIT : v);
}

// Moves a coordinate by `scaled` position units x 2^64, fraction included, so
// that steps shorter than a unit add up. A step that would leave space (a
// long frame at the highest speeds near the edge) stops at the edge, the same
// on every machine.
void advance(FixedCoord& c, double scaled) {
    if (!(scaled == scaled)) return;
    using Wide = __int128;
    const Wide edge = static_cast<Wide>(static_cast<unsigned __int128>(POSITION_LIMIT) << 64);
    const Wide here = std::clamp(
        static_cast<Wide>(static_cast<unsigned __int128>(static_cast<Wide>(c.integer)) << 64 | c.fraction), -edge,
        edge);
    Wide sum;
    if (std::fabs(scaled) < 0x1p125) {
        sum = std::clamp(here + static_cast<Wide>(scaled), -edge, edge);  // edge is 3 x 2^125: no overflow
    } else {
        // A step across a good part of space: double precision is ample.
        const double to = std::clamp(static_cast<double>(here) + scaled, -static_cast<double>(edge),
                                     static_cast<double>(edge));
        sum = static_cast<Wide>(to);
    }
    c.integer = static_cast<int64_t>(sum >> 64);
    c.fraction = static_cast<uint64_t>(sum);
}

// (a * (2^32 - w) + b * w) / 2^32 in 128-bit arithmetic: the point a fraction
// w / 2^32 of the way from a to b (beyond a, away from b, for a negative w:
// backing off from a target closer than the stop distance), held in space.
int64_t blend(int64_t a, int64_t b, int64_t w) {
    const __int128 one = static_cast<__int128>(1) << 32;
    const __int128 sum = static_cast<__int128>(a) * (one - w) + static_cast<__int128>(b) * w;
    return insideSpace(sum / one);
}

// The velocity of the translation inputs, position units per second x 2^64:
// forward (Space or Left Ctrl, back with Left Alt), up (I, M) and right (K,
// J), each at speed x baseSpeed; the Go button forwards at 50 times that.
// Zero when the inputs cancel or none is held.
Vec3d translationVelocity(const Viewpoint& view, const bool* keyDown) {
    auto held = [&](int key) { return keyDown[key] ? 1 : 0; };
    const int forwardIn = 50 * view.goInput + ((held(navkey::SPACE) | held(navkey::LEFT_CONTROL)) ? 1 : 0) -
                          held(navkey::LEFT_ALT);
    const int upIn = held(navkey::I) - held(navkey::M);
    const int rightIn = held(navkey::K) - held(navkey::J);
    if (forwardIn == 0 && upIn == 0 && rightIn == 0) return {0, 0, 0};
    const Vec3d F = view.forward, U = view.up;
    const double v = speedFromLevel(view.speedLevel) * baseSpeed();
    return (F * forwardIn + U * upIn + cross(F, U) * rightIn) * (TWO_POW_64 * v);
}

// The rotation that turns unit vector F onto unit vector T by the shortest
// way; straight back, a half turn about U x F.
Quaternion turnOnto(Vec3d F, Vec3d U, Vec3d T) {
    Vec3d axis = cross(F, T);
    const double s = std::sqrt(dot(axis, axis));
    const double c = dot(F, T);
    if (s == 0) {
        if (c >= 0) return {1, 0, 0, 0};
        axis = cross(U, F);
    }
    return aroundAxis(unit(axis), std::atan2(s, c));
}

}  // namespace

void arriveNextTo(Viewpoint& view, const int64_t target[3]) {
    // The way to the target, exact in 128 bits before it widens to double.
    double way[3];
    for (int axis = 0; axis < 3; ++axis) {
        way[axis] = static_cast<double>(static_cast<__int128>(target[axis]) - view.position[axis].integer);
    }
    Vec3d T{way[0], way[1], way[2]};
    T = dot(T, T) > 0 ? unit(T) : view.forward;
    // 0.1 AU short of it on that line, to the nearest position unit.
    const double back[3] = {T.x, T.y, T.z};
    for (int axis = 0; axis < 3; ++axis) {
        view.position[axis].integer =
            insideSpace(static_cast<__int128>(target[axis]) - std::llround(back[axis] * FLY_TO_STOP_DISTANCE));
        view.position[axis].fraction = 0;
    }
    const Quaternion q = turnOnto(view.forward, view.up, T);
    view.forward = rotate(q, view.forward);
    view.up = rotate(q, view.up);
    orthonormalise(view.forward, view.up);
    view.flyingToTarget = false;
    view.turningToTarget = false;
}

NavigationResult navigate(Viewpoint& view, const bool* keyDown, double dt) {
    NavigationResult result{false, false, false, {0, 0, 0}};
    auto held = [&](int key) { return keyDown[key] ? 1 : 0; };

    // 1. Translation inputs.
    const Vec3d velocity = translationVelocity(view, keyDown);
    view.goInput = 0;

    const Vec3d F = view.forward;
    const Vec3d U = view.up;

    if (velocity.x != 0 || velocity.y != 0 || velocity.z != 0) {
        // 2. Move along the inputs at speed x baseSpeed.
        const double components[3] = {velocity.x, velocity.y, velocity.z};
        for (int axis = 0; axis < 3; ++axis) advance(view.position[axis], components[axis] * dt);
        result.velocity = velocity;
        result.translating = true;
        view.flyingToTarget = false;
        view.turningToTarget = false;
        result.moved = result.redraw = true;
    } else if (view.flyingToTarget) {
        // 3. Fly towards the target, slowing exponentially, and stop 0.1 AU short.
        double squared = 0;
        for (int axis = 0; axis < 3; ++axis) {
            const double diff = static_cast<double>(view.flyTarget[axis]) -
                                static_cast<double>(view.position[axis].integer);
            squared += diff * diff;
        }
        const double d = std::sqrt(squared);
        if (d == 0) {
            view.flyingToTarget = false;  // already there: nothing to move
        } else {
            const double f = exactExp(-10.0 * dt * std::sqrt(std::ldexp(1.0, view.speedLevel - 40)));
            const double step = std::min((1.0 - f) * d, speedFromLevel(view.speedLevel) * baseSpeed() * dt);
            double fraction;
            if (step >= d - FLY_TO_STOP_DISTANCE) {
                fraction = (d - FLY_TO_STOP_DISTANCE) / d;
                view.flyingToTarget = false;
            } else {
                fraction = step / d;
            }
            const int64_t w = static_cast<int64_t>(std::trunc(fraction * 4294967296.0));
            for (int axis = 0; axis < 3; ++axis) {
                view.position[axis].integer = blend(view.position[axis].integer, view.flyTarget[axis], w);
                view.position[axis].fraction = 0;
            }
            result.moved = result.redraw = true;
        }
    }

    // 4. Rotation inputs in radians per second; Caps Lock aims finely.
    const double k = view.capsLock ? 0.1 : 1.0;
    const double pitch = k * (held(navkey::S) - held(navkey::W)) + view.pitchInput;
    const double roll = k * (held(navkey::D) - held(navkey::A)) + view.rollInput;
    const double yaw = k * (held(navkey::X) - held(navkey::Z));
    view.pitchInput = 0;
    view.rollInput = 0;

    bool rotating = false;
    Quaternion q{1, 0, 0, 0};
    if (pitch == 0 && roll == 0 && yaw == 0) {
        if (view.turningToTarget) {
            // 5. Turn towards the target at 2 radians per second.
            const Vec3d T = view.turnTarget;
            Vec3d axis = cross(F, T);
            const double s = std::sqrt(dot(axis, axis));
            const double c = dot(F, T);
            if (s == 0) {
                if (c >= 0) {
                    view.turningToTarget = false;
                    return result;
                }
                axis = cross(U, F);  // straight behind: pitch round, half a turn left
            }
            // The last step turns by exactly the angle left, atan2(s, c). (Its
            // sine s is the same for small angles, but after a slow frame it
            // would stop the turn short of the star: 10 degrees short of a
            // 60 degree turn made in one step.)
            double a = 2.0 * dt;
            const double remaining = std::atan2(s, c);
            if (a >= remaining) {
                a = remaining;
                view.turningToTarget = false;
            }
            q = aroundAxis(unit(axis), a);
            rotating = true;
        }
    } else {
        // 6. Pitch about U x F, roll about F, yaw about U, all as they stand now.
        q = multiply(multiply(aroundAxis(unit(cross(U, F)), -pitch * dt), aroundAxis(F, roll * dt)),
                     aroundAxis(U, -yaw * dt));
        result.redraw = true;
        view.turningToTarget = false;
        rotating = true;
    }

    if (rotating) {
        // 7. Apply and re-orthonormalise.
        view.forward = rotate(q, F);
        view.up = rotate(q, U);
        orthonormalise(view.forward, view.up);
    }
    return result;
}

NavigationResult navigateOver(Viewpoint& view, HeldKeys& keys, const KeyEvent* events, size_t count, uint64_t now) {
    NavigationResult total{false, false, false, {0, 0, 0}};
    const int32_t go = view.goInput, roll = view.rollInput, pitch = view.pitchInput;
    auto stepTo = [&](uint64_t until) {
        while (keys.clock < until) {
            const uint64_t span = std::min(until - keys.clock, MAX_NAVIGATION_STEP_NS);
            view.goInput = go;
            view.rollInput = roll;
            view.pitchInput = pitch;
            const NavigationResult r = navigate(view, keys.down, static_cast<double>(span) * 1e-9);
            total.moved |= r.moved;
            total.redraw |= r.redraw;
            total.translating |= r.translating;
            keys.clock += span;
        }
    };
    for (size_t i = 0; i < count; ++i) {
        const KeyEvent& e = events[i];
        if (e.key < 0 || e.key >= navkey::COUNT) continue;
        stepTo(std::min(e.time, now));
        const bool pressed = e.down && !keys.down[e.key];
        keys.down[e.key] = e.down;
        if (pressed && e.key == navkey::COMMA) view.speedLevel -= 1;
        if (pressed && e.key == navkey::PERIOD && view.speedLevel < MAX_SPEED_LEVEL) view.speedLevel += 1;
    }
    stepTo(now);
    // What is held now sets the velocity the star field looks ahead by.
    view.goInput = go;
    total.velocity = translationVelocity(view, keys.down);
    view.goInput = view.rollInput = view.pitchInput = 0;
    return total;
}

void dragView(Viewpoint& view, const DisplayView& display, double fromX, double fromY, double toX, double toY,
              bool roll, bool fine) {
    // The camera turns so that the direction `to` shows now comes to show
    // the direction `from` showed: then that direction is under the pointer.
    const Vec3d was = displayDirection(display, fromX, fromY);
    const Vec3d now = displayDirection(display, toX, toY);
    const Vec3d f = view.forward * (1.0 / std::sqrt(dot(view.forward, view.forward)));
    Vec3d axis;
    double angle = 0;
    if (roll) {
        // About the view's direction only: the angle between the two
        // directions' parts across it.
        const Vec3d a = now - f * dot(now, f);
        const Vec3d b = was - f * dot(was, f);
        axis = f;
        angle = std::atan2(dot(f, cross(a, b)), dot(a, b));
    } else {
        axis = cross(now, was);
        angle = std::atan2(std::sqrt(dot(axis, axis)), dot(now, was));
    }
    const double length = std::sqrt(dot(axis, axis));
    if (!(length > 0) || !(std::fabs(angle) > 0)) return;
    if (fine) angle *= 0.1;
    const Quaternion q = aroundAxis(axis * (1.0 / length), angle);
    view.forward = rotate(q, view.forward);
    view.up = rotate(q, view.up);
    orthonormalise(view.forward, view.up);
    view.turningToTarget = false;
}
