// The program's command line: every option, their values, and what is refused.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

// Parses "starloom" followed by the given arguments.
struct Parsed {
    bool ok;
    CommandLine options;
    std::string error;
};

Parsed parse(const std::vector<const char*>& args) {
    std::vector<std::string> words{"starloom"};
    for (const char* a : args) words.emplace_back(a);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    Parsed p;
    p.ok = parseCommandLine(static_cast<int>(words.size()), argv.data(), p.options, p.error);
    return p;
}
Parsed parse(std::initializer_list<const char*> args) { return parse(std::vector<const char*>(args)); }

}  // namespace

TEST(CommandLine, NoArgumentsMeansTheDefaults) {
    const Parsed p = parse({});
    ASSERT_TRUE(p.ok) << p.error;
    const CommandLine defaults;
    EXPECT_FALSE(p.options.help);
    EXPECT_FALSE(p.options.version);
    EXPECT_FALSE(p.options.windowed);
    EXPECT_TRUE(p.options.saveFile.empty());
    EXPECT_TRUE(p.options.render.empty());
    EXPECT_EQ(p.options.renderWidth, defaults.renderWidth);
    EXPECT_EQ(p.options.renderHeight, defaults.renderHeight);
}

TEST(CommandLine, EachFlagSetsItsOwnField) {
    EXPECT_TRUE(parse({"--help"}).options.help);
    EXPECT_TRUE(parse({"-h"}).options.help);
    EXPECT_TRUE(parse({"--version"}).options.version);
    const Parsed windowed = parse({"--windowed"});
    EXPECT_TRUE(windowed.options.windowed);
    EXPECT_FALSE(windowed.options.help);
    EXPECT_FALSE(windowed.options.version);
}

TEST(CommandLine, OptionsWithValuesCombineInAnyOrder) {
    const Parsed p = parse({"--size", "640x400", "--save-file", "/tmp/a view.sav", "--render", "out.png", "--windowed"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_EQ(p.options.saveFile, "/tmp/a view.sav");
    EXPECT_EQ(p.options.render, "out.png");
    EXPECT_EQ(p.options.renderWidth, 640);
    EXPECT_EQ(p.options.renderHeight, 400);
    EXPECT_TRUE(p.options.windowed);
    // A value that looks like an option is still the value.
    const Parsed dashed = parse({"--save-file", "--render"});
    ASSERT_TRUE(dashed.ok) << dashed.error;
    EXPECT_EQ(dashed.options.saveFile, "--render");
    EXPECT_TRUE(dashed.options.render.empty());
}

TEST(CommandLine, SizesAtTheLimitsAndOddSizesAreTaken) {
    const Parsed smallest = parse({"--render", "a.png", "--size", "1x1"});
    ASSERT_TRUE(smallest.ok) << smallest.error;
    EXPECT_EQ(smallest.options.renderWidth, 1);
    EXPECT_EQ(smallest.options.renderHeight, 1);
    const Parsed largest = parse({"--render", "a.png", "--size", "16384x16384"});
    ASSERT_TRUE(largest.ok) << largest.error;
    EXPECT_EQ(largest.options.renderWidth, RENDER_SIZE_MAX);
    EXPECT_EQ(largest.options.renderHeight, RENDER_SIZE_MAX);
    const Parsed odd = parse({"--render", "a.png", "--size", "321x201"});
    ASSERT_TRUE(odd.ok) << odd.error;
    EXPECT_EQ(odd.options.renderWidth, 321);
    EXPECT_EQ(odd.options.renderHeight, 201);
}

TEST(CommandLine, BadSizesAreRefusedAndNamed) {
    for (const char* bad : {"0x100", "100x0", "16385x10", "10x16385", "100", "x100", "100x", "100x100x3", "-5x10",
                            "+5x10", " 5x10", "5x10 ", "5X10", "1e3x10", "99999999999x1", "axb", "640×400", "0010x10",
                            "10x010", "00x10"}) {
        const Parsed p = parse({"--render", "a.png", "--size", bad});
        EXPECT_FALSE(p.ok) << bad;
        EXPECT_NE(p.error.find(std::string("'") + bad + "'"), std::string::npos) << p.error;
    }
    // A refused size leaves the default size in place.
    const Parsed p = parse({"--render", "a.png", "--size", "640x0"});
    EXPECT_EQ(p.options.renderWidth, CommandLine{}.renderWidth);
}

TEST(CommandLine, OptionsWithoutTheirValuesAreRefused) {
    for (const char* option : {"--save-file", "--at", "--render", "--size", "--exposure"}) {
        const Parsed missing = parse({option});
        EXPECT_FALSE(missing.ok) << option;
        EXPECT_EQ(missing.error.rfind(option, 0), 0u) << missing.error;
        const Parsed empty = parse({option, ""});
        EXPECT_FALSE(empty.ok) << option << " with an empty value";
    }
}

TEST(CommandLine, PictureOptionsWithoutRenderAreRefused) {
    for (const auto& options : {std::vector<const char*>{"--size", "640x400"}, {"--exposure", "auto"},
                                {"--exposure", "2"}, {"--linear-light"}, {"--background-only"}}) {
        const Parsed p = parse(options);
        EXPECT_FALSE(p.ok) << options[0];
        EXPECT_NE(p.error.find("--render"), std::string::npos) << p.error;
    }
}

TEST(CommandLine, ExposureIsAutoOrAFactorWithinItsLimits) {
    const Parsed none = parse({"--render", "a.png"});
    EXPECT_FALSE(none.options.exposureGiven);
    struct Case {
        const char* text;
        bool ok, automatic;
        float factor;
    };
    const Case cases[] = {{"auto", true, true, 1.0f}, {"1", true, false, 1.0f},       {"12", true, false, 12.0f},
                          {"0.25", true, false, 0.25f}, {"1e-6", true, false, 1e-6f}, {"1e6", true, false, 1e6f},
                          {"0", false, false, 0},     {"-2", false, false, 0},      {"2e6", false, false, 0},
                          {"1e-7", false, false, 0},  {"nan", false, false, 0},     {"inf", false, false, 0},
                          {"Auto", false, false, 0},  {"2x", false, false, 0},      {" 2", false, false, 0}};
    for (const Case& c : cases) {
        const Parsed p = parse({"--render", "a.png", "--exposure", c.text});
        EXPECT_EQ(p.ok, c.ok) << c.text << ": " << p.error;
        if (!c.ok) {
            EXPECT_NE(p.error.find(std::string("'") + c.text + "'"), std::string::npos) << p.error;
            continue;
        }
        EXPECT_TRUE(p.options.exposureGiven);
        EXPECT_EQ(p.options.autoExposure, c.automatic) << c.text;
        EXPECT_FLOAT_EQ(p.options.exposure, c.factor) << c.text;
    }
}

// The background alone and the light itself are checks of the tests'
// (--render --background-only --linear-light): off by default, only with a
// picture, and not offered in the usage.
TEST(CommandLine, TheTestsOptionsGoWithRenderAndStayOutOfTheUsage) {
    EXPECT_FALSE(parse({"--render", "out.png"}).options.backgroundOnly);
    EXPECT_FALSE(parse({"--render", "out.png"}).options.linearLight);
    const Parsed p = parse({"--background-only", "--render", "out.pfm", "--linear-light", "--size", "160x100"});
    ASSERT_TRUE(p.ok) << p.error;
    EXPECT_TRUE(p.options.backgroundOnly);
    EXPECT_TRUE(p.options.linearLight);
    EXPECT_EQ(p.options.render, "out.pfm");
    EXPECT_EQ(std::string(COMMAND_LINE_USAGE).find("--background-only"), std::string::npos);
    EXPECT_EQ(std::string(COMMAND_LINE_USAGE).find("--linear-light"), std::string::npos);
}

TEST(CommandLine, UnknownArgumentsAreRefusedAndNamed) {
    for (const char* unknown : {"--bogus", "-x", "--Windowed", "--windowed=yes", "render", "-", "--"}) {
        const Parsed p = parse({"--windowed", unknown});
        EXPECT_FALSE(p.ok) << unknown;
        EXPECT_NE(p.error.find(std::string("'") + unknown + "'"), std::string::npos) << p.error;
    }
}

TEST(CommandLine, TheUsageNamesEveryOption) {
    const std::string usage = COMMAND_LINE_USAGE;
    for (const char* option :
         {"--windowed", "--save-file", "--at", "--render", "--size", "--exposure", "--help", "--version"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

TEST(CommandLine, AtTakesTheNextArgumentWhateverItLooksLike) {
    EXPECT_TRUE(parse({}).options.at.empty());
    const Parsed name = parse({"--at", "X-GFVXPDD-1"});
    ASSERT_TRUE(name.ok) << name.error;
    EXPECT_EQ(name.options.at, "X-GFVXPDD-1");
    // The value is read as it is: a text starting with dashes is still the value.
    const Parsed dashes = parse({"--at", "--at"});
    ASSERT_TRUE(dashes.ok) << dashes.error;
    EXPECT_EQ(dashes.options.at, "--at");
    const Parsed help = parse({"--at", "--help", "--save-file", "-h"});
    ASSERT_TRUE(help.ok) << help.error;
    EXPECT_FALSE(help.options.help);
    EXPECT_EQ(help.options.at, "--help");
    EXPECT_EQ(help.options.saveFile, "-h");
    // The last one counts, and --at combines with a picture.
    const Parsed last = parse({"--at", "a", "--render", "out.png", "--at", "b"});
    ASSERT_TRUE(last.ok) << last.error;
    EXPECT_EQ(last.options.at, "b");
    EXPECT_EQ(last.options.render, "out.png");
    const Parsed stray = parse({"--at", "x", "extra"});
    EXPECT_FALSE(stray.ok);
    EXPECT_NE(stray.error.find("'extra'"), std::string::npos) << stray.error;
}
