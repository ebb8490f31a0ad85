// What several test files share: the built galaxy and star-field runs (see
// galaxy_fixture.h), running the built starloom-cli, a temporary folder and
// whole-file reads and writes.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
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

// A fresh folder under /tmp for one test, removed with all it holds (its
// permissions restored first) when the test ends.
struct TempFolder {
    std::string path;
    explicit TempFolder(const std::string& prefix = "starloom-test") {
        std::string name = "/tmp/" + prefix + "-XXXXXX";
        EXPECT_NE(::mkdtemp(name.data()), nullptr);
        path = name;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::permissions(path, std::filesystem::perms::owner_all, ignored);
        std::filesystem::remove_all(path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string at(const std::string& name) const { return path + "/" + name; }
    // The names in the folder, sorted.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(path)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

// A whole file as bytes in a string; empty when it cannot be read.
inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes `bytes` (a string or a byte vector) as the whole file, creating
// its folder first.
template <typename Bytes>
    requires requires(const Bytes& b) { b.data(), b.size(); }
void writeFile(const std::string& path, const Bytes& bytes) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}
inline void writeFile(const std::string& path, const char* text) { writeFile(path, std::string(text)); }
