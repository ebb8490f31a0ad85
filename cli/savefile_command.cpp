// starloom-cli savefile: every field of a save file, as the program reads it.
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "state/save_file.h"
#include "cli.h"

const char* const SAVEFILE_HELP =
    "usage: starloom-cli savefile PATH\n\n"
    "Reads the save file at PATH as the program loads it and prints every field\n"
    "in file order, one \"NAME VALUE\" line each:\n"
    "  magic              the file's magic number in hexadecimal\n"
    "  version, reserved  format version (0 or 1) and the reserved word\n"
    "  seedFirst, seedSecond                 the galaxy seed\n"
    "  positionX, positionY, positionZ       the viewpoint: low word (fraction),\n"
    "                                        then high word (signed, 10 km units)\n"
    "  forward, up        direction vectors, three numbers each\n"
    "  viewAngle          degrees\n"
    "  wavelengthRed, wavelengthGreen, wavelengthBlue   metres\n"
    "  maxMagnitude, speedLevel, displayFontSize, controlFontScale\n"
    "  maxVoxelChunks, maxStarsGen, maxStarsGpu          star-field capacities\n"
    "  panelOnRight, showCrosshair, multisampling       0 or 1\n"
    "Integers are decimal, floating-point numbers %.17g (exact).\n"
    "A file the program would not load prints \"error: \" and the loader's\n"
    "message instead (nothing else), with exit status 2.\n";

int runSavefile(int argc, char** argv) {
    if (argc != 1) {
        std::printf("error: savefile takes one argument PATH\n");
        return 2;
    }
    std::vector<std::string> lines;
    try {
        std::vector<uint8_t> bytes;
        std::string errorText;
        if (readSaveFile(argv[0], bytes, errorText) != 0) {
            std::printf("error: %s\n", errorText.c_str());
            return 2;
        }
        walkSaveImage(bytes.data(), bytes.size(), [&lines](size_t i, const SaveValue& value, const SaveValue*) {
            lines.push_back(std::string(SAVE_FIELDS[i].name) + " " + formatSaveValue(SAVE_FIELDS[i].kind, value));
        });
    } catch (const std::runtime_error& e) {
        std::printf("error: %s\n", e.what());
        return 2;
    }
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    return 0;
}
