// What several test files share: the built galaxy and star-field runs (see
// galaxy_fixture.h), and running the built starloom-cli.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/galaxy_fixture.h"

struct CliRun {
    std::string out;
    int status = -1;
};

// Runs "starloom-cli ARGS" with the given standard input; captures standard
// output (and standard error too when asked) and the exit status.
inline CliRun runCli(const std::string& args, const std::string& input = "", bool withStderr = false) {
    char inputPath[] = "/tmp/starloom-cli-test-XXXXXX";
    const int fd = mkstemp(inputPath);
    EXPECT_GE(fd, 0);
    if (!input.empty()) {
        EXPECT_EQ(write(fd, input.data(), input.size()), static_cast<ssize_t>(input.size()));
    }
    close(fd);
    // A command that hangs fails its test instead of holding the suite.
    const std::string command = std::string("timeout -k 5 120 '") + STARLOOM_CLI_PATH + "' " + args + " < " + inputPath +
                                (withStderr ? " 2>&1" : " 2>/dev/null");
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (pipe) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0) run.out.append(buf, n);
        const int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::remove(inputPath);
    return run;
}

// The lines of `text` (without their line ends) that begin with `prefix`; all
// of them for an empty prefix.
inline std::vector<std::string> lines(const std::string& text, const std::string& prefix = "") {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(prefix, 0) == 0) result.push_back(line);
    return result;
}
