#include "app/star_field_link.h"

#include "app/application.h"

#include <algorithm>
#include <cmath>

#include "numeric/constants.h"
#include "starfield/star_field.h"

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

void createStarField(Application& app, const GalaxyModel& galaxy) {
    app.backgroundShapes = galaxy.ellipsoids;
    app.armChains = galaxy.armChains;
    app.starField.galaxy = &galaxy;
    app.starField.pendingLimits = computeViewLimits(galaxy.components.data(), galaxy.count, DEFAULT_MAX_MAGNITUDE,
                                                    DEFAULT_VIEW_ANGLE, DEFAULT_DISPLAY_HEIGHT);
    app.starField.viewLimits = app.starField.pendingLimits;
    app.starField.engine = new StarField(galaxy.components.data(), galaxy.count, &galaxy.planeTree,
                                         &app.starField.viewLimits);
    app.starField.foregroundRadiusFactor = toDouble(SUN_RADIUS);
}

void destroyStarField(Application& app) {
    delete app.starField.engine;
    app.starField.engine = nullptr;
}

void runStarFieldPass(void* application) {
    Application& app = *static_cast<Application*>(application);
    StarFieldInput input;
    for (int a = 0; a < 3; ++a) input.position[a] = app.view.position[a].integer;
    input.velocity[0] = app.starField.velocity.x;
    input.velocity[1] = app.starField.velocity.y;
    input.velocity[2] = app.starField.velocity.z;
    const ChangeFlags& c = app.starField.request;
    const uint8_t changes[5] = {c.viewpointMoved, c.settingsChanged, c.reserved, c.swapChainRecreated,
                                c.labelsChanged};
    for (int i = 0; i < 5; ++i) input.changes[i] = changes[i];
    for (int i = 0; i < 3; ++i) {
        input.channels.intensity[i] = app.channelIntensity[i];
        input.channels.exponent[i] = app.channelExponent[i];
    }
    input.labelsNeedDistance = app.labelsNeedDistance;
    app.starField.engine->update(input);
}

bool starFieldUnfinished(void* application) {
    const Application& app = *static_cast<Application*>(application);
    return app.starField.engine != nullptr && app.starField.engine->unfinished();
}

void handOverViewLimits(Application& app) { app.starField.viewLimits = app.starField.pendingLimits; }

void recomputeViewLimits(Application& app) {
    app.changes.settingsChanged = 1;
    if (app.starField.galaxy == nullptr) return;  // no engine yet
    const GalaxyModel& galaxy = *app.starField.galaxy;
    const int height = app.displayHeight > 0 ? app.displayHeight : DEFAULT_DISPLAY_HEIGHT;
    app.starField.pendingLimits =
        computeViewLimits(galaxy.components.data(), galaxy.count, app.maxMagnitude, app.viewAngle, height);
    app.changes.settingsChanged = 1;
}

void recomputeBackgroundLight(Application& app, double displayValue) {
    if (app.starField.galaxy == nullptr || app.starField.galaxy->count == 0) return;
    const GalaxyModel& galaxy = *app.starField.galaxy;
    ChannelConstants channels;
    for (int i = 0; i < 3; ++i) {
        channels.intensity[i] = app.channelIntensity[i];
        channels.exponent[i] = app.channelExponent[i];
    }
    const BackgroundLight light = backgroundLight(galaxy.components[0].populations, channels, displayValue,
                                                  app.starField.pendingLimits.limitScale);
    app.starField.backgroundIntensity = light.intensity;
    for (int i = 0; i < 3; ++i) app.starField.backgroundColour[i] = light.colour[i];
}

void uploadStarFieldResults(Application& app) {
    StarField& engine = *app.starField.engine;
    StarFieldResults& r = engine.results;
    VulkanState& vk = app.vk;
    bool changed = r.redraw;

    // 1. Changed point slots, as runs of consecutive records.
    if (!r.staged.empty()) {
        std::vector<CopyRegion> regions;
        for (const CopyRegion& region : r.regions) {
            if (region.size > 0 && region.dstOffset + region.size <= vk.midgroundPoints.size) regions.push_back(region);
        }
        GpuBuffer& staging = app.staging.midground;
        createStaging(staging, vk.midgroundPoints, static_cast<uint32_t>(r.staged.size() * sizeof(PointRecord)));
        writeBuffer(staging, r.staged.data(), staging.size);
        copyFromStaging(vk.midgroundPoints, staging, regions.size(), regions.data());
        destroyBuffer(staging);
        changed = true;
    }
    r.staged.clear();
    r.regions.clear();
    const uint32_t points = std::min(r.pointHighWater, vk.midgroundPointCapacity);
    if (points != vk.midgroundPointCount) changed = true;
    vk.midgroundPointCount = points;

    // 2. Where this generation happened.
    for (int a = 0; a < 3; ++a) vk.lastGenerationPosition[a] = r.generationViewpoint[a];

    // 3. Highlight markers of the search results.
    if (r.highlightCount > 0) {
        const uint32_t n = std::min<uint32_t>(r.highlightCount, MAX_HIGHLIGHTS);
        vk.highlightVertexCount = 16 * n;
        uploadToBuffer(vk.highlightVertices, r.highlightWords.data(), 64 * n);
        r.highlightCount = 0;
        changed = true;
    }

    if (changed) app.markAllForRedraw(0);

    // 4. Near stars relative to the viewpoint as the new midground origin.
    const uint32_t nearCount = std::min<uint32_t>(static_cast<uint32_t>(engine.nearList.size()), MAX_NEAR_STARS);
    for (int a = 0; a < 3; ++a) vk.midgroundOrigin[a] = app.view.position[a].integer;
    if (nearCount > 0) {
        GpuBuffer& staging = app.staging.nearStars;
        createStaging(staging, vk.nearRecords, 16 * nearCount);
        auto* out = static_cast<PointRecord*>(mapBuffer(staging));
        for (uint32_t k = 0; k < nearCount; ++k) out[k] = makeNearRecord(*engine.nearList[k], vk.midgroundOrigin);
        unmapBuffer(staging);
        copyFromStaging(vk.nearRecords, staging, 16 * nearCount);
        destroyBuffer(staging);
    }
    if (vk.shapeVertexCount != SHAPE_INDICES_PER_STAR * nearCount) app.markAllForRedraw(0);
    vk.shapeVertexCount = SHAPE_INDICES_PER_STAR * nearCount;

    // 5. Foreground discs and the panel's counts.
    StarFieldLink& link = app.starField;
    link.foreground.clear();
    for (uint32_t i = 0; i < engine.foreground.count && i < MAX_FOREGROUND_OBJECTS; ++i) {
        const ForegroundEntry& e = engine.foreground.entries[i];
        ForegroundView f{{e.x, e.y, e.z}, e.radius,
                         {static_cast<uint8_t>(e.colour & 0x7F), static_cast<uint8_t>((e.colour >> 8) & 0x7F),
                          static_cast<uint8_t>((e.colour >> 16) & 0x7F)}};
        link.foreground.push_back(f);
    }
    link.foregroundFarSq = link.viewLimits.foregroundDistance;
    link.nearCount = nearCount;
    link.starsDisplayed = r.pointHighWater - r.clearedFree;
}
