// A place as one line of text, to keep or send to someone: the full 128-bit
// viewpoint, the view direction and up vector, and the galaxy seed (the same
// seed is the same galaxy). Plain ASCII letters and digits after a fixed
// prefix that names the program and the format version, no blanks, so that
// it survives e-mail and chat; a checksum refuses a text that was cut short
// or changed.
//
// Layout: "starloom1:" and 176 characters of base 32 (digits and upper-case
// letters without I, L, O, U) holding 110 bytes: per axis the integer part
// (i64) and the fraction (u64) of the position, then forward x, y, z and up
// x, y, z as the bits of their doubles, the seed's two words (u32), all
// little-endian, and the low 48 bits of the XXH64 of those 104 bytes.
#pragma once

#include <string>
#include <string_view>

#include "starfield/navigation.h"
#include "starfield/voxel_random.h"

inline constexpr char LOCATION_PREFIX[] = "starloom1:";
inline constexpr size_t LOCATION_TEXT_LENGTH = 10 + 176;

struct Location {
    FixedCoord position[3];
    Vec3d forward;
    Vec3d up;
    GalaxySeed seed;
};

// The place's text. Every bit of the position, the directions and the seed
// comes back from decodeLocation.
std::string encodeLocation(const Location& place);

// Reads a location text. Refused, with the reason in `error`: another
// program's or another version's text, a wrong length or character, a
// checksum that does not match, a position outside space (POSITION_LIMIT),
// and directions that are not finite, not of unit length or not at right
// angles. Blanks around the text (as a
// paste brings them) are ignored.
bool decodeLocation(std::string_view text, Location& place, std::string& error);

// The text without the blanks (space, tab, line breaks) around it.
std::string_view pastedText(std::string_view text);
