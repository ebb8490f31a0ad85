// Where the program meets the galaxy model and the star-field engine:
// building the galaxy, creating the engine, the snapshot a pass works from,
// running a pass on the star-field worker, and what a collected pass
// publishes for the renderer and the control panel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "app/app_state.h"
#include "galaxy/galaxy.h"
#include "galaxy/galaxy_build.h"
#include "render/meshes.h"
#include "render/renderer.h"
#include "starfield/star_field.h"
#include "starfield/view_limits.h"

// What the entry function builds before the Application exists and owns for
// the whole run: the component records, the plane tree, the background shapes
// and, derived from them, what the renderer draws as the diffuse light.
struct GalaxyModel {
    std::vector<GalaxyComponent> components;  // 64 records, the first `count` in use
    uint32_t count = 0;
    PlaneTree planeTree;
    std::vector<BackgroundShape> backgroundShapes;
    std::vector<EllipsoidShape> ellipsoids;         // small background ellipsoids
    std::vector<std::vector<ArmSegment>> armChains;  // one chain of steps per spiral arm
};

// The display form of the galaxy's shapes: ellipsoids from the background
// shape list, one chain per arm from the arm component's display steps.
std::vector<EllipsoidShape> ellipsoidsForDisplay(const std::vector<BackgroundShape>& shapes);
std::vector<std::vector<ArmSegment>> armChainsForDisplay(const GalaxyComponent& arms);

void buildGalaxyModel(GalaxyModel& galaxy);

struct StarFieldLink {
    std::unique_ptr<StarField> engine;
    const GalaxyModel* galaxy = nullptr;
    ViewLimits viewLimits{};     // the engine's, changed only while no pass runs
    ViewLimits pendingLimits{};  // recomputed on the main thread, handed over before a pass
    // The input of the running or next pass. Written on the main thread only
    // while no pass runs; the pass reads nothing else of the program's state.
    StarFieldInput input;
    Vec3d velocity{0, 0, 0};  // position units per second x 2^64, from navigation
    StarFieldDraw draw;       // what the renderer draws, published after each collected pass
    uint32_t starsDisplayed = 0;  // point slots in use minus cleared free slots
    uint32_t nearCount = 0;
};

void createStarField(StarFieldLink& link, const GalaxyModel& galaxy);

// Main thread, right before a pass starts: the snapshot of the viewpoint, the
// velocity, the channel constants and the change flags the pass works from.
void preparePass(StarFieldLink& link, const AppState& state, const ChangeFlags& changes);

// Any thread, while a pass runs: its results are wanted, so it ends at the
// end of its current bucket once its time budget is spent.
void requestPassResults(StarFieldLink& link);

// The star-field worker's job: one update of the engine from link.input.
void runStarFieldPass(void* link);
// True when the last pass stopped on its time budget and should resume.
bool starFieldUnfinished(void* link);

// View limits for a magnitude, view angle and display height; the engine
// takes them between passes (handOverViewLimits, main thread).
void recomputeViewLimits(StarFieldLink& link, float maxMagnitude, double viewAngle, int displayHeight);
void handOverViewLimits(StarFieldLink& link);
// The diffuse background light for the channel constants and the display value.
void recomputeBackgroundLight(StarFieldLink& link, const AppState& state, double displayValue);

// Main thread, after a pass was collected (and uploaded): the foreground
// discs and the counts the panel shows.
void publishPassResults(StarFieldLink& link);
