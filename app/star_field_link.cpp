#include "app/star_field_link.h"

#include "app/application.h"

#include <cmath>

// The star-field engine is not part of this build yet: the program runs with
// the galaxy's background shapes and an empty star field. The functions below
// are where the engine's calls go.

std::vector<EllipsoidShape> ellipsoidsForDisplay(const std::vector<BackgroundShape>& shapes) {
    std::vector<EllipsoidShape> out;
    for (const BackgroundShape& s : shapes) out.push_back({s.radiusXY, s.radiusZ, s.density, s.type});
    return out;
}

std::vector<std::vector<ArmSegment>> armChainsForDisplay(const GalaxyComponent& arms) {
    // Display densities are the 32.32 values scaled by 2^-48; 2^16 brings them
    // back to densities relative to the local density, as the ellipsoids have.
    const float toRelative = 65536.0f;
    std::vector<std::vector<ArmSegment>> chains;
    for (const auto& list : arms.armLists) {
        std::vector<ArmSegment> chain;
        for (uint32_t index : list) {
            const auto& v = arms.displayArms[index].v;
            chain.push_back({v[0], v[1], v[2], v[3], v[4] * toRelative, v[5], v[6], v[7], v[8], v[9] * toRelative});
        }
        chains.push_back(std::move(chain));
    }
    return chains;
}

void buildGalaxyModel(GalaxyModel& galaxy) {
    galaxy.components.resize(GALAXY_MAX_COMPONENTS);
    galaxy.count = buildGalaxy(galaxy.planeTree, galaxy.backgroundShapes, galaxy.components.data());
    galaxy.ellipsoids = ellipsoidsForDisplay(galaxy.backgroundShapes);
    for (uint32_t i = 0; i < galaxy.count; ++i) {
        if (galaxy.components[i].shape == SHAPE_ARMS) galaxy.armChains = armChainsForDisplay(galaxy.components[i]);
    }
}

void createStarField(Application& app, const GalaxyModel& galaxy) {
    app.backgroundShapes = galaxy.ellipsoids;
    app.armChains = galaxy.armChains;
}

void destroyStarField(Application& app) { app.starField.engine = nullptr; }

void runStarFieldPass(void* application) { (void)application; }

bool starFieldUnfinished(void* application) {
    (void)application;
    return false;
}

void recomputeViewLimits(Application& app) { app.changes.settingsChanged = 1; }

void recomputeBackgroundLight(Application& app, double displayValue) {
    (void)app;
    (void)displayValue;
}

void uploadStarFieldResults(Application& app) {
    // Nothing is staged without an engine; the record of where the last
    // generation happened still follows the viewpoint.
    for (int a = 0; a < 3; ++a) app.vk.lastGenerationPosition[a] = app.view.position[a].integer;
}
