#include "app/star_field_link.h"

#include "app/application.h"

// The galaxy model and the star-field engine are not part of this build yet:
// the program runs with no background shapes and an empty star field. Every
// function below is where the engine's real calls go.

GalaxyModel buildGalaxyModel() { return {}; }

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
