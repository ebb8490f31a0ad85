// The save file in the running program: start-up loads it over the defaults,
// shutdown writes it unless the user quit without saving, and the panel's
// Save, Load and Reset act on the state and the star-field engine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/save_file.h"
#include "numeric/constants.h"

namespace {

namespace fs = std::filesystem;

const GalaxyModel& galaxy() {
    static const GalaxyModel* g = [] {
        auto* model = new GalaxyModel;
        buildGalaxyModel(*model);
        return model;
    }();
    return *g;
}

std::vector<uint8_t> bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The image of a state away from the defaults, made without an Application.
std::vector<uint8_t> unusualImage(int32_t speedLevel = -37, double viewAngle = 17) {
    AppState state;
    GalaxySeed seed{11, 12};
    uint32_t chunks = 48;
    uint64_t gen = 400000, gpu = 3000000;
    const SaveTarget t{&state, &seed, &chunks, &gen, &gpu, nullptr};
    applyDefaults(t);
    seed = {11, 12};
    chunks = 48;
    gen = 400000;
    state.view.position[0] = {99, 123456789};
    state.view.speedLevel = speedLevel;
    state.viewAngle = viewAngle;
    state.panelOnRight = false;
    return buildSaveImage(t);
}

class SaveFileInTheProgram : public testing::Test {
  protected:
    std::string home;
    std::unique_ptr<Application> app;

    void SetUp() override {
        char name[] = "/tmp/starloom-app-XXXXXX";
        home = ::mkdtemp(name);
        ::setenv("XDG_DATA_HOME", home.c_str(), 1);
        fs::create_directories(folder());
        app = std::make_unique<Application>();
    }
    void TearDown() override {
        if (app->starField.engine != nullptr) app->shutdown();
        app.reset();
        ::unsetenv("XDG_DATA_HOME");
        fs::remove_all(home);
    }
    std::string folder() const { return home + "/tarnwick/"; }
    std::string file() const { return folder() + "default.sav"; }
    void put(const std::vector<uint8_t>& bytes) const {
        std::ofstream out(file(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    StarField& engine() { return *app->starField.engine; }
};

}  // namespace

TEST_F(SaveFileInTheProgram, StartUpWithoutAFileTakesTheDefaultsAndShutdownSaves) {
    app->init(galaxy());
    EXPECT_EQ(app->state.lastError, "");
    EXPECT_EQ(app->savePath(), file());
    EXPECT_EQ(app->state.view.speedLevel, 40);
    EXPECT_EQ(app->state.viewAngle, 45.0);
    EXPECT_EQ(engine().seed.first, 1u);
    EXPECT_EQ(engine().seed.second, 3u);
    EXPECT_EQ(engine().requestedMaxChunks, 16u);
    EXPECT_EQ(engine().requestedMaxStarsGen, 10000000u);
    EXPECT_EQ(engine().pointCapacity, 3000000u);
    EXPECT_FALSE(fs::exists(file()));
    app->state.view.speedLevel = 44;
    app->shutdown();
    const std::vector<uint8_t> bytes = bytesOf(file());
    ASSERT_EQ(bytes.size(), SAVE_FILE_SIZE);
    EXPECT_EQ(bytes[152], 44);
}

TEST_F(SaveFileInTheProgram, StartUpLoadsTheFileIntoTheStateAndTheEngine) {
    put(unusualImage());
    app->init(galaxy());
    EXPECT_EQ(app->state.lastError, "");
    EXPECT_EQ(app->state.view.position[0].integer, 123456789);
    EXPECT_EQ(app->state.view.position[0].fraction, 99u);
    EXPECT_EQ(app->state.view.speedLevel, -37);
    EXPECT_EQ(app->state.viewAngle, 17.0);
    EXPECT_FALSE(app->state.panelOnRight);
    EXPECT_EQ(engine().seed.first, 11u);
    EXPECT_EQ(engine().seed.second, 12u);
    EXPECT_EQ(engine().requestedMaxChunks, 48u);
    EXPECT_EQ(engine().requestedMaxStarsGen, 400000u);
}

// A file that fails part-way: its message is kept, the fields before the bad
// one are in force and the rest keep the defaults (never the zeros of a
// freshly constructed state).
TEST_F(SaveFileInTheProgram, StartUpWithADamagedFileKeepsTheMessageAndTheDefaults) {
    put(unusualImage(-37, 120.0));
    app->init(galaxy());
    EXPECT_EQ(app->state.lastError, "invalid viewAngle in save file: 120 is outside 1 to 90");
    EXPECT_EQ(app->state.view.position[0].integer, 123456789);  // before the bad field
    EXPECT_EQ(app->state.viewAngle, 45.0);                      // the bad field and after: defaults
    EXPECT_EQ(app->state.maxMagnitude, 12.0f);
    EXPECT_EQ(app->state.view.speedLevel, 40);
    EXPECT_EQ(app->state.controlFontScale, 1u);
    EXPECT_EQ(engine().requestedMaxChunks, 16u);
    EXPECT_TRUE(app->state.panelOnRight);
}

TEST_F(SaveFileInTheProgram, StartUpWithAFileThatCannotBeReadReportsIt) {
    std::vector<uint8_t> bytes = unusualImage();
    bytes.resize(100);
    put(bytes);
    app->init(galaxy());
    EXPECT_EQ(app->state.lastError, LOAD_TRUNCATED);
    EXPECT_EQ(app->state.viewAngle, 45.0);
}

TEST_F(SaveFileInTheProgram, QuitWithoutSavingLeavesTheFileAlone) {
    put(unusualImage());
    const std::vector<uint8_t> before = bytesOf(file());
    app->init(galaxy());
    app->state.view.speedLevel = 12;
    app->state.saveOnExit = false;
    app->shutdown();
    EXPECT_EQ(bytesOf(file()), before);
}

TEST_F(SaveFileInTheProgram, AFailedSaveAtShutdownIsReportedOnStandardError) {
    app->init(galaxy());
    fs::create_directories(file() + "/occupied");  // the save file's name is taken by a folder
    testing::internal::CaptureStderr();
    app->shutdown();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Error: the state could not be saved to " + file() + ": " + std::strerror(EISDIR)),
              std::string::npos)
        << err;
}

TEST_F(SaveFileInTheProgram, SaveLoadAndResetButtons) {
    app->init(galaxy());
    app->state.view.speedLevel = 21;
    engine().requestedMaxChunks = 4;
    app->state.lastError = "old";
    app->saveNow();
    EXPECT_EQ(app->state.lastError, "");
    ASSERT_EQ(bytesOf(file()).size(), SAVE_FILE_SIZE);

    // Reset: the defaults in the state and the engine, settings derived.
    app->state.rebuildDevicePipelines = false;
    app->resetNow();
    EXPECT_EQ(app->state.view.speedLevel, 40);
    EXPECT_EQ(app->state.view.speed, 1e12);
    EXPECT_EQ(engine().requestedMaxChunks, 16u);
    EXPECT_TRUE(app->state.rebuildDevicePipelines);

    // Load: the saved values back, and the speed derived from them.
    app->state.rebuildDevicePipelines = false;
    app->loadNow();
    EXPECT_EQ(app->state.lastError, "");
    EXPECT_EQ(app->state.view.speedLevel, 21);
    EXPECT_EQ(app->state.view.speed, speedFromLevel(21));
    EXPECT_EQ(engine().requestedMaxChunks, 4u);
    EXPECT_TRUE(app->state.rebuildDevicePipelines);
    EXPECT_EQ(app->state.changes.settingsChanged, 1);
}

TEST_F(SaveFileInTheProgram, LoadReportsEveryFailureAndKeepsWhatWasRead) {
    app->init(galaxy());
    // A damaged file: the fields before the bad one are taken and derived.
    put(unusualImage(-37, 0.5));
    app->loadNow();
    EXPECT_EQ(app->state.lastError, "invalid viewAngle in save file: 0.5 is outside 1 to 90");
    EXPECT_EQ(app->state.view.position[0].integer, 123456789);
    EXPECT_EQ(app->state.viewAngle, 45.0);
    // No file at all: Load says so instead of doing nothing in silence.
    fs::remove(file());
    app->loadNow();
    EXPECT_EQ(app->state.lastError, std::strerror(ENOENT));
    // A save that fails names the reason.
    fs::create_directories(file() + "/occupied");
    app->saveNow();
    EXPECT_EQ(app->state.lastError, std::strerror(EISDIR));
    app->state.saveOnExit = false;
}

TEST_F(SaveFileInTheProgram, ThePanelsRequestsAreCarriedOutOnceAndCleared) {
    app->init(galaxy());
    app->state.view.speedLevel = 30;
    app->state.saveRequested = true;
    app->handleSaveFileRequests();
    EXPECT_FALSE(app->state.saveRequested);
    EXPECT_EQ(bytesOf(file()).at(152), 30);
    app->state.view.speedLevel = 31;
    app->state.loadRequested = true;
    app->handleSaveFileRequests();
    EXPECT_FALSE(app->state.loadRequested);
    EXPECT_EQ(app->state.view.speedLevel, 30);
    app->state.resetRequested = true;
    app->handleSaveFileRequests();
    EXPECT_FALSE(app->state.resetRequested);
    EXPECT_EQ(app->state.view.speedLevel, 40);
    EXPECT_EQ(bytesOf(file()).at(152), 30);  // Reset leaves the file alone
}
