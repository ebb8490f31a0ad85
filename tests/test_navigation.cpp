#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "numeric/constants.h"
#include "starfield/navigation.h"

namespace {

Viewpoint makeView() {
    Viewpoint v{};
    v.forward = {1, 0, 0};
    v.up = {0, 0, 1};
    v.speedLevel = 40;
    return v;
}

double length(Vec3d v) { return std::sqrt(dot(v, v)); }

}  // namespace

// Levels 0 to 9 double the speed, rounded from 128 on; ten steps are exactly
// a factor 1000 across the whole range, and the common levels exact (that
// level 40 travels one parsec a second: the tests over time).
TEST(SpeedTable, LevelsFollowTheDoublingTableAndTheFactorThousand) {
    const double steps[] = {1, 2, 4, 8, 16, 32, 64, 125, 250, 500};
    for (int level = 0; level < 10; ++level) EXPECT_EQ(speedFromLevel(level), steps[level]) << level;
    const std::pair<int, double> levels[] = {{-1, 0.5}, {40, 1e12}, {-10, 0.001}};
    for (const auto& [level, speed] : levels) EXPECT_EQ(speedFromLevel(level), speed) << level;
    for (int level = -30; level < 40; ++level)
        EXPECT_DOUBLE_EQ(speedFromLevel(level + 10) / speedFromLevel(level), 1000.0) << level;
}

// Each translation input moves along forward, up or forward x up (right) by
// speed x time, Go at fifty times the speed, and turns nothing; opposing keys
// cancel; moving ends a fly-to and a turn. Each rotation key turns at one
// radian per second about its own axis, in its own direction, moves nothing
// and ends a turn; with Caps Lock it turns at a tenth of that: W/S pitch
// forward towards -up/+up, A/D roll up towards left/right, Z/X yaw forward
// towards left/right. makeView: forward +x, up +z, so right is -y.
TEST(Navigation, EachKeyMovesOrTurnsItsOwnWayAndCapsLockAimsAtATenth) {
    enum Axis { NONE, PITCH, ROLL, YAW };
    struct Case {
        const char* name;
        std::vector<int> keys;
        int go;
        Vec3d along;  // in units of speed x time
        Axis axis = NONE;
        double sign = 0;
    };
    const Case cases[] = {
        {"space: forward", {navkey::SPACE}, 0, {1, 0, 0}},
        {"left control: forward", {navkey::LEFT_CONTROL}, 0, {1, 0, 0}},
        {"space and control: forward once", {navkey::SPACE, navkey::LEFT_CONTROL}, 0, {1, 0, 0}},
        {"left alt: backward", {navkey::LEFT_ALT}, 0, {-1, 0, 0}},
        {"space and alt cancel", {navkey::SPACE, navkey::LEFT_ALT}, 0, {0, 0, 0}},
        {"I: up", {navkey::I}, 0, {0, 0, 1}},
        {"M: down", {navkey::M}, 0, {0, 0, -1}},
        {"K: right", {navkey::K}, 0, {0, -1, 0}},
        {"J: left", {navkey::J}, 0, {0, 1, 0}},
        {"Go: fifty times forward", {}, 1, {50, 0, 0}},
        {"W", {navkey::W}, 0, {}, PITCH, -1},
        {"S", {navkey::S}, 0, {}, PITCH, 1},
        {"A", {navkey::A}, 0, {}, ROLL, -1},
        {"D", {navkey::D}, 0, {}, ROLL, 1},
        {"Z", {navkey::Z}, 0, {}, YAW, -1},
        {"X", {navkey::X}, 0, {}, YAW, 1},
    };
    const Vec3d F{1, 0, 0}, U{0, 0, 1}, R{0, -1, 0};
    const double dt = 0.01;
    for (const Case& c : cases) {
        for (bool caps : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (caps ? " with Caps Lock" : ""));
            Viewpoint v = makeView();
            v.capsLock = caps;
            const bool moves = dot(c.along, c.along) > 0;
            v.flyingToTarget = moves;
            v.turningToTarget = moves || c.axis != NONE;
            v.turnTarget = {0, 1, 0};
            v.goInput = c.go;
            bool keys[navkey::COUNT] = {};
            for (int k : c.keys) keys[k] = true;
            const NavigationResult r = navigate(v, keys, dt);
            const double step = speedFromLevel(v.speedLevel) * baseSpeed() * dt;
            const double along[3] = {c.along.x, c.along.y, c.along.z};
            for (int a = 0; a < 3; ++a) EXPECT_NEAR(static_cast<double>(v.position[a].integer), along[a] * step, 1.0) << a;
            EXPECT_EQ(r.moved, moves);
            EXPECT_EQ(r.translating, moves);
            EXPECT_NEAR(dot(r.velocity, c.along), moves ? dot(c.along, c.along) * step / dt * TWO_POW_64 : 0,
                        1e-9 * step / dt * TWO_POW_64);
            EXPECT_TRUE(r.redraw || c.axis == NONE);
            EXPECT_FALSE(v.flyingToTarget || v.turningToTarget);
            EXPECT_EQ(v.goInput, 0);
            const double angle = (caps ? 0.1 : 1.0) * dt, co = std::cos(angle), si = c.sign * std::sin(angle);
            Vec3d f = F, u = U;
            if (c.axis == PITCH) f = F * co + U * si, u = U * co - F * si;
            if (c.axis == ROLL) u = U * co + R * si;
            if (c.axis == YAW) f = F * co + R * si;
            EXPECT_LT(length(v.forward - f), 1e-12);
            EXPECT_LT(length(v.up - u), 1e-12);
        }
    }
}

// From afar, from closer than the stop distance (it backs off) and with the
// target straight behind, a fly-to ends 0.1 AU short of the target on the
// line from the start, on a whole unit; at the target itself it completes
// without moving. Arriving next to the target at once ends there too, facing
// it by the shortest turn (straight behind: pitched round, up turned over);
// at the target itself it backs off along forward.
TEST(Navigation, FlyToStopsPointOneAuShortOnTheStraightLine) {
    const Vec3d start{1e9, -2e9, 5e8}, behind{1e9 - 4e7, -2e9, 5e8};
    for (const Vec3d& target : {Vec3d{-3e9, 4e9, 1.5e9}, Vec3d{1e9 + 1e6, -2e9, 5e8}, behind, start}) {
        Viewpoint v = makeView();
        v.position[0] = {12345, 1000000000};
        v.position[1].integer = -2000000000;
        v.position[2].integer = 500000000;
        v.flyTarget[0] = static_cast<int64_t>(target.x);
        v.flyTarget[1] = static_cast<int64_t>(target.y);
        v.flyTarget[2] = static_cast<int64_t>(target.z);
        v.flyingToTarget = true;
        Viewpoint arrived = v;
        arrived.turningToTarget = true;
        arriveNextTo(arrived, v.flyTarget);
        bool keys[navkey::COUNT] = {};
        bool moved = false;
        for (int frame = 0; frame < 10000 && v.flyingToTarget; ++frame) moved = navigate(v, keys, 0.05).moved || moved;
        ASSERT_FALSE(v.flyingToTarget);
        const Vec3d end{double(v.position[0].integer), double(v.position[1].integer), double(v.position[2].integer)};
        const bool there = length(target - start) == 0;
        EXPECT_EQ(moved, !there);
        EXPECT_NEAR(length(target - end), there ? 0 : FLY_TO_STOP_DISTANCE, 4.0);
        EXPECT_EQ(v.position[0].fraction, there ? 12345u : 0u);
        if (!there) {
            EXPECT_LT(length(cross(target - start, end - start)) / length(target - start), 4.0);
        }

        const Vec3d at{double(arrived.position[0].integer), double(arrived.position[1].integer),
                       double(arrived.position[2].integer)};
        EXPECT_LT(length(at - (there ? start - Vec3d{FLY_TO_STOP_DISTANCE, 0, 0} : end)), 4.0);
        EXPECT_EQ(arrived.position[0].fraction, 0u);
        EXPECT_FALSE(arrived.flyingToTarget || arrived.turningToTarget);
        EXPECT_LT(length(arrived.forward - (target - at) * (1 / FLY_TO_STOP_DISTANCE)), 1e-6);
        const Vec3d axis = cross(makeView().forward, target - at);  // the turn keeps up's part along it
        EXPECT_NEAR(dot(arrived.up, axis), dot(makeView().up, axis), 1e-6 * length(axis));
        if (length(target - behind) == 0) {
            EXPECT_NEAR(arrived.up.z, -1.0, 1e-12);
        }
    }
}

// Targets 10, 60, 120 and 180 degrees from +x; at 2 radians per second a
// frame of a second or more turns up to 114 degrees at once. Every step turns
// by the shortest way, within the plane of +x and the target; a target
// straight behind pitches round, within the forward-up plane.
TEST(Navigation, ATurnEndsOnTheTargetWhateverTheFrameTime) {
    bool keys[navkey::COUNT] = {};
    for (double degrees : {10.0, 60.0, 120.0, 180.0}) {
        for (double dt : {0.02, 0.3, 1.0, 2.5}) {
            SCOPED_TRACE(std::to_string(degrees) + " degrees, dt " + std::to_string(dt));
            Viewpoint v = makeView();
            const double t = degrees * 3.141592653589793 / 180;
            v.turnTarget = degrees == 180 ? Vec3d{-1, 0, 0} : Vec3d{std::cos(t), std::sin(t), 0};
            v.turningToTarget = true;
            int frames = 0;
            for (; frames < 1000 && v.turningToTarget; ++frames) {
                navigate(v, keys, dt);
                EXPECT_NEAR(degrees == 180 ? v.forward.y : v.forward.z, 0.0, 1e-12);
            }
            EXPECT_FALSE(v.turningToTarget);
            EXPECT_NEAR(v.forward.x, v.turnTarget.x, 1e-9);
            EXPECT_NEAR(v.forward.y, v.turnTarget.y, 1e-9);
            EXPECT_TRUE(isOrthonormal(v.forward, v.up, 1e-12));
            if (2 * dt >= t) {
                EXPECT_EQ(frames, 1);
            }
        }
    }
}

// In all 26 directions, flying at the highest speed (ten-minute frames cover
// 10^20 units), or backing off from a star with the edge just behind (fly-to,
// arriving next to it): the viewpoint stops at the edge, never past or round
// it. A fly-to from the opposite edge, and arriving next to a star at the edge
// from there, end short of the target on the way there, inside space.
TEST(Navigation, FlightStopsAtTheEdgeOfSpaceInEveryDirection) {
    enum Way { SHORT_FRAMES, TEN_MINUTE_FRAMES, FLY_TO, ARRIVE, FLY_ACROSS, ARRIVE_ACROSS };
    for (int d = 0; d < 27; ++d) {
        const int dir[3] = {d % 3 - 1, d / 3 % 3 - 1, d / 9 - 1};
        if (dir[0] == 0 && dir[1] == 0 && dir[2] == 0) continue;
        for (const Way way : {SHORT_FRAMES, TEN_MINUTE_FRAMES, FLY_TO, ARRIVE, FLY_ACROSS, ARRIVE_ACROSS}) {
            SCOPED_TRACE(std::to_string(d) + " way " + std::to_string(way));
            Viewpoint v = makeView();
            v.speedLevel = MAX_SPEED_LEVEL;
            v.forward = {double(dir[0]), double(dir[1]), double(dir[2])};
            v.up = dir[2] == 0 ? Vec3d{0, 0, 1} : Vec3d{1, 0, 0};
            orthonormalise(v.forward, v.up);
            const bool flying = way == SHORT_FRAMES || way == TEN_MINUTE_FRAMES, across = way >= FLY_ACROSS;
            int64_t target[3];
            for (int a = 0; a < 3; ++a) {
                v.position[a].integer = dir[a] * (across ? -POSITION_LIMIT : POSITION_LIMIT - (flying ? 1000 : 10));
                target[a] = v.flyTarget[a] = dir[a] * (POSITION_LIMIT - (across ? 0 : 1000));
            }
            bool keys[navkey::COUNT] = {};
            keys[navkey::SPACE] = flying;
            v.goInput = flying ? 1 : 0;
            v.flyingToTarget = way == FLY_TO || way == FLY_ACROSS;
            if (way == ARRIVE || way == ARRIVE_ACROSS) {
                arriveNextTo(v, target);
            } else {
                const double dt = way == TEN_MINUTE_FRAMES ? 600.0 : across ? 1e6 : 0.1;
                for (int frame = 0; frame < (across ? 100 : 2) && (flying || v.flyingToTarget); ++frame)
                    navigate(v, keys, dt);
            }
            double squared = 0;
            for (int a = 0; a < 3; ++a) {
                const auto gap = static_cast<double>(static_cast<__int128>(target[a]) - v.position[a].integer);
                squared += gap * gap;
                if (!across) {
                    EXPECT_EQ(v.position[a].integer, dir[a] * POSITION_LIMIT) << a;
                } else {
                    EXPECT_TRUE(dir[a] == 0 ? gap == 0 : gap * dir[a] > 0) << "short of the target, on the way there";
                }
            }
            // The fly-to's blend weighs in steps of 2^-32 of the way: 3e9 units here.
            if (across) {
                EXPECT_FALSE(v.flyingToTarget);
                EXPECT_NEAR(std::sqrt(squared), FLY_TO_STOP_DISTANCE, way == FLY_ACROSS ? 1e10 : 2.0);
            }
        }
    }
}

namespace {

constexpr uint64_t MS = 1000000;

// The angle forward has turned away from +x (makeView's forward).
double turned(const Viewpoint& v) { return std::acos(std::clamp(v.forward.x, -1.0, 1.0)); }

// Navigation from time 0 to `end` in frames ending at `frames` (ms), with the
// events handed to the frame during which they happened.
Viewpoint flyFrames(std::vector<KeyEvent> events, std::vector<uint64_t> frames, int speedLevel = 40) {
    Viewpoint v = makeView();
    v.speedLevel = speedLevel;
    HeldKeys keys;
    size_t next = 0;
    for (uint64_t end : frames) {
        std::vector<KeyEvent> these;
        while (next < events.size() && events[next].time <= end * MS) these.push_back(events[next++]);
        navigateOver(v, keys, these.data(), these.size(), end * MS);
    }
    return v;
}

}  // namespace

// A key turns by its rate times the time it was held, whatever the frames.
TEST(NavigationOverTime, AHeldKeyTurnsByTheTimeItWasHeld) {
    struct Case {
        const char* name;
        uint64_t down, up;             // ms
        std::vector<uint64_t> frames;  // ends of the frames, ms
    };
    const Case cases[] = {
        {"60 frames a second", 100, 1100, {}},
        {"one frame a second", 300, 1300, {1000, 2000}},
        {"one frame of three seconds", 500, 1500, {3000}},
        {"a 30 ms tap inside a slow frame", 420, 450, {800, 1600}},
        {"pressed after a long rest", 5000, 5700, {5000, 5001, 6500}},
    };
    for (const Case& c : cases) {
        std::vector<uint64_t> frames = c.frames;
        if (frames.empty()) {
            for (uint64_t t = 16; t < 1200; t += 16) frames.push_back(t);
            frames.push_back(1200);
        }
        const Viewpoint v = flyFrames({{c.down * MS, navkey::W, true}, {c.up * MS, navkey::W, false}}, frames);
        EXPECT_NEAR(turned(v), (c.up - c.down) * 1e-3, 1e-9) << c.name;
        EXPECT_NEAR(length(v.forward), 1.0, 1e-12) << c.name;
    }
}

// Space for 2 s at level 40 (1 pc/s), "." after the first: 1 + 2 parsecs,
// in one frame or in many.
TEST(NavigationOverTime, SpeedKeysActAtTheirTimeAndShortStepsAddUp) {
    const std::vector<KeyEvent> events = {{0, navkey::SPACE, true},
                                          {1000 * MS, navkey::PERIOD, true},
                                          {1010 * MS, navkey::PERIOD, false},
                                          {2000 * MS, navkey::SPACE, false}};
    const double parsec = 1.0 / UNIT_PARSECS_DOUBLE;
    for (const std::vector<uint64_t>& frames : {std::vector<uint64_t>{2500}, std::vector<uint64_t>{7, 999, 1003, 1500, 2500}}) {
        const Viewpoint v = flyFrames(events, frames);
        EXPECT_EQ(v.speedLevel, 41);
        EXPECT_NEAR(static_cast<double>(v.position[0].integer) / parsec, 3.0, 1e-9);
    }
    // At level 0 the steps are fractions of a unit, which the fraction keeps.
    const Viewpoint slow = flyFrames({{0, navkey::SPACE, true}, {10000 * MS, navkey::SPACE, false}}, {10000}, 0);
    EXPECT_EQ(slow.position[0].integer, static_cast<int64_t>(10 * baseSpeed()));
    // Comma has no lower bound; period stops at 50.
    std::vector<KeyEvent> presses;
    for (int i = 0; i < 3; ++i) {
        presses.push_back({static_cast<uint64_t>(2 * i) * MS, navkey::COMMA, true});
        presses.push_back({static_cast<uint64_t>(2 * i + 1) * MS, navkey::COMMA, false});
    }
    EXPECT_EQ(flyFrames(presses, {10}, 1).speedLevel, -2);
    for (KeyEvent& e : presses) e.key = navkey::PERIOD;
    EXPECT_EQ(flyFrames(presses, {10}, 49).speedLevel, 50);
    // A second press without a release between (the key was already down) is no new step.
    EXPECT_EQ(flyFrames({{0, navkey::PERIOD, true}, {MS, navkey::PERIOD, true}, {2 * MS, navkey::PERIOD, false}}, {10})
                  .speedLevel,
              41);
}

TEST(NavigationOverTime, ButtonsActOverTheFrameAndAreConsumed) {
    Viewpoint v = makeView();
    HeldKeys keys;
    v.pitchInput = 1;
    v.goInput = 1;
    const NavigationResult r = navigateOver(v, keys, nullptr, 0, 500 * MS);
    EXPECT_NEAR(turned(v), 0.5, 1e-9);
    EXPECT_TRUE(r.translating);
    EXPECT_GT(dot(r.velocity, r.velocity), 0);  // Go is still held at the end
    EXPECT_EQ(v.pitchInput, 0);
    EXPECT_EQ(v.goInput, 0);
    EXPECT_EQ(keys.clock, 500 * MS);
    // Nothing held any more: no velocity, and a span of no time moves nothing.
    const Viewpoint before = v;
    const NavigationResult still = navigateOver(v, keys, nullptr, 0, 500 * MS);
    EXPECT_FALSE(still.moved || still.redraw);
    EXPECT_EQ(dot(still.velocity, still.velocity), 0);
    EXPECT_EQ(v.forward.x, before.forward.x);
}

// What was under the pointer where a drag began lies under it where it ends;
// Shift rolls the view about its direction only; Caps Lock turns a tenth as far.
TEST(Navigation, DraggingKeepsTheSkyUnderThePointer) {
    struct Drag {
        double fromX, fromY, toX, toY, angle;
    };
    const Drag drags[] = {{400, 300, 420, 310, 45}, {10, 590, 790, 5, 90}, {400, 300, 400, 300, 45},
                          {100, 100, 700, 500, 5}};
    const Vec3d F = makeView().forward, U = makeView().up;
    for (const Drag& d : drags) {
        Viewpoint view = makeView();
        view.turningToTarget = true;
        const DisplayView before{view.forward, view.up, d.angle, 801, 601};
        const Vec3d under = displayDirection(before, d.fromX, d.fromY);
        dragView(view, before, d.fromX, d.fromY, d.toX, d.toY, false, false);
        EXPECT_TRUE(isOrthonormal(view.forward, view.up, 1e-12));
        const int64_t far[3] = {static_cast<int64_t>(under.x * 1e12), static_cast<int64_t>(under.y * 1e12),
                                static_cast<int64_t>(under.z * 1e12)};
        const DisplayPoint p = projectToDisplay({view.forward, view.up, d.angle, 801, 601}, far);
        ASSERT_TRUE(p.inFront);
        EXPECT_NEAR(p.x, d.toX, 1e-3);
        EXPECT_NEAR(p.y, d.toY, 1e-3);
        EXPECT_EQ(view.turningToTarget, d.fromX == d.toX && d.fromY == d.toY);

        // Rolled: the direction stays, the point goes round the centre.
        Viewpoint rolled = makeView();
        dragView(rolled, before, d.fromX, d.fromY, d.toX, d.toY, true, false);
        EXPECT_NEAR(dot(rolled.forward, F), 1.0, 1e-12);
        const DisplayPoint q = projectToDisplay({rolled.forward, rolled.up, d.angle, 801, 601}, far);
        const double turned = std::atan2(q.y - 300.5, q.x - 400.5), wanted = std::atan2(d.toY - 300.5, d.toX - 400.5);
        EXPECT_NEAR(std::remainder(turned - wanted, 2 * M_PI), 0.0, 1e-6);

        // Fine: a tenth of the turn (the angle of a rotation from its trace, 1 + 2 cos).
        Viewpoint fine = makeView();
        dragView(fine, before, d.fromX, d.fromY, d.toX, d.toY, false, true);
        auto turnedBy = [&](const Viewpoint& v) {
            const double trace = dot(v.forward, F) + dot(v.up, U) + dot(cross(v.forward, v.up), cross(F, U));
            return std::acos(std::clamp((trace - 1) / 2, -1.0, 1.0));
        };
        EXPECT_NEAR(turnedBy(fine), turnedBy(view) / 10, 1e-6);
    }
}
