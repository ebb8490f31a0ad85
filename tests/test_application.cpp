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
    app->recomputeSpeed();
    return app;
}

}  // namespace

TEST(ApplicationSettings, DefaultsOfAMissingSaveFile) {
    auto app = freshApp();
    EXPECT_EQ(app->view.position[0].integer, -7003708179394623LL);
    EXPECT_EQ(app->view.position[1].integer, -24996773029325252LL);
    EXPECT_EQ(app->view.position[2].integer, 1127289819641451LL);
    EXPECT_EQ(app->viewAngle, 45.0);
    EXPECT_EQ(app->maxMagnitude, 12.0f);
    EXPECT_EQ(app->view.speedLevel, 40);
    EXPECT_EQ(app->view.speed, 1e12);
    EXPECT_TRUE(app->panelOnRight);
    EXPECT_TRUE(app->showCrosshair);
    EXPECT_TRUE(app->multisampling);
    EXPECT_EQ(app->backgroundMode, 2);
    EXPECT_EQ(app->starShape, 1);
    EXPECT_TRUE(app->running);
    EXPECT_TRUE(app->saveOnExit);
    EXPECT_EQ(app->changes.viewpointMoved, 1);
}

TEST(ApplicationSettings, ApplySettingsRepairsTheFrameAndDerivesValues) {
    auto app = freshApp();
    app->view.forward = {2, 0, 0};
    app->view.up = {1, 1, 0};
    app->view.speedLevel = -1;
    app->displayHeight = 799;
    app->applySettings();
    EXPECT_NEAR(length(app->view.forward), 1.0, 1e-15);
    EXPECT_NEAR(length(app->view.up), 1.0, 1e-15);
    EXPECT_NEAR(dot(app->view.forward, app->view.up), 0.0, 1e-15);
    EXPECT_EQ(app->view.speed, 0.5);
    EXPECT_TRUE(app->rebuildDevicePipelines);
    EXPECT_EQ(app->changes.settingsChanged, 1);
    // Channel constants: a = 2hc^2 / lambda^4, b = hc/k / lambda.
    const double lambda = 6.5e-7;
    EXPECT_NEAR(app->channelExponent[0], 0.014387773538277203 / lambda, 1e-3 * 0.0143877 / lambda);
    EXPECT_NEAR(app->channelIntensity[0] / (1.1910429e-16 / std::pow(lambda, 4)), 1.0, 1e-3);
}

TEST(ApplicationSettings, SaveDirectoryFollowsXdgDataHome) {
    setenv("XDG_DATA_HOME", "/tmp/starloom-test-data", 1);
    EXPECT_EQ(saveDirectoryPath(), "/tmp/starloom-test-data/tarnwick/");
    unsetenv("XDG_DATA_HOME");
    setenv("HOME", "/tmp/starloom-home", 1);
    EXPECT_EQ(saveDirectoryPath(), "/tmp/starloom-home/.local/share/tarnwick/");
}

TEST(KeyEvents, CommaHasNoLowerBoundPeriodStopsAtFifty) {
    auto app = freshApp();
    app->view.speedLevel = 0;
    applyKeyEvent(*app, GLFW_KEY_COMMA, GLFW_PRESS, 0, false);
    applyKeyEvent(*app, GLFW_KEY_COMMA, GLFW_RELEASE, 0, false);
    applyKeyEvent(*app, GLFW_KEY_COMMA, GLFW_PRESS, 0, false);
    EXPECT_EQ(app->view.speedLevel, -2);
    EXPECT_EQ(app->view.speed, speedFromLevel(-2));
    app->view.speedLevel = 49;
    for (int i = 0; i < 3; ++i) applyKeyEvent(*app, GLFW_KEY_PERIOD, GLFW_PRESS, 0, false);
    EXPECT_EQ(app->view.speedLevel, 50);
    EXPECT_EQ(app->view.speed, 1e15);
    // A repeat changes nothing.
    applyKeyEvent(*app, GLFW_KEY_COMMA, GLFW_REPEAT, 0, false);
    EXPECT_EQ(app->view.speedLevel, 50);
}

TEST(KeyEvents, KeyStatesCapsLockAndCrosshair) {
    auto app = freshApp();
    applyKeyEvent(*app, GLFW_KEY_SPACE, GLFW_PRESS, GLFW_MOD_CAPS_LOCK, false);
    EXPECT_TRUE(app->keyDown[GLFW_KEY_SPACE]);
    EXPECT_TRUE(app->view.capsLock);
    applyKeyEvent(*app, GLFW_KEY_SPACE, GLFW_RELEASE, 0, false);
    EXPECT_FALSE(app->keyDown[GLFW_KEY_SPACE]);
    EXPECT_FALSE(app->view.capsLock);
    applyKeyEvent(*app, GLFW_KEY_UNKNOWN, GLFW_PRESS, 0, false);  // never stored, no crash
    applyKeyEvent(*app, GLFW_KEY_C, GLFW_PRESS, 0, false);
    EXPECT_FALSE(app->showCrosshair);
    applyKeyEvent(*app, GLFW_KEY_C, GLFW_RELEASE, 0, false);
    EXPECT_FALSE(app->showCrosshair);
    applyKeyEvent(*app, GLFW_KEY_C, GLFW_PRESS, 0, false);
    EXPECT_TRUE(app->showCrosshair);
}

TEST(KeyEvents, IgnoredWhileThePanelHasTheKeyboard) {
    auto app = freshApp();
    EXPECT_FALSE(applyKeyEvent(*app, GLFW_KEY_C, GLFW_PRESS, GLFW_MOD_CAPS_LOCK, true));
    EXPECT_FALSE(app->keyDown[GLFW_KEY_C]);
    EXPECT_FALSE(app->view.capsLock);
    EXPECT_TRUE(app->showCrosshair);
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
