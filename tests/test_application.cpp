// The application's own logic without a window: deriving the settings, the
// save folder and what key events do.
#include <gtest/gtest.h>

#include <GLFW/glfw3.h>

#include <cmath>
#include <memory>

#include "app/application.h"
#include "app/key_input.h"

namespace {

double length(Vec3d v) { return std::sqrt(dot(v, v)); }

// The state a key event acts on: the program's state and the keys held.
struct Keys {
    ProgramState state;
    bool down[navkey::COUNT] = {};
    bool press(int key, int mods = 0, bool panel = false) {
        return applyKeyEvent(state, down, key, GLFW_PRESS, mods, panel);
    }
    bool release(int key, bool panel = false) { return applyKeyEvent(state, down, key, GLFW_RELEASE, 0, panel); }
    bool repeat(int key) { return applyKeyEvent(state, down, key, GLFW_REPEAT, 0, false); }
};

}  // namespace

TEST(ApplicationSettings, ApplySettingsRepairsTheFrameAndDerivesValues) {
    auto app = std::make_unique<Application>();
    ProgramState& s = app->state;
    applyDefaultSettings(s.settings, s.view);
    s.view.forward = {2, 0, 0};
    s.view.up = {1, 1, 0};
    s.status.displayHeight = 799;
    app->applySettings();
    EXPECT_NEAR(length(s.view.forward), 1.0, 1e-15);
    EXPECT_NEAR(length(s.view.up), 1.0, 1e-15);
    EXPECT_NEAR(dot(s.view.forward, s.view.up), 0.0, 1e-15);
    EXPECT_TRUE(s.redraw.rebuildDevicePipelines);
    EXPECT_EQ(s.changes.settingsChanged, 1);
    // Channel constants: a = 2hc^2 / lambda^4, b = hc/k / lambda.
    const ChannelConstants channels = channelConstants(s.settings);
    const double lambda = 6.5e-7;
    EXPECT_NEAR(channels.exponent[0], 0.014387773538277203 / lambda, 1e-3 * 0.0143877 / lambda);
    EXPECT_NEAR(channels.intensity[0] / (1.1910429e-16 / std::pow(lambda, 4)), 1.0, 1e-3);
}

TEST(ApplicationSettings, SaveDirectoryFollowsXdgDataHome) {
    setenv("XDG_DATA_HOME", "/tmp/starloom-test-data", 1);
    EXPECT_EQ(saveDirectoryPath(), "/tmp/starloom-test-data/tarnwick/");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", "/tmp/starloom-home", 1);
    EXPECT_EQ(saveDirectoryPath(), "/tmp/starloom-home/.local/share/tarnwick/");
}

TEST(KeyEvents, CommaHasNoLowerBoundPeriodStopsAtFifty) {
    Keys k;
    k.state.view.speedLevel = 0;
    k.press(GLFW_KEY_COMMA);
    k.release(GLFW_KEY_COMMA);
    k.press(GLFW_KEY_COMMA);
    EXPECT_EQ(k.state.view.speedLevel, -2);
    k.state.view.speedLevel = 49;
    for (int i = 0; i < 3; ++i) k.press(GLFW_KEY_PERIOD);
    EXPECT_EQ(k.state.view.speedLevel, 50);
    // A repeat changes nothing.
    k.repeat(GLFW_KEY_COMMA);
    EXPECT_EQ(k.state.view.speedLevel, 50);
}

TEST(KeyEvents, KeyStatesCapsLockAndCrosshair) {
    Keys k;
    k.press(GLFW_KEY_SPACE, GLFW_MOD_CAPS_LOCK);
    EXPECT_TRUE(k.down[GLFW_KEY_SPACE]);
    EXPECT_TRUE(k.state.view.capsLock);
    k.release(GLFW_KEY_SPACE);
    EXPECT_FALSE(k.down[GLFW_KEY_SPACE]);
    EXPECT_FALSE(k.state.view.capsLock);
    k.press(GLFW_KEY_UNKNOWN);  // never stored, no crash
    k.press(GLFW_KEY_C);
    EXPECT_FALSE(k.state.settings.showCrosshair);
    k.release(GLFW_KEY_C);
    EXPECT_FALSE(k.state.settings.showCrosshair);
    k.press(GLFW_KEY_C);
    EXPECT_TRUE(k.state.settings.showCrosshair);
}

TEST(KeyEvents, IgnoredWhileThePanelHasTheKeyboard) {
    Keys k;
    EXPECT_FALSE(k.press(GLFW_KEY_C, GLFW_MOD_CAPS_LOCK, true));
    EXPECT_FALSE(k.down[GLFW_KEY_C]);
    EXPECT_FALSE(k.state.view.capsLock);
    EXPECT_TRUE(k.state.settings.showCrosshair);
    EXPECT_FALSE(k.press(GLFW_KEY_EQUAL, 0, true));
    // Space held, then a text field takes the keyboard and Space is let go:
    // the key must not stay down.
    k.press(GLFW_KEY_SPACE);
    EXPECT_TRUE(k.down[GLFW_KEY_SPACE]);
    k.release(GLFW_KEY_SPACE, true);
    EXPECT_FALSE(k.down[GLFW_KEY_SPACE]);
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
}
