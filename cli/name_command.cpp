// starloom-cli name: the lattice index and name code of one lattice point.
#include <cinttypes>
#include <cstdio>

#include "cli.h"
#include "galaxy/star_name.h"

const char* const NAME_HELP =
    "usage: starloom-cli name X Y Z\n\n"
    "X, Y, Z are signed 32-bit integers. Prints two lines:\n"
    "  index N   the point's number (unsigned 64-bit, shell by shell)\n"
    "  code C    N + 1 written in base 21 with the letters BCDFGHJKLMNPQRSTVWXYZ\n"
    "The code is empty when the index is 2^64 - 1 (its successor wraps to 0).\n";

int runName(int argc, char** argv) {
    if (argc != 3) {
        std::printf("error: name takes three arguments X Y Z\n");
        return 2;
    }
    int32_t c[3];
    for (int i = 0; i < 3; ++i) {
        if (!parseInt32(argv[i], c[i])) {
            std::printf("error: argument %d ('%s') is not a signed 32-bit integer\n", i + 1, argv[i]);
            return 2;
        }
    }
    uint64_t index = 0;
    char code[LATTICE_CODE_SIZE];
    char* end = nullptr;
    latticeCode(code, end, c[0], c[1], c[2]);
    if (latticeIndex(c[0], c[1], c[2], index))
        std::printf("index %" PRIu64 "\n", index);
    else
        std::printf("index none\n");
    std::printf("code %s\n", code);
    return 0;
}
