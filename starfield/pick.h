// What a click on the star display selects: the star drawn nearest to the
// pointer, within a few pixels of what is drawn of it, found among the star
// field's own records with the projection the display is drawn with (no
// pixels are read back). Points, near stars and discs all count; a disc hides
// what lies behind it.
#pragma once

#include <cstdint>

#include "starfield/projection.h"
#include "starfield/search_result.h"

struct StarField;

// Pixels beyond the edge of what is drawn of a star that a click may miss it by.
inline constexpr double PICK_TOLERANCE = 4.0;
// Two stars whose drawn edges lie within this many pixels of the pointer of
// each other are equally near: the brighter is selected.
inline constexpr double PICK_CLOSE = 2.0;

// The view a click is made in, and what decides how large each star is drawn.
struct PickView {
    DisplayView display;
    int64_t eye[3] = {0, 0, 0};         // the viewpoint's integer position
    double luminosityConst = 0;         // pointLuminosityConstant of the view
    double maximumCircleSize = 20;      // largest near-star radius, pixels
    double foregroundRadiusFactor = 0;  // position units per solar radius
};

// How a selected star is drawn.
enum class PickedAs : uint8_t { NONE, POINT, NEAR, DISC };

struct PickedStar {
    PickedAs as = PickedAs::NONE;
    SearchResult found;       // the star with its name; distanceSquared from the eye
    double x = 0, y = 0;      // where it is drawn, pixels
    double radius = 0;        // what is drawn of it: its radius, pixels
    double luminosity = 0;    // its brightness on the display (the point program's measure)
};

// The factor the display turns a star's absolute luminosity over its squared
// distance (units of 2^48 position units) into its brightness: the display's
// brightness setting times the view limits' scale.
double pointLuminosityConstant(double limitScale, float brightness);

// The absolute luminosity a star's 26-bit luminosity code stands for.
double codeLuminosity(uint32_t code);

// How a star is drawn in the view: as a point (too faint: NONE), a near star or
// a disc; the radius and brightness as the display draws them. `discRadius`
// is the star's radius in solar radii when it is a disc.
PickedAs drawnAs(const StarRecord& star, const PickView& view, double discRadius, double& radius,
                 double& luminosity);

// The star a click at pixel (x, y) of the display selects: among the stars
// drawn, those whose drawn edge lies within PICK_TOLERANCE pixels of the
// pointer; of them the one whose edge is nearest, the brightest of those
// within PICK_CLOSE of that. A disc under the pointer (the nearest, when
// several) hides the stars behind it and is selected. False when no star is
// near enough. Reads the star field under its generation lock, held shared.
bool pickStar(StarField& field, const PickView& view, double x, double y, PickedStar& out);
