#include "app/star_field_link.h"

#include <algorithm>

#include "display_font_data.h"
#include "numeric/constants.h"

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

void buildGalaxyModel(GalaxyModel& galaxy) {
    galaxy.components.resize(GALAXY_MAX_COMPONENTS);
    galaxy.count = buildGalaxy(galaxy.planeTree, galaxy.backgroundShapes, galaxy.components.data());
    galaxy.ellipsoids = ellipsoidsForDisplay(galaxy.backgroundShapes);
    for (uint32_t i = 0; i < galaxy.count; ++i) {
        if (galaxy.components[i].shape == SHAPE_ARMS) galaxy.armChains = armChainsForDisplay(galaxy.components[i]);
    }
}

void createStarField(StarFieldLink& link, const GalaxyModel& galaxy) {
    link.galaxy = &galaxy;
    link.pendingLimits = computeViewLimits(galaxy.components.data(), galaxy.count, DEFAULT_MAX_MAGNITUDE,
                                           DEFAULT_VIEW_ANGLE, DEFAULT_DISPLAY_HEIGHT);
    link.viewLimits = link.pendingLimits;
    link.engine = std::make_unique<StarField>(galaxy.components.data(), galaxy.count, &galaxy.planeTree,
                                              &link.viewLimits);
    link.draw.foregroundRadiusFactor = toDouble(SUN_RADIUS);
    link.draw.limitScale = link.pendingLimits.limitScale;
}

void preparePass(StarFieldLink& link, const AppState& state, const ChangeFlags& c) {
    StarFieldInput& input = link.input;
    for (int a = 0; a < 3; ++a) input.position[a] = state.view.position[a].integer;
    input.velocity[0] = link.velocity.x;
    input.velocity[1] = link.velocity.y;
    input.velocity[2] = link.velocity.z;
    const uint8_t changes[CHANGE_COUNT] = {c.viewpointMoved, c.settingsChanged, c.reserved, c.swapChainRecreated,
                                           c.labelsChanged};
    for (int i = 0; i < CHANGE_COUNT; ++i) input.changes[i] = changes[i];
    for (int i = 0; i < 3; ++i) {
        input.channels.intensity[i] = state.channelIntensity[i];
        input.channels.exponent[i] = state.channelExponent[i];
    }
    input.labelsNeedDistance = state.labelsNeedDistance;
    // The labels beside found stars; the second choice counts only with the first.
    input.font = &builtinDisplayFont();
    input.labelChoice[0] = static_cast<uint8_t>(state.starLabel[0]);
    input.labelChoice[1] = static_cast<uint8_t>(state.starLabel[0] != 0 ? state.starLabel[1] : 0);
    input.displayFontSize = static_cast<int>(state.displayFontSize);
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

void handOverViewLimits(StarFieldLink& link) { link.viewLimits = link.pendingLimits; }

void recomputeViewLimits(StarFieldLink& link, float maxMagnitude, double viewAngle, int displayHeight) {
    if (link.galaxy == nullptr) return;  // no engine yet
    const GalaxyModel& galaxy = *link.galaxy;
    const int height = displayHeight > 0 ? displayHeight : DEFAULT_DISPLAY_HEIGHT;
    link.pendingLimits = computeViewLimits(galaxy.components.data(), galaxy.count, maxMagnitude, viewAngle, height);
    link.draw.limitScale = link.pendingLimits.limitScale;
}

void recomputeBackgroundLight(StarFieldLink& link, const AppState& state, double displayValue) {
    if (link.galaxy == nullptr || link.galaxy->count == 0) return;
    const GalaxyModel& galaxy = *link.galaxy;
    ChannelConstants channels;
    for (int i = 0; i < 3; ++i) {
        channels.intensity[i] = state.channelIntensity[i];
        channels.exponent[i] = state.channelExponent[i];
    }
    const BackgroundLight light = backgroundLight(galaxy.components[0].populations, channels, displayValue,
                                                  link.pendingLimits.limitScale);
    link.draw.backgroundIntensity = light.intensity;
    for (int i = 0; i < 3; ++i) link.draw.backgroundColour[i] = light.colour[i];
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
    draw.foregroundFarSq = link.viewLimits.foregroundDistance;
    if (engine.results.labelsRebuilt) {
        draw.highlightCount = std::min<uint32_t>(engine.results.highlightCount, MAX_HIGHLIGHTS);
        draw.highlightPositions = engine.results.highlightPositions;
    }
    link.nearCount = std::min<uint32_t>(static_cast<uint32_t>(engine.nearList.size()), MAX_NEAR_STARS);
    link.starsDisplayed = engine.results.pointHighWater - engine.results.clearedFree;
}
