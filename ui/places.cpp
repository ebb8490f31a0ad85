#include "ui/places.h"

#include <cmath>
#include <mutex>
#include <vector>

#include "state/program_state.h"
#include "starfield/locate.h"
#include "starfield/location_text.h"
#include "starfield/star_field.h"
#include "text/star_info.h"

namespace {

// Distance (position units) from the viewpoint's integer position to a star.
double distanceTo(const ProgramState& s, const StarRecord& star) {
    const int64_t at[3] = {star.x, star.y, star.z};
    double squared = 0;
    for (int a = 0; a < 3; ++a) {
        const auto d = static_cast<double>(static_cast<__int128>(at[a]) - s.view.position[a].integer);
        squared += d * d;
    }
    return std::sqrt(squared);
}

void moved(ProgramState& s) {
    s.view.flyingToTarget = false;
    s.view.turningToTarget = false;
    s.changes.viewpointMoved = 1;
    s.redraw.stars = true;
}

}  // namespace

std::string currentLocationText(const ProgramState& s) {
    const Location place{{s.view.position[0], s.view.position[1], s.view.position[2]}, s.view.forward, s.view.up,
                         s.settings.seed};
    return encodeLocation(place);
}

bool goToPlace(ProgramState& s, StarField& engine, std::string_view text, std::string& message) {
    Location place;
    std::string locationError;
    if (decodeLocation(text, place, locationError)) {
        for (int a = 0; a < 3; ++a) s.view.position[a] = place.position[a];
        // As they were, to the bit (decodeLocation checked that they are unit
        // vectors at right angles): copying the place again gives the same text.
        s.view.forward = place.forward;
        s.view.up = place.up;
        moved(s);
        if (place.seed != s.settings.seed) {
            // The star field takes the new galaxy with its next pass.
            s.settings.seed = place.seed;
            {
                std::lock_guard lock(engine.resultsMutex);
                engine.searchResults.clear();
            }
            s.panel.selectedResult = -1;
            s.panel.hasFoundStar = false;
            s.changes.labelsChanged = 1;
            s.changes.settingsChanged = 1;
            s.panel.refreshTextBlock = true;
            message = "Moved to the pasted place, in the galaxy of seed " + std::to_string(place.seed.first) + " " +
                      std::to_string(place.seed.second) + ".";
        } else {
            message = "Moved to the pasted place.";
        }
        return true;
    }
    // Not a location text: perhaps a star's name.
    const std::string_view trimmed = pastedText(text);
    if (trimmed.rfind(std::string_view(LOCATION_PREFIX, 8), 0) == 0 || trimmed.empty()) {
        message = trimmed.empty() ? "Nothing to go to: the text is empty." : locationError;
        return false;
    }
    StarName name;
    std::string nameError;
    if (!parseStarName(trimmed, name, nameError)) {
        message = "Neither a location text (starloom1:...) nor a star name: " + nameError;
        return false;
    }
    LocatedStar located;
    if (!locateStar(engine, s.settings.seed, trimmed, located, message)) return false;
    const StarRecord& star = located.found.star;
    const int64_t target[3] = {star.x, star.y, star.z};
    arriveNextTo(s.view, target);
    moved(s);
    message = std::string("Next to ") + located.found.name + ".";
    return true;
}

bool findStar(ProgramState& s, StarField& engine, std::string_view name, std::string& message) {
    LocatedStar located;
    if (!locateStar(engine, s.settings.seed, name, located, message)) return false;
    const StarRecord& star = located.found.star;
    turnTowards(s, star);
    flyTo(s, star);
    // The star becomes the selected one: its entry of the list, or, when the
    // list does not hold it, the found star.
    {
        std::lock_guard lock(engine.resultsMutex);
        const std::vector<SearchResult>& results = engine.searchResults;
        s.panel.selectedResult = -1;
        for (size_t i = 0; i < results.size(); ++i) {
            const StarRecord& r = results[i].star;
            if (r.x == star.x && r.y == star.y && r.z == star.z) s.panel.selectedResult = static_cast<int>(i);
        }
    }
    s.panel.hasFoundStar = s.panel.selectedResult < 0;
    s.panel.foundStar = located.found;
    s.panel.refreshTextBlock = true;
    s.changes.labelsChanged = 1;  // the selected star's marker stands out
    message = std::string("Flying to ") + located.found.name + ":" + starDistanceText(distanceTo(s, star)) + ".";
    return true;
}

void turnTowards(ProgramState& s, const StarRecord& star) {
    // In 128 bits: a named star may lie across the galaxy from the viewpoint.
    Vec3d d{static_cast<double>(static_cast<__int128>(star.x) - s.view.position[0].integer),
            static_cast<double>(static_cast<__int128>(star.y) - s.view.position[1].integer),
            static_cast<double>(static_cast<__int128>(star.z) - s.view.position[2].integer)};
    const double length = std::sqrt(dot(d, d));
    if (length > 0) d = d * (1.0 / length);
    s.view.turnTarget = d;
    s.view.turningToTarget = true;
}

void flyTo(ProgramState& s, const StarRecord& star) {
    s.view.flyTarget[0] = star.x;
    s.view.flyTarget[1] = star.y;
    s.view.flyTarget[2] = star.z;
    s.view.flyingToTarget = true;
}
