// The program's command line: every option, their values, and what is refused.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/command_line.h"

// The tables below name only the fields a row changes; the rest keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using Args = std::vector<const char*>;

struct Parsed {
    bool ok;
    CommandLine options;
    std::string error;
};

// Parses "starloom" followed by the given arguments.
Parsed parse(const Args& args) {
    std::vector<std::string> words{"starloom"};
    for (const char* a : args) words.emplace_back(a);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    Parsed p;
    p.ok = parseCommandLine(static_cast<int>(words.size()), argv.data(), p.options, p.error);
    return p;
}

// Every field but the exposure factor, compared apart within a float's rounding.
auto fields(const CommandLine& c) {
    return std::tuple(c.help, c.version, c.windowed, c.saveFile, c.at, c.render, c.renderWidth, c.renderHeight,
                      c.exposureGiven, c.autoExposure, c.backgroundOnly, c.linearLight);
}

}  // namespace

TEST(CommandLine, AcceptedLinesSetExactlyTheirFields) {
    struct Case {
        Args args;
        CommandLine expected;
    };
    const Case cases[] = {
        {{}, {}},
        {{"--help"}, {.help = true}},
        {{"-h"}, {.help = true}},
        {{"--version"}, {.version = true}},
        {{"--windowed"}, {.windowed = true}},
        // Options with values combine in any order.
        {{"--size", "640x400", "--save-file", "/tmp/a view.sav", "--render", "out.png", "--windowed"},
         {.windowed = true, .saveFile = "/tmp/a view.sav", .render = "out.png", .renderWidth = 640, .renderHeight = 400}},
        // A value that looks like an option is still the value.
        {{"--save-file", "--render"}, {.saveFile = "--render"}},
        {{"--render", "a.png", "--size", "1x1"}, {.render = "a.png", .renderWidth = 1, .renderHeight = 1}},
        {{"--render", "a.png", "--size", "16384x16384"},
         {.render = "a.png", .renderWidth = RENDER_SIZE_MAX, .renderHeight = RENDER_SIZE_MAX}},
        {{"--render", "a.png", "--exposure", "auto"}, {.render = "a.png", .exposureGiven = true, .autoExposure = true}},
        {{"--render", "a.png", "--exposure", "0.25"}, {.render = "a.png", .exposureGiven = true, .exposure = 0.25f}},
        {{"--render", "a.png", "--exposure", "1e-6"}, {.render = "a.png", .exposureGiven = true, .exposure = 1e-6f}},
        {{"--render", "a.png", "--exposure", "1e6"}, {.render = "a.png", .exposureGiven = true, .exposure = 1e6f}},
        // The tests' options, only with a picture.
        {{"--background-only", "--render", "out.pfm", "--linear-light", "--size", "160x100"},
         {.render = "out.pfm", .renderWidth = 160, .renderHeight = 100, .backgroundOnly = true, .linearLight = true}},
        // --at takes the next argument whatever it looks like; the last one counts.
        {{"--at", "X-GFVXPDD-1"}, {.at = "X-GFVXPDD-1"}},
        {{"--at", "--help", "--save-file", "-h"}, {.saveFile = "-h", .at = "--help"}},
        {{"--at", "a", "--render", "out.png", "--at", "b"}, {.at = "b", .render = "out.png"}},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.args);
        SCOPED_TRACE(testing::PrintToString(c.args));
        ASSERT_TRUE(p.ok) << p.error;
        EXPECT_EQ(fields(p.options), fields(c.expected));
        EXPECT_FLOAT_EQ(p.options.exposure, c.expected.exposure);
    }
}

TEST(CommandLine, RefusedLinesNameTheirReason) {
    struct Case {
        Args args;
        std::string named;
    };
    std::vector<Case> cases;
    for (const char* size : {"0x100", "100x0", "16385x10", "10x16385", "100", "x100", "100x", "100x100x3", "-5x10",
                             "+5x10", " 5x10", "5x10 ", "5X10", "1e3x10", "99999999999x1", "axb", "640×400", "0010x10",
                             "10x010", "00x10"})
        cases.push_back({{"--render", "a.png", "--size", size}, std::string("'") + size + "'"});
    for (const char* exposure : {"0", "-2", "2e6", "1e-7", "nan", "inf", "Auto", "2x", " 2"})
        cases.push_back({{"--render", "a.png", "--exposure", exposure}, std::string("'") + exposure + "'"});
    for (const char* unknown : {"--bogus", "-x", "--Windowed", "--windowed=yes", "render", "-", "--"})
        cases.push_back({{"--windowed", unknown}, std::string("'") + unknown + "'"});
    // Picture options without --render.
    for (const Args& args : {Args{"--size", "640x400"}, {"--exposure", "auto"}, {"--exposure", "2"},
                             {"--linear-light"}, {"--background-only"}})
        cases.push_back({args, "--render"});
    cases.push_back({{"--at", "x", "extra"}, "'extra'"});
    // An empty value, and none at all (the message names the option).
    for (const char* option : {"--save-file", "--at", "--render", "--size", "--exposure"}) {
        cases.push_back({{option, ""}, ""});
        cases.push_back({{option}, option});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const Parsed p = parse(c.args);
        EXPECT_FALSE(p.ok);
        EXPECT_NE(p.error.find(c.named), std::string::npos) << p.error;
    }
    // A refused size leaves the default size in place.
    EXPECT_EQ(parse({"--render", "a.png", "--size", "640x0"}).options.renderWidth, CommandLine{}.renderWidth);
}

TEST(CommandLine, TheUsageNamesEveryOptionButTheTestsOwn) {
    const std::string usage = COMMAND_LINE_USAGE;
    for (const char* option : {"--windowed", "--save-file", "--at", "--render", "--size", "--exposure", "--help",
                               "--version"})
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    for (const char* option : {"--background-only", "--linear-light"})
        EXPECT_EQ(usage.find(option), std::string::npos) << option;
}
