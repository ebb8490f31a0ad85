// The program's command line: a plain struct of the options and one function
// that reads them, so that each option is one field and one branch.
#pragma once

#include <string>

// Largest side of a picture drawn with --render, in pixels.
inline constexpr int RENDER_SIZE_MAX = 16384;

struct CommandLine {
    // --help (or -h): print the usage and exit.
    bool help = false;
    // --version: print the program's version and exit.
    bool version = false;
    // --windowed: start in a window instead of full screen.
    bool windowed = false;
    // --save-file PATH: read and write this save file instead of the default one.
    std::string saveFile;
    // --at TEXT: start at a location text or next to a named star.
    std::string at;
    // --render OUT.png: draw the saved view (or that of --at) offscreen into a PNG file and exit.
    std::string render;
    // --size WxH: the size of the --render picture, in pixels.
    int renderWidth = 1920;
    int renderHeight = 1080;
    // --exposure auto|VALUE: the exposure of the --render picture, automatic
    // (as the window settles to) or a fixed factor on the light (default 1).
    bool exposureGiven = false;
    bool autoExposure = false;
    float exposure = 1.0f;
    // --background-only (with --render, not in the usage text): draw only the
    // diffuse light of the galaxy, no stars, so that the tests can check it
    // against an integral of its density.
    bool backgroundOnly = false;
    // --linear-light (with --render, not in the usage text): write the light
    // itself, after the exposure and before the tone curve, as a PFM file of
    // floats, for the tests that check it.
    bool linearLight = false;
};

// The largest fixed exposure --exposure takes (1e6; the smallest is its inverse).
inline constexpr float EXPOSURE_MAX = 1e6f;

// Reads argv[1..argc-1] into `options`. False, with the reason in `error`,
// for an unknown argument, an option without its value or a bad value.
bool parseCommandLine(int argc, char** argv, CommandLine& options, std::string& error);

// The usage lines printed for --help and after a command-line error.
extern const char* const COMMAND_LINE_USAGE;
