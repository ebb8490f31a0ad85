#include "app/app_state.h"

#include "starfield/appearance.h"
#include "starfield/star_field.h"

namespace {

// GLFW's key actions and Caps Lock modifier bit, as the key callback passes
// them on (this file stays free of window headers so that starloom-cli can
// link the save file with it).
constexpr int KEY_RELEASE = 0;
constexpr int KEY_PRESS = 1;
constexpr int MOD_CAPS_LOCK = 0x10;
constexpr int KEY_F12 = 301;

}  // namespace

void applyDefaultSettings(AppState& s) {
    for (int i = 0; i < 3; ++i) s.view.position[i] = {0, DEFAULT_VIEWPOINT[i]};
    s.view.forward = DEFAULT_FORWARD;
    s.view.up = DEFAULT_UP;
    s.viewAngle = 45.0;
    s.channelWavelength[0] = 6.5e-7f;
    s.channelWavelength[1] = 5.5e-7f;
    s.channelWavelength[2] = 4.5e-7f;
    s.maxMagnitude = 12.0f;
    s.view.speedLevel = 40;
    s.displayFontSize = 3;
    s.controlFontScale = 1;
    s.panelOnRight = true;
    s.showCrosshair = true;
    s.multisampling = true;
}

void recomputeSpeed(AppState& s) { s.view.speed = speedFromLevel(s.view.speedLevel); }

double backgroundDisplayValue(int displayHeight, double viewAngle) {
    const int32_t scaled = static_cast<int32_t>(displayHeight) * 360;
    const double perDegree = scaled / viewAngle;
    return perDegree * perDegree / 3.141592653589793;
}

void recomputeChannelConstants(AppState& s) {
    const ChannelConstants channels = channelConstantsFor(s.channelWavelength);
    for (int i = 0; i < 3; ++i) {
        s.channelIntensity[i] = channels.intensity[i];
        s.channelExponent[i] = channels.exponent[i];
    }
}

bool applyKeyEvent(AppState& s, int key, int action, int mods, bool panelWantsKeyboard) {
    const bool valid = key >= 0 && key < navkey::COUNT;
    if (panelWantsKeyboard) {
        // A key let go while a text field has the keyboard is up all the
        // same, or the ship would fly on after the field lets go.
        if (action == KEY_RELEASE && valid) s.keyDown[key] = false;
        return false;
    }
    bool pressed = false;
    if (action == KEY_PRESS && valid) {
        if (key == navkey::COMMA) {
            s.view.speedLevel -= 1;
            recomputeSpeed(s);
        } else if (key == navkey::PERIOD && s.view.speedLevel < MAX_SPEED_LEVEL) {
            s.view.speedLevel += 1;
            recomputeSpeed(s);
        }
        s.keyDown[key] = true;
        pressed = true;
    } else if (action == KEY_RELEASE && valid) {
        s.keyDown[key] = false;
    }
    s.view.capsLock = (mods & MOD_CAPS_LOCK) != 0;
    // The toggles act on their own key's press, never on repeats or on other
    // keys' events while they are held.
    if (pressed && key == navkey::C) s.showCrosshair = !s.showCrosshair;
    if (pressed && key == KEY_F12) s.screenshotRequested = true;
    return pressed && key == navkey::EQUAL;
}
