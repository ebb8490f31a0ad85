// Navigation: the viewpoint, its keyboard and button inputs, and the per-frame
// step that moves and turns it.
//
// The position is three 128-bit fixed-point numbers (64-bit integer part in
// position units of 10 km, 64-bit fraction) so that the whole galaxy and the
// gap between neighbouring stars both fit. The orientation is a pair of unit
// vectors in double precision. Everything here is plain math: no window, no
// graphics.
#pragma once

#include <cstddef>
#include <cstdint>

#include "numeric/vec3.h"
#include "starfield/projection.h"

// GLFW key codes the navigation reads (the keyboard state array is indexed by them).
namespace navkey {
inline constexpr int SPACE = 32;
inline constexpr int COMMA = 44;
inline constexpr int PERIOD = 46;
inline constexpr int EQUAL = 61;
inline constexpr int A = 65;
inline constexpr int C = 67;
inline constexpr int D = 68;
inline constexpr int I = 73;
inline constexpr int J = 74;
inline constexpr int K = 75;
inline constexpr int M = 77;
inline constexpr int S = 83;
inline constexpr int W = 87;
inline constexpr int X = 88;
inline constexpr int Z = 90;
inline constexpr int LEFT_CONTROL = 341;
inline constexpr int LEFT_ALT = 342;
inline constexpr int COUNT = 349;  // key codes 0..348
}  // namespace navkey

// One axis of the position: integer part in position units plus a binary fraction.
struct FixedCoord {
    uint64_t fraction;
    int64_t integer;
};

// The edge of space: every coordinate's integer part lies within
// -POSITION_LIMIT..POSITION_LIMIT position units, 3 x 2^61 (6.9e22 m, 2.24 Mpc
// from the galaxy's centre). That holds the whole galaxy, whose outermost
// part, the sphere of rogue stars, ends at 1.89 Mpc (5.8e18 units), and
// leaves 2^61 units (0.75 Mpc) below the 64-bit limit for what is added to a
// position before it is held at the edge (a frame's step, a fly-to's back-off,
// the star field's look-ahead). Positions from outside (save file, location
// text, --at) are refused beyond it; navigation stops at it. Differences of
// two positions, up to twice the limit, are taken in 128 bits (or wrap, where
// the two are known to be near each other).
inline constexpr int64_t POSITION_LIMIT = int64_t{3} << 61;
inline constexpr const char* OUTSIDE_SPACE =
    "outside space: each coordinate must lie within 6917529027641081856 position units (2.24 Mpc) of the centre";

inline bool withinSpace(int64_t coordinate) { return coordinate >= -POSITION_LIMIT && coordinate <= POSITION_LIMIT; }

// The view of a new save file: looking along forward with up at right angles.
inline constexpr Vec3d DEFAULT_FORWARD{0.11452456541239872, 0.9923381374686082, 0.04635887015917146};
inline constexpr Vec3d DEFAULT_UP{-0.2337868985261635, 0.07227757620959413, -0.9695976681360078};

// The highest speed level the period key reaches.
inline constexpr int MAX_SPEED_LEVEL = 50;
// The lowest speed level a save file may hold: speed factor 1e-30, already
// indistinguishable from standing still. (speedFromLevel takes one step per
// ten levels, so a level near the bottom of the 32-bit range would cost
// hundreds of millions of steps at every recomputation.)
inline constexpr int MIN_SPEED_LEVEL = -100;

// Distance at which a fly-to stops short of its target: 0.1 astronomical unit
// in position units.
inline constexpr double FLY_TO_STOP_DISTANCE = 1.5e6;

// Speed factor of a speed level: 1000^q x {1,2,4,...,500}[r] with level = 10q + r,
// 0 <= r <= 9 (floor division, so negative levels keep slowing down).
double speedFromLevel(int32_t level);

// Travel speed of speed factor 1 in position units per second: 1e-12 parsec.
double baseSpeed();

// Everything the navigation step reads and writes.
struct Viewpoint {
    FixedCoord position[3];
    Vec3d forward;  // unit vector the camera looks along
    Vec3d up;       // unit vector orthogonal to forward
    int32_t speedLevel;  // the speed factor is speedFromLevel(speedLevel)

    // Inputs of the Navigation page's buttons; cleared by each step.
    int32_t goInput, rollInput, pitchInput;
    bool capsLock;  // fine aiming: rotation keys at a tenth of their rate

    Vec3d turnTarget;  // unit direction to turn towards
    bool turningToTarget;
    int64_t flyTarget[3];  // integer position to fly to
    bool flyingToTarget;
};

// What a step changed.
struct NavigationResult {
    bool moved;    // the position changed
    bool redraw;   // the view changed
    bool translating;  // a translation input was active this frame
    Vec3d velocity;    // position units per second, scaled by 2^64 (zero when not translating)
};

// One step of navigation: dt in seconds, keyDown indexed by GLFW key code
// (navkey::COUNT entries). Consumes the button inputs. The position moves by
// velocity x dt in its full 128 bits, so that many short steps go as far as
// one long one.
NavigationResult navigate(Viewpoint& view, const bool* keyDown, double dt);

// A key going down or up, at a time of the steady clock (nanoseconds).
struct KeyEvent {
    uint64_t time;
    int key;
    bool down;
};

// The keys as navigation has followed them: which are held, and the time up
// to which the viewpoint has been advanced.
struct HeldKeys {
    bool down[navkey::COUNT]{};
    uint64_t clock = 0;  // steady clock, nanoseconds
};

// The longest step taken at once: a longer span is taken in steps of this
// length, all of it, so that a slow frame turns and flies as far as many
// fast ones would.
inline constexpr uint64_t MAX_NAVIGATION_STEP_NS = 20000000;

// Advances the viewpoint from keys.clock to `now`, following the keys as they
// went down and up: each event (in time order) takes effect at its time (an
// event before keys.clock at keys.clock), a press of comma or period changes
// the speed level there, and every span between events is navigated with the
// keys held during it. The Navigation page's buttons (held during the frame)
// act over the whole span and are consumed. The velocity returned is that of
// the keys and buttons held at `now`.
NavigationResult navigateOver(Viewpoint& view, HeldKeys& keys, const KeyEvent* events, size_t count, uint64_t now);

// Next to a target at once, as a fly-to there ends: on the line from the
// position to the target, FLY_TO_STOP_DISTANCE short of it to the nearest
// position unit (behind it along forward when the position is the target
// itself), fractions 0, turned to look at it by the smallest rotation (up
// turns with forward). Ends any fly-to or turn in progress.
void arriveNextTo(Viewpoint& view, const int64_t target[3]);

// True when forward and up are finite unit vectors at right angles, to within
// `tolerance` (in length and in their dot product).
bool isOrthonormal(Vec3d forward, Vec3d up, double tolerance);

// Turns the view by a drag of the pointer from (fromX, fromY) to (toX, toY),
// display pixels of `display` (whose forward and up are the view's): the
// direction under the pointer where the drag started comes to lie under it
// where it ended (yaw and pitch). With `roll`, the view turns about its
// direction only, by the angle the pointer went round the display's centre.
// `fine` (Caps Lock) turns a tenth as far. Ends a turn towards a target.
void dragView(Viewpoint& view, const DisplayView& display, double fromX, double fromY, double toX, double toY,
              bool roll, bool fine);

// Normalises forward and makes up a unit vector orthogonal to it.
void orthonormalise(Vec3d& forward, Vec3d& up);
