// The save file in the running program: start-up loads it over the defaults
// (a whole file, and quitting without saving: the end-to-end test of the
// files), and the panel's Save, Load and Reset act on the state.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "state/save_file.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> bytesOf(const std::string& path) {
    const std::string bytes = readFile(path);
    return {bytes.begin(), bytes.end()};
}

// The image of the defaults, changed by `change`.
template <typename Change>
std::vector<uint8_t> imageOf(Change change) {
    Settings settings;
    Viewpoint view{};
    applyDefaultSettings(settings, view);
    change(settings, view);
    return buildSaveImage({&settings, &view});
}

// The image of a state away from the defaults, made without an Application.
std::vector<uint8_t> unusualImage(double viewAngle = 17) {
    return imageOf([&](Settings& settings, Viewpoint& view) {
        settings.seed = {11, 12};
        settings.maxVoxelChunks = 48;
        settings.maxStarsGen = 400000;
        view.position[0] = {99, 123456789};
        view.speedLevel = -37;
        settings.viewAngle = viewAngle;
        settings.panelOnRight = false;
    });
}

class SaveFileInTheProgram : public testing::Test {
  protected:
    TempFolder home;
    std::unique_ptr<Application> app;

    void SetUp() override {
        ::setenv("XDG_DATA_HOME", home.path.c_str(), 1);
        fs::create_directories(folder());
        app = std::make_unique<Application>();
    }
    void TearDown() override {
        if (app->starField.engine != nullptr) app->shutdown();
        app.reset();
        ::unsetenv("XDG_DATA_HOME");
    }
    std::string folder() const { return home.at("tarnwick/"); }
    std::string file() const { return folder() + "default.sav"; }
    void put(const std::vector<uint8_t>& bytes) const { writeFile(file(), bytes); }
    Settings& settings() { return app->state.settings; }
    // The save file image of the program's state: every saved field at once.
    std::vector<uint8_t> stateImage() const { return buildSaveImage({&app->state.settings, &app->state.view}); }
};

}  // namespace

// A save file the program could not read whole is never written over: the
// fields before a bad one are in force and the rest keep the defaults (never
// the zeros of a freshly constructed state); the first save (the Save
// button, or at exit) keeps it under another name and says where; a newer
// one, or a path that is no regular file, is never written at all (nor
// waited on), and the exit says the state was not saved.
TEST_F(SaveFileInTheProgram, WhatCouldNotBeReadIsNeverWrittenOver) {
    std::vector<uint8_t> cut = unusualImage(), newer = unusualImage();
    cut.resize(100);
    newer[8] = 2;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;  // none: a FIFO
        SaveFileCondition found;
        bool button;  // saved with the Save button, else at exit
    };
    const Case cases[] = {
        {"damaged", unusualImage(120.0), SaveFileCondition::UNREADABLE, true},
        {"cut short", cut, SaveFileCondition::UNREADABLE, false},
        {"newer", newer, SaveFileCondition::NEWER, false},
        {"a FIFO", {}, SaveFileCondition::NOT_A_FILE, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(folder());
        fs::create_directories(folder());
        if (c.bytes.empty()) {
            ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);
        } else {
            put(c.bytes);
        }
        const fs::file_type kind = fs::symlink_status(file()).type();
        app = std::make_unique<Application>();
        app->init(builtGalaxy());
        EXPECT_EQ(app->saveStatus.condition, c.found);
        // What the loader takes from the file, over the defaults.
        EXPECT_EQ(stateImage(), imageOf([&c](Settings& settings, Viewpoint& view) {
                      try {
                          applySaveImage(c.bytes.data(), c.bytes.size(), {&settings, &view});
                      } catch (const std::runtime_error&) {
                      }
                  }));
        EXPECT_NE(app->saveFileNotice(), "");
        EXPECT_EQ(app->state.status.lastError, app->saveStatus.problem);
        app->state.view.speedLevel = 33;
        testing::internal::CaptureStderr();
        if (c.button) app->saveNow();
        app->shutdown();
        const std::string told = testing::internal::GetCapturedStderr();
        const bool kept = c.found == SaveFileCondition::UNREADABLE;
        EXPECT_EQ(app->saveFailedAtExit, !kept) << told;
        if (kept) {
            // The old bytes under the new name, a new file in its place.
            std::vector<std::string> aside;
            for (const auto& e : fs::directory_iterator(folder()))
                if (e.path().extension() != ".sav" && e.path().extension() != ".settings")
                    aside.push_back(e.path().string());
            ASSERT_EQ(aside.size(), 1u);
            EXPECT_EQ(aside[0].rfind(file() + ".unreadable-", 0), 0u) << aside[0];
            EXPECT_EQ(bytesOf(aside[0]), c.bytes);
            EXPECT_EQ(bytesOf(file()).at(152), 33);
            EXPECT_NE(told.find("kept as " + aside[0]), std::string::npos) << told;
            EXPECT_TRUE(!c.button || app->state.status.lastError.find(aside[0]) != std::string::npos);
        } else {
            EXPECT_EQ(fs::symlink_status(file()).type(), kind);
            if (kind == fs::file_type::regular) {
                EXPECT_EQ(bytesOf(file()), c.bytes);
            }
            EXPECT_EQ(std::distance(fs::directory_iterator(folder()), fs::directory_iterator()), 1);
            EXPECT_TRUE(!c.button || app->state.status.lastError != "");
        }
    }
    // A newer program that saved there since the start is not written over either.
    fs::remove_all(folder());
    fs::create_directories(folder());
    app = std::make_unique<Application>();
    app->init(builtGalaxy());
    put(newer);
    app->saveNow();
    EXPECT_EQ(bytesOf(file()), newer);
    EXPECT_NE(app->state.status.lastError.find("newer version"), std::string::npos) << app->state.status.lastError;
    app->saveOnExit = false;
}

// Without a file the program starts with the defaults and writes nothing;
// the panel's Save, Load and Reset are each carried out once and cleared.
// Load and Save name every failure; one at shutdown goes to standard error
// and to the exit status.
TEST_F(SaveFileInTheProgram, SaveLoadAndResetRequestsAndTheirFailures) {
    app->init(builtGalaxy());
    EXPECT_EQ(app->state.status.lastError, "");
    EXPECT_EQ(stateImage(), imageOf([](Settings&, Viewpoint&) {}));
    EXPECT_FALSE(fs::exists(file()));
    app->state.view.speedLevel = 21;
    settings().maxVoxelChunks = 4;
    app->state.status.lastError = "old";
    app->state.requests.save = true;
    app->handleRequests();
    EXPECT_FALSE(app->state.requests.save);
    EXPECT_EQ(app->state.status.lastError, "");
    const std::vector<uint8_t> saved = stateImage();
    EXPECT_EQ(bytesOf(file()), saved);
    // Reset: the defaults of both files, settings derived; what neither file
    // holds kept; the file left alone.
    app->state.redraw.rebuildDevicePipelines = false;
    settings().exposureMode = ExposureMode::Auto;
    settings().diffuseColour = DiffuseColour::Populations;
    settings().brightness = 0.25f;
    settings().backgroundMode = BackgroundMode::None;
    settings().starShape = StarShape::Circle;
    app->state.requests.reset = true;
    app->handleRequests();
    EXPECT_FALSE(app->state.requests.reset);
    EXPECT_EQ(stateImage(), imageOf([](Settings&, Viewpoint&) {}));
    EXPECT_EQ(settings().exposureMode, ExposureMode::Fixed);
    EXPECT_EQ(settings().diffuseColour, DiffuseColour::Even);
    EXPECT_EQ(settings().brightness, 0.25f);
    EXPECT_EQ(settings().backgroundMode, BackgroundMode::None);
    EXPECT_EQ(settings().starShape, StarShape::Circle);
    EXPECT_TRUE(app->state.redraw.rebuildDevicePipelines);
    EXPECT_EQ(bytesOf(file()), saved);
    // Load: the saved values back, settings derived.
    app->state.redraw.rebuildDevicePipelines = false;
    app->state.requests.load = true;
    app->handleRequests();
    EXPECT_FALSE(app->state.requests.load);
    EXPECT_EQ(app->state.status.lastError, "");
    EXPECT_EQ(stateImage(), saved);
    EXPECT_TRUE(app->state.redraw.rebuildDevicePipelines);
    EXPECT_EQ(app->state.changes.settingsChanged, 1);
    // No file at all: Load says so instead of doing nothing in silence.
    fs::remove(file());
    app->loadNow();
    EXPECT_EQ(app->state.status.lastError, std::strerror(ENOENT));
    // The save file's name taken by a folder that is not empty (that it
    // stays, with no temporary beside it: the safe-write tests).
    fs::create_directories(file() + "/occupied");
    app->saveNow();
    EXPECT_EQ(app->state.status.lastError, std::strerror(EISDIR));
    testing::internal::CaptureStderr();
    app->shutdown();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error: the state could not be saved to " + file() + ": " + std::strerror(EISDIR)),
              std::string::npos)
        << err;
    EXPECT_TRUE(app->saveFailedAtExit);
}
