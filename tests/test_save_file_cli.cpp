// starloom-cli savefile: how a user and outside checks read a save file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "state/program_state.h"
#include "state/save_file.h"
#include "tests/test_support.h"

namespace {

struct SaveFileOnDisk {
    std::string path;
    explicit SaveFileOnDisk(const std::vector<uint8_t>& bytes) {
        char name[] = "/tmp/starloom-cli-sav-XXXXXX";
        const int fd = ::mkstemp(name);
        path = name;
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }
    ~SaveFileOnDisk() { std::remove(path.c_str()); }
};

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

TEST(CliSavefile, EveryFieldInFileOrder) {
    SaveFileOnDisk file(imageOf([](Settings&, Viewpoint&) {}));
    const CliRun run = runCli("savefile " + file.path);
    ASSERT_EQ(run.status, 0) << run.out;
    const std::vector<std::string> all = lines(run.out);
    const char* order[] = {"magic",        "version",       "reserved",        "seedFirst",       "seedSecond",
                           "positionX",    "positionY",     "positionZ",       "forward",         "up",
                           "viewAngle",    "wavelengthRed", "wavelengthGreen", "wavelengthBlue",  "maxMagnitude",
                           "speedLevel",   "displayFontSize", "controlFontScale", "maxVoxelChunks", "maxStarsGen",
                           "maxStarsGpu",  "panelOnRight",  "showCrosshair",   "multisampling"};
    ASSERT_EQ(all.size(), std::size(order)) << run.out;
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(all[i].substr(0, all[i].find(' ')), order[i]);
    EXPECT_EQ(field(run.out, "magic"), std::vector<std::string>{"0x990A1A0A0D7867F3"});
    EXPECT_EQ(field(run.out, "version"), std::vector<std::string>{"1"});
    EXPECT_EQ(field(run.out, "seedSecond"), std::vector<std::string>{"3"});
    EXPECT_EQ(field(run.out, "positionY"), (std::vector<std::string>{"0", "-24996773029325252"}));
    EXPECT_EQ(field(run.out, "viewAngle"), std::vector<std::string>{"45"});
    EXPECT_EQ(field(run.out, "maxStarsGen"), std::vector<std::string>{"10000000"});
    EXPECT_EQ(field(run.out, "multisampling"), std::vector<std::string>{"1"});
    // Floating-point numbers are printed exactly.
    const std::vector<std::string> up = field(run.out, "up");
    ASSERT_EQ(up.size(), 3u);
    EXPECT_EQ(std::strtod(up[0].c_str(), nullptr), -0.2337868985261635);
    EXPECT_EQ(std::strtod(up[1].c_str(), nullptr), 0.07227757620959413);
    EXPECT_EQ(std::strtod(up[2].c_str(), nullptr), -0.9695976681360078);
    const std::vector<std::string> red = field(run.out, "wavelengthRed");
    ASSERT_EQ(red.size(), 1u);
    EXPECT_EQ(static_cast<float>(std::strtod(red[0].c_str(), nullptr)), 6.5e-7f);
}

TEST(CliSavefile, NegativeAndLargeValues) {
    SaveFileOnDisk file(imageOf([](Settings& s, Viewpoint& view) {
        view.speedLevel = -100;
        view.position[2] = {18446744073709551615ull, -POSITION_LIMIT};  // the edge of space
        s.seed.first = 4294967295u;
    }));
    const CliRun run = runCli("savefile " + file.path);
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(field(run.out, "speedLevel"), std::vector<std::string>{"-100"});
    EXPECT_EQ(field(run.out, "positionZ"), (std::vector<std::string>{"18446744073709551615", "-6917529027641081856"}));
    EXPECT_EQ(field(run.out, "seedFirst"), std::vector<std::string>{"4294967295"});
}

TEST(CliSavefile, AFileTheProgramWouldRefusePrintsOnlyTheReason) {
    std::vector<uint8_t> bytes = imageOf([](Settings&, Viewpoint&) {});
    bytes[176] = 7;
    SaveFileOnDisk flag(bytes);
    CliRun run = runCli("savefile " + flag.path);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "error: invalid panelOnRight in save file: 7 is not 0 or 1\n");

    bytes.resize(60);
    SaveFileOnDisk cut(bytes);
    run = runCli("savefile " + cut.path);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, std::string("error: ") + LOAD_TRUNCATED + "\n");

    run = runCli("savefile /nonexistent/default.sav");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "error: No such file or directory\n");

    run = runCli("savefile");
    EXPECT_EQ(run.status, 2);

    // What is not a regular file is refused, and never waited on.
    char folder[] = "/tmp/starloom-cli-kinds-XXXXXX";
    const std::string dir = ::mkdtemp(folder);
    ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
    ASSERT_EQ(::mknod((dir + "/device").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    for (const auto& [name, kind] : {std::pair{"fifo", "a FIFO"}, {"device", "a character device"}, {"", "a folder"}}) {
        run = runCli("savefile " + dir + "/" + name);
        EXPECT_EQ(run.status, 2) << kind;
        EXPECT_EQ(run.out, std::string("error: the save file is ") + kind +
                               ", not a regular file: it is neither read nor written\n");
    }
    std::filesystem::remove_all(dir);
}
