#include <cstdio>

#include "cli.h"
#include "numeric/constants.h"

const char* const CONSTANTS_HELP =
    "usage: starloom-cli constants\n\n"
    "Prints every ExtFloat start-up constant as 'NAME 0xWORD', in the order the\n"
    "constants are built (each from the ones before it).\n";

int runConstants(int argc, char** /*argv*/) {
    if (argc != 0) {
        std::printf("error: constants takes no arguments\n");
        return 2;
    }
    for (const NamedConstant& c : EXT_CONSTANTS) std::printf("%s %s\n", c.name, formatWord(c.value).c_str());
    return 0;
}
