// Where the program meets the star-field engine: creating it, the snapshot a
// pass works from, running a pass on the star-field worker, and what a
// collected pass publishes for the renderer and the control panel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "galaxy/galaxy.h"
#include "render/meshes.h"
#include "render/renderer.h"
#include "starfield/star_field.h"
#include "starfield/view_limits.h"
#include "state/program_state.h"

// The display form of the galaxy's shapes: ellipsoids from the background
// shape list, one chain per arm from the arm component's display steps.
std::vector<EllipsoidShape> ellipsoidsForDisplay(const std::vector<BackgroundShape>& shapes);
std::vector<std::vector<ArmSegment>> armChainsForDisplay(const GalaxyComponent& arms);

struct StarFieldLink {
    const Galaxy* galaxy = nullptr;
    std::unique_ptr<StarField> engine;
    // What the renderer draws of the galaxy's diffuse light.
    std::vector<EllipsoidShape> ellipsoids;
    std::vector<uint32_t> ellipsoidKinds;  // the component kind of each ellipsoid
    std::vector<std::vector<ArmSegment>> armChains;
    // The view limits of the settings and display height in force; the next
    // pass takes them.
    ViewLimits limits{};
    // The input of the running or next pass. Written on the main thread only
    // while no pass runs; the pass reads nothing else of the program's state.
    StarFieldInput input;
    Vec3d velocity{0, 0, 0};  // position units per second x 2^64, from navigation
    StarFieldDraw draw;       // what the renderer draws, published after each collected pass
    uint32_t starsDisplayed = 0;  // point slots in use minus cleared free slots
    uint32_t nearCount = 0;
    std::vector<HighlightStyle> highlightStyle;  // per highlight, how this frame draws it
};

void createStarField(StarFieldLink& link, const Galaxy& galaxy);

// Main thread, right before a pass starts: the snapshot of the viewpoint, the
// velocity, the settings, the view limits and the change flags the pass
// works from.
void preparePass(StarFieldLink& link, const ProgramState& state, const ChangeFlags& changes);

// Any thread, while a pass runs: its results are wanted, so it ends at the
// end of its current bucket once its time budget is spent.
void requestPassResults(StarFieldLink& link);

// The star-field worker's job: one update of the engine from link.input.
void runStarFieldPass(void* link);
// True when the last pass stopped on its time budget and should resume.
bool starFieldUnfinished(void* link);

// View limits for a magnitude, view angle and display height; the next pass
// takes them.
void recomputeViewLimits(StarFieldLink& link, float maxMagnitude, double viewAngle, int displayHeight);
// The diffuse background light for the channel constants and the display value.
// With byPopulation, each ellipsoid and the arms get the colour of their
// populations' light at their stars' age (render/population_light.h); else
// all of it the one colour of the whole galaxy's light.
void recomputeBackgroundLight(StarFieldLink& link, const ChannelConstants& channels, double displayValue,
                              bool byPopulation);

// Main thread, after a pass was collected (and uploaded): the foreground
// discs and the counts the panel shows.
void publishPassResults(StarFieldLink& link);

// Each frame, for the renderer: which found stars' labels show (the selected
// star's first, then the marked places', then the nearest first; none over
// another or over the cross-hair), which star is the selected one, and which
// markers are marked places (hidden within an astronomical unit).
void styleHighlights(StarFieldLink& link, const ProgramState& state);
