// starloom-cli: the headless command-line tool over the engine.
#pragma once

#include <cstdint>
#include <string>

#include "numeric/ext_float.h"

// An option of a command that takes values, so that "--help" or "-h" in the
// place of one of them is taken as that value (and refused or used as such),
// never as a request for help.
struct CliValueOption {
    const char* name;
    int values;
};

// One sub-command: "starloom-cli NAME ARGS...". run() gets the arguments after
// NAME and returns the process exit status.
struct CliCommand {
    const char* name;
    const char* summary;  // one line for the overview
    const char* help;     // the full text for "starloom-cli NAME --help"
    int (*run)(int argc, char** argv);
    const CliValueOption* valued = nullptr;  // its options with values, ending with a null name
};

// Strict parsers for command arguments: the whole text must be consumed and the
// value must fit; integers are plain decimal (no "+", no blanks, no leading
// zeros, no "-0"). They return false on malformed input.
bool parseWord(const char* text, ExtFloat& out);  // "0x" and exactly 16 hex digits
bool parseInt32(const char* text, int32_t& out);
bool parseInt64(const char* text, int64_t& out);
bool parseUint64(const char* text, uint64_t& out);
bool parseDouble(const char* text, double& out);  // decimal or C hex-float

// Options with values, argv[i] being the option's name: "--at X Y Z" (three
// signed 64-bit integers) and "--NAME N" (an unsigned integer in lo..hi).
// They advance i past the values, or print an "error: " line and return
// false.
bool parseAt(int argc, char** argv, int& i, int64_t at[3]);
bool parseUintOption(int argc, char** argv, int& i, uint64_t& out, uint64_t lo, uint64_t hi);

// "0x" followed by 16 upper-case hex digits.
std::string formatWord(ExtFloat value);

// One "FIELD 0xWORD VALUE" line: the word and its value (toDouble, %.10g).
void printWordField(const char* field, ExtFloat value);

// A 32.32 fixed-point value as its exact decimal expansion, e.g. "1.5".
std::string formatFixed32(uint64_t value);

// True when argv holds "--help" or "-h" as an option of its own: anywhere but
// in the place of a value of one of the `valued` options.
bool wantsHelp(int argc, char** argv, const CliValueOption* valued);

int runExt(int argc, char** argv);
int runConstants(int argc, char** argv);
int runPopulations(int argc, char** argv);
int runName(int argc, char** argv);
int runStar(int argc, char** argv);
int runGalaxy(int argc, char** argv);
int runDensity(int argc, char** argv);
int runVoxel(int argc, char** argv);
int runPass(int argc, char** argv);
int runSearch(int argc, char** argv);
int runSavefile(int argc, char** argv);
int runTextblock(int argc, char** argv);
int runLocate(int argc, char** argv);
int runWhere(int argc, char** argv);
int runPick(int argc, char** argv);
int runBookmarks(int argc, char** argv);

extern const char* const EXT_HELP;
extern const char* const CONSTANTS_HELP;
extern const char* const POPULATIONS_HELP;
extern const char* const NAME_HELP;
extern const char* const STAR_HELP;
extern const char* const GALAXY_HELP;
extern const char* const DENSITY_HELP;
extern const char* const VOXEL_HELP;
extern const char* const PASS_HELP;
extern const char* const SEARCH_HELP;
extern const char* const PICK_HELP;
extern const char* const BOOKMARKS_HELP;
extern const char* const SAVEFILE_HELP;
extern const char* const TEXTBLOCK_HELP;
extern const char* const LOCATE_HELP;
extern const char* const WHERE_HELP;

struct Galaxy;
struct LocatedStar;
struct GalaxySeed;
// The facts of a located star, as 'locate' prints them (name to stars).
void printLocatedStar(const Galaxy& galaxy, GalaxySeed seed, const LocatedStar& located);
