#include "ui/places.h"

#include <cmath>
#include <mutex>
#include <vector>

#include "state/program_state.h"
#include "starfield/locate.h"
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

// Sets the place; a new seed is a new galaxy, whose stars the results and
// the selection do not hold. True when the seed changed.
bool applyPlace(ProgramState& s, StarField& engine, const Location& place) {
    for (int a = 0; a < 3; ++a) s.view.position[a] = place.position[a];
    // As they were, to the bit (decodeLocation checked that they are unit
    // vectors at right angles): copying the place again gives the same text.
    s.view.forward = place.forward;
    s.view.up = place.up;
    moved(s);
    if (place.seed == s.settings.seed) return false;
    // The star field takes the new galaxy with its next pass.
    s.settings.seed = place.seed;
    {
        std::lock_guard lock(engine.resultsMutex);
        engine.searchResults.clear();
    }
    clearSelection(s);
    s.changes.labelsChanged = 1;
    s.changes.settingsChanged = 1;
    s.panel.refreshTextBlock = true;
    return true;
}

std::string seedText(const Location& place) {
    return "in the galaxy of seed " + std::to_string(place.seed.first) + " " + std::to_string(place.seed.second);
}

// Writes the bookmarks as `changed` holds them; on success they are the
// state's.
bool writeBookmarks(ProgramState& s, BookmarkFile& changed, std::string& message) {
    if (!s.bookmarksPath.empty()) {
        const WriteResult written = saveBookmarks(s.bookmarksPath, changed);
        if (!written.ok) {
            message = "The bookmarks could not be written: " + written.error;
            return false;
        }
    }
    s.bookmarks = std::move(changed);
    s.changes.labelsChanged = 1;  // the marks on the sky follow the list
    return true;
}

bool stepTo(ProgramState& s, StarField& engine, bool back, std::string& message) {
    Location to;
    const Location here = currentPlace(s);
    if (!(back ? stepBack(s.history, here, to) : stepForward(s.history, here, to))) {
        message = back ? "No place to go back to." : "No place to go forward to.";
        return false;
    }
    const bool newGalaxy = applyPlace(s, engine, to);
    message = std::string(back ? "Back to the place before the jump" : "Forward again") +
              (newGalaxy ? ", " + seedText(to) : std::string()) + ".";
    return true;
}

}  // namespace

Location currentPlace(const ProgramState& s) {
    return Location{{s.view.position[0], s.view.position[1], s.view.position[2]}, s.view.forward, s.view.up,
                    s.settings.seed};
}

std::string currentLocationText(const ProgramState& s) { return encodeLocation(currentPlace(s)); }

bool goToPlace(ProgramState& s, StarField& engine, std::string_view text, std::string& message) {
    Location place;
    std::string locationError;
    if (decodeLocation(text, place, locationError)) {
        rememberJump(s);
        const bool newGalaxy = applyPlace(s, engine, place);
        message = newGalaxy ? "Moved to the pasted place, " + seedText(place) + "." : "Moved to the pasted place.";
        return true;
    }
    const std::string_view trimmed = pastedText(text);
    // A bookmark's name.
    if (const Bookmark* mark = findBookmark(s.bookmarks, trimmed)) {
        std::string error;
        if (!decodeLocation(mark->location, place, error)) {
            message = "The bookmark \"" + mark->name + "\" holds no place: " + error;
            return false;
        }
        const std::string name = mark->name;
        rememberJump(s);
        const bool newGalaxy = applyPlace(s, engine, place);
        message = "At the bookmark \"" + name + "\"" + (newGalaxy ? ", " + seedText(place) : std::string()) + ".";
        return true;
    }
    // Perhaps a star's name.
    if (trimmed.rfind(std::string_view(LOCATION_PREFIX, 8), 0) == 0 || trimmed.empty()) {
        message = trimmed.empty() ? "Nothing to go to: the text is empty." : locationError;
        return false;
    }
    StarName name;
    std::string nameError;
    if (!parseStarName(trimmed, name, nameError)) {
        message = "Neither a location text (starloom1:...), a bookmark nor a star name: " + nameError;
        return false;
    }
    LocatedStar located;
    if (!locateStar(engine, s.settings.seed, trimmed, located, message)) return false;
    const StarRecord& star = located.found.star;
    const int64_t target[3] = {star.x, star.y, star.z};
    rememberJump(s);
    arriveNextTo(s.view, target);
    moved(s);
    message = std::string("Next to ") + located.found.name + ".";
    return true;
}

bool findStar(ProgramState& s, StarField& engine, std::string_view name, std::string& message) {
    LocatedStar located;
    if (!locateStar(engine, s.settings.seed, name, located, message)) return false;
    const StarRecord& star = located.found.star;
    rememberJump(s);
    turnTowards(s, star);
    flyTo(s, star);
    selectStar(s, located.found);
    message = std::string("Flying to ") + located.found.name + ":" + starDistanceText(distanceTo(s, star)) + ".";
    return true;
}

void selectStar(ProgramState& s, const SearchResult& star) {
    s.panel.hasSelection = true;
    s.panel.selection = star;
    s.panel.refreshTextBlock = true;
    s.changes.labelsChanged = 1;  // the selected star's marker stands out
}

void clearSelection(ProgramState& s) {
    if (s.panel.hasSelection) {
        s.changes.labelsChanged = 1;
        s.panel.refreshTextBlock = true;
    }
    s.panel.hasSelection = false;
    s.panel.selection = SearchResult{};
}

bool isSelected(const ProgramState& s, const StarRecord& star) {
    const StarRecord& chosen = s.panel.selection.star;
    return s.panel.hasSelection && chosen.x == star.x && chosen.y == star.y && chosen.z == star.z;
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

void rememberJump(ProgramState& s) { rememberPlace(s.history, currentPlace(s)); }

bool goBack(ProgramState& s, StarField& engine, std::string& message) { return stepTo(s, engine, true, message); }

bool goForward(ProgramState& s, StarField& engine, std::string& message) { return stepTo(s, engine, false, message); }

bool addBookmarkHere(ProgramState& s, std::string_view name, std::string& message) {
    BookmarkFile changed = s.bookmarks;
    Bookmark mark;
    mark.name = !name.empty() ? std::string(name)
                : s.panel.hasSelection && findBookmark(changed, s.panel.selection.name) == nullptr
                    ? std::string(s.panel.selection.name)
                    : unusedPlaceName(changed);
    mark.location = currentLocationText(s);
    std::string error;
    if (!addBookmark(changed, mark, error)) {
        message = "No bookmark added: " + error + ".";
        return false;
    }
    if (!writeBookmarks(s, changed, message)) return false;
    message = "Bookmark \"" + mark.name + "\" added.";
    return true;
}

bool renameBookmarkNamed(ProgramState& s, std::string_view from, std::string_view to, std::string& message) {
    BookmarkFile changed = s.bookmarks;
    std::string error;
    if (!renameBookmark(changed, from, to, error)) {
        message = "Not renamed: " + error + ".";
        return false;
    }
    if (!writeBookmarks(s, changed, message)) return false;
    message = "Bookmark renamed \"" + std::string(to) + "\".";
    return true;
}

bool setBookmarkNoteOf(ProgramState& s, std::string_view name, std::string_view note, std::string& message) {
    BookmarkFile changed = s.bookmarks;
    std::string error;
    if (!setBookmarkNote(changed, name, note, error)) {
        message = "The note was not kept: " + error + ".";
        return false;
    }
    if (!writeBookmarks(s, changed, message)) return false;
    message = "The note of \"" + std::string(name) + "\" is kept.";
    return true;
}

bool deleteBookmark(ProgramState& s, std::string_view name, std::string& message) {
    BookmarkFile changed = s.bookmarks;
    if (!removeBookmark(changed, name)) {
        message = "No bookmark is named \"" + std::string(name) + "\".";
        return false;
    }
    if (!writeBookmarks(s, changed, message)) return false;
    message = "Bookmark \"" + std::string(name) + "\" deleted.";
    return true;
}
