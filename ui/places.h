// Places to go: the current place as a location text, a location text or a
// star's name turned into the viewpoint (the Navigation page's Copy and
// Paste, the command line's --at), and the Catalog page's Find.
#pragma once

#include <string>
#include <string_view>

struct ProgramState;
struct StarField;
struct StarRecord;

// The viewpoint, its direction and up vector and the galaxy seed as a
// location text.
std::string currentLocationText(const ProgramState& state);

// Goes to a place at once. A location text sets the viewpoint, the view
// direction and up vector, and the galaxy seed (a new seed also empties the
// search results, whose stars belong to the other galaxy, and the star field
// regenerates from the root at its next pass). A star's name, in the galaxy in force, puts the viewpoint next to
// the star, 0.1 AU short of it, looking at it. Either way a fly-to or turn in
// progress ends. False, with the reason in `message` and nothing changed, for
// a text that is neither or a name that names no star; on success `message`
// says where the viewpoint went.
bool goToPlace(ProgramState& state, StarField& engine, std::string_view text, std::string& message);

// The Catalog page's Find: turns towards the named star and flies there, as
// selecting it in the list and pressing "Go" do. False, with the reason in
// `message` and nothing changed, for a malformed name or one that names no
// star; on success `message` names the star and its distance.
bool findStar(ProgramState& state, StarField& engine, std::string_view name, std::string& message);

// What selecting a star and "Go" do: turn towards it (the unit vector from the
// viewpoint's integer position; a zero vector stays so), fly to it.
void turnTowards(ProgramState& state, const StarRecord& star);
void flyTo(ProgramState& state, const StarRecord& star);
