// The Licenses page's text: the program's own licence line, then the
// licences of the libraries and the typeface it is built with, taken from
// their Debian copyright files at build time (tools/licencegen).
#pragma once

#include <string>

inline constexpr int LICENCE_BLOCK_ID = 2;

// The program's own entry, first on the page.
extern const char STARLOOM_LICENCE_TEXT[];

// The generated part: one heading per library or typeface with its copyright
// lines and licence text.
extern const char THIRD_PARTY_LICENCES[];

// The whole page.
std::string licencesText();
