#include "app/star_field_link.h"

#include <cmath>

#include "render/population_light.h"

#include <algorithm>
#include <memory>

#include "display_font_data.h"
#include "numeric/constants.h"
#include "starfield/projection.h"

namespace {
// An astronomical unit in position units (10 km).
constexpr double PLACE_MARK_HIDDEN_WITHIN = 14959787.07;
}  // namespace

std::vector<EllipsoidShape> ellipsoidsForDisplay(const std::vector<BackgroundShape>& shapes) {
    std::vector<EllipsoidShape> out;
    for (const BackgroundShape& s : shapes) out.push_back({s.radiusXY, s.radiusZ, s.density, s.type});
    return out;
}

std::vector<std::vector<ArmSegment>> armChainsForDisplay(const GalaxyComponent& arms) {
    // Display densities are the 32.32 values scaled by 2^-48; 2^16 brings them
    // back to densities relative to the local density, as the ellipsoids have.
    const float toRelative = 65536.0f;
    std::vector<std::vector<ArmSegment>> chains;
    for (const auto& list : arms.armLists) {
        std::vector<ArmSegment> chain;
        for (uint32_t index : list) {
            const auto& v = arms.displayArms[index].v;
            chain.push_back({v[0], v[1], v[2], v[3], v[4] * toRelative, v[5], v[6], v[7], v[8], v[9] * toRelative});
        }
        chains.push_back(std::move(chain));
    }
    return chains;
}

void createStarField(StarFieldLink& link, const Galaxy& galaxy) {
    link.galaxy = &galaxy;
    link.ellipsoids = ellipsoidsForDisplay(galaxy.backgroundShapes);
    // Each ellipsoid is the shape of the smooth component of its size.
    for (const BackgroundShape& shape : galaxy.backgroundShapes) {
        uint32_t kind = KIND_DISC;
        for (uint32_t i = 0; i < galaxy.count; ++i) {
            const GalaxyComponent& c = galaxy.components[i];
            const double radius = static_cast<double>(c.radiusXY) / 65536.0;  // high words to 2^48 units
            if (c.shape == SHAPE_ELLIPSOID && std::abs(radius - shape.radiusXY) <= 1e-3 * radius) kind = c.kind;
        }
        link.ellipsoidKinds.push_back(kind);
    }
    for (uint32_t i = 0; i < galaxy.count; ++i) {
        if (galaxy.components[i].shape == SHAPE_ARMS) link.armChains = armChainsForDisplay(galaxy.components[i]);
    }
    link.limits = defaultViewLimits(galaxy);
    link.engine = std::make_unique<StarField>(galaxy);
    link.draw.foregroundRadiusFactor = toDouble(SUN_RADIUS);
    link.draw.limitScale = link.limits.limitScale;
}

void preparePass(StarFieldLink& link, const ProgramState& state, const ChangeFlags& c) {
    StarFieldInput& input = link.input;
    for (int a = 0; a < 3; ++a) input.position[a] = state.view.position[a].integer;
    input.velocity[0] = link.velocity.x;
    input.velocity[1] = link.velocity.y;
    input.velocity[2] = link.velocity.z;
    input.changes[CHANGE_VIEWPOINT] = c.viewpointMoved;
    input.changes[CHANGE_SETTINGS] = c.settingsChanged;
    input.changes[CHANGE_SWAP_CHAIN] = c.swapChainRecreated;
    input.changes[CHANGE_LABELS] = c.labelsChanged;
    input.channels = channelConstants(state.settings);
    input.limits = link.limits;
    input.settings = starFieldSettings(state.settings);
    input.labelsNeedDistance = labelsShowDistance(state.settings);
    // The labels beside found stars.
    input.font = &builtinDisplayFont();
    labelChoices(state.settings, input.labelChoice);
    input.hasSelection = state.panel.hasSelection;
    input.selection = state.panel.selection;
    if (c.labelsChanged) {
        input.places = state.settings.bookmarksOnSky ? bookmarkMarks(state.bookmarks, state.settings.seed)
                                                     : std::vector<SearchResult>{};
    }
    input.displayFontSize = static_cast<int>(state.settings.displayFontSize);
    // The pass goes on past its budget until a frame wants its results.
    input.runUntilCollected = true;
    link.engine->yieldRequested.store(false);
}

void requestPassResults(StarFieldLink& link) {
    if (link.engine != nullptr) link.engine->yieldRequested.store(true);
}

void runStarFieldPass(void* context) {
    StarFieldLink& link = *static_cast<StarFieldLink*>(context);
    link.engine->update(link.input);
}

bool starFieldUnfinished(void* context) {
    const StarFieldLink& link = *static_cast<const StarFieldLink*>(context);
    return link.engine != nullptr && link.engine->unfinished();
}

void recomputeViewLimits(StarFieldLink& link, float maxMagnitude, double viewAngle, int displayHeight) {
    if (link.galaxy == nullptr) return;  // no engine yet
    const int height = displayHeight > 0 ? displayHeight : DEFAULT_DISPLAY_HEIGHT;
    link.limits = computeViewLimits(*link.galaxy, maxMagnitude, viewAngle, height);
    link.draw.limitScale = link.limits.limitScale;
}

void recomputeBackgroundLight(StarFieldLink& link, const ChannelConstants& channels, double displayValue,
                              bool byPopulation) {
    if (link.galaxy == nullptr || link.galaxy->count == 0) return;
    const PopulationTable& table = link.galaxy->components[0].populations;
    const BackgroundLight light = backgroundLight(table, channels, displayValue, link.limits.limitScale);
    link.draw.backgroundIntensity = light.intensity;
    for (int i = 0; i < 3; ++i) link.draw.backgroundColour[i] = light.colour[i];
    link.draw.ellipsoidColours.clear();
    link.draw.armColour = {0, 0, 0};
    if (!byPopulation) return;
    for (uint32_t kind : link.ellipsoidKinds) {
        link.draw.ellipsoidColours.push_back(populationColour(table, channels, stellarAgeOfKind(kind)));
    }
    link.draw.armColour = populationColour(table, channels, stellarAgeOfKind(KIND_ARMS));
}

void publishPassResults(StarFieldLink& link) {
    const StarField& engine = *link.engine;
    StarFieldDraw& draw = link.draw;
    draw.foreground.clear();
    for (uint32_t i = 0; i < engine.foreground.count && i < MAX_FOREGROUND_OBJECTS; ++i) {
        const ForegroundEntry& e = engine.foreground.entries[i];
        const StarRecord* star = engine.foreground.owner[i];
        ForegroundView f{{e.x, e.y, e.z},
                         e.radius,
                         {static_cast<uint8_t>(e.colour & 0x7F), static_cast<uint8_t>((e.colour >> 8) & 0x7F),
                          static_cast<uint8_t>((e.colour >> 16) & 0x7F)},
                         star != nullptr ? star->luminosityCode : 0};
        draw.foreground.push_back(f);
    }
    draw.foregroundFarSq = link.input.limits.foregroundDistance;
    if (engine.results.labelsRebuilt) {
        draw.highlightCount = std::min<uint32_t>(engine.results.highlightCount, MAX_HIGHLIGHTS);
        draw.highlightPositions = engine.results.highlightPositions;
        draw.placeMarkCount = std::min(engine.results.placeMarkCount, draw.highlightCount);
        draw.labelBoxes = engine.results.labelBoxes;
    }
    link.nearCount = std::min<uint32_t>(static_cast<uint32_t>(engine.nearList.size()), MAX_NEAR_STARS);
    link.starsDisplayed = engine.results.pointHighWater - engine.results.clearedFree;
}

void styleHighlights(StarFieldLink& link, const ProgramState& state) {
    const StarFieldDraw& draw = link.draw;
    const size_t n = std::min<size_t>(draw.highlightCount, draw.highlightPositions.size() / 3);
    std::vector<HighlightStyle>& style = link.highlightStyle;
    style.assign(n, HighlightStyle{});
    if (n == 0) return;
    DisplayView view;
    view.forward = state.view.forward;
    view.up = state.view.up;
    view.viewAngle = state.settings.viewAngle;
    view.width = std::max(1, state.status.displayWidth);
    view.height = std::max(1, state.status.displayHeight);
    // The selected star first, then the marked places, then the others
    // nearest first (the search's order).
    int selected = -1;
    for (size_t i = draw.placeMarkCount; i < n && selected < 0; ++i) {
        const int64_t* at = &draw.highlightPositions[3 * i];
        const StarRecord& chosen = state.panel.selection.star;
        if (state.panel.hasSelection && at[0] == chosen.x && at[1] == chosen.y && at[2] == chosen.z) {
            selected = static_cast<int>(i);
        }
    }
    std::vector<size_t> order;
    if (selected >= 0 && static_cast<size_t>(selected) < n) order.push_back(static_cast<size_t>(selected));
    for (size_t i = 0; i < n; ++i) {
        if (static_cast<int>(i) != selected) order.push_back(i);
    }
    std::vector<ScreenBox> boxes(n);
    std::unique_ptr<bool[]> wanted(new bool[n]);
    std::vector<LabelPlacement> placement(n);
    for (size_t k = 0; k < n; ++k) {
        const size_t i = order[k];
        int64_t offset[3];
        for (int a = 0; a < 3; ++a) {
            offset[a] = static_cast<int64_t>(static_cast<uint64_t>(draw.highlightPositions[3 * i + a]) -
                                             static_cast<uint64_t>(state.view.position[a].integer));
        }
        const DisplayPoint p = projectToDisplay(view, offset);
        const LabelBox b = i < draw.labelBoxes.size() ? draw.labelBoxes[i] : LabelBox{};
        // A marked place within an astronomical unit is where the viewpoint
        // is (a bookmark just added or gone to): it has no direction to be in.
        const double distance = std::hypot(static_cast<double>(offset[0]), static_cast<double>(offset[1]),
                                           static_cast<double>(offset[2]));
        style[i].hidden = i < draw.placeMarkCount && distance < PLACE_MARK_HIDDEN_WITHIN;
        wanted[k] = p.inFront && !style[i].hidden;
        boxes[k] = {p.x + b.x0, p.y + b.y0, p.x + b.x1, p.y + b.y1};
    }
    // The cross-hair: strokes reaching 2.5 % of the display's height from
    // its centre each way.
    const double reach = 0.025 * view.height + 2;
    const ScreenBox crosshair{view.width / 2.0 - reach, view.height / 2.0 - reach, view.width / 2.0 + reach,
                              view.height / 2.0 + reach};
    placeLabels(boxes.data(), wanted.get(), n, state.settings.showCrosshair ? &crosshair : nullptr, placement.data());
    for (size_t k = 0; k < n; ++k) {
        HighlightStyle& h = style[order[k]];
        h.labelShown = placement[k].shown;
        h.labelDrop = static_cast<uint8_t>(placement[k].drop);
    }
    if (selected >= 0 && static_cast<size_t>(selected) < n) style[static_cast<size_t>(selected)].selected = true;
    for (size_t i = 0; i < n && i < draw.placeMarkCount; ++i) style[i].place = true;
}
