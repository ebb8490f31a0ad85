// Starloom: fly through a procedurally generated galaxy.
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include <GLFW/glfw3.h>

#include "app/application.h"
#include "app/command_line.h"
#include "render/meshes.h"
#include "starloom_version.h"

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
void reportFatal(const char* stage, const char* what) {
    if (std::strcmp(stage, "setting up the Vulkan device") == 0) {
        std::fprintf(stderr, "%s%s: %s\n", VULKAN_HINT, stage, what);
    } else {
        std::fprintf(stderr, "Error: %s: %s\n", stage, what);
    }
}

// starloom --render: the view of the save file drawn into a PNG file, without
// a window. A save file that cannot be used stops it: the picture would not
// show the view that was asked for.
void renderSavedView(Application& app, const CommandLine& options) {
    app.state.saveOnExit = false;  // a picture leaves the save file alone
    if (!app.saveFile.empty() && !std::filesystem::exists(app.saveFile)) {
        throw std::runtime_error("there is no save file " + app.saveFile);
    }
    if (!app.state.lastError.empty()) {
        throw std::runtime_error("the save file " + app.savePath() + " cannot be used: " + app.state.lastError);
    }
    app.initOffscreenRenderer(options.renderWidth, options.renderHeight);
    // The diffuse light alone needs no stars.
    if (!options.backgroundOnly) app.completeStarField();
    app.renderPicture(options.render, options.backgroundOnly);
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine options;
    std::string error;
    if (!parseCommandLine(argc, argv, options, error)) {
        std::fprintf(stderr, "starloom: %s\n%s", error.c_str(), COMMAND_LINE_USAGE);
        return 2;
    }
    if (options.help) {
        std::fputs(COMMAND_LINE_USAGE, stdout);
        return 0;
    }
    if (options.version) {
        std::printf("starloom %s\n", STARLOOM_VERSION);
        return 0;
    }

    const IcosaTables icosa = makeIcosaTables();
    const char* stage = "building the galaxy";
    try {
        auto galaxy = std::make_unique<GalaxyModel>();
        buildGalaxyModel(*galaxy);
        auto app = std::make_unique<Application>();
        try {
            app->icosa = icosa;
            app->saveFile = options.saveFile;
            app->init(*galaxy);
            if (!options.render.empty()) {
                renderSavedView(*app, options);
            } else {
                if (options.windowed) app->state.fullScreen = false;
                app->initWindowAndRenderer();
                while (app->state.running && !glfwWindowShouldClose(app->window)) app->drawFrame();
            }
            app->shutdown();
        } catch (...) {
            stage = app->stage;
            throw;
        }
        stage = "closing down";
        app.reset();
    } catch (const std::exception& e) {
        reportFatal(stage, e.what());
        return 1;
    }
    return 0;
}
