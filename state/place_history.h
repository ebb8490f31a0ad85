// The way back: the places the viewpoint jumped away from (a Go, a Find, a
// Paste, a Load, a Reset, a bookmark), most recent last, and the places Back
// left, for Forward. Kept for the run only.
#pragma once

#include <cstddef>
#include <vector>

#include "starfield/location_text.h"

inline constexpr size_t HISTORY_STEPS = 50;

struct PlaceHistory {
    std::vector<Location> back;     // oldest first
    std::vector<Location> forward;  // the place Back left last is last
};

// Before a jump: `here` is remembered (the oldest dropped beyond
// HISTORY_STEPS) and Forward forgets its places, as a new way is taken.
void rememberPlace(PlaceHistory& history, const Location& here);

// Back: false when there is nowhere to go back to; otherwise `here` is kept
// for Forward and `to` is the place to return to.
bool stepBack(PlaceHistory& history, const Location& here, Location& to);
// Forward after Back: the same the other way.
bool stepForward(PlaceHistory& history, const Location& here, Location& to);
