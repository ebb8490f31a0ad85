// The save file: its bytes, the round trip, the loader's edge cases and
// checks, damaged files of every kind, saves that fail or are cut short, and
// how starloom-cli savefile shows a file to users and outside checks.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "starfield/location_text.h"
#include "state/bookmarks.h"
#include "state/program_state.h"
#include "state/save_file.h"
#include "state/settings_file.h"
#include "tests/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Everything a save file holds.
struct Saved {
    Settings settings;
    Viewpoint view{};

    SaveTarget target() { return {&settings, &view}; }
};

std::unique_ptr<Saved> withDefaults() {
    auto s = std::make_unique<Saved>();
    applyDefaultSettings(s->settings, s->view);
    return s;
}

// A state with every saved field away from its default (and from zero).
std::unique_ptr<Saved> unusual() {
    auto s = std::make_unique<Saved>();
    Settings& a = s->settings;
    Viewpoint& v = s->view;
    a.seed = {0xDEADBEEF, 7};
    v.position[0] = {0x0123456789ABCDEF, -5};
    v.position[1] = {1, POSITION_LIMIT};
    v.position[2] = {~0ull, -POSITION_LIMIT};
    v.forward = {0.6, -0.0, 0.8};
    v.up = {-0.8, 0.0, 0.6};
    a.viewAngle = 17.25;
    a.channelWavelength[0] = 7e-7f;
    a.channelWavelength[1] = 5e-7f;
    a.channelWavelength[2] = 4e-7f;
    a.maxMagnitude = 9.5f;
    v.speedLevel = -37;
    a.displayFontSize = 11;
    a.controlFontScale = 3;
    a.maxVoxelChunks = 96;
    a.maxStarsGen = 1500000;
    a.pointCapacity = 3000000;
    a.panelOnRight = false;
    a.showCrosshair = false;
    a.multisampling = false;
    return s;
}

// Whether field i of the table holds the same value, bit for bit, in a and b:
// the same bytes in their images (the writer's bytes are pinned below).
bool sameField(Saved& a, Saved& b, size_t i) {
    const Bytes x = buildSaveImage(a.target()), y = buildSaveImage(b.target());
    const size_t at = SAVE_FIELDS[i].offset;
    return std::equal(x.begin() + at, x.begin() + at + saveKindSize(SAVE_FIELDS[i].kind), y.begin() + at);
}

void putLe(Bytes& b, size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

void put64(Bytes& b, size_t at, double v) { putLe(b, at, std::bit_cast<uint64_t>(v), 8); }
void put32(Bytes& b, size_t at, float v) { putLe(b, at, std::bit_cast<uint32_t>(v), 4); }
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

std::string loadError(const Bytes& bytes, Saved& into) {
    try {
        applySaveImage(bytes.data(), bytes.size(), into.target());
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

std::string placeText(int64_t x, GalaxySeed seed = {}) {
    return encodeLocation({{{0, x}, {0, 2}, {0, 3}}, DEFAULT_FORWARD, DEFAULT_UP, seed});
}

}  // namespace

// ---------------------------------------------------------------- the bytes

// The defaults' file byte for byte, sixteen bytes a row: magic, version 1,
// reserved; seed 1 3, padding 0xFF; the position (fraction, then integer);
// forward, up, view angle 45; wavelengths, faintest magnitude 12; speed level
// 40, fonts 3 and 1, voxel chunks 16, stars 10,000,000 and 3,000,000; flags.
TEST(SaveFileLayout, DefaultImageByteForByte) {
    const Bytes expected = {
        0xF3, 0x67, 0x78, 0x0D, 0x0A, 0x1A, 0x0A, 0x99, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x01, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC1, 0x4F, 0xDB, 0x1D, 0x2A, 0x1E, 0xE7, 0xFF,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3C, 0x56, 0x0E, 0x3F, 0x91, 0x31, 0xA7, 0xFF,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x6B, 0x36, 0x42, 0x9D, 0x43, 0x01, 0x04, 0x00,
        0xEE, 0xEC, 0x08, 0x5F, 0x7B, 0x51, 0xBD, 0x3F, 0x08, 0x0A, 0xE0, 0xE8, 0x3B, 0xC1, 0xEF, 0x3F,
        0x39, 0x22, 0x6D, 0x8E, 0x59, 0xBC, 0xA7, 0x3F, 0x2F, 0x9A, 0xB3, 0xA5, 0xBA, 0xEC, 0xCD, 0xBF,
        0x2C, 0xEA, 0x0D, 0x82, 0xC8, 0x80, 0xB2, 0x3F, 0x25, 0x81, 0x5D, 0xB0, 0xF1, 0x06, 0xEF, 0xBF,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x80, 0x46, 0x40, 0xA9, 0x7B, 0x2E, 0x35, 0xB6, 0xA3, 0x13, 0x35,
        0x87, 0x97, 0xF1, 0x34, 0x00, 0x00, 0x40, 0x41, 0x28, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00,
        0x01, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x80, 0x96, 0x98, 0x00, 0xC0, 0xC6, 0x2D, 0x00,
        0x01, 0x01, 0x01,
    };
    auto s = withDefaults();
    EXPECT_EQ(buildSaveImage(s->target()), expected);
}

// ------------------------------------------------------------ edge cases

TEST(SaveFileLoad, EveryTruncationAppliesExactlyTheWholeFieldsBeforeIt) {
    auto a = unusual();
    auto defaults = withDefaults();
    const Bytes full = buildSaveImage(a->target());
    for (size_t length = 0; length < full.size(); ++length) {
        auto b = withDefaults();
        ASSERT_EQ(loadError(Bytes(full.begin(), full.begin() + static_cast<long>(length)), *b), LOAD_TRUNCATED)
            << length;
        // A field is applied when it lies wholly inside the file, except that
        // forward waits for up.
        for (size_t i = 0; i < SAVE_FIELD_COUNT; ++i) {
            const SaveField& f = SAVE_FIELDS[i];
            if (sameField(*a, *defaults, i)) continue;  // nothing to see (maxStarsGpu has one value)
            const bool inside =
                std::strcmp(f.name, "forward") == 0 ? length >= 128 : f.offset + saveKindSize(f.kind) <= length;
            EXPECT_EQ(sameField(*a, *b, i), inside) << f.name << " at length " << length;
        }
    }
}

// -------------------------------------------------------------- the checks

// Values at the edges of their ranges load bit for bit, and so do files
// whose version is 0 or whose reserved word, padding and bytes after the last
// field hold anything (none of them is looked at). A wrong magic, a newer
// version or a value beyond its range stops the load at its field: the
// fields before it are applied, it and those after it keep the defaults.
TEST(SaveFileChecks, ValuesAtAndBeyondTheEdges) {
    struct Case {
        const char* badField;  // nullptr: the file loads
        void (*spoil)(Bytes&);
        const char* message = nullptr;  // the whole message, else "invalid FIELD in save file: ..."
    };
    const Case cases[] = {
        // The header.
        {"magic", [](Bytes& b) { b[7] = 0x98; }, LOAD_BAD_MAGIC},
        {"version", [](Bytes& b) { putLe(b, 8, 2, 4); }, LOAD_BAD_VERSION},
        {nullptr, [](Bytes& b) {
             putLe(b, 8, 0, 4), putLe(b, 12, 0xCAFEF00D, 4);
             std::fill(b.begin() + 24, b.begin() + 32, 0x00);
             b.insert(b.end(), 5000, 0x5A);
         }},
        // The lowest of each range, the seed 0 0.
        {nullptr, [](Bytes& b) { put64(b, 128, 1.0), put32(b, 148, 4.0f), putLe(b, 152, -100u, 4); }},
        {nullptr, [](Bytes& b) { putLe(b, 156, 0, 4), putLe(b, 160, 1, 4), putLe(b, 164, 1, 4); }},
        {nullptr, [](Bytes& b) { putLe(b, 168, 10000, 4), putLe(b, 16, 0, 8); }},
        // The highest.
        {nullptr, [](Bytes& b) { put64(b, 128, 90.0), put32(b, 148, 16.0f), putLe(b, 152, 50, 4); }},
        {nullptr, [](Bytes& b) { putLe(b, 156, 18, 4), putLe(b, 160, 4, 4), putLe(b, 164, 256, 4); }},
        {nullptr, [](Bytes& b) { putLe(b, 168, 10000000, 4), putLe(b, 16, ~0ull, 8); }},
        {nullptr, [](Bytes& b) { put32(b, 136, CHANNEL_WAVELENGTH_MIN), put32(b, 144, CHANNEL_WAVELENGTH_MAX); }},
        {nullptr, [](Bytes& b) {
             for (size_t at : {32, 48, 64}) putLe(b, at, ~0ull, 8), putLe(b, at + 8, POSITION_LIMIT, 8);
         }},
        {nullptr, [](Bytes& b) {  // unit to the last bit and perpendicular within the tolerance
             put64(b, 80, 0), put64(b, 88, 0), put64(b, 96, -1);
             put64(b, 104, std::sqrt(0.5)), put64(b, 112, std::sqrt(0.5)), put64(b, 120, 0.9e-6);
         }},
        {"forward", [](Bytes& b) { put64(b, 80, NaN); }},
        {"forward", [](Bytes& b) { put64(b, 80, 0), put64(b, 88, 0), put64(b, 96, 0); }},
        {"forward", [](Bytes& b) { put64(b, 80, 0), put64(b, 88, 1.00001), put64(b, 96, 0); }},
        {"up", [](Bytes& b) { put64(b, 104, 0), put64(b, 112, 0), put64(b, 120, 0); }},
        {"up", [](Bytes& b) { std::copy(b.begin() + 80, b.begin() + 104, b.begin() + 104); }},  // forward's
        {"up", [](Bytes& b) {  // unit, but leaning 45 degrees back from forward
             put64(b, 80, 1), put64(b, 88, 0), put64(b, 96, 0);
             put64(b, 104, -std::sqrt(0.5)), put64(b, 112, std::sqrt(0.5)), put64(b, 120, 0);
         }},
        {"up", [](Bytes& b) { put64(b, 104, 0.6), put64(b, 112, 0), put64(b, 120, 0.8); },
         "invalid up in save file: 0.59999999999999998 0 0.80000000000000004 is not perpendicular to forward"},
        {"viewAngle", [](Bytes& b) { put64(b, 128, 0.999); }},
        {"viewAngle", [](Bytes& b) { put64(b, 128, 90.001); }},
        {"viewAngle", [](Bytes& b) { put64(b, 128, NaN); }},
        {"wavelengthRed", [](Bytes& b) { put32(b, 136, 0.0f); }},
        {"wavelengthGreen", [](Bytes& b) { put32(b, 140, -5.5e-7f); }},
        {"wavelengthBlue", [](Bytes& b) { put32(b, 144, std::numeric_limits<float>::infinity()); }},
        {"maxMagnitude", [](Bytes& b) { put32(b, 148, 3.99f); }},
        {"maxMagnitude", [](Bytes& b) { put32(b, 148, 16.01f); }},
        {"maxMagnitude", [](Bytes& b) { put32(b, 148, std::numeric_limits<float>::quiet_NaN()); }},
        {"speedLevel", [](Bytes& b) { putLe(b, 152, 51, 4); }},
        {"speedLevel", [](Bytes& b) { putLe(b, 152, static_cast<uint32_t>(-101), 4); }},
        {"displayFontSize", [](Bytes& b) { putLe(b, 156, 19, 4); }},
        {"displayFontSize", [](Bytes& b) { putLe(b, 156, 0xFFFFFFFF, 4); }},
        {"controlFontScale", [](Bytes& b) { putLe(b, 160, 0, 4); }},
        {"controlFontScale", [](Bytes& b) { putLe(b, 160, 5, 4); }},
        {"maxVoxelChunks", [](Bytes& b) { putLe(b, 164, 0, 4); }},
        {"maxVoxelChunks", [](Bytes& b) { putLe(b, 164, 5, 4); }},
        {"maxStarsGen", [](Bytes& b) { putLe(b, 168, 0, 4); }},
        {"maxStarsGen", [](Bytes& b) { putLe(b, 168, 10000001, 4); }},
        {"maxStarsGpu", [](Bytes& b) { putLe(b, 172, 10000000, 4); }},
        {"panelOnRight", [](Bytes& b) { b[176] = 2; }},
        {"showCrosshair", [](Bytes& b) { b[177] = 0xFF; }},
        {"multisampling", [](Bytes& b) { b[178] = 0x80; }},
        // Beyond the edge of space, by one unit and far.
        {"positionX", [](Bytes& b) { putLe(b, 40, POSITION_LIMIT + 1, 8); }},
        {"positionY", [](Bytes& b) { putLe(b, 56, static_cast<uint64_t>(INT64_MIN), 8); }},
        {"positionZ", [](Bytes& b) { putLe(b, 72, static_cast<uint64_t>(-POSITION_LIMIT - 1), 8); }},
    };
    for (const Case& c : cases) {
        auto a = unusual();
        Bytes bytes = buildSaveImage(a->target());
        c.spoil(bytes);
        auto b = withDefaults();
        auto defaults = withDefaults();
        const std::string error = loadError(bytes, *b);
        SCOPED_TRACE(error);
        if (c.badField == nullptr) {
            // What the program saves back: the same values in a file of its own version.
            bytes.resize(SAVE_FILE_SIZE);
            putLe(bytes, 8, 1, 4), putLe(bytes, 12, 0, 4);
            std::fill(bytes.begin() + 24, bytes.begin() + 32, 0xFF);
            EXPECT_EQ(error, "");
            EXPECT_EQ(buildSaveImage(b->target()), bytes);
            continue;
        }
        if (c.message != nullptr) {
            EXPECT_EQ(error, c.message);
        } else {
            EXPECT_EQ(error.rfind(std::string("invalid ") + c.badField + " in save file: ", 0), 0u);
        }
        // Everything before the bad field is applied, it and what follows are
        // not (forward goes with up).
        size_t bad = 0;
        while (std::strcmp(SAVE_FIELDS[bad].name, c.badField) != 0) ++bad;
        if (std::strcmp(c.badField, "up") == 0) --bad;
        for (size_t i = 0; i < SAVE_FIELD_COUNT; ++i)
            EXPECT_TRUE(sameField(i < bad ? *a : *defaults, *b, i)) << SAVE_FIELDS[i].name;
    }
}

// --------------------------------------------------------------- the files

// Every field bit for bit through a file (a speed level below the lowest,
// which the comma key allows, saved as the lowest); a save that fails
// part-way on a full disk (made with the file-size limit) says so and leaves
// the old file whole (and no temporary: the safe-write tests); of a file of
// 16 GiB (sparse) only the first bytes are read (a folder: the CLI's tests).
// Unreadable save files kept aside within the same second get names of
// their own: none is written over (the first name: the program's tests).
TEST(SaveFileOnDisk, WhatStandsAtThePathAFullDiskAndUnreadableFiles) {
    TempFolder dir;
    const std::string path = dir.at("default.sav");
    auto a = unusual();
    a->view.speedLevel = -250;
    saveState(path, a->target());
    const std::string bytes = readFile(path);
    ASSERT_EQ(bytes.size(), 179u);
    const auto saveOnAFullDisk = [&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            saveState(path, withDefaults()->target());
        } catch (const std::runtime_error& e) {
            std::fputs(e.what(), stderr);
            std::_Exit(1);
        }
        std::_Exit(0);
    };
    EXPECT_EXIT(saveOnAFullDisk(), testing::ExitedWithCode(1), SAVE_WRITE_FAILED);
    EXPECT_EQ(readFile(path), bytes);

    auto b = withDefaults();
    std::string text;
    ASSERT_EQ(::truncate(path.c_str(), 1ll << 34), 0);
    EXPECT_EQ(loadState(path, text, b->target()), 0);
    EXPECT_EQ(b->view.speedLevel, MIN_SPEED_LEVEL);
    EXPECT_EQ(buildSaveImage(b->target()), Bytes(bytes.begin(), bytes.end()));

    std::vector<std::string> kept;
    for (uint8_t round = 0; round < 3; ++round) {
        writeFile(path, Bytes{1, 2, 3, round});
        SaveFileStatus status;
        status.condition = SaveFileCondition::UNREADABLE;
        std::string moved;
        saveGuarded(path, a->target(), status, 1700000000, moved);
        kept.push_back(moved);
        EXPECT_EQ(readFile(moved), (std::string{1, 2, 3, static_cast<char>(round)}));
    }
    EXPECT_EQ(kept[1], kept[0] + "-2");
    EXPECT_EQ(kept[2], kept[0] + "-3");
}

// ------------------------------------------------------ the settings file

TEST(SettingsFile, BesideEverySaveFile) {
    const std::pair<const char*, const char*> cases[] = {
        {"/d/tarnwick/default.sav", "/d/tarnwick/default.settings"},
        {"view.sav", "view.settings"},
        {"/d/a.b/plain", "/d/a.b/plain.settings"},
        {"/d/.hidden", "/d/.hidden.settings"},
    };
    for (const auto& [save, settings] : cases) EXPECT_EQ(settingsFilePath(save), settings) << save;
}

// Saved with the save file and read with it; a hand-edited file keeps every
// line the program does not own, and says which it could not read; never
// read beside a newer save file.
TEST(SettingsFile, TravelsWithTheSaveFileAndKeepsWhatItCannotRead) {
    TempFolder dir;
    auto a = withDefaults();
    a->settings.exposureMode = ExposureMode::Auto;
    a->settings.diffuseColour = DiffuseColour::Populations;
    SaveFileStatus status;
    std::string moved;
    saveGuarded(dir.at("default.sav"), a->target(), status, 0, moved);
    auto b = withDefaults();
    EXPECT_EQ(loadSaveFile(dir.at("default.sav"), b->target()).settingsProblems, std::vector<std::string>{});
    EXPECT_EQ(b->settings.exposureMode, ExposureMode::Auto);
    EXPECT_EQ(b->settings.diffuseColour, DiffuseColour::Populations);

    const std::string path = dir.at("default.settings");
    std::ofstream(path) << "# mine\n  light-colour =  even  \nbrightness = 3\nexposure = dazzling\njust words\n\n";
    b->settings.exposureMode = ExposureMode::Fixed;
    std::vector<std::string> problems;
    loadSettingsFile(path, b->settings, problems);
    EXPECT_EQ(b->settings.diffuseColour, DiffuseColour::Even);
    EXPECT_EQ(b->settings.exposureMode, ExposureMode::Fixed);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_NE(problems[0].find("line 3"), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find("\"dazzling\" is no value of exposure"), std::string::npos) << problems[1];
    EXPECT_NE(problems[2].find("line 5"), std::string::npos) << problems[2];

    b->settings.diffuseColour = DiffuseColour::Populations;
    saveSettingsFile(path, b->settings);
    EXPECT_EQ(readFile(path), "# mine\nlight-colour = populations\nbrightness = 3\nexposure = dazzling\njust words\n\n"
                              "exposure = fixed\nbookmarks-on-sky = shown\n");

    // Beside a save file of a newer program it is not read.
    Bytes newer = buildSaveImage(a->target());
    newer[8] = 2;
    writeFile(dir.at("default.sav"), newer);
    auto c = withDefaults();
    EXPECT_EQ(loadSaveFile(dir.at("default.sav"), c->target()).condition, SaveFileCondition::NEWER);
    EXPECT_EQ(c->settings.diffuseColour, DiffuseColour::Even);
}

// ------------------------------------------------------------ the bookmarks

// A file written by hand: comments, blank lines and bookmarks are read; each
// line the program cannot read is reported with its number and written back
// unchanged, wherever it stood; names with blanks and letters beyond ASCII.
// The bookmarks of this galaxy are marked on its sky in the file's order.
TEST(Bookmarks, ReadWrittenBackAndEditedKeepingWhatCannotBeRead) {
    TempFolder dir;
    const std::string path = bookmarksPath(dir.path + "/");
    const std::string a = placeText(1), b = placeText(2);
    const std::string first = "Étoile du berger" + std::string(21, '-') + "é";  // 40 bytes, the last character two
    struct Line {
        std::string text;
        const char* problem;  // nullptr: read (a comment, a blank line or a bookmark)
    };
    const Line lines[] = {
        {"# my places", nullptr},
        {"", nullptr},
        {first + "\t" + a + "\tvue depuis 北斗", nullptr},
        {"Home\t" + b, nullptr},
        {"Elsewhere\t" + placeText(5, {5, 9}), nullptr},
        {"no tab here " + a, "no tab"},
        {"Broken\t" + a.substr(0, 20) + (a[20] == 'A' ? "B" : "A") + a.substr(21), "checksum"},
        {"Home\t" + a, "comes earlier"},
        {" Blank\t" + a, "blank"},
        {"Bad note\t" + a + "\tcut \xE5\x8C", "UTF-8"},
        {"   # indented comment", nullptr},
    };
    std::string text;
    for (const Line& l : lines) text += l.text + "\n";
    std::ofstream(dir.at("bookmarks.txt")) << text;
    BookmarkFile file;
    std::vector<std::string> problems;
    loadBookmarks(path, file, problems);
    auto problem = problems.begin();
    for (size_t i = 0; i < std::size(lines); ++i) {
        if (lines[i].problem == nullptr) continue;
        ASSERT_NE(problem, problems.end());
        EXPECT_NE(problem->find("line " + std::to_string(i + 1) + ":"), std::string::npos) << *problem;
        EXPECT_NE(problem->find(lines[i].problem), std::string::npos) << *problem;
        ++problem;
    }
    EXPECT_EQ(problem, problems.end());
    const std::vector<const Bookmark*> marks = bookmarkList(file);
    ASSERT_EQ(marks.size(), 3u);
    EXPECT_EQ(marks[0]->name, first);
    EXPECT_EQ(marks[0]->note, "vue depuis 北斗");
    EXPECT_EQ(marks[1]->location, b);
    EXPECT_EQ(bookmarksText(file), text);
    const std::vector<SearchResult> onSky = bookmarkMarks(file, GalaxySeed{});
    ASSERT_EQ(onSky.size(), 2u);
    EXPECT_EQ(std::string(onSky[0].name), first.substr(0, 38)) << "cut before the character that does not fit";
    EXPECT_EQ(std::tuple(onSky[0].star.x, onSky[0].star.y, onSky[0].star.z), std::tuple(1, 2, 3));
    EXPECT_STREQ(onSky[1].name, "Home");
    EXPECT_EQ(bookmarkMarks(file, {5, 9}).size(), 1u);

    // Edits: every refusal leaves the list as it was (a name taken, and
    // removing what is not there: the CLI's tests).
    std::string error;
    EXPECT_TRUE(addBookmark(file, {"Place 1", "  " + a + "\n", ""}, error)) << error;
    const Bookmark refused[] = {
        {"", a, ""},
        {"#x", a, ""},  // a comment
        {"Tab\tname", a, ""},
        {"Far", "starloom1:X", ""},
        {"Noted", a, "two\nlines"},
    };
    for (const Bookmark& r : refused) EXPECT_FALSE(addBookmark(file, r, error)) << r.name;
    EXPECT_FALSE(renameBookmark(file, "Home", "Place 1", error));
    EXPECT_TRUE(setBookmarkNote(file, "Home", "where it began", error)) << error;
    EXPECT_TRUE(removeBookmark(file, first));
    ASSERT_TRUE(saveBookmarks(path, file).ok);
    BookmarkFile again;
    loadBookmarks(path, again, problems);
    EXPECT_EQ(bookmarksText(again), bookmarksText(file));  // the damaged lines too
    ASSERT_EQ(bookmarkList(again).size(), 3u);
    EXPECT_EQ(findBookmark(again, "Home")->note, "where it began");
    EXPECT_EQ(findBookmark(again, "Place 1")->location, a);
}

// ------------------------------------------------------- starloom-cli savefile

// Every field in file order; floating-point numbers exactly, with 17 digits;
// negative and large values. What the program would refuse prints only the
// reason (the loader's own reasons are tested with the loader); what is not
// a regular file is never waited on.
TEST(CliSavefile, EveryFieldInFileOrderOrOnlyWhyTheProgramWouldRefuseIt) {
    const TempFolder dir;
    Bytes bytes = buildSaveImage(withDefaults()->target());
    writeFile(dir.at("default.sav"), bytes);
    writeFile(dir.at("unusual.sav"), buildSaveImage(unusual()->target()));
    bytes[176] = 7;
    writeFile(dir.at("flag.sav"), bytes);
    ASSERT_EQ(::mkfifo(dir.at("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mknod(dir.at("device").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    const CliRun run = runCli("savefile " + dir.at("default.sav"));
    const CliRun other = runCli("savefile " + dir.at("unusual.sav"));
    ASSERT_EQ(run.status, 0) << run.out;
    ASSERT_EQ(other.status, 0) << other.out;
    std::string names;
    for (const std::string& line : lines(run.out)) names += line.substr(0, line.find(' ')) + " ";
    EXPECT_EQ(names, "magic version reserved seedFirst seedSecond positionX positionY positionZ forward up viewAngle "
                     "wavelengthRed wavelengthGreen wavelengthBlue maxMagnitude speedLevel displayFontSize "
                     "controlFontScale maxVoxelChunks maxStarsGen maxStarsGpu panelOnRight showCrosshair "
                     "multisampling ");
    const std::pair<const CliRun*, const char*> values[] = {
        {&run, "magic 0x990A1A0A0D7867F3"},
        {&run, "version 1"},
        {&run, "viewAngle 45"},
        {&run, "multisampling 1"},
        {&run, "up -0.23378689852616349 0.07227757620959413 -0.96959766813600778"},
        {&run, "wavelengthRed 6.5000000404324965e-07"},
        {&other, "speedLevel -37"},
        {&other, "positionZ 18446744073709551615 -6917529027641081856"},
        {&other, "seedFirst 3735928559"},
    };
    for (const auto& [out, line] : values) EXPECT_EQ(std::ranges::count(lines(out->out), line), 1) << line;
    const std::pair<std::string, std::string> cases[] = {
        {dir.at("flag.sav"), "invalid panelOnRight in save file: 7 is not 0 or 1"},
        {"/nonexistent/default.sav", "No such file or directory"},
        {dir.path, "the save file is a folder, not a regular file: it is neither read nor written"},
        {dir.at("fifo"), "the save file is a FIFO, not a regular file: it is neither read nor written"},
        {dir.at("device"), "the save file is a character device, not a regular file: it is neither read nor written"},
    };
    for (const auto& [path, told] : cases) {
        const CliRun run = runCli("savefile " + path);
        EXPECT_EQ(run.status, 2) << path;
        EXPECT_EQ(run.out, "error: " + told + "\n");
    }
}
