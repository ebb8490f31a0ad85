#include <gtest/gtest.h>

#include <GLFW/glfw3.h>

#include <bit>
#include <cmath>
#include <memory>

#include "app/application.h"

namespace {

double length(Vec3d v) { return std::sqrt(dot(v, v)); }

std::unique_ptr<Application> freshApp() {
    auto app = std::make_unique<Application>();
    app->applyDefaults();
    recomputeSpeed(app->state);
    return app;
}

std::unique_ptr<AppState> freshState() {
    auto state = std::make_unique<AppState>();
    applyDefaultSettings(*state);
    recomputeSpeed(*state);
    return state;
}

}  // namespace

TEST(ApplicationSettings, DefaultsOfAMissingSaveFile) {
    auto app = freshApp();
    const AppState* s = &app->state;
    EXPECT_EQ(s->view.position[0].integer, -7003708179394623LL);
    EXPECT_EQ(s->view.position[1].integer, -24996773029325252LL);
    EXPECT_EQ(s->view.position[2].integer, 1127289819641451LL);
    EXPECT_EQ(s->viewAngle, 45.0);
    EXPECT_EQ(s->maxMagnitude, 12.0f);
    EXPECT_EQ(s->view.speedLevel, 40);
    EXPECT_EQ(s->view.speed, 1e12);
    EXPECT_TRUE(s->panelOnRight);
    EXPECT_TRUE(s->showCrosshair);
    EXPECT_TRUE(s->multisampling);
    EXPECT_EQ(s->backgroundMode, 2);
    EXPECT_EQ(s->starShape, 1);
    EXPECT_TRUE(s->running);
    EXPECT_TRUE(s->saveOnExit);
    EXPECT_EQ(s->changes.viewpointMoved, 1);
}

TEST(ApplicationSettings, ApplySettingsRepairsTheFrameAndDerivesValues) {
    auto app = freshApp();
    AppState& s = app->state;
    s.view.forward = {2, 0, 0};
    s.view.up = {1, 1, 0};
    s.view.speedLevel = -1;
    s.displayHeight = 799;
    app->applySettings();
    EXPECT_NEAR(length(s.view.forward), 1.0, 1e-15);
    EXPECT_NEAR(length(s.view.up), 1.0, 1e-15);
    EXPECT_NEAR(dot(s.view.forward, s.view.up), 0.0, 1e-15);
    EXPECT_EQ(s.view.speed, 0.5);
    EXPECT_TRUE(s.rebuildDevicePipelines);
    EXPECT_EQ(s.changes.settingsChanged, 1);
    // Channel constants: a = 2hc^2 / lambda^4, b = hc/k / lambda.
    const double lambda = 6.5e-7;
    EXPECT_NEAR(s.channelExponent[0], 0.014387773538277203 / lambda, 1e-3 * 0.0143877 / lambda);
    EXPECT_NEAR(s.channelIntensity[0] / (1.1910429e-16 / std::pow(lambda, 4)), 1.0, 1e-3);
}

TEST(ApplicationSettings, SaveDirectoryFollowsXdgDataHome) {
    setenv("XDG_DATA_HOME", "/tmp/starloom-test-data", 1);
    EXPECT_EQ(saveDirectoryPath(), "/tmp/starloom-test-data/tarnwick/");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", "/tmp/starloom-home", 1);
    EXPECT_EQ(saveDirectoryPath(), "/tmp/starloom-home/.local/share/tarnwick/");
}

TEST(KeyEvents, CommaHasNoLowerBoundPeriodStopsAtFifty) {
    auto state = freshState();
    state->view.speedLevel = 0;
    applyKeyEvent(*state, GLFW_KEY_COMMA, GLFW_PRESS, 0, false);
    applyKeyEvent(*state, GLFW_KEY_COMMA, GLFW_RELEASE, 0, false);
    applyKeyEvent(*state, GLFW_KEY_COMMA, GLFW_PRESS, 0, false);
    EXPECT_EQ(state->view.speedLevel, -2);
    EXPECT_EQ(state->view.speed, speedFromLevel(-2));
    state->view.speedLevel = 49;
    for (int i = 0; i < 3; ++i) applyKeyEvent(*state, GLFW_KEY_PERIOD, GLFW_PRESS, 0, false);
    EXPECT_EQ(state->view.speedLevel, 50);
    EXPECT_EQ(state->view.speed, 1e15);
    // A repeat changes nothing.
    applyKeyEvent(*state, GLFW_KEY_COMMA, GLFW_REPEAT, 0, false);
    EXPECT_EQ(state->view.speedLevel, 50);
}

TEST(KeyEvents, KeyStatesCapsLockAndCrosshair) {
    auto state = freshState();
    applyKeyEvent(*state, GLFW_KEY_SPACE, GLFW_PRESS, GLFW_MOD_CAPS_LOCK, false);
    EXPECT_TRUE(state->keyDown[GLFW_KEY_SPACE]);
    EXPECT_TRUE(state->view.capsLock);
    applyKeyEvent(*state, GLFW_KEY_SPACE, GLFW_RELEASE, 0, false);
    EXPECT_FALSE(state->keyDown[GLFW_KEY_SPACE]);
    EXPECT_FALSE(state->view.capsLock);
    applyKeyEvent(*state, GLFW_KEY_UNKNOWN, GLFW_PRESS, 0, false);  // never stored, no crash
    applyKeyEvent(*state, GLFW_KEY_C, GLFW_PRESS, 0, false);
    EXPECT_FALSE(state->showCrosshair);
    applyKeyEvent(*state, GLFW_KEY_C, GLFW_RELEASE, 0, false);
    EXPECT_FALSE(state->showCrosshair);
    applyKeyEvent(*state, GLFW_KEY_C, GLFW_PRESS, 0, false);
    EXPECT_TRUE(state->showCrosshair);
}

TEST(KeyEvents, IgnoredWhileThePanelHasTheKeyboard) {
    auto state = freshState();
    EXPECT_FALSE(applyKeyEvent(*state, GLFW_KEY_C, GLFW_PRESS, GLFW_MOD_CAPS_LOCK, true));
    EXPECT_FALSE(state->keyDown[GLFW_KEY_C]);
    EXPECT_FALSE(state->view.capsLock);
    EXPECT_TRUE(state->showCrosshair);
    EXPECT_FALSE(applyKeyEvent(*state, GLFW_KEY_EQUAL, GLFW_PRESS, 0, true));
    // Space held, then a text field takes the keyboard and Space is let go:
    // the key must not stay down.
    applyKeyEvent(*state, GLFW_KEY_SPACE, GLFW_PRESS, 0, false);
    EXPECT_TRUE(state->keyDown[GLFW_KEY_SPACE]);
    applyKeyEvent(*state, GLFW_KEY_SPACE, GLFW_RELEASE, 0, true);
    EXPECT_FALSE(state->keyDown[GLFW_KEY_SPACE]);
}

TEST(KeyEvents, TogglesActOnTheirOwnPressOnly) {
    auto state = freshState();
    // C held: its repeats and other keys' events while it is down leave the
    // cross-hair as the press set it.
    applyKeyEvent(*state, GLFW_KEY_C, GLFW_PRESS, 0, false);
    EXPECT_FALSE(state->showCrosshair);
    for (int i = 0; i < 5; ++i) applyKeyEvent(*state, GLFW_KEY_C, GLFW_REPEAT, 0, false);
    applyKeyEvent(*state, GLFW_KEY_SPACE, GLFW_PRESS, 0, false);
    applyKeyEvent(*state, GLFW_KEY_SPACE, GLFW_REPEAT, 0, false);
    applyKeyEvent(*state, GLFW_KEY_SPACE, GLFW_RELEASE, 0, false);
    EXPECT_FALSE(state->showCrosshair);
    applyKeyEvent(*state, GLFW_KEY_C, GLFW_RELEASE, 0, false);
    EXPECT_FALSE(state->showCrosshair);

    // = asks for the full-screen toggle once per press, not on its repeats or
    // while another key is pressed with = held.
    EXPECT_TRUE(applyKeyEvent(*state, GLFW_KEY_EQUAL, GLFW_PRESS, 0, false));
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(applyKeyEvent(*state, GLFW_KEY_EQUAL, GLFW_REPEAT, 0, false));
    EXPECT_FALSE(applyKeyEvent(*state, GLFW_KEY_PERIOD, GLFW_PRESS, 0, false));
    EXPECT_FALSE(applyKeyEvent(*state, GLFW_KEY_PERIOD, GLFW_RELEASE, 0, false));
    EXPECT_FALSE(applyKeyEvent(*state, GLFW_KEY_EQUAL, GLFW_RELEASE, 0, false));
    EXPECT_FALSE(state->showCrosshair);
    EXPECT_TRUE(applyKeyEvent(*state, GLFW_KEY_EQUAL, GLFW_PRESS, 0, false));
}

TEST(DisplayGeometry, TheStarDisplayIsOddInBothDirections) {
    for (int width = 300; width < 2200; width += 7) {
        for (int height : {600, 601, 800, 1023, 1024}) {
            for (int panel : {168, 169, 260}) {
                const DisplayGeometry g = displayGeometry(width, height, panel);
                EXPECT_EQ(g.displayWidth % 2, 1) << width << " " << panel;
                EXPECT_EQ(g.displayHeight % 2, 1);
                EXPECT_EQ(g.displayWidth + g.panelWidth, width);
                EXPECT_TRUE(g.panelWidth == panel || g.panelWidth == panel + 1);
                EXPECT_TRUE(g.displayHeight == height || g.displayHeight == height - 1);
            }
        }
    }
}

TEST(ViewUniforms, ProjectionScaleAndEyeOffset) {
    UniformBufferObject ubo{};
    FrameView v{};
    v.position[0] = int64_t{1} << 50;
    v.position[1] = -(int64_t{3} << 48);
    v.position[2] = 0;
    v.forward = {0, 1, 0};
    v.up = {0, 0, 1};
    v.viewAngle = 45;
    v.width = 1021;
    v.height = 799;
    fillViewUniforms(ubo, v);
    EXPECT_FLOAT_EQ(ubo.inv_window_scale[0], 2.0f / 1021);
    EXPECT_FLOAT_EQ(ubo.inv_window_scale[1], 2.0f / 799);
    EXPECT_FLOAT_EQ(ubo.height_over_width, 799.0f / 1021);
    EXPECT_EQ(ubo.eye_offset[0], 4.0f);
    EXPECT_EQ(ubo.eye_offset[1], -3.0f);

    // A point straight ahead lands at the centre, just below depth 1, for
    // any distance; a point up the screen has negative clip y (Vulkan's y down).
    const float* m = ubo.proj_model_view.m;
    auto project = [&](double x, double y, double z, double out[4]) {
        for (int r = 0; r < 4; ++r) out[r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
    };
    double clip[4];
    for (double d : {0.001, 1.0, 1000.0}) {
        project(0, d, 0, clip);
        EXPECT_NEAR(clip[0] / clip[3], 0.0, 1e-6);
        EXPECT_NEAR(clip[1] / clip[3], 0.0, 1e-6);
        EXPECT_NEAR(clip[2] / clip[3], std::bit_cast<double>(0xBFEFFFFF00000000ull) * -1.0, 1e-6);
    }
    project(0, 1, 0.1, clip);
    EXPECT_LT(clip[1] / clip[3], 0.0);
    project(0.1, 1, 0, clip);
    EXPECT_GT(clip[0] / clip[3], 0.0);

    // The view's axes give the ray through any point of the view: it
    // projects back to that point; a pixel's angle is the view's width over
    // its pixels at the centre.
    for (auto [x, y] : {std::pair{0.0, 0.0}, std::pair{0.3, -0.6}, std::pair{-1.0, 1.0}}) {
        double ray[3];
        for (int a = 0; a < 3; ++a) ray[a] = ubo.camera_forward[a] + x * ubo.camera_right[a] + y * ubo.camera_up[a];
        project(ray[0], ray[1], ray[2], clip);
        EXPECT_NEAR(clip[0] / clip[3], x, 1e-5);
        EXPECT_NEAR(clip[1] / clip[3], y, 1e-5);
    }
    const double across = std::atan(std::hypot(ubo.camera_right[0], ubo.camera_right[1], ubo.camera_right[2]));
    EXPECT_NEAR(ubo.pixel_angle, 2 * std::tan(across) / 1021, 1e-7);
}

TEST(ViewUniforms, UnknownMidgroundPlanesFallBackToTheBaseProjection) {
    UniformBufferObject ubo{};
    FrameView v{};
    v.forward = {1, 0, 0};
    v.up = {0, 0, 1};
    v.viewAngle = 60;
    v.width = v.height = 501;
    fillViewUniforms(ubo, v);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(ubo.proj_model_view_midground1.m[i], ubo.proj_model_view.m[i]);
        EXPECT_TRUE(std::isfinite(ubo.proj_model_view_foreground.m[i]));
    }
    v.midgroundNearSq = std::ldexp(1.0, 48);   // n = 1
    v.midgroundFarSq = std::ldexp(9.0, 48);    // f = 3
    fillViewUniforms(ubo, v);
    const float* m = ubo.proj_model_view_midground1.m;
    // Depth -1 at the near plane and 1 at the far plane, straight ahead.
    for (auto [d, expected] : {std::pair{1.0, -1.0}, std::pair{3.0, 1.0}}) {
        const double z = m[0 + 2] * d + m[12 + 2];
        const double w = m[0 + 3] * d + m[12 + 3];
        EXPECT_NEAR(z / w, expected, 1e-6);
    }
}
