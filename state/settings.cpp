#include "state/settings.h"

#include <algorithm>

void applyDefaultSettings(Settings& s, Viewpoint& view) {
    const Settings defaults;
    s.seed = defaults.seed;
    s.viewAngle = defaults.viewAngle;
    for (int i = 0; i < 3; ++i) s.channelWavelength[i] = defaults.channelWavelength[i];
    s.maxMagnitude = defaults.maxMagnitude;
    s.displayFontSize = defaults.displayFontSize;
    s.controlFontScale = defaults.controlFontScale;
    s.maxVoxelChunks = defaults.maxVoxelChunks;
    s.maxStarsGen = defaults.maxStarsGen;
    s.pointCapacity = defaults.pointCapacity;
    s.panelOnRight = defaults.panelOnRight;
    s.showCrosshair = defaults.showCrosshair;
    s.multisampling = defaults.multisampling;
    for (int i = 0; i < 3; ++i) view.position[i] = {0, DEFAULT_VIEWPOINT[i]};
    view.forward = DEFAULT_FORWARD;
    view.up = DEFAULT_UP;
    view.speedLevel = 40;
    // Kept beside the save file (state/settings_file.h).
    s.exposureMode = defaults.exposureMode;
    s.diffuseColour = defaults.diffuseColour;
    s.bookmarksOnSky = defaults.bookmarksOnSky;
}

ChannelConstants channelConstants(const Settings& s) { return channelConstantsFor(s.channelWavelength); }

StarFieldSettings starFieldSettings(const Settings& s) {
    StarFieldSettings out;
    out.seed = s.seed;
    out.maxVoxelChunks = s.maxVoxelChunks;
    out.maxStarsGen = s.maxStarsGen;
    out.pointCapacity = s.pointCapacity;
    out.frameTimeoutNs = s.frameTimeoutNs;
    out.frameLookaheadNs = s.frameLookaheadNs;
    return out;
}

void labelChoices(const Settings& s, uint8_t out[LABEL_CHOICES]) {
    out[0] = s.starLabel[0];
    out[1] = s.starLabel[0] != LABEL_NONE ? s.starLabel[1] : LABEL_NONE;
}

bool labelsShowDistance(const Settings& s) {
    uint8_t choices[LABEL_CHOICES];
    labelChoices(s, choices);
    return choices[0] == LABEL_DISTANCE || choices[1] == LABEL_DISTANCE;
}

double backgroundDisplayValue(int displayHeight, double viewAngle) {
    const int32_t scaled = static_cast<int32_t>(displayHeight) * 360;
    const double perDegree = scaled / viewAngle;
    return perDegree * perDegree / 3.141592653589793;
}

WindowPlacement windowedPlacement(int areaX, int areaY, int areaWidth, int areaHeight) {
    WindowPlacement w;
    w.width = std::max(1, std::min(WINDOWED_WIDTH, areaWidth * 9 / 10));
    w.height = std::max(1, std::min(WINDOWED_HEIGHT, areaHeight * 9 / 10));
    w.x = areaX + std::max(0, (areaWidth - w.width) / 2);
    w.y = areaY + std::max(0, (areaHeight - w.height) / 2);
    return w;
}
