// starloom --render, the real program without a display. With
// STARLOOM_UPDATE_PICTURES=1 the reference pictures are written anew
// instead of compared (look at them before committing them).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "files/png_file.h"
#include "starfield/location_text.h"
#include "starfield/star_field.h"
#include "tests/pictures/offscreen_support.h"

namespace {

const std::string SIZE = "320x200";
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

// Each fixed view against its reference picture: a change that alters what
// is drawn shows here. Small differences (another Vulkan driver or compiler
// rounding a little differently) pass; the new picture and the difference
// are left in the build folder to be looked at. The first view is a sky:
// many lit pixels, none of them the cross-hair's green.
TEST(OffscreenPictures, FixedViewsMatchTheirReferencePictures) {
    Workspace w;
    const bool update = std::getenv("STARLOOM_UPDATE_PICTURES") != nullptr;
    for (const auto& [view, options] : VIEWS) {
        SCOPED_TRACE(view.name);
        const std::string save = writeSaveFile(w, view);
        const std::string out = (w.dir / (std::string(view.name) + ".png")).string();
        const Image now = render(w, save, out, SIZE, options);
        if (view.name == VIEWS[0].view.name) {
            size_t lit = 0, green = 0;
            for (size_t i = 0; i < now.rgb.size(); i += 3) {
                const int r = now.rgb[i], g = now.rgb[i + 1], b = now.rgb[i + 2];
                lit += r + g + b > 60 ? 1 : 0;
                green += g > 150 && r < 60 && b < 60 ? 1 : 0;
            }
            EXPECT_GT(lit, now.rgb.size() / 3 / 10);
            EXPECT_EQ(green, 0u);
        }
        const std::string reference = std::string(PICTURES_DIR) + "/" + view.name + ".png";
        if (update) {
            fs::copy_file(out, reference, fs::copy_options::overwrite_existing);
            continue;
        }
        const Image expected = readImage(reference);
        ASSERT_EQ(now.width, expected.width);
        ASSERT_EQ(now.height, expected.height);
        double sum = 0, farOff = 0;
        std::vector<uint8_t> difference(now.rgb.size());
        for (size_t i = 0; i < now.rgb.size(); ++i) {
            const int d = std::abs(static_cast<int>(now.rgb[i]) - static_cast<int>(expected.rgb[i]));
            sum += d;
            farOff += d > 48 ? 1 : 0;
            difference[i] = static_cast<uint8_t>(std::min(255, 4 * d));
        }
        std::string error;
        writePng((w.dir / (std::string(view.name) + "_difference.png")).string(), now.width, now.height, 3,
                 difference.data(), error);
        EXPECT_LT(sum / static_cast<double>(now.rgb.size()), 2.0) << "mean difference; see " << out;
        EXPECT_LT(farOff / static_cast<double>(now.rgb.size()), 0.02) << "share far off; see " << out;
    }
    if (update) GTEST_SKIP() << "reference pictures written to " << PICTURES_DIR;
}

// Every run draws the same pixels. The view 0.1 AU from a red dwarf has
// 38,000 points in view: a driver that draws a few of them in one run and
// not in the next (the CPU driver's indirect draw did) shows here.
TEST(OffscreenPictures, EveryRunDrawsTheSamePixels) {
    Workspace w;
    const std::string save = writeSaveFile(w, VIEWS[0].view);
    const auto draw = [&](int run) {
        return render(w, save, (w.dir / ("run" + std::to_string(run) + ".png")).string(), "480x320",
                      " --at X-GFVXPDC-214");
    };
    const Image first = draw(0);
    for (int run = 1; run < 3; ++run) EXPECT_TRUE(draw(run).rgb == first.rgb) << "run " << run << " differs";
}

// Inside the disc the automatic exposure neither washes the sky out nor
// darkens it to black. (From outside, where it makes the dim galaxy a clear
// picture, the reference pictures drawn with it show what it does.)
TEST(OffscreenPictures, AutomaticExposureKeepsTheSkyInsideTheDisc) {
    Workspace w;
    const std::string inside = writeSaveFile(w, VIEWS[0].view);
    const Image sky = render(w, inside, (w.dir / "sky.png").string(), SIZE);
    const Image adapted = render(w, inside, (w.dir / "sky_auto.png").string(), SIZE, " --exposure auto");
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

// The picture has the size asked for, and the save file it is drawn from is
// only read: the same bytes, the same time of change, no temporary beside it.
TEST(OffscreenPictures, ThePictureHasTheSizeAskedForAndTheSaveFileIsOnlyRead) {
    Workspace w;
    const std::string save = writeSaveFile(w, VIEWS[2].view);
    const std::string bytes = fileText(save);
    const auto written = fs::last_write_time(save);
    for (const auto& [width, height] : {std::pair{33, 21}, std::pair{64, 48}, std::pair{1, 1}}) {
        const Image image = render(w, save, (w.dir / "sized.png").string(), sizeText(width, height));
        EXPECT_EQ(image.width, width);
        EXPECT_EQ(image.height, height);
    }
    EXPECT_EQ(fileText(save), bytes);
    EXPECT_EQ(fs::last_write_time(save), written);
    EXPECT_FALSE(fs::exists(save + ".tmp"));
}

TEST(OffscreenPictures, WhatCannotWorkFailsWithItsReason) {
    Workspace w;
    const std::string out = quoted((w.dir / "never.png").string());
    const std::string damaged = (w.dir / "damaged.sav").string();
    std::ofstream(damaged) << "not a save file";
    struct Case {
        std::string arguments;
        int status;
        std::vector<const char*> says;
    };
    const Case cases[] = {
        {"--save-file " + quoted((w.dir / "nothing.sav").string()) + " --render " + out, 1, {"there is no save file"}},
        {"--save-file " + quoted(damaged) + " --render " + out, 1, {"cannot be used"}},
        {"--render " + quoted((w.dir / "no-such-folder" / "a.png").string()) + " --size 16x16", 1,
         {"No such file or directory", "writing the picture"}},
        {"--render " + out + " --size 0x10", 2, {"usage: starloom"}},
        {"--render " + out + " --fast", 2, {"'--fast'"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ProgramRun run = runStarloom(w, c.arguments);
        EXPECT_EQ(run.status, c.status);
        for (const char* words : c.says) EXPECT_NE(run.errors.find(words), std::string::npos) << run.errors;
    }

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
