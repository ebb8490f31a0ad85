// starloom-cli as outside scripts use it: run the built binary and read its
// output and exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "numeric/constants.h"
#include "tests/test_support.h"

namespace {

// Every operation once, with an answer that follows from the number format.
TEST(CliExt, EveryOperationOnce) {
    struct Case {
        const char* args;
        const char* expected;
    };
    const Case cases[] = {
        {"add 0x4000000000008002 0x4000000000008002", "0x4000000000008003"},  // 1 + 1 = 2
        {"sub 0x4000000000008003 0x4000000000008002", "0x4000000000008002"},  // 2 - 1 = 1
        {"mul 0x4000000000008003 0x4000000000008003", "0x4000000000008004"},  // 2 * 2 = 4
        {"div 0x4000000000008002 0x4000000000008003", "0x4000000000008001"},  // 1 / 2 = 0.5
        {"neg 0x4000000000008002", "0x8000000000008001"},                     // -1
        {"sqrt 0x4000000000008004", "0x4000000000008003"},                    // sqrt 4 = 2
        {"invsqrt 0x4000000000008004", "0x4000000000008001"},                 // 1/sqrt 4 = 0.5
        {"pow 0x4000000000008003 0x6000000000008003", "0x4000000000008005"},  // 2^3 = 8
        {"log2 0x4000000000008005", "0x6000000000008003"},                    // log2 8 = 3
        {"sin 0x4000000000008001", "0x0000000000000000"},                     // half a turn
        {"cos 0x4000000000008001", "0x8000000000008001"},                     // -1
        {"atan2 0x8000000000008001 0x0000000000000000", "0x6000000000008001"},  // 0.75 turns
        {"ge 0x4000000000008002 0x4000000000008001", "true"},
        {"ge 0x8000000000008001 0x0000000000000000", "false"},
        {"fromdouble 1.5", "0x6000000000008002"},
        {"fromdouble 0x1p-1", "0x4000000000008001"},
        {"todouble 0x4000000000008001", "0.5"},
        {"fromint32 -1", "0x8000000000008001"},
        {"fromuint64 18446744073709551615", "0x7FFFFFFFFFFF8041"},  // top 47 bits of 2^64 - 1
        {"fromdecimal 5 -1", "0x4000000000008001"},
        {"fromdecimal -1 0", "0x8000000000008001"},
        {"touint64 0x4000000000008005", "8"},
        {"toint64 0xA000000000008002", "-2"},  // floor(-1.5)
        {"scalepow2 0x4000000000008002 10", "0x400000000000800C"},
    };
    for (const Case& c : cases) {
        const CliRun run = runCli(std::string("ext ") + c.args);
        EXPECT_EQ(run.out, std::string(c.expected) + "\n") << c.args;
        EXPECT_EQ(run.status, 0) << c.args;
    }
    // Hexadecimal digits in either case name the same word.
    for (const char* word : {"5ABCDEF012348002", "7FFFFFFFFFFF8041", "A000000000008002"}) {
        std::string lower = word;
        for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        const CliRun upper = runCli(std::string("ext neg 0x") + word), mixed = runCli("ext neg 0x" + lower);
        EXPECT_EQ(mixed.status, 0) << lower;
        EXPECT_EQ(mixed.out, upper.out) << lower;
    }
}

TEST(CliExt, MalformedInputIsAnErrorWithStatusTwo) {
    const char* bad[] = {
        "frobnicate 0x4000000000008002",       // unknown operation
        "add 0x4000000000008002",              // too few arguments
        "neg 0x4000000000008002 0x0000000000000000",  // too many
        "neg 0x40000000",                      // short word
        "neg 0x400000000000800G",              // not hex
        "fromint32 2147483648",                // beyond int32
        "fromint32 -2147483649",
        "fromuint64 -1",                       // not unsigned
        "fromdouble 1.5x",
        "scalepow2 0x4000000000008002 1e3",
    };
    for (const char* args : bad) {
        const CliRun run = runCli(std::string("ext ") + args);
        EXPECT_EQ(run.out.rfind("error: ", 0), 0u) << args << " -> " << run.out;
        EXPECT_EQ(lines(run.out).size(), 1u) << args;
        EXPECT_EQ(run.status, 2) << args;
    }
}

TEST(CliExt, OverflowIsReportedNotAnError) {
    const CliRun run = runCli("ext add 0x400000000000FFFF 0x400000000000FFFF");
    EXPECT_EQ(run.out, "overflow\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(runCli("ext scalepow2 0x400000000000FFFF 1").out, "overflow\n");
}

TEST(CliExt, BatchAnswersEveryLineInOrder) {
    const std::string input =
        "add 0x4000000000008002 0x4000000000008002\n"
        "bogus 1 2\n"
        "neg 0x4000000000008002\n"
        "\n"
        "fromint32 99999999999\n"
        "add 0x400000000000FFFF 0x400000000000FFFF\n"
        "ge 0x0000000000000000 0x8000000000008001\n"
        "mul 0x4000000000008003 0x4000000000008003";  // no newline at the end
    const CliRun run = runCli("ext --batch", input);
    const std::vector<std::string> out = lines(run.out);
    ASSERT_EQ(out.size(), 8u) << run.out;
    EXPECT_EQ(out[0], "0x4000000000008003");
    EXPECT_EQ(out[1].rfind("error: ", 0), 0u) << out[1];
    EXPECT_EQ(out[2], "0x8000000000008001");
    EXPECT_EQ(out[3].rfind("error: ", 0), 0u) << out[3];
    EXPECT_EQ(out[4].rfind("error: ", 0), 0u) << out[4];
    EXPECT_EQ(out[5], "overflow");
    EXPECT_EQ(out[6], "true");
    EXPECT_EQ(out[7], "0x4000000000008004");
    EXPECT_EQ(run.status, 2);

    const CliRun clean = runCli("ext --batch", "fromint32 3\nfromint32 -3\n");
    EXPECT_EQ(clean.out, "0x6000000000008003\n0xA000000000008003\n");
    EXPECT_EQ(clean.status, 0);
}

TEST(CliConstants, ListsEveryConstantInOrder) {
    const CliRun run = runCli("constants");
    EXPECT_EQ(run.status, 0);
    const std::vector<std::string> out = lines(run.out);
    const size_t count = sizeof EXT_CONSTANTS / sizeof EXT_CONSTANTS[0];
    ASSERT_EQ(out.size(), count);
    for (size_t i = 0; i < count; ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%s 0x%016llX", EXT_CONSTANTS[i].name,
                      static_cast<unsigned long long>(EXT_CONSTANTS[i].value.w));
        EXPECT_EQ(out[i], expected);
    }
    EXPECT_EQ(out[0], "ONE 0x4000000000008002");
    EXPECT_EQ(runCli("constants extra").status, 2);
}

TEST(CliHelp, HelpExitsZero) {
    const CliRun overview = runCli("--help");
    EXPECT_EQ(overview.status, 0);
    EXPECT_NE(overview.out.find("usage: starloom-cli"), std::string::npos);
    EXPECT_NE(overview.out.find("ext"), std::string::npos);
    EXPECT_NE(overview.out.find("constants"), std::string::npos);
    const CliRun ext = runCli("ext --help");
    EXPECT_EQ(ext.status, 0);
    EXPECT_NE(ext.out.find("usage: starloom-cli ext"), std::string::npos);
    EXPECT_EQ(runCli("constants --help").status, 0);
    // As an option of its own, after the values of the others.
    const CliRun locate = runCli("locate X-GFVXPDD-1 --seed 1 3 -h");
    EXPECT_EQ(locate.status, 0);
    EXPECT_EQ(locate.out.rfind("usage: starloom-cli locate", 0), 0u) << locate.out;
    const CliRun unknown = runCli("nosuchcommand", "", true);
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.out.find("error: unknown command"), std::string::npos);
}

// Every command with malformed arguments: one "error: " line on standard
// output and status 2, never a crash or a silent default.
TEST(CliExt, ANulByteMakesTheLineMalformed) {
    // Without the check the tokeniser would stop at the NUL and answer the
    // line's first half as if it were the whole line.
    const std::string input("neg 0x4000000000008002\0 0x4000000000008002\nneg 0x4000000000008002\n", 66);
    const CliRun run = runCli("ext --batch", input);
    const std::vector<std::string> out = lines(run.out);
    ASSERT_EQ(out.size(), 2u) << run.out;
    EXPECT_EQ(out[0].rfind("error: ", 0), 0u) << out[0];
    EXPECT_EQ(out[1], "0x8000000000008001");
    EXPECT_EQ(run.status, 2);
}

// Output that never arrived, or input that could not be read, is a failure
// whatever the command computed.
TEST(CliErrors, UnwritableOutputAndUnreadableInputFail) {
    const std::string cli = std::string("'") + STARLOOM_CLI_PATH + "'";
    auto status = [](const std::string& command) {
        const int raw = std::system(command.c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    EXPECT_NE(status(cli + " constants > /dev/full 2>/dev/null"), 0);
    EXPECT_NE(status(cli + " galaxy > /dev/full 2>/dev/null"), 0);
    EXPECT_NE(status(cli + " ext --batch < / > /dev/null 2>&1"), 0);
    EXPECT_EQ(status(cli + " constants > /dev/null 2>&1"), 0);
    EXPECT_EQ(status("echo 'fromint32 3' | " + cli + " ext --batch > /dev/null 2>&1"), 0);
}

TEST(CliErrors, MalformedArgumentsAreErrorsWithStatusTwoEverywhere) {
    const char* bad[] = {
        "",                                             // no command
        "nosuchcommand",
        "constants extra",
        "populations extra",
        "galaxy --nodes",
        "density 1 2",
        "density 1 2 x",
        "density 9223372036854775808 0 0",              // beyond int64
        "name 1 2",
        "name 2147483648 0 0",                          // beyond int32
        "star 0",
        "star 7 0.5",                                   // no population 7
        "star -1 0.5",
        "star 0 1",                                     // U must be below 1
        "star 0 -0.25",
        "star 0 nan",
        "star 0 0x4000000000008002",                    // the word 1.0: U must be below 1
        "star 0 0x8000000000008001",                    // the word -1.0
        "star 0 0xFFFFFFFFFFFFFFFF",                    // the invalid word
        "voxel 1 0 0 0",
        "voxel 0 -1073741824 -1073741824 -1073741824 0",   // level below 1
        "voxel 19 0 0 0 0",                               // beyond the deepest level
        "voxel -5 0 0 0 0",
        "voxel 2 0 0 0 -1",                               // negative tier
        "voxel 2 0 0 0 17",                               // level + tier beyond 18
        "voxel 1 -1073741824 -1073741824 -1073741824 2147483647",  // huge tier
        "voxel 2 1 0 0 0",                                // not a corner of level 2
        "voxel 2 1073741824 0 0 0",                       // outside the root
        "voxel 2 99999999999 0 0 0",
        "pass --at 1 2",
        "pass --at 1 2 z",
        "pass --max-stars",
        "pass --max-stars 0",
        "pass --max-stars -5",
        "pass --max-voxels 100000",
        "pass --timeout-ms 1e3",
        "pass --bogus",
        "search --at 1 2",
        "search --csv --at a b c",
        "search extra",
        "locate",
        "locate x-gfvxpdd-1",                             // lower case
        "locate X-GFVXPDD-0",
        "locate X-GFVXPDD-99999",                         // more than the voxel holds
        "locate D-C-1",                                   // a voxel without stars
        "locate X-GFVXPDD-1 X-GFVXPDD-2",
        "locate X-GFVXPDD-1 --seed 1",
        "locate X-GFVXPDD-1 --seed 1 4294967296",
        "where",
        "where starloom1:ABC",
        "where X-GFVXPDD-1",
        "where a b",
        // --help in the place of a value is that value; numbers in one spelling only.
        "locate X-GFVXPDD-1 --seed -h 1",
        "locate X-GFVXPDD-1 --seed 1 --help",
        "search --at 1 -h 3",
        "pass --max-stars --help",
        "locate X-GFVXPDD-1 --seed 01 3",
        "pass --max-stars 0100000",
        "density +1 2 3",
        "density 1 2 007",
        "density -0 0 0",
        "textblock help 0 --width 0800 --png /dev/null",
        // Beyond the edge of space.
        "pass --at 6917529027641081857 0 0",
        "search --at 0 -9223372036854775808 0",
        "pick",
        "pick 1",
        "pick 1 2 3",
        "pick 1 2 --size 0x5",
        "pick 1 2 --at starloom1:ABC",
        "bookmarks frob",
        "bookmarks add OnlyAName",
        "bookmarks remove",
    };
    for (const char* args : bad) {
        const CliRun run = runCli(args);
        EXPECT_EQ(run.out.rfind("error: ", 0), 0u) << "'" << args << "' -> " << run.out;
        EXPECT_EQ(lines(run.out).size(), 1u) << args;
        EXPECT_EQ(run.status, 2) << args;
    }
}

TEST(CliHelp, EveryCommandExplainsItself) {
    const char* commands[] = {"ext", "constants", "populations", "galaxy", "density",
                              "name", "star", "voxel", "pass", "search", "locate", "where",
                              "pick", "bookmarks"};
    const CliRun overview = runCli("--help");
    for (const char* c : commands) {
        const CliRun run = runCli(std::string(c) + " --help");
        EXPECT_EQ(run.status, 0) << c;
        EXPECT_EQ(run.out.rfind(std::string("usage: starloom-cli ") + c, 0), 0u) << c << ": " << run.out;
        EXPECT_NE(overview.out.find(std::string("  ") + c + " "), std::string::npos) << c;
    }
}

TEST(CliVoxel, CsvStarsDeterministicAndTheCountFollowsTheEngine) {
    // A level-12 voxel around the default viewpoint: its stars of tier 0.
    const int64_t edge = int64_t{1} << 20;
    auto corner = [&](int64_t p) { return (p >> 32) & ~(edge - 1); };
    const std::string args = "voxel 12 " + std::to_string(corner(-7003708179394623)) + " " +
                             std::to_string(corner(-24996773029325252)) + " " +
                             std::to_string(corner(1127289819641451)) + " 0";
    const CliRun run = runCli(args);
    ASSERT_EQ(run.status, 0) << run.out;
    const std::vector<std::string> out = lines(run.out);
    ASSERT_GT(out.size(), 0u);
    for (const std::string& line : out) {
        EXPECT_EQ(std::count(line.begin(), line.end(), ','), 10) << line;
    }
    EXPECT_EQ(runCli(args).out, run.out);
    // Deeper tiers hold different stars, not a replay of tier 0.
    std::string tier1 = args;
    tier1.back() = '1';
    const CliRun deeper = runCli(tier1);
    ASSERT_EQ(deeper.status, 0);
    EXPECT_NE(deeper.out, run.out);
    // The deepest tier a level-1 voxel can have is accepted.
    EXPECT_EQ(runCli("voxel 18 0 0 0 0").status, 0);
}

TEST(CliPassAndSearch, CountsAndTheNearestStars) {
    // A small field far above the plane finishes quickly.
    const char* at = " --at -7003708179394623 -24996773029325252 400000000000000000";
    const CliRun pass = runCli(std::string("pass --max-stars 200000") + at);
    ASSERT_EQ(pass.status, 0) << pass.out;
    const std::vector<std::string> out = lines(pass.out);
    const char* fields[] = {"passes: ", "voxels: ", "stars in memory: ", "points on display: ", "near stars: ",
                            "foreground objects: ", "foreground candidates without entry: ", "evictions: ",
                            "wall time: ", "stars generated per second: ", "threads: "};
    ASSERT_EQ(out.size(), 11u);
    for (int i = 0; i < 11; ++i) EXPECT_EQ(out[i].rfind(fields[i], 0), 0u) << out[i];
    EXPECT_LE(std::stoull(out[2].substr(17)), 200000u);

    // The same star field, to the last bit, on one thread and on three; a
    // thread count out of range is refused.
    const CliRun one = runCli(std::string("pass --max-stars 200000 --threads 1 --digest") + at);
    const CliRun three = runCli(std::string("pass --max-stars 200000 --threads 3 --digest") + at);
    ASSERT_EQ(one.status, 0);
    ASSERT_EQ(three.status, 0);
    EXPECT_EQ(lines(one.out, "threads: "), std::vector<std::string>{"threads: 1"});
    EXPECT_EQ(lines(three.out, "threads: "), std::vector<std::string>{"threads: 3"});
    const std::vector<std::string> digest = lines(one.out, "digest: 0x");
    ASSERT_EQ(digest.size(), 1u);
    EXPECT_EQ(digest[0].size(), 10u + 16u);  // "digest: 0x" and 16 hex digits
    EXPECT_EQ(lines(three.out, "digest: "), digest);
    EXPECT_EQ(lines(one.out, "voxels: "), lines(three.out, "voxels: "));
    EXPECT_EQ(runCli("pass --threads 0").status, 2);
    EXPECT_EQ(runCli("pass --threads").status, 2);

    const CliRun csv = runCli(std::string("search --csv") + at);
    ASSERT_EQ(csv.status, 0);
    const std::vector<std::string> found = lines(csv.out);
    ASSERT_EQ(found.size(), 100u);
    double previous = 0;
    for (const std::string& line : found) {
        ASSERT_EQ(std::count(line.begin(), line.end(), ','), 6) << line;
        const std::string distance = line.substr(line.find(',') + 1, line.find(',', line.find(',') + 1) - line.find(',') - 1);
        EXPECT_EQ(distance.size() - distance.find('.') - 1, 8u) << "%.8f: " << distance;
        EXPECT_GE(std::stod(distance), previous);
        previous = std::stod(distance);
        EXPECT_EQ(line[1], '-') << "names start with the level letter and a dash";
    }
    // The plain form holds the same fields separated by spaces.
    const CliRun plain = runCli(std::string("search") + at);
    std::string spaced = csv.out;
    std::replace(spaced.begin(), spaced.end(), ',', ' ');
    EXPECT_EQ(plain.out, spaced);
}

TEST(CliLocate, FoundStarsAreLocatedAndTheirPlaceDecodes) {
    const char* at = " --at -7003708179394623 -24996773029325252 400000000000000000";
    const std::vector<std::string> found = lines(runCli(std::string("search") + at).out);
    ASSERT_EQ(found.size(), 100u);
    for (size_t i = 0; i < found.size(); i += 33) {
        std::istringstream in(found[i]);
        std::string name, distance, x, y, z, population;
        in >> name >> distance >> x >> y >> z >> population;
        const CliRun run = runCli("locate " + name);
        ASSERT_EQ(run.status, 0) << run.out;
        const std::vector<std::string> out = lines(run.out);
        const char* fields[] = {"name ", "position ", "parsecs ", "population ", "mass 0x", "radius 0x",
                                "temperature 0x", "luminosity 0x", "absMagnitude 0x", "spectralClass ", "voxel ",
                                "tiers ", "stars ", "location starloom1:"};
        ASSERT_EQ(out.size(), 14u) << run.out;
        for (int f = 0; f < 14; ++f) EXPECT_EQ(out[f].rfind(fields[f], 0), 0u) << out[f];
        EXPECT_EQ(out[0], "name " + name);
        EXPECT_EQ(out[1], "position " + x + " " + y + " " + z);
        EXPECT_EQ(out[3].rfind("population " + population + " ", 0), 0u) << out[3];

        // The place next to the star: 0.1 AU from it.
        const CliRun place = runCli("where " + out[13].substr(9));
        ASSERT_EQ(place.status, 0) << place.out;
        const std::vector<std::string> axes = lines(place.out, "position");
        ASSERT_EQ(axes.size(), 3u);
        const std::string star[3] = {x, y, z};
        double squared = 0;
        for (int a = 0; a < 3; ++a) {
            std::istringstream axis(axes[a]);
            std::string label, integer, fraction;
            axis >> label >> integer >> fraction;
            EXPECT_EQ(fraction, "0x0000000000000000");
            const double d = static_cast<double>(std::stoll(star[a]) - std::stoll(integer));
            squared += d * d;
        }
        EXPECT_NEAR(std::sqrt(squared), 1.5e6, 2.0);
        EXPECT_EQ(lines(place.out, "seed ").at(0), "seed 1 3");
    }
    // Another galaxy seed: the same name is another star, and the place says so.
    std::istringstream in(found[0]);
    std::string name;
    in >> name;
    const CliRun other = runCli("locate " + name + " --seed 5 7");
    if (other.status == 0) {
        EXPECT_NE(lines(other.out, "position ").at(0), lines(runCli("locate " + name).out, "position ").at(0));
        const CliRun place = runCli("where " + lines(other.out, "location ").at(0).substr(9));
        EXPECT_EQ(lines(place.out, "seed ").at(0), "seed 5 7");
    } else {
        EXPECT_EQ(other.out.rfind("error: no star", 0), 0u) << other.out;
    }
}

// A click at the centre of the view 'locate' gives for a star selects that
// star; a bookmark keeps that place under its own name, and picking at the
// bookmark gives the same star.
TEST(CliPick, TheCentreOfALocatedViewIsItsStarAndABookmarkKeepsThePlace) {
    char folder[] = "/tmp/starloom-cli-marks-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string save = std::string(" --save-file ") + folder + "/default.sav";
    const std::string location = lines(runCli("locate S-MNQW-1").out, "location ").at(0).substr(9);
    const CliRun picked = runCli("pick 960 540 --at " + location);
    ASSERT_EQ(picked.status, 0) << picked.out;
    EXPECT_EQ(lines(picked.out, "drawn ").at(0).rfind("drawn disc 960.00 540.00 ", 0), 0u) << picked.out;
    EXPECT_EQ(lines(picked.out, "name ").at(0), "name S-MNQW-1");
    EXPECT_EQ(runCli("pick -500 -500 --at " + location).out, "none\n");

    ASSERT_EQ(runCli("bookmarks add 'Blue giant' " + location + " 'très chaud'" + save).status, 0);
    ASSERT_EQ(runCli("bookmarks add Nearby S-MNQW-1" + save).status, 0);
    EXPECT_EQ(runCli("bookmarks add Nearby " + location + save).status, 2);  // the name is taken
    const std::vector<std::string> listed = lines(runCli("bookmarks" + save).out);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].rfind("Blue giant\t-2203.", 0), 0u) << listed[0];
    EXPECT_EQ(listed[0].substr(listed[0].size() - 12), "\ttrès chaud");
    // The star's name gives the place locate gives: the same line but the name and note.
    EXPECT_EQ(listed[1].substr(6), listed[0].substr(10, listed[0].size() - 10 - 12));
    EXPECT_EQ(lines(runCli("pick 960 540 --at 'Blue giant'" + save).out, "name ").at(0), "name S-MNQW-1");
    ASSERT_EQ(runCli("bookmarks remove Nearby" + save).status, 0);
    EXPECT_EQ(runCli("bookmarks remove Nearby" + save).status, 2);
    EXPECT_EQ(lines(runCli("bookmarks" + save).out).size(), 1u);
    std::filesystem::remove_all(folder);
}

}  // namespace
