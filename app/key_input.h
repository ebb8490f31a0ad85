// What a key event does to the state: the speed keys, the keys held, Caps
// Lock, and the cross-hair, full-screen and screenshot keys.
#pragma once

#include "starfield/navigation.h"
#include "state/program_state.h"

// The keys held (keyDown, indexed by GLFW key code), the speed level, Caps
// Lock's fine aiming, and the cross-hair toggle and screenshot request, which
// act on a press only. Returns whether full screen must be toggled. While the
// panel has the keyboard only releases count (false is returned).
bool applyKeyEvent(ProgramState& state, bool keyDown[navkey::COUNT], int key, int action, int mods,
                   bool panelWantsKeyboard);
