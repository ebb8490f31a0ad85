#include "text/licences.h"

// No licence has been chosen for Starloom itself yet; the line says so and
// points to the format of the copyright files the texts below come from.
const char STARLOOM_LICENCE_TEXT[] =
    "|i0|#4Starloom\n"
    "|i4The licence of Starloom itself has not been chosen yet. The software and the typeface it is built "
    "with come under the licences below, as their Debian packages state them in the machine-readable "
    "copyright format: |Hwww.debian|O doc packaging-manuals copyright-format 1.0|E\n"
    "\n";

std::string licencesText() { return std::string(STARLOOM_LICENCE_TEXT) + THIRD_PARTY_LICENCES; }
