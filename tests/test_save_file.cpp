// The save file: its bytes, the round trip, the loader's edge cases and
// checks, damaged files of every kind, and saves that fail or are cut short.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "starfield/location_text.h"
#include "state/bookmarks.h"
#include "state/program_state.h"
#include "state/save_file.h"
#include "state/panel_choices.h"
#include "state/settings_file.h"

namespace {

namespace fs = std::filesystem;

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

// The saved fields of two targets, compared bit for bit; empty when equal,
// else the names of the fields that differ.
std::string differences(Saved& a, Saved& b) {
    std::string out;
    for (const SaveField& f : SAVE_FIELDS) {
        if (f.get == nullptr) continue;
        const SaveValue x = f.get(a.target()), y = f.get(b.target());
        bool same = false;
        switch (f.kind) {
            case SaveKind::F32:
                same = std::bit_cast<uint32_t>(x.single) == std::bit_cast<uint32_t>(y.single);
                break;
            case SaveKind::F64:
                same = std::bit_cast<uint64_t>(x.number) == std::bit_cast<uint64_t>(y.number);
                break;
            case SaveKind::FIXED:
                same = x.fixed.fraction == y.fixed.fraction && x.fixed.integer == y.fixed.integer;
                break;
            case SaveKind::VEC3:
                same = std::memcmp(&x.vector, &y.vector, sizeof x.vector) == 0;
                break;
            default:
                same = x.word == y.word;
        }
        if (!same) out += std::string(f.name) + " ";
    }
    return out;
}

// Fields whose value in `a` and `b` differ, for the fields first..last-1 of the table.
bool sameFields(Saved& a, Saved& b, const std::vector<std::string>& names) {
    const std::string diff = differences(a, b);
    for (const std::string& n : names)
        if (diff.find(n + " ") != std::string::npos) return false;
    return true;
}

size_t fieldIndex(const char* name) {
    for (size_t i = 0; i < SAVE_FIELD_COUNT; ++i)
        if (std::strcmp(SAVE_FIELDS[i].name, name) == 0) return i;
    ADD_FAILURE() << "no field " << name;
    return 0;
}

std::vector<std::string> namesFrom(size_t first, size_t last) {
    std::vector<std::string> out;
    for (size_t i = first; i < last; ++i)
        if (SAVE_FIELDS[i].get != nullptr) out.push_back(SAVE_FIELDS[i].name);
    return out;
}

uint64_t le(const std::vector<uint8_t>& b, size_t at, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(b.at(at + i)) << (8 * i);
    return v;
}

void putLe(std::vector<uint8_t>& b, size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.at(at + i) = static_cast<uint8_t>(v >> (8 * i));
}

void put64(std::vector<uint8_t>& b, size_t at, double v) { putLe(b, at, std::bit_cast<uint64_t>(v), 8); }
void put32(std::vector<uint8_t>& b, size_t at, float v) { putLe(b, at, std::bit_cast<uint32_t>(v), 4); }
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

std::string loadError(const std::vector<uint8_t>& bytes, Saved& into) {
    try {
        applySaveImage(bytes.data(), bytes.size(), into.target());
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    return "";
}

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A fresh folder for one test, removed afterwards.
struct TempFolder {
    std::string path;
    TempFolder() {
        char name[] = "/tmp/starloom-save-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::permissions(path, fs::perms::owner_all, ignored);
        fs::remove_all(path, ignored);
    }
    std::string file(const char* name = "default.sav") const { return path + "/" + name; }
};

// What a state left by any load, failed or not, must satisfy: every value
// passes the loader's own checks (no NaN, no zero or slanted direction, nothing
// outside the panel's ranges), so saving it gives a file that loads.
void expectUsable(Saved& s, const std::string& context) {
    const std::vector<uint8_t> image = buildSaveImage(s.target());
    auto copy = withDefaults();
    const std::string error = loadError(image, *copy);
    ASSERT_EQ(error, "") << context;
    const Vec3d f = s.view.forward, u = s.view.up;
    ASSERT_NEAR(std::sqrt(dot(f, f)), 1.0, 1e-6) << context;
    ASSERT_NEAR(std::sqrt(dot(u, u)), 1.0, 1e-6) << context;
    ASSERT_NEAR(dot(f, u), 0.0, 1e-6) << context;
}

bool knownLoadError(const std::string& e) {
    return e == LOAD_TRUNCATED || e == LOAD_BAD_MAGIC || e == LOAD_BAD_VERSION ||
           (e.rfind("invalid ", 0) == 0 && e.find(" in save file: ") != std::string::npos);
}

}  // namespace

// ---------------------------------------------------------------- the bytes

TEST(SaveFileLayout, DefaultImageByteForByte) {
    auto s = withDefaults();
    const std::vector<uint8_t> b = buildSaveImage(s->target());
    ASSERT_EQ(b.size(), 179u);
    const std::vector<uint8_t> magic = {0xF3, 0x67, 0x78, 0x0D, 0x0A, 0x1A, 0x0A, 0x99};
    EXPECT_TRUE(std::equal(magic.begin(), magic.end(), b.begin()));
    EXPECT_EQ(le(b, 8, 4), 1u);   // version
    EXPECT_EQ(le(b, 12, 4), 0u);  // reserved
    EXPECT_EQ(le(b, 16, 4), 1u);  // seed
    EXPECT_EQ(le(b, 20, 4), 3u);
    for (size_t i = 24; i < 32; ++i) EXPECT_EQ(b[i], 0xFF) << "padding byte " << i;
    for (size_t fraction : {32, 48, 64}) EXPECT_EQ(le(b, fraction, 8), 0u);
    EXPECT_EQ(static_cast<int64_t>(le(b, 40, 8)), -7003708179394623);
    EXPECT_EQ(static_cast<int64_t>(le(b, 56, 8)), -24996773029325252);
    EXPECT_EQ(static_cast<int64_t>(le(b, 72, 8)), 1127289819641451);
    EXPECT_EQ(std::bit_cast<double>(le(b, 80, 8)), 0.11452456541239872);
    EXPECT_EQ(std::bit_cast<double>(le(b, 120, 8)), -0.9695976681360078);
    EXPECT_EQ(le(b, 128, 8), 0x4046800000000000u);  // 45.0
    EXPECT_EQ(std::bit_cast<float>(static_cast<uint32_t>(le(b, 136, 4))), 6.5e-7f);
    EXPECT_EQ(std::bit_cast<float>(static_cast<uint32_t>(le(b, 144, 4))), 4.5e-7f);
    EXPECT_EQ(le(b, 148, 4), 0x41400000u);  // 12.0f
    EXPECT_EQ(le(b, 152, 4), 40u);
    EXPECT_EQ(le(b, 156, 4), 3u);
    EXPECT_EQ(le(b, 160, 4), 1u);
    EXPECT_EQ(le(b, 164, 4), 16u);
    EXPECT_EQ(le(b, 168, 4), 10000000u);
    EXPECT_EQ(le(b, 172, 4), 3000000u);
    EXPECT_EQ(b[176], 1);
    EXPECT_EQ(b[177], 1);
    EXPECT_EQ(b[178], 1);
}

TEST(SaveFileLayout, NegativeNumbersAreTwosComplementLittleEndian) {
    auto s = unusual();
    s->view.speedLevel = -2;
    const std::vector<uint8_t> b = buildSaveImage(s->target());
    EXPECT_EQ(le(b, 152, 4), 0xFFFFFFFEu);
    EXPECT_EQ(le(b, 32, 8), 0x0123456789ABCDEFu);  // x: low word first
    EXPECT_EQ(le(b, 40, 8), 0xFFFFFFFFFFFFFFFBu);  // then the high word, -5
    EXPECT_EQ(b[88], 0x00);  // forward.y = -0.0 keeps its sign bit
    EXPECT_EQ(b[95], 0x80);
}

// ------------------------------------------------------------ round trip

TEST(SaveFileRoundTrip, EveryFieldBitForBitThroughAFile) {
    TempFolder dir;
    auto a = unusual();
    saveState(dir.file(), a->target());
    const std::vector<uint8_t> bytes = fileBytes(dir.file());
    ASSERT_EQ(bytes.size(), 179u);
    for (size_t i = 24; i < 32; ++i) EXPECT_EQ(bytes[i], 0xFF) << "padding byte " << i;
    auto b = withDefaults();
    std::string text;
    ASSERT_EQ(loadState(dir.file(), text, b->target()), 0);
    EXPECT_EQ(differences(*a, *b), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);  // no temporary left
    // Saving what was loaded gives the same bytes.
    EXPECT_EQ(buildSaveImage(b->target()), bytes);
}

TEST(SaveFileRoundTrip, ExtremesOfEveryRange) {
    struct Extreme {
        void (*set)(Saved&);
    };
    const Extreme extremes[] = {
        {[](Saved& s) {
             s.settings.viewAngle = 1.0;
             s.settings.maxMagnitude = 4.0f;
             s.view.speedLevel = -100;
             s.settings.displayFontSize = 0;
             s.settings.controlFontScale = 1;
             s.settings.maxVoxelChunks = 1;
             s.settings.maxStarsGen = 10000;
             s.settings.seed = {0, 0};
         }},
        {[](Saved& s) {
             s.settings.viewAngle = 90.0;
             s.settings.maxMagnitude = 16.0f;
             s.view.speedLevel = 50;
             s.settings.displayFontSize = 18;
             s.settings.controlFontScale = 4;
             s.settings.maxVoxelChunks = 256;
             s.settings.maxStarsGen = 10000000;
             s.settings.seed = {~0u, ~0u};
         }},
        {[](Saved& s) {
             s.settings.viewAngle = std::nextafter(90.0, 0.0);
             s.settings.channelWavelength[0] = CHANNEL_WAVELENGTH_MIN;
             s.settings.channelWavelength[2] = CHANNEL_WAVELENGTH_MAX;
             for (int a = 0; a < 3; ++a) s.view.position[a] = {~0ull, POSITION_LIMIT};
             // Unit to the last bit and perpendicular within the tolerance.
             s.view.forward = {0.0, 0.0, -1.0};
             s.view.up = {std::sqrt(0.5), std::sqrt(0.5), 0.9e-6};
         }},
    };
    TempFolder dir;
    for (const Extreme& e : extremes) {
        auto a = unusual();
        e.set(*a);
        saveState(dir.file(), a->target());
        auto b = withDefaults();
        std::string text;
        ASSERT_EQ(loadState(dir.file(), text, b->target()), 0);
        EXPECT_EQ(differences(*a, *b), "");
    }
    // Every capacity the panel offers survives.
    for (const Choice<uint32_t>& c : VOXEL_CHOICES) {
        auto a = unusual();
        a->settings.maxVoxelChunks = c.value;
        auto b = withDefaults();
        EXPECT_EQ(loadError(buildSaveImage(a->target()), *b), "") << c.name;
        EXPECT_EQ(b->settings.maxVoxelChunks, c.value);
    }
    for (const Choice<uint64_t>& c : STARS_GEN_CHOICES) {
        auto a = unusual();
        a->settings.maxStarsGen = c.value;
        auto b = withDefaults();
        EXPECT_EQ(loadError(buildSaveImage(a->target()), *b), "") << c.name;
        EXPECT_EQ(b->settings.maxStarsGen, c.value);
    }
}

TEST(SaveFileRoundTrip, ASpeedLevelBelowTheLowestIsSavedAsTheLowest) {
    auto a = unusual();
    a->view.speedLevel = -250;  // the comma key has no lower bound
    auto b = withDefaults();
    EXPECT_EQ(loadError(buildSaveImage(a->target()), *b), "");
    EXPECT_EQ(b->view.speedLevel, MIN_SPEED_LEVEL);
}

// ------------------------------------------------------------ edge cases

// The header: a wrong magic or a newer version applies nothing; version 0,
// the reserved word, the padding and bytes after the last field are not
// looked at. (A file cut short: the next test.)
TEST(SaveFileLoad, HeaderWordsAndTrailingBytes) {
    struct Case {
        const char* what;
        void (*change)(std::vector<uint8_t>&);
        const char* error;  // "" when it loads
    };
    const Case cases[] = {
        {"wrong magic", [](std::vector<uint8_t>& b) { b[7] = 0x98; }, LOAD_BAD_MAGIC},
        {"version 2", [](std::vector<uint8_t>& b) { putLe(b, 8, 2, 4); }, LOAD_BAD_VERSION},
        {"version 2^32 - 1", [](std::vector<uint8_t>& b) { putLe(b, 8, 0xFFFFFFFF, 4); }, LOAD_BAD_VERSION},
        {"version 0", [](std::vector<uint8_t>& b) { putLe(b, 8, 0, 4); }, ""},
        {"reserved word, padding, trailing bytes",
         [](std::vector<uint8_t>& b) {
             putLe(b, 12, 0xCAFEF00D, 4);
             for (size_t i = 24; i < 32; ++i) b[i] = 0x00;
             b.insert(b.end(), 5000, 0x5A);
         },
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto a = unusual();
        std::vector<uint8_t> bytes = buildSaveImage(a->target());
        c.change(bytes);
        auto b = withDefaults();
        auto defaults = withDefaults();
        EXPECT_EQ(loadError(bytes, *b), c.error);
        EXPECT_EQ(differences(*b, *(*c.error == '\0' ? a : defaults)), "");
    }
}

TEST(SaveFileLoad, EveryTruncationAppliesExactlyTheWholeFieldsBeforeIt) {
    auto a = unusual();
    auto defaults = withDefaults();
    const std::vector<uint8_t> full = buildSaveImage(a->target());
    for (size_t length = 0; length < full.size(); ++length) {
        auto b = withDefaults();
        const std::vector<uint8_t> cut(full.begin(), full.begin() + static_cast<long>(length));
        ASSERT_EQ(loadError(cut, *b), LOAD_TRUNCATED) << length;
        // A field is applied when it lies wholly inside the file, except that
        // forward waits for up.
        for (size_t i = 0; i < SAVE_FIELD_COUNT; ++i) {
            const SaveField& f = SAVE_FIELDS[i];
            if (f.get == nullptr || sameFields(*a, *defaults, {f.name})) continue;  // maxStarsGpu has one value
            bool inside = f.offset + saveKindSize(f.kind) <= length;
            if (std::strcmp(f.name, "forward") == 0) inside = length >= 128;
            const bool applied = sameFields(*a, *b, {f.name});
            EXPECT_EQ(applied, inside) << f.name << " at length " << length;
        }
        expectUsable(*b, "length " + std::to_string(length));
    }
}

// -------------------------------------------------------------- the checks

TEST(SaveFileChecks, EachBadValueStopsTheLoadAtItsField) {
    struct Bad {
        const char* field;
        void (*spoil)(std::vector<uint8_t>&);
    };
    const Bad cases[] = {
        {"forward", [](std::vector<uint8_t>& b) { put64(b, 80, NaN); }},
        {"forward", [](std::vector<uint8_t>& b) { put64(b, 80, 0), put64(b, 88, 0), put64(b, 96, 0); }},
        {"forward", [](std::vector<uint8_t>& b) { put64(b, 80, 0), put64(b, 88, 1.00001), put64(b, 96, 0); }},
        {"forward", [](std::vector<uint8_t>& b) { put64(b, 88, std::numeric_limits<double>::infinity()); }},
        {"up", [](std::vector<uint8_t>& b) { put64(b, 104, 0), put64(b, 112, 0), put64(b, 120, 0); }},
        {"up", [](std::vector<uint8_t>& b) {  // the same as forward
             for (int i = 0; i < 24; ++i) b[104 + i] = b[80 + i];
         }},
        {"up", [](std::vector<uint8_t>& b) {  // unit, but 45 degrees off
             put64(b, 80, 1), put64(b, 88, 0), put64(b, 96, 0);
             put64(b, 104, std::sqrt(0.5)), put64(b, 112, std::sqrt(0.5)), put64(b, 120, 0);
         }},
        {"viewAngle", [](std::vector<uint8_t>& b) { put64(b, 128, 0.999); }},
        {"viewAngle", [](std::vector<uint8_t>& b) { put64(b, 128, 90.001); }},
        {"viewAngle", [](std::vector<uint8_t>& b) { put64(b, 128, NaN); }},
        {"viewAngle", [](std::vector<uint8_t>& b) { put64(b, 128, -std::numeric_limits<double>::infinity()); }},
        {"wavelengthRed", [](std::vector<uint8_t>& b) { put32(b, 136, 0.0f); }},
        {"wavelengthGreen", [](std::vector<uint8_t>& b) { put32(b, 140, -5.5e-7f); }},
        {"wavelengthBlue", [](std::vector<uint8_t>& b) { put32(b, 144, std::numeric_limits<float>::infinity()); }},
        {"maxMagnitude", [](std::vector<uint8_t>& b) { put32(b, 148, 3.99f); }},
        {"maxMagnitude", [](std::vector<uint8_t>& b) { put32(b, 148, 16.01f); }},
        {"maxMagnitude", [](std::vector<uint8_t>& b) { put32(b, 148, std::numeric_limits<float>::quiet_NaN()); }},
        {"speedLevel", [](std::vector<uint8_t>& b) { putLe(b, 152, 51, 4); }},
        {"speedLevel", [](std::vector<uint8_t>& b) { putLe(b, 152, static_cast<uint32_t>(-101), 4); }},
        {"speedLevel", [](std::vector<uint8_t>& b) { putLe(b, 152, 0x80000000u, 4); }},
        {"displayFontSize", [](std::vector<uint8_t>& b) { putLe(b, 156, 19, 4); }},
        {"displayFontSize", [](std::vector<uint8_t>& b) { putLe(b, 156, 0xFFFFFFFF, 4); }},
        {"controlFontScale", [](std::vector<uint8_t>& b) { putLe(b, 160, 0, 4); }},
        {"controlFontScale", [](std::vector<uint8_t>& b) { putLe(b, 160, 5, 4); }},
        {"maxVoxelChunks", [](std::vector<uint8_t>& b) { putLe(b, 164, 0, 4); }},
        {"maxVoxelChunks", [](std::vector<uint8_t>& b) { putLe(b, 164, 5, 4); }},
        {"maxVoxelChunks", [](std::vector<uint8_t>& b) { putLe(b, 164, 512, 4); }},
        {"maxStarsGen", [](std::vector<uint8_t>& b) { putLe(b, 168, 0, 4); }},
        {"maxStarsGen", [](std::vector<uint8_t>& b) { putLe(b, 168, 10000001, 4); }},
        {"maxStarsGen", [](std::vector<uint8_t>& b) { putLe(b, 168, 0xFFFFFFFF, 4); }},
        {"maxStarsGpu", [](std::vector<uint8_t>& b) { putLe(b, 172, 10000000, 4); }},
        {"panelOnRight", [](std::vector<uint8_t>& b) { b[176] = 2; }},
        {"showCrosshair", [](std::vector<uint8_t>& b) { b[177] = 0xFF; }},
        {"multisampling", [](std::vector<uint8_t>& b) { b[178] = 0x80; }},
        // Beyond the edge of space, by one unit and far.
        {"positionX", [](std::vector<uint8_t>& b) { putLe(b, 40, POSITION_LIMIT + 1, 8); }},
        {"positionY", [](std::vector<uint8_t>& b) { putLe(b, 56, static_cast<uint64_t>(INT64_MIN), 8); }},
        {"positionZ", [](std::vector<uint8_t>& b) { putLe(b, 72, static_cast<uint64_t>(-POSITION_LIMIT - 1), 8); }},
    };
    for (const Bad& c : cases) {
        auto a = unusual();
        std::vector<uint8_t> bytes = buildSaveImage(a->target());
        c.spoil(bytes);
        auto b = withDefaults();
        auto defaults = withDefaults();
        const std::string error = loadError(bytes, *b);
        EXPECT_EQ(error.rfind(std::string("invalid ") + c.field + " in save file: ", 0), 0u) << error;
        const size_t at = fieldIndex(c.field);
        // Everything before the bad field is applied, it and what follows are not
        // (forward goes with up).
        const size_t applied = std::strcmp(c.field, "up") == 0 ? at - 1 : at;
        EXPECT_TRUE(sameFields(*a, *b, namesFrom(0, applied))) << c.field << ": " << differences(*a, *b);
        EXPECT_TRUE(sameFields(*defaults, *b, namesFrom(applied, SAVE_FIELD_COUNT)))
            << c.field << ": " << differences(*defaults, *b);
        expectUsable(*b, error);
    }
}

TEST(SaveFileChecks, TheMessageNamesTheFieldAndTheValue) {
    auto a = unusual();
    std::vector<uint8_t> bytes = buildSaveImage(a->target());
    putLe(bytes, 128, std::bit_cast<uint64_t>(120.0), 8);
    auto b = withDefaults();
    EXPECT_EQ(loadError(bytes, *b), "invalid viewAngle in save file: 120 is outside 1 to 90");
    bytes = buildSaveImage(a->target());
    putLe(bytes, 104, std::bit_cast<uint64_t>(0.6), 8);
    putLe(bytes, 112, 0, 8);
    putLe(bytes, 120, std::bit_cast<uint64_t>(0.8), 8);
    EXPECT_EQ(loadError(bytes, *b),
              "invalid up in save file: 0.59999999999999998 0 0.80000000000000004 is not perpendicular to forward");
}

// Every byte of a valid file replaced by every other value: the load either
// works (the byte lay where any value is valid, or gave another valid value)
// or fails with one of the loader's messages, and what it applied is usable.
TEST(SaveFileDamage, EverySingleByteCorruption) {
    auto a = unusual();
    const std::vector<uint8_t> good = buildSaveImage(a->target());
    size_t failures = 0, loads = 0;
    for (size_t at = 0; at < good.size(); ++at) {
        for (int value = 0; value < 256; ++value) {
            if (value == good[at]) continue;
            std::vector<uint8_t> bytes = good;
            bytes[at] = static_cast<uint8_t>(value);
            auto b = withDefaults();
            const std::string error = loadError(bytes, *b);
            const std::string context = "byte " + std::to_string(at) + " = " + std::to_string(value);
            if (error.empty()) {
                ++loads;
            } else {
                ++failures;
                ASSERT_TRUE(knownLoadError(error)) << context << ": " << error;
            }
            expectUsable(*b, context);
        }
    }
    // The magic always fails; padding, reserved word, seed and position always load.
    EXPECT_GE(failures, 8u * 255);
    EXPECT_GE(loads, (8u + 4 + 8 + 48) * 255);
}

// Many bytes spoilt at once, files cut or lengthened: a fixed-seed random walk
// over damaged files (about 200,000), under the sanitizers in the test command.
// The format has no lengths or pointers inside, so a seeded search of this
// size reaches every check as surely as a coverage-guided fuzzer would,
// without a second compiler in every test run.
TEST(SaveFileDamage, RandomlyDamagedFiles) {
    auto a = unusual();
    std::vector<std::vector<uint8_t>> seeds = {buildSaveImage(a->target())};
    auto d = withDefaults();
    seeds.push_back(buildSaveImage(d->target()));
    std::mt19937_64 rng(0x5EEDF11E);
    const uint8_t interesting[] = {0x00, 0x01, 0x02, 0x7F, 0x80, 0xFF, 0x3F, 0xF0};
    size_t loads = 0;
    for (int round = 0; round < 200000; ++round) {
        std::vector<uint8_t> bytes = seeds[rng() % seeds.size()];
        const int spoils = 1 + static_cast<int>(rng() % 6);
        for (int k = 0; k < spoils; ++k) {
            const size_t at = rng() % bytes.size();
            switch (rng() % 4) {
                case 0: bytes[at] = static_cast<uint8_t>(rng()); break;
                case 1: bytes[at] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
                case 2: bytes[at] = interesting[rng() % sizeof interesting]; break;
                default: {  // a whole word from elsewhere
                    const size_t from = rng() % bytes.size();
                    for (size_t i = 0; i < 8 && at + i < bytes.size() && from + i < bytes.size(); ++i)
                        bytes[at + i] = bytes[from + i];
                }
            }
        }
        if (rng() % 8 == 0) bytes.resize(rng() % 400, static_cast<uint8_t>(rng()));
        auto b = withDefaults();
        const std::string error = loadError(bytes, *b);
        if (error.empty()) ++loads;
        else ASSERT_TRUE(knownLoadError(error)) << "round " << round << ": " << error;
        expectUsable(*b, "round " + std::to_string(round));
    }
    EXPECT_GT(loads, 1000u);
}

// --------------------------------------------------------------- the files

TEST(SaveFileLoad, AMissingFileReturnsErrno) {
    TempFolder dir;
    auto b = withDefaults();
    std::string text;
    EXPECT_EQ(loadState(dir.file("none.sav"), text, b->target()), ENOENT);
    EXPECT_EQ(text, std::strerror(ENOENT));
}

TEST(SaveFileLoad, AFolderIsNoSaveFile) {
    TempFolder dir;
    auto b = withDefaults();
    std::string text;
    try {
        loadState(dir.path, text, b->target());
        ADD_FAILURE() << "a folder loaded";
    } catch (const SaveFileNotAFile& e) {
        EXPECT_STREQ(e.what(), "the save file is a folder, not a regular file: it is neither read nor written");
    }
}

TEST(SaveFileLoad, AHugeFileCostsNoMemory) {
    TempFolder dir;
    auto a = unusual();
    writeBytes(dir.file(), buildSaveImage(a->target()));
    ASSERT_EQ(::truncate(dir.file().c_str(), 1ll << 34), 0);  // 16 GiB, sparse
    auto b = withDefaults();
    std::string text;
    EXPECT_EQ(loadState(dir.file(), text, b->target()), 0);
    EXPECT_EQ(differences(*a, *b), "");
}

// ------------------------------------------------------- saves that fail

namespace {

// Runs `body` in a child process; its exit status (0 for success).
int inChild(const std::function<int()>& body) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// 0 when saving throws exactly `expected`, 1 when it throws something else, 2 when it works.
int saveFails(const std::string& path, const char* expected) {
    auto s = withDefaults();
    try {
        saveState(path, s->target());
    } catch (const std::runtime_error& e) {
        return std::strcmp(e.what(), expected) == 0 ? 0 : (std::fprintf(stderr, "threw: %s\n", e.what()), 1);
    }
    return 2;
}

struct OldFile {
    TempFolder dir;
    std::vector<uint8_t> bytes;
    OldFile() {
        auto a = unusual();
        saveState(dir.file(), a->target());
        bytes = fileBytes(dir.file());
    }
    void expectIntact() {
        EXPECT_EQ(fileBytes(dir.file()), bytes);
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);  // no temporary left
    }
};

}  // namespace

// A folder the program may not write to. Permissions do not stop root, so a
// root test run makes the save in a child that has dropped to an ordinary user.
TEST(SaveFileSaveFailure, AReadOnlyFolder) {
    OldFile old;
    ASSERT_EQ(::chmod(old.dir.path.c_str(), 0555), 0);
    const std::string path = old.dir.file();
    const int status = inChild([&path] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 3;
        return saveFails(path, std::strerror(EACCES));
    });
    ::chmod(old.dir.path.c_str(), 0700);
    EXPECT_EQ(status, 0);
    old.expectIntact();
}

// A full disk, made with the file-size limit: the write of the temporary file
// fails part-way.
TEST(SaveFileSaveFailure, AFullDisk) {
    OldFile old;
    const std::string path = old.dir.file();
    const int status = inChild([&path] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
        return saveFails(path, SAVE_WRITE_FAILED);
    });
    EXPECT_EQ(status, 0);
    old.expectIntact();
}

TEST(SaveFileSaveFailure, TheSaveFileIsAFolder) {
    TempFolder dir;
    fs::create_directory(dir.file());
    fs::create_directory(dir.file() + "/inside");  // a folder that is not empty cannot be replaced
    EXPECT_EQ(saveFails(dir.file(), std::strerror(EISDIR)), 0);
    EXPECT_TRUE(fs::is_directory(dir.file() + "/inside"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1);
}

// A process killed at random moments while it saves two states in turn: the
// file always holds one of them whole.
TEST(SaveFileSaveFailure, KilledWhileSaving) {
    TempFolder dir;
    auto a = unusual();
    auto d = withDefaults();
    saveState(dir.file(), a->target());
    const std::vector<uint8_t> first = buildSaveImage(a->target()), second = buildSaveImage(d->target());
    std::mt19937 rng(99);
    for (int round = 0; round < 12; ++round) {
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            auto x = unusual();
            auto y = withDefaults();
            for (;;) {
                saveState(dir.file(), x->target());
                saveState(dir.file(), y->target());
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + rng() % 20000));
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        const std::vector<uint8_t> now = fileBytes(dir.file());
        EXPECT_TRUE(now == first || now == second) << "round " << round << ": " << now.size() << " bytes";
    }
}

// Unreadable save files kept aside within the same second get names of
// their own: none is written over.
TEST(SaveFileSaveFailure, UnreadableFilesOfTheSameSecondKeepNamesOfTheirOwn) {
    TempFolder dir;
    auto a = withDefaults();
    std::vector<std::string> kept;
    for (uint8_t round = 0; round < 3; ++round) {
        writeBytes(dir.file(), {1, 2, 3, round});
        SaveFileStatus status;
        status.condition = SaveFileCondition::UNREADABLE;
        std::string moved;
        saveGuarded(dir.file(), a->target(), status, 1700000000, moved);
        kept.push_back(moved);
        EXPECT_EQ(fileBytes(moved), (std::vector<uint8_t>{1, 2, 3, round}));
    }
    EXPECT_EQ(kept[0].rfind(dir.file() + ".unreadable-", 0), 0u) << kept[0];
    EXPECT_EQ(kept[1], kept[0] + "-2");
    EXPECT_EQ(kept[2], kept[0] + "-3");
}

// ------------------------------------------------------------ the defaults

// The defaults' values are pinned by DefaultImageByteForByte; here: they
// reset what the settings file keeps too, and leave what neither file holds.
TEST(SaveFileDefaults, SetTheFileFieldsAndNothingElse) {
    auto s = unusual();
    Settings& a = s->settings;
    a.brightness = 0.25f;
    a.backgroundMode = BackgroundMode::None;
    a.starShape = StarShape::Circle;
    a.frameTimeoutNs = 7;
    a.exposureMode = ExposureMode::Auto;
    a.diffuseColour = DiffuseColour::Populations;
    applyDefaultSettings(a, s->view);
    auto fresh = withDefaults();
    EXPECT_EQ(differences(*s, *fresh), "");
    EXPECT_EQ(a.exposureMode, ExposureMode::Fixed);
    EXPECT_EQ(a.diffuseColour, DiffuseColour::Even);
    EXPECT_EQ(a.brightness, 0.25f);
    EXPECT_EQ(a.backgroundMode, BackgroundMode::None);
    EXPECT_EQ(a.starShape, StarShape::Circle);
    EXPECT_EQ(a.frameTimeoutNs, 7u);
    expectUsable(*s, "defaults");
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
// line the program does not own, and says which it could not read.
TEST(SettingsFile, TravelsWithTheSaveFileAndKeepsWhatItCannotRead) {
    TempFolder dir;
    auto a = withDefaults();
    a->settings.exposureMode = ExposureMode::Auto;
    a->settings.diffuseColour = DiffuseColour::Populations;
    SaveFileStatus status;
    std::string moved;
    saveGuarded(dir.file(), a->target(), status, 0, moved);
    auto b = withDefaults();
    EXPECT_EQ(loadSaveFile(dir.file(), b->target()).settingsProblems, std::vector<std::string>{});
    EXPECT_EQ(b->settings.exposureMode, ExposureMode::Auto);
    EXPECT_EQ(b->settings.diffuseColour, DiffuseColour::Populations);

    const std::string path = dir.file("default.settings");
    const std::vector<std::string> handWritten = {"# mine", "  light-colour =  even  ", "brightness = 3",
                                                  "exposure = dazzling", "just words", ""};
    {
        std::ofstream out(path);
        for (const std::string& line : handWritten) out << line << "\n";
    }
    auto c = withDefaults();
    c->settings.diffuseColour = DiffuseColour::Populations;
    std::vector<std::string> problems;
    loadSettingsFile(path, c->settings, problems);
    EXPECT_EQ(c->settings.diffuseColour, DiffuseColour::Even);
    EXPECT_EQ(c->settings.exposureMode, ExposureMode::Fixed);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_NE(problems[0].find("line 3"), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find("\"dazzling\" is no value of exposure"), std::string::npos) << problems[1];
    EXPECT_NE(problems[2].find("line 5"), std::string::npos) << problems[2];

    c->settings.diffuseColour = DiffuseColour::Populations;
    saveSettingsFile(path, c->settings);
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    const std::vector<std::string> expected = {"# mine", "light-colour = populations", "brightness = 3",
                                               "exposure = dazzling", "just words", "", "exposure = fixed",
                                               "bookmarks-on-sky = shown"};
    EXPECT_EQ(lines, expected);
}

// A save file of a newer program is never read, nor is the settings file beside it.
TEST(SettingsFile, NotReadBesideANewerSaveFile) {
    TempFolder dir;
    auto a = withDefaults();
    std::vector<uint8_t> bytes = buildSaveImage(a->target());
    bytes[8] = 2;  // format version 2
    {
        std::ofstream out(dir.file(), std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        std::ofstream(dir.file("default.settings")) << "exposure = auto\n";
    }
    const SaveFileStatus status = loadSaveFile(dir.file(), a->target());
    EXPECT_EQ(status.condition, SaveFileCondition::NEWER);
    EXPECT_EQ(a->settings.exposureMode, ExposureMode::Fixed);
}

// ------------------------------------------------------------ the bookmarks

namespace {

std::string placeText(int64_t x) {
    Location place{{{0, x}, {0, 2}, {0, 3}}, DEFAULT_FORWARD, DEFAULT_UP, GalaxySeed{}};
    return encodeLocation(place);
}

}  // namespace

// A file written by hand: comments, blank lines and bookmarks are read; each
// line the program cannot read is reported with its number and written back
// unchanged, wherever it stood; names with blanks and letters beyond ASCII.
TEST(Bookmarks, ReadWrittenBackAndEditedKeepingWhatCannotBeRead) {
    TempFolder dir;
    const std::string a = placeText(1), b = placeText(2);
    struct Line {
        std::string text;
        const char* problem;  // nullptr: read (a comment, a blank line or a bookmark)
    };
    const std::vector<Line> lines = {
        {"# my places", nullptr},
        {"", nullptr},
        {"Étoile du berger\t" + a + "\tvue depuis 北斗", nullptr},
        {"Home\t" + b, nullptr},
        {"no tab here " + a, "no tab"},
        {"Broken\t" + a.substr(0, 20) + (a[20] == 'A' ? "B" : "A") + a.substr(21), "checksum"},
        {"Home\t" + a, "comes earlier"},
        {" Blank\t" + a, "blank"},
        {"Bad note\t" + a + "\tcut \xE5\x8C", "UTF-8"},
        {"   # indented comment", nullptr},
    };
    std::string text;
    for (const Line& l : lines) text += l.text + "\n";
    {
        std::ofstream out(dir.file("bookmarks.txt"));
        out << text;
    }
    BookmarkFile file;
    std::vector<std::string> problems;
    loadBookmarks(bookmarksPath(dir.path + "/"), file, problems);
    size_t p = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].problem == nullptr) continue;
        ASSERT_LT(p, problems.size());
        EXPECT_NE(problems[p].find("line " + std::to_string(i + 1) + ":"), std::string::npos) << problems[p];
        EXPECT_NE(problems[p].find(lines[i].problem), std::string::npos) << problems[p];
        ++p;
    }
    EXPECT_EQ(p, problems.size());
    const std::vector<const Bookmark*> marks = bookmarkList(file);
    ASSERT_EQ(marks.size(), 2u);
    EXPECT_EQ(marks[0]->name, "Étoile du berger");
    EXPECT_EQ(marks[0]->note, "vue depuis 北斗");
    EXPECT_EQ(marks[1]->location, b);
    EXPECT_EQ(bookmarksText(file), text);

    // Edits: every refusal leaves the list as it was.
    std::string error;
    EXPECT_EQ(unusedPlaceName(file), "Place 1");
    EXPECT_TRUE(addBookmark(file, {"Place 1", "  " + a + "\n", ""}, error)) << error;
    EXPECT_EQ(unusedPlaceName(file), "Place 2");
    for (const Bookmark& refused : std::vector<Bookmark>{{"Home", a, ""},        // taken
                                                         {"", a, ""},            // no name
                                                         {"#x", a, ""},          // a comment
                                                         {"Tab\tname", a, ""},   // a tab
                                                         {"Far", "starloom1:X", ""},
                                                         {"Noted", a, "two\nlines"}}) {
        EXPECT_FALSE(addBookmark(file, refused, error)) << refused.name;
    }
    EXPECT_FALSE(renameBookmark(file, "Home", "Place 1", error));
    EXPECT_TRUE(renameBookmark(file, "Place 1", "Twin suns", error)) << error;
    EXPECT_TRUE(setBookmarkNote(file, "Home", "where it began", error)) << error;
    EXPECT_TRUE(removeBookmark(file, "Étoile du berger"));
    EXPECT_FALSE(removeBookmark(file, "Étoile du berger"));
    ASSERT_TRUE(saveBookmarks(bookmarksPath(dir.path + "/"), file).ok);
    BookmarkFile again;
    problems.clear();
    loadBookmarks(bookmarksPath(dir.path + "/"), again, problems);
    EXPECT_EQ(problems.size(), 5u);  // the damaged lines, still there
    EXPECT_EQ(bookmarksText(again), bookmarksText(file));
    ASSERT_EQ(bookmarkList(again).size(), 2u);
    EXPECT_EQ(findBookmark(again, "Home")->note, "where it began");
    EXPECT_EQ(findBookmark(again, "Twin suns")->location, a);
}

// A bookmarks file that cannot be read is never written over, and a write
// that fails (a full disk) leaves the file as it was.
TEST(Bookmarks, AFailedWriteLosesNothing) {
    TempFolder dir;
    const std::string path = dir.file("bookmarks.txt");
    ASSERT_TRUE(fs::create_directory(path));
    BookmarkFile file;
    std::vector<std::string> problems;
    loadBookmarks(path, file, problems);
    EXPECT_EQ(problems.size(), 1u);
    std::string error;
    ASSERT_TRUE(addBookmark(file, {"Here", placeText(5), ""}, error));
    EXPECT_FALSE(saveBookmarks(path, file).ok);
    EXPECT_TRUE(fs::is_directory(path));
    fs::remove(path);

    const std::string before = "# kept\nHome\t" + placeText(7) + "\n";
    {
        std::ofstream out(path);
        out << before;
    }
    const int status = inChild([&path] {
        ::signal(SIGXFSZ, SIG_IGN);
        BookmarkFile big;
        std::vector<std::string> ignored;
        loadBookmarks(path, big, ignored);
        std::string e;
        for (int i = 0; i < 40; ++i) addBookmark(big, {"Place " + std::to_string(i), placeText(i), ""}, e);
        const rlimit limit{300, 300};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 3;
        return saveBookmarks(path, big).ok ? 1 : 0;
    });
    EXPECT_EQ(status, 0);
    std::ifstream in(path);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), before);
}
