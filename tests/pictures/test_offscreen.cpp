// starloom --render, the real program without a display: the same view gives
// the same pixels twice, the views that matter (inside the disc, the galaxy
// face-on and edge-on from outside with automatic exposure, a star up close)
// match the reference pictures kept beside this file, automatic exposure
// makes a clear picture of the galaxy from outside, a disc up close is
// opaque, the size is the one asked for and checked against the device, the
// save file is only read, and what cannot work fails with a reason and the
// right exit status.
//
// With STARLOOM_UPDATE_PICTURES=1 the reference pictures are written anew
// instead of compared (look at them before committing them).
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "files/png_file.h"
#include "starfield/location_text.h"
#include "starfield/star_field.h"
#include "tests/pictures/offscreen_support.h"
#include "starloom_version.h"

namespace {

constexpr int PICTURE_WIDTH = 320, PICTURE_HEIGHT = 200;

constexpr int64_t KILOPARSEC = 3085677581491367;  // position units (10 km)

// A view and the options its picture is drawn with.
struct PictureView {
    View view;
    const char* options;
};

const PictureView VIEWS[] = {
    // Where the program starts: in the disc, 8.4 kpc from the centre, looking inwards.
    {{"inside", true, {}, {}, {}, 0, 0}, ""},
    // Face-on from 150 kpc above the centre, and edge-on from 100 kpc in the
    // plane: the galaxy from outside, exposed for itself.
    {{"outside_face_on", false, {0, 0, 150 * KILOPARSEC}, {0, 0, -1}, {0, 1, 0}, 45, 12}, " --exposure auto"},
    {{"outside_edge_on", false, {0, -100 * KILOPARSEC, 0}, {0, 1, 0}, {0, 0, 1}, 30, 12}, " --exposure auto"},
    // 0.1 AU from an O star of 11 solar radii near the default viewpoint:
    // an opaque, limb-darkened disc lighting the sky round it.
    {{"foreground_star", true, {}, {}, {}, 0, 0}, " --at N-CK-2"},
};

std::string sizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

}  // namespace

TEST(OffscreenPictures, TheSameViewGivesTheSamePixelsTwice) {
    Workspace w;
    const std::string save = writeSaveFile(w, VIEWS[0].view);
    const Image first = render(w, save, (w.dir / "first.png").string(), sizeText(PICTURE_WIDTH, PICTURE_HEIGHT));
    const Image second = render(w, save, (w.dir / "second.png").string(), sizeText(PICTURE_WIDTH, PICTURE_HEIGHT));
    ASSERT_EQ(first.rgb.size(), static_cast<size_t>(3 * PICTURE_WIDTH * PICTURE_HEIGHT));
    EXPECT_TRUE(first.rgb == second.rgb) << "two renders of the same view differ";
    // And it is a sky, not an empty picture: many lit pixels, none of them the cross-hair's green.
    size_t lit = 0, green = 0;
    for (size_t i = 0; i < first.rgb.size(); i += 3) {
        const int r = first.rgb[i], g = first.rgb[i + 1], b = first.rgb[i + 2];
        if (r + g + b > 60) ++lit;
        if (g > 150 && r < 60 && b < 60) ++green;
    }
    EXPECT_GT(lit, first.rgb.size() / 3 / 10);
    EXPECT_EQ(green, 0u);
}

// Each fixed view against its reference picture: a change that alters what
// is drawn shows here. Small differences (another Vulkan driver or compiler
// rounding a little differently) pass; the new picture and the difference
// are left in the build folder to be looked at.
TEST(OffscreenPictures, FixedViewsMatchTheirReferencePictures) {
    Workspace w;
    const bool update = std::getenv("STARLOOM_UPDATE_PICTURES") != nullptr;
    for (const auto& [view, options] : VIEWS) {
        SCOPED_TRACE(view.name);
        const std::string save = writeSaveFile(w, view);
        const std::string out = (w.dir / (std::string(view.name) + ".png")).string();
        const Image now = render(w, save, out, sizeText(PICTURE_WIDTH, PICTURE_HEIGHT), options);
        const std::string reference = std::string(PICTURES_DIR) + "/" + view.name + ".png";
        if (update) {
            fs::copy_file(out, reference, fs::copy_options::overwrite_existing);
            continue;
        }
        const Image expected = readImage(reference);
        ASSERT_EQ(now.width, expected.width);
        ASSERT_EQ(now.height, expected.height);
        double sum = 0;
        size_t farOff = 0;
        std::vector<uint8_t> difference(now.rgb.size());
        for (size_t i = 0; i < now.rgb.size(); ++i) {
            const int d = std::abs(static_cast<int>(now.rgb[i]) - static_cast<int>(expected.rgb[i]));
            sum += d;
            difference[i] = static_cast<uint8_t>(std::min(255, 4 * d));
            if (d > 48) ++farOff;
        }
        const double meanDifference = sum / static_cast<double>(now.rgb.size());
        const double farOffShare = static_cast<double>(farOff) / static_cast<double>(now.rgb.size());
        std::string error;
        writePng((w.dir / (std::string(view.name) + "_difference.png")).string(), now.width, now.height, 3,
                 difference.data(), error);
        EXPECT_LT(meanDifference, 2.0) << "see " << out;
        EXPECT_LT(farOffShare, 0.02) << "see " << out;
    }
    if (update) GTEST_SKIP() << "reference pictures written to " << PICTURES_DIR;
}

namespace {

// The level below which a share of a picture's pixels lie (the largest of
// the three channels of each pixel).
int levelBelow(const Image& image, double share) {
    std::vector<int> levels;
    for (size_t i = 0; i + 2 < image.rgb.size(); i += 3) {
        levels.push_back(std::max({image.rgb[i], image.rgb[i + 1], image.rgb[i + 2]}));
    }
    std::sort(levels.begin(), levels.end());
    return levels.empty() ? 0 : levels[static_cast<size_t>(share * static_cast<double>(levels.size() - 1))];
}

}  // namespace

// Seen from outside at the fixed exposure the galaxy is a dim patch; the
// automatic exposure makes it a clear picture without washing it out. Inside
// the disc it neither washes the sky out nor darkens it to black.
TEST(OffscreenPictures, AutomaticExposureShowsTheGalaxyFromOutsideClearly) {
    Workspace w;
    const std::string size = sizeText(PICTURE_WIDTH, PICTURE_HEIGHT);
    const std::string outside = writeSaveFile(w, VIEWS[1].view);
    const Image fixed = render(w, outside, (w.dir / "fixed.png").string(), size);
    const Image automatic = render(w, outside, (w.dir / "auto.png").string(), size, " --exposure auto");
    std::printf("from outside: brightest 1%% from level %d (fixed) and %d (auto), 0.5%% of pixels from %d (auto)\n",
                levelBelow(fixed, 0.99), levelBelow(automatic, 0.99), levelBelow(automatic, 0.995));
    EXPECT_GT(levelBelow(automatic, 0.99), 2 * levelBelow(fixed, 0.99));
    EXPECT_GE(levelBelow(automatic, 0.99), 180);
    EXPECT_LT(levelBelow(automatic, 0.95), 250) << "washed out";

    const std::string inside = writeSaveFile(w, VIEWS[0].view);
    const Image sky = render(w, inside, (w.dir / "sky.png").string(), size);
    const Image adapted = render(w, inside, (w.dir / "sky_auto.png").string(), size, " --exposure auto");
    std::printf("inside: median level %d (fixed) and %d (auto)\n", levelBelow(sky, 0.5), levelBelow(adapted, 0.5));
    EXPECT_LE(levelBelow(adapted, 0.5), std::max(levelBelow(sky, 0.5), 128)) << "the sky washed out";
    EXPECT_GE(levelBelow(adapted, 0.5), 48) << "the sky darkened to black";
}

// A star up close is an opaque disc: nothing behind it shows through (the
// points of the stars behind would be sharp dots), only its limb darkening
// changes the light across it.
TEST(OffscreenPictures, AStarUpCloseIsAnOpaqueDisc) {
    Workspace w;
    const std::string save = writeSaveFile(w, VIEWS[3].view);
    const Image image = render(w, save, (w.dir / "star.png").string(), "160x100", VIEWS[3].options);
    int largestStep = 0;
    for (int y = 30; y < 70; ++y) {
        for (int x = 60; x < 100; ++x) {
            for (int c = 0; c < 3; ++c) {
                const int here = image.rgb[3 * (y * 160 + x) + c];
                largestStep = std::max({largestStep, std::abs(here - image.rgb[3 * (y * 160 + x + 1) + c]),
                                        std::abs(here - image.rgb[3 * ((y + 1) * 160 + x) + c])});
            }
        }
    }
    EXPECT_LE(largestStep, 2);
    EXPECT_GT(levelBelow(image, 0.3), 150) << "no disc in the middle";
}

// A bookmark's name (from bookmarks.txt beside the save file) draws what
// its location text draws, to the pixel.
TEST(OffscreenPictures, ABookmarkDrawsTheSamePictureAsItsPlace) {
    Workspace w;
    // The view the program starts with, which draws the same pixels every time.
    const Location place{{{0, DEFAULT_VIEWPOINT[0]}, {0, DEFAULT_VIEWPOINT[1]}, {0, DEFAULT_VIEWPOINT[2]}},
                         DEFAULT_FORWARD, DEFAULT_UP, GalaxySeed{}};
    const std::string text = encodeLocation(place);
    fs::create_directories(w.dir / "home" / "data" / "tarnwick");
    std::ofstream(w.dir / "home" / "data" / "tarnwick" / "bookmarks.txt") << "# mine\nPrès du bord\t" << text << "\n";
    Image pictures[2];
    const std::string at[2] = {"'Près du bord'", text};
    for (int i = 0; i < 2; ++i) {
        const std::string out = (w.dir / ("at" + std::to_string(i) + ".png")).string();
        const ProgramRun run = runStarloom(w, "--at " + at[i] + " --render " + quoted(out) + " --size 160x100");
        ASSERT_EQ(run.status, 0) << run.errors;
        pictures[i] = readImage(out);
    }
    EXPECT_TRUE(pictures[0].rgb == pictures[1].rgb);
}

TEST(OffscreenPictures, ThePictureHasTheSizeAskedFor) {
    Workspace w;
    const std::string save = writeSaveFile(w, VIEWS[1].view);
    for (const auto& [width, height] : {std::pair{33, 21}, std::pair{64, 48}, std::pair{1, 1}}) {
        const Image image = render(w, save, (w.dir / "sized.png").string(), sizeText(width, height));
        EXPECT_EQ(image.width, width);
        EXPECT_EQ(image.height, height);
    }
}

TEST(OffscreenPictures, WithoutASaveFileTheDefaultViewAndNothingIsWritten) {
    Workspace w;
    const ProgramRun run = runStarloom(w, "--render " + quoted((w.dir / "default.png").string()) + " --size 160x100");
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_TRUE(fs::exists(w.dir / "default.png"));
    // The default save file is not created by a picture.
    EXPECT_FALSE(fs::exists(w.dir / "home" / "data" / "tarnwick" / "default.sav"));
}

TEST(OffscreenPictures, TheSaveFileIsOnlyRead) {
    Workspace w;
    const std::string save = writeSaveFile(w, VIEWS[2].view);
    std::ifstream before(save, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(before)), std::istreambuf_iterator<char>());
    const auto written = fs::last_write_time(save);
    render(w, save, (w.dir / "core.png").string(), "80x50");
    std::ifstream after(save, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(after)), std::istreambuf_iterator<char>()), bytes);
    EXPECT_EQ(fs::last_write_time(save), written);
    EXPECT_FALSE(fs::exists(save + ".tmp"));
}

TEST(OffscreenPictures, WhatCannotWorkFailsWithItsReason) {
    Workspace w;
    const std::string out = quoted((w.dir / "never.png").string());

    const ProgramRun missing = runStarloom(w, "--save-file " + quoted((w.dir / "nothing.sav").string()) + " --render " + out);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.errors.find("there is no save file"), std::string::npos) << missing.errors;

    const std::string damaged = (w.dir / "damaged.sav").string();
    std::ofstream(damaged) << "not a save file";
    const ProgramRun bad = runStarloom(w, "--save-file " + quoted(damaged) + " --render " + out);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.errors.find("cannot be used"), std::string::npos) << bad.errors;

    const ProgramRun unwritable = runStarloom(
        w, "--render " + quoted((w.dir / "no-such-folder" / "a.png").string()) + " --size 16x16");
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_NE(unwritable.errors.find("No such file or directory"), std::string::npos) << unwritable.errors;
    EXPECT_NE(unwritable.errors.find("writing the picture"), std::string::npos) << unwritable.errors;

    const ProgramRun badSize = runStarloom(w, "--render " + out + " --size 0x10");
    EXPECT_EQ(badSize.status, 2);
    EXPECT_NE(badSize.errors.find("usage: starloom"), std::string::npos) << badSize.errors;

    const ProgramRun unknown = runStarloom(w, "--render " + out + " --fast");
    EXPECT_EQ(unknown.status, 2);
    EXPECT_NE(unknown.errors.find("'--fast'"), std::string::npos) << unknown.errors;

    // A size the device cannot hold is refused before anything is drawn,
    // naming the limit it breaks (a device with memory enough draws it).
    const ProgramRun huge = runStarloom(w, "--render " + out + " --size 16384x16384");
    if (huge.status != 0) {
        EXPECT_EQ(huge.status, 1);
        EXPECT_NE(huge.errors.find("checking the picture's size against the device"), std::string::npos)
            << huge.errors;
        EXPECT_NE(huge.errors.find("device's largest"), std::string::npos) << huge.errors;
        EXPECT_FALSE(fs::exists(w.dir / "never.png"));
    }
    fs::remove(w.dir / "never.png");
}

TEST(OffscreenPictures, HelpAndVersionNeedNothing) {
    Workspace w;
    const std::string out = (w.dir / "stdout.txt").string();
    const int help = std::system(("env -u DISPLAY " + quoted(STARLOOM_PATH) + " --help >" + quoted(out)).c_str());
    ASSERT_TRUE(WIFEXITED(help));
    EXPECT_EQ(WEXITSTATUS(help), 0);
    std::stringstream text;
    text << std::ifstream(out).rdbuf();
    EXPECT_NE(text.str().find("--render OUT.png"), std::string::npos) << text.str();

    const int version = std::system(("env -u DISPLAY " + quoted(STARLOOM_PATH) + " --version >" + quoted(out)).c_str());
    ASSERT_TRUE(WIFEXITED(version));
    EXPECT_EQ(WEXITSTATUS(version), 0);
    std::stringstream line;
    line << std::ifstream(out).rdbuf();
    EXPECT_EQ(line.str(), std::string("starloom ") + STARLOOM_VERSION + "\n");
}
