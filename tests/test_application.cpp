// The application's own logic without a window: deriving the settings, the
// save folder and what key events do.
#include <gtest/gtest.h>

#include <GLFW/glfw3.h>

#include <memory>
#include <tuple>

#include "app/application.h"
#include "app/key_input.h"
#include "app/star_field_link.h"
#include "tests/galaxy_fixture.h"

// Applying the settings repairs the view's frame and flags the rebuild; the
// star field's limits and the background light follow the star display's
// height (a window not measured yet counts as the windowed height: the light
// stays finite).
TEST(ApplicationSettings, ApplySettingsRepairsTheFrameAndDerivesValuesFromTheDisplayHeight) {
    for (int height : {799, 1201, 0}) {
        SCOPED_TRACE(height);
        auto app = std::make_unique<Application>();
        ProgramState& s = app->state;
        applyDefaultSettings(s.settings, s.view);
        s.settings.viewAngle = 30;
        s.view.forward = {2, 0, 0};
        s.view.up = {1, 1, 0};
        createStarField(app->starField, builtGalaxy());
        s.status.displayHeight = height;
        app->applySettings();
        EXPECT_TRUE(isOrthonormal(s.view.forward, s.view.up, 1e-15));
        EXPECT_TRUE(s.redraw.rebuildDevicePipelines);
        EXPECT_EQ(s.changes.settingsChanged, 1);
        const int h = height > 0 ? height : DEFAULT_DISPLAY_HEIGHT;
        const ViewLimits expected = computeViewLimits(builtGalaxy(), s.settings.maxMagnitude, 30, h);
        EXPECT_EQ(app->starField.limits.foregroundSize, expected.foregroundSize);
        EXPECT_EQ(app->starField.limits.createBound, expected.createBound);
        EXPECT_EQ(app->starField.draw.limitScale, expected.limitScale);
        const BackgroundLight light = backgroundLight(builtGalaxy().components[0].populations,
                                                      channelConstants(s.settings),
                                                      backgroundDisplayValue(h, 30), expected.limitScale);
        EXPECT_EQ(app->starField.draw.backgroundIntensity, light.intensity);
    }
}

// A window that fits the monitor's work area, centred: 1200 x 800 where
// that leaves a tenth of the area free, smaller where it does not.
TEST(ApplicationSettings, TheWindowFitsTheWorkArea) {
    struct Case {
        int x, y, width, height;  // the work area
        WindowPlacement expected;
    };
    const Case cases[] = {
        {0, 0, 1920, 1080, {1200, 800, 360, 140}},
        {0, 0, 1366, 768, {1200, 691, 83, 38}},
        {0, 32, 1366, 736, {1200, 662, 83, 69}},
        {1920, 0, 1024, 600, {921, 540, 1971, 30}},
        {0, 0, 1333, 889, {1199, 800, 67, 44}},
        {0, 0, 10, 10, {9, 9, 0, 0}},
    };
    auto fields = [](const WindowPlacement& w) { return std::tuple(w.width, w.height, w.x, w.y); };
    for (const Case& c : cases) {
        const WindowPlacement w = windowedPlacement(c.x, c.y, c.width, c.height);
        EXPECT_EQ(fields(w), fields(c.expected)) << c.width << "x" << c.height;
    }
}

// Under XDG_DATA_HOME when it is set (the save file tests set it), else here.
TEST(ApplicationSettings, SaveDirectoryWithoutXdgDataHome) {
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", "/tmp/starloom-home", 1);
    EXPECT_EQ(saveDirectoryPath(), "/tmp/starloom-home/.local/share/tarnwick/");
}

// Key events one after another, and what each leaves: navigation is handed
// presses and releases (not repeats, nor unknown keys), Caps Lock is kept
// here; while the panel has the keyboard only a release counts (Space held
// when a text field takes the keyboard is still let go). The cross-hair, the
// full-screen toggle and the screenshot request act on their own key's press
// only: not on its repeats or release, nor on other keys' events while it is
// held. The first press ends the flight hint.
TEST(KeyEvents, EachEventActsOnlyWhereItShould) {
    const int PRESS = GLFW_PRESS, RELEASE = GLFW_RELEASE, REPEAT = GLFW_REPEAT, CAPS = GLFW_MOD_CAPS_LOCK;
    struct Step {
        int key, action, mods;
        bool panel;  // a panel field has the keyboard
        bool toFlight, fullScreen, capsLock, crosshair, screenshot;  // what the event leaves
    };
    const Step steps[] = {
        {GLFW_KEY_SPACE, PRESS, CAPS, false, true, false, true, true, false},
        {GLFW_KEY_SPACE, REPEAT, 0, false, false, false, false, true, false},
        {GLFW_KEY_SPACE, RELEASE, 0, false, true, false, false, true, false},
        {GLFW_KEY_UNKNOWN, PRESS, 0, false, false, false, false, true, false},
        {GLFW_KEY_UNKNOWN, RELEASE, 0, false, false, false, false, true, false},
        {GLFW_KEY_C, PRESS, CAPS, true, false, false, false, true, false},
        {GLFW_KEY_EQUAL, PRESS, 0, true, false, false, false, true, false},
        {GLFW_KEY_SPACE, PRESS, 0, false, true, false, false, true, false},
        {GLFW_KEY_SPACE, RELEASE, 0, true, true, false, false, true, false},
        {GLFW_KEY_C, PRESS, 0, false, true, false, false, false, false},
        {GLFW_KEY_C, REPEAT, 0, false, false, false, false, false, false},
        {GLFW_KEY_SPACE, PRESS, 0, false, true, false, false, false, false},
        {GLFW_KEY_SPACE, REPEAT, 0, false, false, false, false, false, false},
        {GLFW_KEY_SPACE, RELEASE, 0, false, true, false, false, false, false},
        {GLFW_KEY_C, RELEASE, 0, false, true, false, false, false, false},
        {GLFW_KEY_EQUAL, PRESS, 0, false, true, true, false, false, false},
        {GLFW_KEY_EQUAL, REPEAT, 0, false, false, false, false, false, false},
        {GLFW_KEY_PERIOD, PRESS, 0, false, true, false, false, false, false},
        {GLFW_KEY_PERIOD, RELEASE, 0, false, true, false, false, false, false},
        {GLFW_KEY_EQUAL, RELEASE, 0, false, true, false, false, false, false},
        {GLFW_KEY_EQUAL, PRESS, 0, false, true, true, false, false, false},
        {GLFW_KEY_F12, RELEASE, 0, false, true, false, false, false, false},
        {GLFW_KEY_F12, REPEAT, 0, false, false, false, false, false, false},
        {GLFW_KEY_F12, PRESS, 0, true, false, false, false, false, false},
        {GLFW_KEY_F12, PRESS, 0, false, true, false, false, false, true},
        {GLFW_KEY_X, PRESS, 0, false, true, false, false, false, true},
        {GLFW_KEY_C, PRESS, 0, false, true, false, false, true, true},
    };
    ProgramState state;
    state.panel.flightHint = true;
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Step& s = steps[i];
        const KeyOutcome o = applyKeyEvent(state, s.key, s.action, s.mods, s.panel);
        const auto seen = std::tuple(o.toFlight, o.toggleFullScreen, state.view.capsLock, state.settings.showCrosshair,
                                     state.requests.screenshot, state.panel.flightHint);
        EXPECT_EQ(seen, std::tuple(s.toFlight, s.fullScreen, s.capsLock, s.crosshair, s.screenshot, false))
            << "step " << i;
    }
}
