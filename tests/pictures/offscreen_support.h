// What the tests of starloom --render share: a workspace folder per test, a
// view written into a save file, the program run without a display under the
// Khronos validation layer with its synchronisation checks (any complaint
// fails the test), and the PNG it writes read back.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "files/png_file.h"
#include "starfield/navigation.h"
#include "starfield/star_field.h"
#include "starfield/view_limits.h"
#include "state/program_state.h"
#include "state/save_file.h"

namespace fs = std::filesystem;

// A view as a save file holds it; everything else keeps its default.
struct View {
    const char* name;
    int64_t position[3];
    Vec3d forward, up;
    double viewAngle;
    float maxMagnitude;
};

inline View defaultView(const char* name) {
    return {name,
            {DEFAULT_VIEWPOINT[0], DEFAULT_VIEWPOINT[1], DEFAULT_VIEWPOINT[2]},
            DEFAULT_FORWARD,
            DEFAULT_UP,
            DEFAULT_VIEW_ANGLE,
            static_cast<float>(DEFAULT_MAX_MAGNITUDE)};
}

// The program's state for a view: the defaults with the view's fields set.
inline void applyView(ProgramState& state, const View& view) {
    applyDefaultSettings(state.settings, state.view);
    for (int a = 0; a < 3; ++a) state.view.position[a] = {0, view.position[a]};
    state.view.forward = view.forward;
    state.view.up = view.up;
    state.settings.viewAngle = view.viewAngle;
    state.settings.maxMagnitude = view.maxMagnitude;
}

struct Workspace {
    fs::path dir;
    Workspace() {
        dir = fs::path(OUTPUT_DIR) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir / "home");
    }
};

inline std::string quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline std::string writeSaveFile(const Workspace& w, const View& view) {
    ProgramState state;
    applyView(state, view);
    const std::string path = (w.dir / (std::string(view.name) + ".sav")).string();
    saveState(path, {&state.settings, &state.view});
    return path;
}

struct ProgramRun {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string errors;
};

inline std::string fileText(const fs::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The program with the given arguments, no display and a home of its own,
// under the validation layer: each line of its log of complaints fails the test.
inline ProgramRun runStarloom(const Workspace& w, const std::string& arguments) {
    const fs::path errors = w.dir / "stderr.txt";
    const fs::path settings = w.dir / "vk_layer_settings.txt";
    const fs::path validation = w.dir / "validation.txt";
    fs::remove(validation);
    const char* const sync = "VK_VALIDATION_FEATURE_ENABLE_SYNCHRONIZATION_VALIDATION_EXT";
    std::ofstream(settings) << "khronos_validation.report_flags = error,warn,perf\n"
                               "khronos_validation.debug_action = VK_DBG_LAYER_ACTION_LOG_MSG\n"
                               "khronos_validation.log_filename = "
                            << validation.string() << "\nkhronos_validation.enables = " << sync << "\n";
    const std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY HOME=" + quoted((w.dir / "home").string()) +
        " XDG_DATA_HOME=" + quoted((w.dir / "home" / "data").string()) +
        " VK_INSTANCE_LAYERS=VK_LAYER_KHRONOS_validation VK_LAYER_ENABLES=" + sync +
        " VK_LAYER_SETTINGS_PATH=" + quoted(settings.string()) + " " + quoted(STARLOOM_PATH) + " " + arguments +
        " >/dev/null 2>" + quoted(errors.string());
    const int raw = std::system(command.c_str());
    ProgramRun run;
    if (raw != -1 && WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
    run.errors = fileText(errors);
    std::istringstream log(fileText(validation));
    for (std::string line; std::getline(log, line);) {
        for (const char* complaint : {"Validation Error", "Validation Warning", "VUID", "UNASSIGNED", "SYNC-"}) {
            if (line.find(complaint) != std::string::npos) {
                ADD_FAILURE() << "the validation layer: " << line;
                break;
            }
        }
    }
    return run;
}

struct Image {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

inline Image readImage(const std::string& path) {
    Image image;
    std::string error;
    EXPECT_TRUE(readPngRgb(path, image.width, image.height, image.rgb, error)) << error;
    return image;
}

// extra: further options, such as " --background-only".
inline Image render(const Workspace& w, const std::string& saveFile, const std::string& out, const std::string& size,
                    const std::string& extra = "") {
    const ProgramRun run =
        runStarloom(w, "--save-file " + quoted(saveFile) + " --render " + quoted(out) + " --size " + size + extra);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.errors, "");
    return readImage(out);
}
