// Starloom: fly through a procedurally generated galaxy.
#include <cstdio>
#include <exception>
#include <memory>

#include "app/application.h"
#include "render/meshes.h"

#include <GLFW/glfw3.h>

namespace {

constexpr const char* FATAL_TEXT =
    "Error: Cannot run because your graphics card does\n"
    "not appear to support Vulkan 1.0. There is nothing\n"
    "wrong with either this software or your graphics\n"
    "card, they are just not compatible.\n"
    "Check https://vulkan.gpuinfo.org for compatible graphics\n"
    "cards. Specific error:\n";

}  // namespace

int main() {
    const IcosaTables icosa = makeIcosaTables();
    try {
        auto galaxy = std::make_unique<GalaxyModel>();
        buildGalaxyModel(*galaxy);
        auto app = std::make_unique<Application>();
        app->icosa = icosa;
        app->init(*galaxy);
        app->initWindowAndRenderer();
        while (app->running && !glfwWindowShouldClose(app->window)) app->drawFrame();
        app->shutdown();
        app.reset();
    } catch (const std::exception& e) {
        // No message box on this platform: the whole text goes to standard error.
        std::fprintf(stderr, "Error:%s\n", e.what());
        std::fprintf(stderr, "%s%s\n", FATAL_TEXT, e.what());
        return 1;
    }
    return 0;
}
