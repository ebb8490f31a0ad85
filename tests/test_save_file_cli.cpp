// starloom-cli savefile: how a user and outside checks read a save file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "state/program_state.h"
#include "state/save_file.h"
#include "tests/test_support.h"

namespace {

std::vector<uint8_t> imageOf(void (*change)(Settings&, Viewpoint&)) {
    Settings settings;
    Viewpoint view{};
    applyDefaultSettings(settings, view);
    change(settings, view);
    return buildSaveImage({&settings, &view});
}

// The words of the line that starts with `name `.
std::vector<std::string> field(const std::string& out, const std::string& name) {
    const std::vector<std::string> found = lines(out, name + " ");
    EXPECT_EQ(found.size(), 1u) << name;
    std::vector<std::string> words;
    if (found.empty()) return words;
    std::istringstream in(found[0].substr(name.size() + 1));
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

}  // namespace

TEST(CliSavefile, EveryFieldInFileOrderWithExactValues) {
    const TempFolder folder;
    writeFile(folder.at("default.sav"), imageOf([](Settings&, Viewpoint&) {}));
    writeFile(folder.at("unusual.sav"), imageOf([](Settings& s, Viewpoint& view) {
        view.speedLevel = -100;
        view.position[2] = {18446744073709551615ull, -POSITION_LIMIT};  // the edge of space
        s.seed.first = 4294967295u;
    }));
    const CliRun run = runCli("savefile " + folder.at("default.sav"));
    const CliRun other = runCli("savefile " + folder.at("unusual.sav"));
    ASSERT_EQ(run.status, 0) << run.out;
    ASSERT_EQ(other.status, 0) << other.out;
    std::string names;
    for (const std::string& line : lines(run.out)) names += line.substr(0, line.find(' ')) + " ";
    EXPECT_EQ(names, "magic version reserved seedFirst seedSecond positionX positionY positionZ forward up viewAngle "
                     "wavelengthRed wavelengthGreen wavelengthBlue maxMagnitude speedLevel displayFontSize "
                     "controlFontScale maxVoxelChunks maxStarsGen maxStarsGpu panelOnRight showCrosshair "
                     "multisampling ");
    using Words = std::vector<std::string>;
    const std::tuple<const CliRun*, const char*, Words> values[] = {
        {&run, "magic", {"0x990A1A0A0D7867F3"}},
        {&run, "version", {"1"}},
        {&run, "seedSecond", {"3"}},
        {&run, "positionY", {"0", "-24996773029325252"}},
        {&run, "viewAngle", {"45"}},
        {&run, "maxStarsGen", {"10000000"}},
        {&run, "multisampling", {"1"}},
        // Floating-point numbers exactly, with 17 digits.
        {&run, "up", {"-0.23378689852616349", "0.07227757620959413", "-0.96959766813600778"}},
        {&run, "wavelengthRed", {"6.5000000404324965e-07"}},
        // Negative and large values.
        {&other, "speedLevel", {"-100"}},
        {&other, "positionZ", {"18446744073709551615", "-6917529027641081856"}},
        {&other, "seedFirst", {"4294967295"}},
    };
    for (const auto& [out, name, words] : values) EXPECT_EQ(field(out->out, name), words) << name;
}

// The loader's own reasons (a file cut short, a value out of range) are tested with the loader.
TEST(CliSavefile, AFileTheProgramWouldRefusePrintsOnlyTheReason) {
    const TempFolder dir;
    std::vector<uint8_t> bytes = imageOf([](Settings&, Viewpoint&) {});
    bytes[176] = 7;
    writeFile(dir.at("flag.sav"), bytes);
    // What is not a regular file is refused, and never waited on.
    ASSERT_EQ(::mkfifo(dir.at("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mknod(dir.at("device").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
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
    EXPECT_EQ(runCli("savefile").status, 2);
}
