// The one place where the program meets the galaxy model and the star-field
// engine: building the galaxy, creating the engine, running a pass on the
// star-field worker, and reading what a pass publishes for the renderer and
// the control panel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "galaxy/galaxy.h"
#include "galaxy/galaxy_build.h"
#include "starfield/view_limits.h"

#include "app/worker_thread.h"
#include "render/meshes.h"
#include "starfield/navigation.h"

struct Application;

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

// A foreground object as the uniform block needs it.
struct ForegroundView {
    int64_t position[3];
    double radius;  // solar radii
    uint8_t colour[3];
};

// The engine's state as the renderer and the panel read it.
struct StarField;

struct StarFieldLink {
    StarField* engine = nullptr;
    const GalaxyModel* galaxy = nullptr;
    ViewLimits viewLimits{};     // the engine's, changed only while no pass runs
    ViewLimits pendingLimits{};  // recomputed on the main thread, handed over before a pass
    ChangeFlags request{};  // the change flags handed to the next pass
    Vec3d velocity{0, 0, 0};  // position units per second x 2^64, from navigation
    uint32_t starsDisplayed = 0;  // point slots in use minus cleared free slots
    uint32_t nearCount = 0;
    double midgroundNearSq = 0, midgroundFarSq = 0;
    uint64_t foregroundFarSq = 0;
    double backgroundIntensity = 0;   // of the diffuse light
    float backgroundColour[3]{};
    double foregroundRadiusFactor = 0;
    std::vector<ForegroundView> foreground;
    uint32_t highlightCount = 0;  // highlighted search results (after the undrawn first entry)
    std::vector<int64_t> highlightPositions;  // 3 per highlight
};

void buildGalaxyModel(GalaxyModel& galaxy);
void createStarField(Application& app, const GalaxyModel& galaxy);
void destroyStarField(Application& app);

// The star-field worker's job: one update of the engine.
void runStarFieldPass(void* application);
// True when the last pass stopped on its time budget and should resume.
bool starFieldUnfinished(void* application);

// View limits for the current magnitude, view angle and display height, and
// the diffuse background light.
void recomputeViewLimits(Application& app);
// Main thread, while no pass runs: the engine takes the recomputed limits.
void handOverViewLimits(Application& app);
void recomputeBackgroundLight(Application& app, double displayValue);

// After a collected pass, with the device idle: copies the staged records into
// the GPU buffers the frame draws from.
void uploadStarFieldResults(Application& app);
