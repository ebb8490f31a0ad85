// starloom --render, the real program without a display. With
// STARLOOM_UPDATE_PICTURES=1 the reference pictures are written anew
// instead of compared (look at them before committing them).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

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
    {defaultView("inside"), ""},
    // Face-on from 150 kpc above the centre, and edge-on from 100 kpc in the
    // plane: the galaxy from outside, exposed for itself.
    {{"outside_face_on", {0, 0, 150 * KILOPARSEC}, {0, 0, -1}, {0, 1, 0}, 45, 12}, " --exposure auto"},
    {{"outside_edge_on", {0, -100 * KILOPARSEC, 0}, {0, 1, 0}, {0, 0, 1}, 30, 12}, " --exposure auto"},
    // 0.1 AU from an O star of 11 solar radii near the default viewpoint:
    // an opaque, limb-darkened disc lighting the sky round it.
    {defaultView("foreground_star"), " --at N-CK-2"},
};

}  // namespace

// Each fixed view against its reference picture: a change that alters what
// is drawn shows here. Small differences (another Vulkan driver or compiler
// rounding a little differently) pass; the new picture and the difference
// is left in the build folder to be looked at. No view shows the cross-hair.
TEST(OffscreenPictures, FixedViewsMatchTheirReferencePictures) {
    Workspace w;
    const bool update = std::getenv("STARLOOM_UPDATE_PICTURES") != nullptr;
    for (const auto& [view, options] : VIEWS) {
        SCOPED_TRACE(view.name);
        const std::string save = writeSaveFile(w, view);
        const std::string out = (w.dir / (std::string(view.name) + ".png")).string();
        const Image now = render(w, save, out, SIZE, options);
        size_t green = 0;
        for (size_t i = 0; i < now.rgb.size(); i += 3)
            green += now.rgb[i + 1] > 150 && now.rgb[i] < 60 && now.rgb[i + 2] < 60 ? 1 : 0;
        EXPECT_EQ(green, 0u);
        const std::string reference = std::string(PICTURES_DIR) + "/" + view.name + ".png";
        if (update) {
            fs::copy_file(out, reference, fs::copy_options::overwrite_existing);
            continue;
        }
        const Image expected = readImage(reference);
        ASSERT_EQ(now.width, expected.width);
        ASSERT_EQ(now.height, expected.height);
        double sum = 0, farOff = 0;
        for (size_t i = 0; i < now.rgb.size(); ++i) {
            const int d = std::abs(static_cast<int>(now.rgb[i]) - static_cast<int>(expected.rgb[i]));
            sum += d;
            farOff += d > 48 ? 1 : 0;
        }
        EXPECT_LT(sum / static_cast<double>(now.rgb.size()), 2.0) << "mean difference; see " << out;
        EXPECT_LT(farOff / static_cast<double>(now.rgb.size()), 0.02) << "share far off; see " << out;
    }
    if (update) GTEST_SKIP() << "reference pictures written to " << PICTURES_DIR;
}

// A star up close is an opaque disc: no sharp dots of the stars behind it,
// only its limb darkening changes the light across it.
TEST(OffscreenPictures, AStarUpCloseIsAnOpaqueDisc) {
    Workspace w;
    const std::string save = writeSaveFile(w, VIEWS[3].view);
    const Image image = render(w, save, (w.dir / "star.png").string(), "160x100", VIEWS[3].options);
    int largestStep = 0;
    size_t bright = 0;
    for (size_t i = 0; i < image.rgb.size(); i += 3)
        bright += std::max({image.rgb[i], image.rgb[i + 1], image.rgb[i + 2]}) > 150 ? 1 : 0;
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
    EXPECT_GT(bright, image.rgb.size() / 3 * 7 / 10) << "no disc in the middle";
}

// Every run draws the same pixels of the 38,000 points in view 0.1 AU from a
// red dwarf (the CPU driver's indirect draw once left a few out at random); a
// bookmark's name (from bookmarks.txt beside the save file) draws what its
// location text draws, to the pixel; the picture has the size asked for; the
// save file the pictures are drawn from is only read: the same bytes, the
// same time of change, no temporary beside it.
TEST(OffscreenPictures, SamePixelsEveryRunBookmarksSizesAndASaveFileThatIsOnlyRead) {
    Workspace w;
    const std::string save = writeSaveFile(w, VIEWS[2].view);
    const std::string bytes = fileText(save);
    const auto written = fs::last_write_time(save);
    const Location place{{{0, DEFAULT_VIEWPOINT[0]}, {0, DEFAULT_VIEWPOINT[1]}, {0, DEFAULT_VIEWPOINT[2]}},
                         DEFAULT_FORWARD, DEFAULT_UP, GalaxySeed{}};
    const std::string text = encodeLocation(place);
    std::ofstream(w.dir / "bookmarks.txt") << "# mine\nPrès du bord\t" << text << "\n";
    const std::tuple<int, int, std::string> runs[] = {
        {480, 320, " --at X-GFVXPDC-214"}, {480, 320, " --at X-GFVXPDC-214"}, {480, 320, " --at X-GFVXPDC-214"},
        {160, 100, " --at " + text},       {160, 100, " --at 'Près du bord'"}, {33, 21, ""}, {1, 1, ""}};
    std::vector<Image> pictures;
    for (const auto& [width, height, at] : runs) {
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        pictures.push_back(render(w, save, (w.dir / "run.png").string(), size, at));
        EXPECT_EQ(pictures.back().width, width);
        EXPECT_EQ(pictures.back().height, height);
    }
    EXPECT_TRUE(pictures[1].rgb == pictures[0].rgb) << "the second run differs";
    EXPECT_TRUE(pictures[2].rgb == pictures[0].rgb) << "the third run differs";
    EXPECT_TRUE(pictures[4].rgb == pictures[3].rgb) << "the bookmark draws another place";
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
        {"--render " + out + " --size 0x10", 2, {"'0x10'", "usage: starloom"}},
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
