// Places to go: the current place as a location text, a location text, a
// bookmark's name or a star's name turned into the viewpoint (the Navigation
// page's Copy and Paste, the command line's --at), the Catalog page's Find,
// the selected star and Go, the bookmarks, and the way back after a jump.
#pragma once

#include <string>
#include <string_view>

#include "starfield/location_text.h"

struct ProgramState;
struct SearchResult;
struct StarField;
struct StarRecord;

// The viewpoint, its direction and up vector and the galaxy seed.
Location currentPlace(const ProgramState& state);
// The same as a location text.
std::string currentLocationText(const ProgramState& state);

// Goes to a place at once, remembering the place left for Back. A location
// text sets the viewpoint, the view direction and up vector, and the galaxy
// seed (a new seed also empties the search results and the selection, whose
// stars belong to the other galaxy, and the star field regenerates from the
// root at its next pass). A bookmark's name goes to its place. A star's name,
// in the galaxy in force, puts the viewpoint next to the star, 0.1 AU short
// of it, looking at it. Either way a fly-to or turn in progress ends. False,
// with the reason in `message` and nothing changed, for a text that is none
// of these or a name that names no star; on success `message` says where the
// viewpoint went.
bool goToPlace(ProgramState& state, StarField& engine, std::string_view text, std::string& message);

// The Catalog page's Find: turns towards the named star and flies there, as
// selecting it and pressing "Go" do, and makes it the selected star. False,
// with the reason in `message` and nothing changed, for a malformed name or
// one that names no star; on success `message` names the star and its
// distance.
bool findStar(ProgramState& state, StarField& engine, std::string_view name, std::string& message);

// The selected star: set (its marker stands out, the information block
// describes it) or cleared. isSelected: the star is the selected one.
void selectStar(ProgramState& state, const SearchResult& star);
void clearSelection(ProgramState& state);
bool isSelected(const ProgramState& state, const StarRecord& star);

// What selecting a star and "Go" do: turn towards it (the unit vector from the
// viewpoint's integer position; a zero vector stays so), fly to it. Go
// remembers the place it leaves, for Back.
void turnTowards(ProgramState& state, const StarRecord& star);
void flyTo(ProgramState& state, const StarRecord& star);

// Remembers the current place for Back (before a jump).
void rememberJump(ProgramState& state);
// Back and Forward: to the place before the last jump, and again after
// Back. False, with the reason in `message`, when there is none.
bool goBack(ProgramState& state, StarField& engine, std::string& message);
bool goForward(ProgramState& state, StarField& engine, std::string& message);

// The bookmarks: the current place added under `name` (empty: the selected
// star's name, else "Place N"), renamed, given a note, deleted; each change
// written to the bookmarks file at once. False, with the reason in
// `message`, when the change cannot be made or the file cannot be written
// (the list then stays as the file is).
bool addBookmarkHere(ProgramState& state, std::string_view name, std::string& message);
bool renameBookmarkNamed(ProgramState& state, std::string_view from, std::string_view to, std::string& message);
bool setBookmarkNoteOf(ProgramState& state, std::string_view name, std::string_view note, std::string& message);
bool deleteBookmark(ProgramState& state, std::string_view name, std::string& message);
