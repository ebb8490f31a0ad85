// Screenshots without a window: the pictures folder as xdg-user-dir finds it,
// the file names, writing into the folder without replacing a file, the
// panel's line, the byte order of the read-back pixels and the picture files.
#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <numeric>
#include <filesystem>
#include <string>
#include <vector>

#include "app/screenshot.h"
#include "files/png_file.h"
#include "render/readback.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace {

// A small picture whose every pixel differs (up to 85 pixels).
Picture testPicture(int width, int height) {
    Picture p{width, height, std::vector<uint8_t>(3 * static_cast<size_t>(width * height)), {}};
    std::iota(p.rgb.begin(), p.rgb.end(), uint8_t{1});
    return p;
}

}  // namespace

// The pictures folder as xdg-user-dir finds it: the user-dirs file (under
// XDG_CONFIG_HOME, else HOME/.config) wins over the environment; its last
// entry counts, with escapes; a switched-off, relative or malformed entry
// falls back to HOME/Pictures.
TEST(ScreenshotFolder, AsXdgUserDirFindsIt) {
    TempFolder dir;
    const std::string home = dir.at("home"), config = dir.at("config");
    const std::string homeConfig = home + "/.config";
    struct Case {
        std::string file, folder;  // the user-dirs file and the folder it is in ("" for none)
        const char *home, *config, *environment;
        std::string expected;
    };
    const std::string bilder = "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                               "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
    std::vector<Case> cases = {
        {bilder, config, home.c_str(), config.c_str(), "/elsewhere", home + "/Bilder/Starloom"},
        {"XDG_PICTURES_DIR=\"/data/first\"\n  XDG_PICTURES_DIR=\"/data/My \\\"Pictures\\\" \\$x/\"\n", config,
         "/home/u", config.c_str(), nullptr, "/data/My \"Pictures\" $x/Starloom"},
        {"", "", home.c_str(), nullptr, nullptr, home + "/Pictures/Starloom"},
        {"XDG_PICTURES_DIR=\"$HOME/Fotos\"\n", homeConfig, home.c_str(), "", nullptr, home + "/Fotos/Starloom"},
        {"", "", "/nonexistent-home", nullptr, "/srv/pics/", "/srv/pics/Starloom"},
        {"", "", nullptr, "/nonexistent", nullptr, "./Pictures/Starloom"},
    };
    for (const char* entry : {"XDG_PICTURES_DIR=\"$HOME/\"\n", "XDG_PICTURES_DIR=\"$HOME\"\n",
                              "XDG_PICTURES_DIR=\"Pictures\"\n", "XDG_PICTURES_DIR=$HOME/Pics\n",
                              "XDG_PICTURES_DIR=\"\"\n", "# XDG_PICTURES_DIR=\"/data/pics\"\n"})
        cases.push_back({entry, config, home.c_str(), config.c_str(), nullptr, home + "/Pictures/Starloom"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        fs::remove_all(config);
        fs::remove_all(home);
        if (!c.folder.empty()) writeFile(c.folder + "/user-dirs.dirs", c.file);
        EXPECT_EQ(screenshotFolder(c.home, c.config, c.environment), c.expected);
    }
}

// Named by the local date and time (fields of two digits), and given a
// number of its own when the name is taken. The panel's line says where the
// picture went (home as ~, a whole folder name only) or why it failed; a
// failure writes nothing.
TEST(ScreenshotFile, WritesIntoANewFolderWithoutReplacingAnotherAndSaysWhereOrWhy) {
    TempFolder dir;
    const std::string folder = dir.at("Pictures/Starloom");
    std::tm local{};
    ::strptime("2031-02-03 04:05:06", "%Y-%m-%d %H:%M:%S", &local);
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    const Picture picture = testPicture(7, 5);
    const ScreenshotResult first = writeScreenshot(picture, folder, when);
    ASSERT_TRUE(first.ok) << first.error;
    EXPECT_EQ(first.path, folder + "/Starloom-2031-02-03-04-05-06.png");
    const ScreenshotResult second = writeScreenshot(testPicture(3, 3), folder, when);
    ASSERT_TRUE(second.ok) << second.error;
    EXPECT_EQ(second.path, folder + "/Starloom-2031-02-03-04-05-06-2.png");
    const ScreenshotResult third = writeScreenshot(picture, folder, when);
    EXPECT_EQ(third.path, folder + "/Starloom-2031-02-03-04-05-06-3.png");

    // The first file still holds the first picture, pixel for pixel.
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    std::string error;
    ASSERT_TRUE(readPngRgb(first.path, width, height, rgb, error)) << error;
    EXPECT_EQ(width, 7);
    EXPECT_EQ(height, 5);
    EXPECT_EQ(rgb, picture.rgb);

    const ScreenshotResult saved{true, "/home/ann/Pictures/Starloom/Starloom-2031-02-03-04-05-06.png", ""};
    EXPECT_EQ(screenshotMessage(saved, "/home/ann"), "Screenshot saved: ~/Pictures/Starloom/Starloom-2031-02-03-04-05-06.png");
    EXPECT_EQ(screenshotMessage(saved, "/home/an"), "Screenshot saved: " + saved.path);
    EXPECT_EQ(screenshotMessage(saved, nullptr), "Screenshot saved: " + saved.path);
    // A file where the folder should be.
    writeFile(dir.at("Bilder"), "not a folder");
    const ScreenshotResult blocked = writeScreenshot(testPicture(4, 4), dir.at("Bilder/Starloom"), std::time(nullptr));
    EXPECT_FALSE(blocked.ok);
    EXPECT_TRUE(blocked.path.empty());
    EXPECT_NE(blocked.error.find(dir.at("Bilder")), std::string::npos) << blocked.error;
    const std::string message = screenshotMessage(blocked, dir.path.c_str());
    EXPECT_EQ(message.rfind("Screenshot failed: ", 0), 0u) << message;
    EXPECT_NE(message.find("cannot create the folder"), std::string::npos) << message;

    // An empty picture (nothing was read back) is no file either.
    const ScreenshotResult empty = writeScreenshot(Picture{}, dir.at("shots"), std::time(nullptr));
    EXPECT_FALSE(empty.ok);
    EXPECT_FALSE(empty.error.empty());
    EXPECT_TRUE(fs::is_empty(dir.at("shots")));
}

TEST(ReadBack, PixelsBecomeRgbInTheFormatsByteOrder) {
    const uint8_t pixels[8] = {10, 20, 30, 40, 50, 60, 70, 80};
    uint8_t rgb[6] = {};
    const std::vector<uint8_t> swapped = {30, 20, 10, 70, 60, 50}, straight = {10, 20, 30, 50, 60, 70};
    for (const auto& [format, expected] : {std::pair{VK_FORMAT_B8G8R8A8_SRGB, swapped},
                                           {VK_FORMAT_B8G8R8A8_UNORM, swapped}, {VK_FORMAT_R8G8B8A8_SRGB, straight}}) {
        ASSERT_TRUE(pixelsToRgb(format, pixels, 2, rgb)) << format;
        EXPECT_EQ(std::vector<uint8_t>(rgb, rgb + 6), expected) << format;
    }
    // Formats of another size or layout are refused, not misread; four
    // 16-bit floats are read as linear light, not as bytes.
    for (VkFormat other : {VK_FORMAT_A2B10G10R10_UNORM_PACK32, VK_FORMAT_R16G16B16A16_SFLOAT, VK_FORMAT_R8G8B8_UNORM,
                           VK_FORMAT_UNDEFINED}) {
        EXPECT_EQ(readableFormat(other), other == VK_FORMAT_R16G16B16A16_SFLOAT) << other;
        EXPECT_FALSE(pixelsToRgb(other, pixels, 2, rgb)) << other;
    }
    const std::pair<uint16_t, float> halves[] = {{0x0000, 0.0f}, {0x3C00, 1.0f},     {0xC000, -2.0f},
                                                 {0x3555, 0.333251953125f}, {0x0001, 5.9604645e-8f},
                                                 {0x7BFF, 65504.0f}, {0x7C00, INFINITY}};
    for (const auto& [half, value] : halves) EXPECT_EQ(halfToFloat(half), value) << std::hex << half;
    EXPECT_TRUE(std::isnan(halfToFloat(0x7E00)));
}

TEST(PngFiles, ReadBackAsRgbWhateverTheirChannels) {
    TempFolder dir;
    const uint8_t grey[6] = {0, 50, 100, 150, 200, 250};
    std::string error;
    const std::string path = dir.at("grey.png");
    ASSERT_TRUE(writePng(path, 3, 2, 1, grey, error)) << error;
    int width = 0, height = 0;
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(readPngRgb(path, width, height, rgb, error)) << error;
    std::vector<uint8_t> expected;
    for (uint8_t g : grey) expected.insert(expected.end(), {g, g, g});
    EXPECT_EQ(rgb, expected);
    writeFile(dir.at("broken.png"), "\x89PNG\r\n\x1a\n but not really");
    EXPECT_FALSE(readPngRgb(dir.at("broken.png"), width, height, rgb, error));
    EXPECT_FALSE(readPngRgb(dir.at("missing.png"), width, height, rgb, error));
    EXPECT_NE(error.find("missing.png"), std::string::npos) << error;

    // Linear light: rows from the top in memory, as written (the file holds them from the bottom).
    const float light[12] = {0, 0.5f, 1, 2, 3, 4, 1e-6f, 7, 8, 9, 10, 65504};
    const std::string pfm = dir.at("light.pfm");
    ASSERT_TRUE(writePfm(pfm, 2, 2, light, error)) << error;
    std::vector<float> back;
    ASSERT_TRUE(readPfm(pfm, width, height, back, error)) << error;
    EXPECT_EQ(width, 2);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(back, std::vector<float>(light, light + 12));
    EXPECT_FALSE(readPfm(path, width, height, back, error));  // a PNG is no PFM
}
