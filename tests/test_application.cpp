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

namespace {

// The state a key event acts on, and what navigation would be handed.
struct Keys {
    ProgramState state;
    int toFlight = 0;
    bool event(int key, int action, int mods, bool panel) {
        const KeyOutcome o = applyKeyEvent(state, key, action, mods, panel);
        toFlight += o.toFlight ? 1 : 0;
        return o.toggleFullScreen;
    }
    bool press(int key, int mods = 0, bool panel = false) { return event(key, GLFW_PRESS, mods, panel); }
    bool release(int key, bool panel = false) { return event(key, GLFW_RELEASE, 0, panel); }
    bool repeat(int key) { return event(key, GLFW_REPEAT, 0, false); }
};

}  // namespace

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
        EXPECT_NEAR(dot(s.view.forward, s.view.forward), 1.0, 2e-15);
        EXPECT_NEAR(dot(s.view.up, s.view.up), 1.0, 2e-15);
        EXPECT_NEAR(dot(s.view.forward, s.view.up), 0.0, 1e-15);
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

// Presses and releases go to navigation, Caps Lock is kept here; nothing
// while the panel has the keyboard (the cross-hair key neither), except a
// release.
TEST(KeyEvents, PressesAndReleasesGoToNavigationCapsLockHere) {
    Keys k;
    k.state.panel.flightHint = true;
    k.press(GLFW_KEY_SPACE, GLFW_MOD_CAPS_LOCK);
    EXPECT_EQ(k.toFlight, 1);
    EXPECT_TRUE(k.state.view.capsLock);
    EXPECT_FALSE(k.state.panel.flightHint);  // the first key press ends the hint
    k.repeat(GLFW_KEY_SPACE);  // repeats are no new press
    k.release(GLFW_KEY_SPACE);
    EXPECT_EQ(k.toFlight, 2);
    EXPECT_FALSE(k.state.view.capsLock);
    k.press(GLFW_KEY_UNKNOWN);  // never stored, no crash
    EXPECT_EQ(k.toFlight, 2);

    k.toFlight = 0;
    EXPECT_FALSE(k.press(GLFW_KEY_C, GLFW_MOD_CAPS_LOCK, true));
    EXPECT_EQ(k.toFlight, 0);
    EXPECT_FALSE(k.state.view.capsLock);
    EXPECT_TRUE(k.state.settings.showCrosshair);
    EXPECT_FALSE(k.press(GLFW_KEY_EQUAL, 0, true));
    // Space held, then a text field takes the keyboard and Space is let go.
    k.press(GLFW_KEY_SPACE);
    k.release(GLFW_KEY_SPACE, true);
    EXPECT_EQ(k.toFlight, 2);
}

TEST(KeyEvents, TogglesActOnTheirOwnPressOnly) {
    Keys k;
    // C held: its repeats and other keys' events while it is down leave the
    // cross-hair as the press set it.
    k.press(GLFW_KEY_C);
    EXPECT_FALSE(k.state.settings.showCrosshair);
    for (int i = 0; i < 5; ++i) k.repeat(GLFW_KEY_C);
    k.press(GLFW_KEY_SPACE);
    k.repeat(GLFW_KEY_SPACE);
    k.release(GLFW_KEY_SPACE);
    EXPECT_FALSE(k.state.settings.showCrosshair);
    k.release(GLFW_KEY_C);
    EXPECT_FALSE(k.state.settings.showCrosshair);

    // = asks for the full-screen toggle once per press, not on its repeats or
    // while another key is pressed with = held.
    EXPECT_TRUE(k.press(GLFW_KEY_EQUAL));
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(k.repeat(GLFW_KEY_EQUAL));
    EXPECT_FALSE(k.press(GLFW_KEY_PERIOD));
    EXPECT_FALSE(k.release(GLFW_KEY_PERIOD));
    EXPECT_FALSE(k.release(GLFW_KEY_EQUAL));
    EXPECT_FALSE(k.state.settings.showCrosshair);
    EXPECT_TRUE(k.press(GLFW_KEY_EQUAL));

    // F12 asks for one screenshot on its own press only: not on a release or
    // a repeat, nor while a panel field has the keyboard; it toggles nothing,
    // and another key leaves the request as it is.
    k.release(GLFW_KEY_F12);
    k.repeat(GLFW_KEY_F12);
    k.press(GLFW_KEY_F12, 0, true);
    EXPECT_FALSE(k.state.requests.screenshot);
    EXPECT_FALSE(k.press(GLFW_KEY_F12));
    k.press(GLFW_KEY_X);
    EXPECT_TRUE(k.state.requests.screenshot);
    EXPECT_FALSE(k.state.settings.showCrosshair);
    // C's next press shows the cross-hair again.
    k.press(GLFW_KEY_C);
    EXPECT_TRUE(k.state.settings.showCrosshair);
}
