#include "ui/text_view.h"

#include <imgui.h>

#include <algorithm>
#include <mutex>
#include <string>

#include "state/program_state.h"
#include "display_font_data.h"
#include "render/imgui_backend.h"
#include "starfield/search.h"
#include "starfield/star_field.h"
#include "text/help_texts.h"
#include "text/licences.h"
#include "text/star_info.h"

namespace {

TextLayoutSettings layoutSettings(const TextView& view, const ProgramState& state) {
    return {&builtinDisplayFont(), static_cast<int>(state.settings.displayFontSize), view.maxImageSize};
}

// The width help screens and pages are laid out at: lines of about 64
// characters, as long as the star display holds them.
int readingWidth(const TextView& view, const ProgramState& state) {
    const TextSize line = measureText(layoutSettings(view, state), std::string(64, 'n'));
    const int available = state.status.displayWidth - static_cast<int>(ImGui::GetStyle().WindowPadding.x);
    return std::max(1, std::min(line.width, available));
}

}  // namespace

bool composeTextBlock(const TextView& view, const ProgramState& state, StarField& engine, int blockId,
                      TextSource& source) {
    source.width = readingWidth(view, state);
    for (int page = 0; page < HELP_PAGE_COUNT; ++page) {
        if (blockId == HELP_BLOCK_IDS[page]) {
            source.text = helpText(page);
            return true;
        }
    }
    const Galaxy& galaxy = engine.galaxy;
    switch (blockId) {
        case LICENCE_BLOCK_ID: source.text = licencesText(); return true;
        case STAR_INFO_BLOCK_ID: {
            if (!state.panel.hasSelection) return false;
            const SearchResult& star = state.panel.selection;
            const int64_t viewpoint[3] = {state.view.position[0].integer, state.view.position[1].integer,
                                          state.view.position[2].integer};
            source.text =
                starInfoText(star, viewpoint, foundStarProperties(galaxy.components[0].populations, state.settings.seed, star));
            source.width = std::min(source.width, measureText(layoutSettings(view, state), STAR_INFO_MEASURE_TEXT).width);
            return true;
        }
        default: break;
    }
    for (int page = 0; page < INFO_PAGE_COUNT; ++page) {
        if (blockId != INFO_BLOCK_IDS[page]) continue;
        switch (page) {
            case INFO_ROAD_MAP: source.text = roadMapText(); break;
            case INFO_STAR_COUNTS: source.text = starCountsText(kindTotals(galaxy.components.get(), galaxy.count)); break;
            case INFO_PLATFORM: source.text = platformText(state.status.version); break;
            case INFO_GPU: source.text = gpuText(view.gpu, state.status.version); break;
            case INFO_CHANGE_LOG: source.text = changeLogText(); break;
            case INFO_KNOWN_BUGS: source.text = knownBugsText(); break;
            default: return false;
        }
        return true;
    }
    return false;
}

void updateTextView(TextView& view, ProgramState& state, StarField& engine) {
    view.rebuilt = false;
    if (state.changes.labelsChanged || state.panel.refreshTextBlock || view.fontSize != state.settings.displayFontSize ||
        view.displayWidth != state.status.displayWidth || view.displayHeight != state.status.displayHeight) {
        clearTextBlockCache(view.cache);
        view.fontSize = state.settings.displayFontSize;
        view.displayWidth = state.status.displayWidth;
        view.displayHeight = state.status.displayHeight;
    }
    state.panel.refreshTextBlock = false;
    TextSource source;
    if (state.panel.textBlockId == 0 || !composeTextBlock(view, state, engine, state.panel.textBlockId, source)) {
        state.panel.textBlockId = 0;
        return;
    }
    // The block is composed every frame and laid out again when its text
    // changed: the facts it shows (the distance while flying, the window's
    // size) stay current.
    if (source.text != view.text || source.width != view.width) clearTextBlockCache(view.cache);
    view.text = std::move(source.text);
    view.width = source.width;
    view.rebuilt = layoutTextBlock(view.cache, view.block, layoutSettings(view, state), view.width,
                                   state.status.displayHeight, state.panel.textBlockId, view.text);
}

void drawTextWindow(const TextView& view, const ProgramState& state) {
    if (state.panel.textBlockId == 0 || view.block.width <= 0) return;
    const ImGuiStyle& style = ImGui::GetStyle();
    const float width = static_cast<float>(view.block.width) + style.ScrollbarSize;
    const float height = std::min(static_cast<float>(view.block.height), static_cast<float>(state.status.framebufferHeight));
    const float x = state.settings.panelOnRight ? 0.0f : static_cast<float>(state.status.framebufferWidth) - width;
    ImGui::SetNextWindowPos(ImVec2(x, 0));
    ImGui::SetNextWindowSize(ImVec2(width, height));
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(0, 0));
    ImGui::Begin("Text", nullptr,
                 ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_AlwaysVerticalScrollbar);
    imguiTextBlockImage(static_cast<float>(view.block.width), static_cast<float>(view.block.height));
    ImGui::End();
    ImGui::PopStyleVar();
    // The window covers the stars, which keep their place (the picture does
    // not move or shrink when a block opens or closes).
}
