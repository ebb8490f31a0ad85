// The program's command line: a plain struct of the options and one function
// that reads them, so that each option is one field and one branch.
#pragma once

#include <string>

struct CommandLine {
    // --at TEXT: start at a location text or next to a named star.
    std::string at;
};

// Reads argv[1..argc-1] into `options`. False, with the reason in `error`,
// for an unknown argument or an option without its value.
bool parseCommandLine(int argc, char** argv, CommandLine& options, std::string& error);

// The usage lines printed after a command-line error.
extern const char* const COMMAND_LINE_USAGE;
