// Starloom: fly through a procedurally generated galaxy.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <GLFW/glfw3.h>

#include "app/application.h"
#include "state/bookmarks.h"
#include "state/save_file.h"
#include "app/command_line.h"
#include "galaxy/galaxy_build.h"
#include "render/meshes.h"
#include "starfield/locate.h"
#include "starfield/location_text.h"
#include "starloom_version.h"
#include "ui/places.h"

namespace {

// Shown when the Vulkan device could not be set up, before the specific error.
constexpr const char* VULKAN_HINT =
    "Error: Cannot run because your graphics card does\n"
    "not appear to support Vulkan 1.0. There is nothing\n"
    "wrong with either this software or your graphics\n"
    "card, they are just not compatible.\n"
    "Check https://vulkan.gpuinfo.org for compatible graphics\n"
    "cards. Specific error:\n";

// One message on standard error: what the program was doing and why it
// failed; the Vulkan compatibility hint only when the device was the problem.
void reportFatal(const Stage& stage, const char* what) {
    if (stage.vulkanDevice) {
        std::fprintf(stderr, "%s%s: %s\n", VULKAN_HINT, stage.doing, what);
    } else {
        std::fprintf(stderr, "Error: %s: %s\n", stage.doing, what);
    }
}

// A command-line error: the reason and the usage on standard error.
int usageError(const std::string& error) {
    std::fprintf(stderr, "starloom: %s\n%s", error.c_str(), COMMAND_LINE_USAGE);
    return 2;
}

// starloom --render: the view of the save file (or of --at) drawn into a PNG
// file, without a window. A save file that cannot be used stops it when the
// view comes from it: the picture would not show the view that was asked for.
void renderSavedView(Application& app, const CommandLine& options) {
    app.saveOnExit = false;  // a picture leaves the save file alone
    if (options.at.empty() && !app.saveFile.empty() && !std::filesystem::exists(app.saveFile)) {
        throw std::runtime_error("there is no save file " + app.saveFile);
    }
    if (options.at.empty() && !app.state.status.lastError.empty()) {
        throw std::runtime_error("the save file " + app.savePath() + " cannot be used: " + app.state.status.lastError);
    }
    if (options.exposureGiven) {
        app.state.settings.exposureMode = options.autoExposure ? ExposureMode::Auto : ExposureMode::Fixed;
        app.state.settings.exposure = options.exposure;
    }
    app.initOffscreenRenderer(options.renderWidth, options.renderHeight, options.linearLight);
    // The diffuse light alone needs no stars.
    if (!options.backgroundOnly) app.completeStarField();
    app.renderPicture(options.render, options.backgroundOnly);
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine options;
    std::string error;
    if (!parseCommandLine(argc, argv, options, error)) return usageError(error);
    if (options.help) {
        std::fputs(COMMAND_LINE_USAGE, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("starloom %s\n", STARLOOM_VERSION);
        return 0;
    }
    if (!options.at.empty()) {
        // A malformed text is refused before anything starts; whether a
        // well-formed name names a star needs the galaxy.
        Location place;
        StarName name;
        std::string nameError;
        // A bookmark's name, from the bookmarks beside the save file.
        BookmarkFile marks;
        std::vector<std::string> problems;
        loadBookmarks(bookmarksPath(dataFolderOf(options.saveFile)), marks, problems);
        if (!decodeLocation(options.at, place, error) && findBookmark(marks, pastedText(options.at)) == nullptr &&
            !parseStarName(options.at, name, nameError)) {
            const bool looksLikeLocation = pastedText(options.at).rfind("starloom", 0) == 0;
            return usageError("--at: " + (looksLikeLocation ? error : "neither a bookmark nor a star name: " + nameError));
        }
    }

    const IcosaTables icosa = makeIcosaTables();
    Stage stage{"building the galaxy"};
    try {
        const auto galaxy = std::make_unique<const Galaxy>(buildGalaxy());
        auto app = std::make_unique<Application>();
        try {
            app->icosa = icosa;
            app->saveFile = options.saveFile;
            app->init(*galaxy);
            // The place of --at replaces the saved one (in the saved galaxy,
            // for a star's name).
            if (!options.at.empty() && !goToPlace(app->state, *app->starField.engine, options.at, error)) {
                std::fprintf(stderr, "starloom: --at: %s\n", error.c_str());
                return 2;
            }
            if (!options.render.empty()) {
                renderSavedView(*app, options);
            } else {
                // The panel shows it too, but only once someone opens the Navigation page.
                if (const std::string notice = app->saveFileNotice(); !notice.empty())
                    std::fprintf(stderr, "starloom: %s\n", notice.c_str());
                if (options.windowed) app->state.settings.fullScreen = false;
                app->initWindowAndRenderer();
                while (app->running && !glfwWindowShouldClose(app->window)) app->runLoopStep();
            }
            app->shutdown();
        } catch (...) {
            stage = app->stage;
            throw;
        }
        const bool saveFailed = app->saveFailedAtExit;
        stage = Stage{"closing down"};
        app.reset();
        if (saveFailed) return EXIT_SAVE_FAILED;
    } catch (const std::exception& e) {
        reportFatal(stage, e.what());
        return 1;
    }
    return 0;
}
