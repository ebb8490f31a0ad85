// Starloom: fly through a procedurally generated galaxy.
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include <GLFW/glfw3.h>

#include "app/application.h"
#include "render/meshes.h"

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

}  // namespace

int main() {
    const IcosaTables icosa = makeIcosaTables();
    const char* stage = "building the galaxy";
    try {
        auto galaxy = std::make_unique<GalaxyModel>();
        buildGalaxyModel(*galaxy);
        auto app = std::make_unique<Application>();
        try {
            app->icosa = icosa;
            app->init(*galaxy);
            app->initWindowAndRenderer();
            while (app->state.running && !glfwWindowShouldClose(app->window)) app->runLoopStep();
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
