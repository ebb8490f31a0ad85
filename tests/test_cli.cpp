// starloom-cli as outside scripts use it: run the built binary and read its
// output and exit status.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "numeric/constants.h"
#include "tests/test_support.h"

namespace {

// Every operation once, with an answer that follows from the number format,
// in one batch: every line answered in order, a malformed one (a NUL byte
// inside too: the line's first half is not answered as if it were all of it)
// with an error line and status 2 at the end; the last line needs no line end.
TEST(CliExt, EveryOperationInOneBatch) {
    const std::pair<std::string, const char*> answers[] = {
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
        {"bogus 1 2", "error: "},
        {"fromdouble 1.5", "0x6000000000008002"},
        {"fromdouble 0x1p-1", "0x4000000000008001"},
        {"todouble 0x4000000000008001", "0.5"},
        {"", "error: "},
        {"fromint32 -1", "0x8000000000008001"},
        {"fromint32 99999999999", "error: "},
        {"fromuint64 18446744073709551615", "0x7FFFFFFFFFFF8041"},  // top 47 bits of 2^64 - 1
        {"fromdecimal 5 -1", "0x4000000000008001"},
        {"fromdecimal -1 0", "0x8000000000008001"},
        {std::string("neg 0x4000000000008002") + '\0' + " 0x4000000000008002", "error: "},
        {"touint64 0x4000000000008005", "8"},
        {"toint64 0xA000000000008002", "-2"},  // floor(-1.5)
        {"scalepow2 0x4000000000008002 10", "0x400000000000800C"},
        {"touint64 0x400000000000800a", "256"},  // lower-case digits: 2^8 and 2^13
        {"touint64 0x400000000000800f", "8192"},
        // Overflow is an answer, not an error.
        {"scalepow2 0x400000000000FFFF 1", "overflow"},
        {"add 0x400000000000FFFF 0x400000000000FFFF", "overflow"},
    };
    std::string input;
    for (const auto& [line, answer] : answers) input += (input.empty() ? "" : "\n") + line;
    const CliRun run = runCli("ext --batch", input);
    const std::vector<std::string> out = lines(run.out);
    ASSERT_EQ(out.size(), std::size(answers)) << run.out;
    for (size_t i = 0; i < out.size(); ++i) {
        const std::string answer = answers[i].second;
        EXPECT_EQ(answer == "error: " ? out[i].substr(0, 7) : out[i], answer) << answers[i].first;
    }
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(runCli("ext --batch", "fromint32 3\nbogus\n").status, 2);  // without the NUL byte's own error
    // Without a malformed line, in a batch or alone: status 0.
    const CliRun clean = runCli("ext --batch", "fromint32 3\nfromint32 -3\n");
    EXPECT_EQ(clean.out, "0x6000000000008003\n0xA000000000008003\n");
    EXPECT_EQ(clean.status, 0);
    const CliRun alone = runCli("ext touint64 0x400000000000800a");
    EXPECT_EQ(alone.out, "256\n");
    EXPECT_EQ(alone.status, 0);
}

TEST(CliConstants, ListsEveryConstantInOrder) {
    const CliRun run = runCli("constants");
    EXPECT_EQ(run.status, 0);
    const std::vector<std::string> out = lines(run.out);
    ASSERT_EQ(out.size(), std::size(EXT_CONSTANTS));
    for (size_t i = 0; i < out.size(); ++i) {
        char expected[64];
        std::snprintf(expected, sizeof expected, "%s 0x%016llX", EXT_CONSTANTS[i].name,
                      static_cast<unsigned long long>(EXT_CONSTANTS[i].value.w));
        EXPECT_EQ(out[i], expected);
    }
    EXPECT_EQ(out[0], "ONE 0x4000000000008002");
}

// Whatever the command computed (the same commands succeed in the other tests).
TEST(CliErrors, UnwritableOutputAndUnreadableInputFail) {
    EXPECT_NE(runCli("constants > /dev/full").status, 0);
    EXPECT_NE(runCli("galaxy > /dev/full").status, 0);
    EXPECT_NE(std::system(("'" + std::string(STARLOOM_CLI_PATH) + "' ext --batch < / > /dev/null 2>&1").c_str()), 0);
}

// One "error: " line and status 2, never a crash or a silent default. --help as
// a value is that value; numbers have one spelling (no leading zeros, signs or -0).
TEST(CliErrors, MalformedArgumentsAreErrorsWithStatusTwoEverywhere) {
    const char* bad[] = {
        "", "nosuchcommand", "constants extra", "populations extra", "galaxy --nodes",
        "ext frobnicate 0x4000000000008002", "ext add 0x4000000000008002",
        "ext neg 0x4000000000008002 0x0000000000000000", "ext neg 0x40000000", "ext neg 0x400000000000800G",
        "ext fromint32 2147483648", "ext fromint32 -2147483649", "ext fromuint64 -1", "ext fromdouble 1.5x",
        "ext scalepow2 0x4000000000008002 1e3",
        "density 1 2", "density 1 2 x", "density 9223372036854775808 0 0", "density +1 2 3", "density 1 2 007",
        "density -0 0 0", "name 1 2", "name 2147483648 0 0",
        // No population 7; U must lie in [0, 1): the words 1.0, -1.0 and the invalid word too.
        "star 0", "star 7 0.5", "star -1 0.5", "star 0 1", "star 0 -0.25", "star 0 nan", "star 0 0x4000000000008002",
        "star 0 0x8000000000008001", "star 0 0xFFFFFFFFFFFFFFFF",
        // Level 0, 19 and -5; tiers -1, 17 (level + tier beyond 18) and huge; not a corner of level 2; outside.
        "voxel 1 0 0 0", "voxel 0 -1073741824 -1073741824 -1073741824 0", "voxel 19 0 0 0 0", "voxel -5 0 0 0 0",
        "voxel 2 0 0 0 -1", "voxel 2 0 0 0 17", "voxel 1 -1073741824 -1073741824 -1073741824 2147483647",
        "voxel 2 1 0 0 0", "voxel 2 1073741824 0 0 0", "voxel 2 99999999999 0 0 0",
        "pass --at 1 2", "pass --at 1 2 z", "pass --max-stars", "pass --max-stars 0", "pass --max-stars -5",
        "pass --max-voxels 100000", "pass --timeout-ms 1e3", "pass --bogus", "pass --max-stars --help",
        "pass --max-stars 0100000", "pass --at 6917529027641081857 0 0", "pass --threads 0", "pass --threads",
        "search --at 1 2", "search --csv --at a b c", "search extra", "search --at 1 -h 3",
        "search --at 0 -9223372036854775808 0",
        // Lower case; number 0; more than the voxel holds; a voxel without stars.
        "locate", "locate x-gfvxpdd-1", "locate X-GFVXPDD-0", "locate X-GFVXPDD-99999", "locate D-C-1",
        "locate X-GFVXPDD-1 X-GFVXPDD-2", "locate X-GFVXPDD-1 --seed 1", "locate X-GFVXPDD-1 --seed 1 4294967296",
        "locate X-GFVXPDD-1 --seed -h 1", "locate X-GFVXPDD-1 --seed 1 --help", "locate X-GFVXPDD-1 --seed 01 3",
        "where", "where starloom1:ABC", "where X-GFVXPDD-1", "where a b",
        "textblock help 0 --width 0800 --png /dev/null",
        "pick", "pick 1", "pick 1 2 3", "pick 1 2 --size 0x5", "pick 1 2 --at starloom1:ABC",
        "bookmarks frob", "bookmarks add OnlyAName", "bookmarks remove", "savefile",
    };
    for (const char* args : bad) {
        const CliRun run = runCli(args);
        EXPECT_EQ(run.out.rfind("error: ", 0), 0u) << "'" << args << "' -> " << run.out;
        EXPECT_EQ(lines(run.out).size(), 1u) << args;
        EXPECT_EQ(run.status, 2) << args;
    }
    const CliRun unknown = runCli("nosuchcommand", "", true);
    EXPECT_NE(unknown.out.find("error: unknown command"), std::string::npos);
}

// Every command's --help, also after the values of other options, starts with
// its usage and exits 0; the overview names every command.
TEST(CliHelp, EveryCommandExplainsItself) {
    const char* commands[] = {"ext",  "constants", "populations", "galaxy", "density", "name",  "star",
                              "voxel", "pass",     "search",      "locate", "where",   "pick",  "bookmarks"};
    const CliRun overview = runCli("--help");
    EXPECT_EQ(overview.status, 0);
    EXPECT_EQ(overview.out.rfind("usage: starloom-cli", 0), 0u) << overview.out;
    for (const char* c : commands) {
        const CliRun run = runCli(std::string(c) + " --help");
        EXPECT_EQ(run.status, 0) << c;
        EXPECT_EQ(run.out.rfind(std::string("usage: starloom-cli ") + c, 0), 0u) << c << ": " << run.out;
        EXPECT_NE(overview.out.find(std::string("  ") + c + " "), std::string::npos) << c;
    }
    const CliRun locate = runCli("locate X-GFVXPDD-1 --seed 1 3 -h");
    EXPECT_EQ(locate.status, 0);
    EXPECT_EQ(locate.out.rfind("usage: starloom-cli locate", 0), 0u) << locate.out;
}

// A tier's stars, eleven fields a line: a voxel whose stars the star generation
// tests pin (the first line fixes the format); the deepest level is accepted.
TEST(CliVoxel, CsvStarsOfTheTierAsked) {
    const std::vector<std::string> stars = lines(runCli("voxel 12 -2097152 -6291456 0 3").out);
    ASSERT_EQ(stars.size(), 1725u);
    EXPECT_EQ(stars[0],
              "-4703892507249711,-24343031885751697,9720048151467,5,0,56,82,127,4294591360,579.46106,3.22187996");
    EXPECT_EQ(runCli("voxel 18 0 0 0 0").status, 0);
}

// What pass, search, locate and where write, in a small field far above the
// plane (which stars they find is the engine's, tested there).
TEST(CliPassSearchAndLocate, CountsTheNearestStarsAndWhereTheyAre) {
    const std::string at = " --at -7003708179394623 -24996773029325252 400000000000000000";
    const CliRun pass = runCli("pass --max-stars 200000 --threads 3 --digest" + at);
    ASSERT_EQ(pass.status, 0) << pass.out;
    const char* fields[] = {"passes: ", "voxels: ", "stars in memory: ", "points on display: ", "near stars: ",
                            "foreground objects: ", "foreground candidates without entry: ", "evictions: ",
                            "wall time: ", "stars generated per second: ", "threads: 3", "digest: 0x"};
    const std::vector<std::string> out = lines(pass.out);
    ASSERT_EQ(out.size(), std::size(fields)) << pass.out;
    for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i].rfind(fields[i], 0), 0u) << out[i];
    EXPECT_EQ(out.back().size(), 10u + 16u);  // "digest: 0x" and 16 hex digits

    const CliRun csv = runCli("search --csv" + at);
    ASSERT_EQ(csv.status, 0);
    for (const std::string& line : lines(csv.out)) {
        ASSERT_EQ(std::count(line.begin(), line.end(), ','), 6) << line;
        const size_t comma = line.find(',');
        const std::string distance = line.substr(comma + 1, line.find(',', comma + 1) - comma - 1);
        EXPECT_EQ(distance.size() - distance.find('.') - 1, 8u) << "%.8f: " << distance;
    }
    // The plain form holds the same fields separated by spaces.
    std::string spaced = csv.out;
    std::replace(spaced.begin(), spaced.end(), ',', ' ');
    EXPECT_EQ(runCli("search" + at).out, spaced);
    ASSERT_EQ(lines(spaced).size(), 100u);

    std::istringstream nearest(spaced);
    std::string name, distance, x, y, z, population;
    nearest >> name >> distance >> x >> y >> z >> population;
    const CliRun run = runCli("locate " + name);
    ASSERT_EQ(run.status, 0) << run.out;
    const std::vector<std::string> located = lines(run.out);
    const std::string expected[] = {"name " + name, "position " + x + " " + y + " " + z, "parsecs ",
                                    "population " + population + " ", "mass 0x", "radius 0x", "temperature 0x",
                                    "luminosity 0x", "absMagnitude 0x", "spectralClass ", "voxel ", "tiers ",
                                    "stars ", "location starloom1:"};
    ASSERT_EQ(located.size(), std::size(expected)) << run.out;
    for (size_t f = 0; f < located.size(); ++f) EXPECT_EQ(located[f].rfind(expected[f], 0), 0u) << located[f];
    EXPECT_EQ(located[0], expected[0]);
    EXPECT_EQ(located[1], expected[1]);

    // The place next to it (0.1 AU away: the engine's) is read back with its
    // galaxy's seed (its position: the end-to-end tests, which read places
    // with where); the star has a namesake in galaxy 5 7.
    EXPECT_EQ(lines(runCli("where " + located[13].substr(9)).out, "seed ").at(0), "seed 1 3");
    const std::string other = lines(runCli("locate " + name + " --seed 5 7").out, "location ").at(0);
    EXPECT_EQ(lines(runCli("where " + other.substr(9)).out, "seed ").at(0), "seed 5 7");
}

// The centre of the view 'locate' gives for a star is that star; a bookmark
// keeps the place under its own name.
TEST(CliPick, TheCentreOfALocatedViewIsItsStarAndABookmarkKeepsThePlace) {
    const TempFolder folder;
    const std::string save = " --save-file " + folder.at("default.sav");
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
}

}  // namespace
