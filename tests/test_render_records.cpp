#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <algorithm>
#include <cstddef>
#include <random>
#include <set>
#include <tuple>

#include "render/exposure.h"
#include "render/gpu_buffer.h"
#include "render/meshes.h"
#include "render/point_culling.h"
#include "render/population_light.h"
#include "render/renderer.h"
#include "starfield/navigation.h"
#include "starfield/projection.h"
#include "render/uniforms.h"
#include "starfield/star_record.h"
#include "state/settings.h"

namespace {

// Blocks of the exposure measurement: (luminance summed over the uncovered
// samples, their number) with 16 samples a block.
std::vector<float> blocks(std::initializer_list<std::pair<size_t, float>> runs) {
    std::vector<float> out;
    for (const auto& [count, light] : runs) {
        for (size_t i = 0; i < count; ++i) out.insert(out.end(), {light * 16, 16});
    }
    return out;
}

// The point record of a star at (x, y, z) shader units (2^48 position units)
// with a luminosity mantissa and exponent, as the star field writes it.
PointRecord pointAt(double x, double y, double z, uint32_t mantissa, int exponent) {
    StarRecord s{std::lround(std::ldexp(x, 48)), std::lround(std::ldexp(y, 48)), std::lround(std::ldexp(z, 48))};
    s.luminosityCode = (static_cast<uint32_t>(exponent & 127) << 19) + (mantissa << 7);
    return makePointRecord(s);
}

}  // namespace

// The members the header's static_asserts do not place: the size, the light's
// last members and the offsets inside the array elements the shaders index.
TEST(UniformLayout, MembersSitWhereTheShadersReadThem) {
    EXPECT_EQ(sizeof(UniformBufferObject), 5664u);
    EXPECT_EQ(offsetof(UniformBufferObject, camera_up), 5584u);
    EXPECT_EQ(offsetof(ForegroundObject, color), 16u);
    EXPECT_EQ(offsetof(ForegroundObject, luminosity), 28u);
    EXPECT_EQ(offsetof(HightlightObject, rgb), 12u);
    EXPECT_EQ(offsetof(TubeVertex, end), 3u);
}

// The offsets from the midground origin as the shaders decode them: the
// mantissa above each word's seven colour bits times 2^(scale - 48) shader
// units, the scale in word 3's low six bits the least that brings every offset
// below 2^24 in size; the luminosity code's top bits above bit 13. Offsets of
// every length and sign (often a power of two or one less) from anywhere.
TEST(NearRecords, OffsetsKeepTwentyFiveBitsAndTheirSign) {
    std::mt19937_64 random(48);
    const uint8_t colour[3] = {127, 64, 1};
    for (int k = 0; k < 5000; ++k) {
        int64_t origin[3], offset[3], position[3];
        uint64_t largest = 0;
        for (int a = 0; a < 3; ++a) {
            const uint64_t top = ~uint64_t{0} >> (1 + random() % 63), size = random() % 3 == 0 ? top : random() & top;
            offset[a] = random() % 2 == 0 ? static_cast<int64_t>(size) : -1 - static_cast<int64_t>(size);
            origin[a] = random() % 2 == 0 ? 0 : static_cast<int64_t>(random());
            position[a] = static_cast<int64_t>(static_cast<uint64_t>(origin[a]) + static_cast<uint64_t>(offset[a]));
            largest = std::max(largest, offset[a] < 0 ? 0 - static_cast<uint64_t>(offset[a]) : size);
        }
        uint32_t scale = 0;
        while ((largest >> scale) >= (uint64_t{1} << 24)) ++scale;
        const auto [x, y, z] = position;
        const PointRecord r = makeNearRecord({x, y, z, ~0u, 0, 0, 0, {127, 64, 1}, 0, 0x3ABCDEFu}, origin);
        ASSERT_EQ(r.w[3] & 63, scale) << offset[0] << " " << offset[1] << " " << offset[2];
        EXPECT_EQ(r.w[3] >> 13, 0x3ABCDEFu >> 7);
        for (int a = 0; a < 3; ++a) {
            EXPECT_EQ(static_cast<int32_t>(r.w[a]) >> 7, offset[a] >> scale) << offset[a];
            EXPECT_EQ(r.w[a] & 127, colour[a]) << a;
        }
    }
}

TEST(ShapeTable, CircleAndFuzzyRims) {
    for (const auto& [shape, radius, rim] : {std::tuple{StarShape::Circle, 1.0, 1.0f / 127.0f},
                                             std::tuple{StarShape::Fuzzy, std::sqrt(3.0), 0.0f}}) {
        const auto table = buildShapeTable(shape);
        EXPECT_EQ(std::tuple(table[0].dx, table[0].dy), std::tuple(0.0f, 0.0f));
        EXPECT_FLOAT_EQ(table[0].intensity, 1.0f / 127.0f);
        for (int k = 1; k <= 8; ++k) {
            EXPECT_NEAR(std::hypot(table[k].dx, table[k].dy), radius, 1e-6);
            EXPECT_FLOAT_EQ(table[k].intensity, rim);
            EXPECT_NEAR(std::atan2(table[k].dy, table[k].dx), std::remainder((k - 1) * M_PI / 4, 2 * M_PI), 1e-6);
        }
    }
}

TEST(CopyBatches, SplitIntoFiftyThousandRegionsAtMost) {
    EXPECT_EQ(copyBatchSizes(120001), (std::vector<uint64_t>{50000, 50000, 20001}));
    EXPECT_EQ(copyBatchSizes(50000), (std::vector<uint64_t>{50000}));
    EXPECT_EQ(copyBatchSizes(1), (std::vector<uint64_t>{1}));
    EXPECT_TRUE(copyBatchSizes(0).empty());
}

// Each edge's midpoint made once and shared: the counts, and a closed
// surface. (Which way the triangles wind, and the ellipsoid and tube meshes
// built from them, the background light's pictures show.)
TEST(Icosphere, CountsUnitLengthAndSharedEdges) {
    const IcosaTables base = makeIcosaTables();
    for (const auto& v : base.vertices) EXPECT_NEAR(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]), 0.5, 1e-6);
    for (int level = 0; level <= 4; ++level) {
        const Icosphere s = buildIcosphere(base, level);
        const size_t p = size_t{1} << (2 * level);
        EXPECT_EQ(s.vertices.size(), 10 * p + 2);
        EXPECT_EQ(s.triangles.size(), 20 * p);
        for (const auto& v : s.vertices) EXPECT_NEAR(std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]), 1.0, 1e-6);
        // Closed surface: every edge is used once in each direction.
        std::set<std::pair<int, int>> edges;
        for (const auto& t : s.triangles) {
            for (int e = 0; e < 3; ++e) EXPECT_TRUE(edges.insert({t[e], t[(e + 1) % 3]}).second);
        }
        for (const auto& e : edges) EXPECT_TRUE(edges.count({e.second, e.first}));
    }
}

TEST(TubeNodes, LeadAndTrailingNodesAndCones) {
    std::vector<std::vector<ArmSegment>> chains(2);
    for (int k = 0; k < 3; ++k)
        chains[0].push_back({float(k), 0, 0.4f - 0.1f * k, 0.2f, 1, float(k + 1), 0, 0.3f - 0.1f * k, 0.1f, 1});
    for (int k = 0; k < 2; ++k) chains[1].push_back({0, float(k), 0.2f, 0.1f, 2, 0, float(k + 1), 0.25f, 0.1f, 2});
    const std::vector<ParamPart> nodes = buildTubeNodes(chains);
    ASSERT_EQ(nodes.size(), (3 + 3) + (2 + 3));
    EXPECT_FLOAT_EQ(nodes[0].param[0], -1.0f);  // lead node extends the first segment back
    EXPECT_FLOAT_EQ(nodes[5].param[0], 4.0f);   // trailing node extends the last forwards
    EXPECT_FLOAT_EQ(nodes[1].param[3], 4294967296.0f);
    // A tapering segment: radius = slope x distance from the tip matches both ends.
    const ParamPart& n = nodes[1];
    const float tip = n.param[4];
    const float slope = 1.0f / n.param[6];
    EXPECT_NEAR(tip * slope, 0.4f, 1e-5);
    EXPECT_NEAR((tip - 1.0f) * slope, 0.3f, 1e-5);
    // A widening segment is a cone with its tip behind its start (a negative
    // offset): its true size at both ends, not a tube of its mean width.
    const ParamPart& w = nodes[7];
    ASSERT_LT(w.param[4], 0.0f);
    const float behind = -w.param[4];
    EXPECT_NEAR(behind / w.param[6], 0.2f, 1e-5);           // width at the start
    EXPECT_NEAR((behind + 1.0f) / w.param[6], 0.25f, 1e-5);  // and at the end, a length further from the tip
    EXPECT_NEAR(behind / w.param[5], 0.1f, 1e-5);           // thickness at the start
    // A segment of one size is a cone whose tip is far away: its size changes
    // by a thousandth along it.
    std::vector<std::vector<ArmSegment>> straight = {{{0, 0, 0.2f, 0.1f, 1, 1, 0, 0.2f, 0.1f, 1}}};
    const ParamPart s = buildTubeNodes(straight)[1];
    EXPECT_NEAR(s.param[4] / s.param[6], 0.2f, 1e-6);
    EXPECT_NEAR((s.param[4] - 1.0f) / s.param[6], 0.2f, 0.2f * 1.01e-3);
}

// The preferred flags need a heap three times the size; staging for a
// host-visible target is plain host memory.
TEST(MemoryType, PreferredFlagsAndStaging) {
    const VkMemoryPropertyFlags DL = VK_MEMORY_PROPERTY_DEVICE_LOCAL_BIT;
    const VkMemoryPropertyFlags HV = VK_MEMORY_PROPERTY_HOST_VISIBLE_BIT;
    VkPhysicalDeviceMemoryProperties p{};
    p.memoryTypeCount = p.memoryHeapCount = 2;
    p.memoryTypes[0] = {DL, 0};
    p.memoryTypes[1] = {DL | HV, 1};
    p.memoryHeaps[0] = {1000, 0};
    p.memoryHeaps[1] = {300, 0};
    // 300 is not more than 3 x 100; type bits exclude a type.
    for (const auto& [typeBits, size, type] :
         {std::tuple{0b11u, 100u, 0u}, {0b11u, 99u, 1u}, {0b01u, 99u, 0u}, {0b10u, 200u, 1u}}) {
        VkMemoryPropertyFlags flags = DL;
        EXPECT_EQ(findMemoryType(p, typeBits, flags, HV, size), type) << size;
        EXPECT_EQ(flags, type == 1 ? DL | HV : DL) << size;
    }
    VkMemoryPropertyFlags flags = DL;
    EXPECT_THROW(findMemoryType(p, 0b11, flags, HV, 1000), std::runtime_error);
    flags = DL;
    EXPECT_THROW(findMemoryType(VkPhysicalDeviceMemoryProperties{}, ~0u, flags, 0, 1), std::runtime_error);
    EXPECT_TRUE(servedFromHostMemory(VK_BUFFER_USAGE_TRANSFER_SRC_BIT, DL, false));
    EXPECT_FALSE(servedFromHostMemory(VK_BUFFER_USAGE_TRANSFER_SRC_BIT, DL, true));
    EXPECT_FALSE(servedFromHostMemory(VK_BUFFER_USAGE_TRANSFER_SRC_BIT | VK_BUFFER_USAGE_VERTEX_BUFFER_BIT, DL, false));
    EXPECT_FALSE(servedFromHostMemory(VK_BUFFER_USAGE_TRANSFER_SRC_BIT, HV, false));
}

TEST(AutoExposure, ExposesTheLitPartOfThePictureWithinLimits) {
    struct Case {
        const char* what;
        std::vector<float> measured;
        double expected;
    };
    const Case cases[] = {
        {"an even sky is brought to the key", blocks({{2560, 0.01f}}), AUTO_EXPOSURE_KEY / 0.01},
        // A galaxy seen from outside: the black around it does not count.
        {"black beside the light is left out", blocks({{1280, 0.0f}, {1280, 0.002f}}), AUTO_EXPOSURE_KEY / 0.002},
        // Half the blocks four times brighter: the log-average is twice the dim level.
        {"the average is logarithmic", blocks({{1280, 0.01f}, {1280, 0.04f}}), AUTO_EXPOSURE_KEY / 0.02},
        // The brightest part is kept below the tone map's shoulder.
        {"the 99th percentile stays below white", blocks({{2000, 0.01f}, {560, 1.0f}}), AUTO_EXPOSURE_BRIGHTEST / 1.0},
        // Of 100 blocks the 99th brightest (index 98 of 0..99) is the percentile, not the brightest.
        {"the percentile is the 99th of 100", blocks({{98, 0.01f}, {1, 1.0f}, {1, 2.0f}}), AUTO_EXPOSURE_BRIGHTEST / 1.0},
        {"a dark picture is bounded", blocks({{2560, 1e-12f}}), AUTO_EXPOSURE_HIGHEST},
        {"a blinding one too", blocks({{2560, 1e6f}}), AUTO_EXPOSURE_LOWEST},
        {"no light at all", blocks({{2560, 0.0f}}), AUTO_EXPOSURE_HIGHEST},
        // Blocks an opaque disc covers whole hold no samples and are left out.
        {"covered blocks are left out", [] {
             std::vector<float> b = blocks({{2000, 0.01f}});
             b.resize(b.size() + 2 * 560, 0.0f);  // no light in no samples
             return b;
         }(), AUTO_EXPOSURE_KEY / 0.01},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(autoExposureTarget(c.measured.data(), c.measured.size() / 2) / c.expected, 1.0, 1e-3) << c.what;
    }
}

TEST(AutoExposure, MovesEvenlyInTheLogarithmOverAboutASecond) {
    for (const auto& [from, to] : {std::pair{1.0, 16.0}, std::pair{16.0, 1.0}, std::pair{0.5, 200.0}}) {
        EXPECT_EQ(adaptExposure(from, to, 0.0), from);
        const double second = adaptExposure(from, to, 1.0);
        // 95 % of the way in a second, not all of it in a tenth.
        EXPECT_LT(std::abs(std::log(second / to)), 0.05 * std::abs(std::log(from / to))) << from << " " << to;
        EXPECT_GT(std::abs(std::log(adaptExposure(from, to, 0.1) / to)), 0.5 * std::abs(std::log(from / to)));
        // Two half steps are one whole step.
        EXPECT_NEAR(adaptExposure(adaptExposure(from, to, 0.5), to, 0.5), second, 1e-9 * second);
        EXPECT_TRUE(exposureSettling(from, to));
        EXPECT_FALSE(exposureSettling(adaptExposure(from, to, 3.0), to));
    }
    // Settling while more than 2 % away, either way.
    for (double away : {1.03, 1 / 1.03}) EXPECT_TRUE(exposureSettling(away, 1.0)) << away;
    for (double near : {1.01, 1 / 1.01}) EXPECT_FALSE(exposureSettling(near, 1.0)) << near;
}

TEST(PointCulling, OnlyStarsThePointProgramWouldDrawAreHandedOn) {
    // Looking along +y from the origin, 45 degrees across and down.
    PointView view{{0, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 1}, 1.0, 1.0, 1.0};
    // Luminosity mantissa x 2^exponent over the squared distance: at distance
    // 1 a mantissa of 1024 with exponent -10 is 1, well above the faintest.
    const std::vector<PointRecord> records = {
        pointAt(0, 1, 0, 1024, -10),       // 0 straight ahead
        pointAt(0, -1, 0, 1024, -10),      // 1 behind
        pointAt(0.9, 1, 0, 1024, -10),     // 2 inside the right edge
        pointAt(1.2, 1, 0, 1024, -10),     // 3 beyond it
        pointAt(0, 1, -1.2, 1024, -10),    // 4 below the bottom edge
        pointAt(0, 13, 0, 1024, -10),      // 5 at 13: 1/169, just below half the faintest (0.0125)
        pointAt(0, 12, 0, 1024, -10),      // 6 at 12: 1/144, just above it
        pointAt(0, 1, 0, 0, 0),            // 7 a cleared slot
        pointAt(0, 1, 1.005, 1024, -10),   // 8 just past the top edge, within the margin
    };
    std::vector<uint32_t> slots;
    visiblePoints(records.data(), static_cast<uint32_t>(records.size()), view, 0.01, slots);
    EXPECT_EQ(slots, (std::vector<uint32_t>{0, 2, 6, 8}));
    // Only the slots below the count are looked at, and the brightness scale counts.
    slots.clear();
    view.luminosityConst = 1e4;
    visiblePoints(records.data(), 6, view, 0.0, slots);
    EXPECT_EQ(slots, (std::vector<uint32_t>{0, 2, 5}));
}

TEST(OffscreenPicturePlan, TheSizeIsCheckedAgainstTheDevicesLimits) {
    const uint64_t GiB = 1ull << 30;
    const VkSampleCountFlags all = VK_SAMPLE_COUNT_1_BIT | VK_SAMPLE_COUNT_2_BIT | VK_SAMPLE_COUNT_4_BIT;
    // Small pictures fit with the samples asked for.
    const PicturePlan small = planOffscreenPicture(1, 1, VK_SAMPLE_COUNT_4_BIT, all, 16384, 2 * GiB, false);
    EXPECT_TRUE(small.problem.empty()) << small.problem;
    EXPECT_EQ(small.samples, VK_SAMPLE_COUNT_4_BIT);
    // A side beyond the largest image names that limit.
    for (const auto& [w, h, word] : {std::tuple{20000u, 100u, "wide"}, std::tuple{100u, 16385u, "high"}}) {
        const PicturePlan p = planOffscreenPicture(w, h, VK_SAMPLE_COUNT_4_BIT, all, 16384, 64 * GiB, false);
        EXPECT_NE(p.problem.find(word), std::string::npos) << p.problem;
        EXPECT_NE(p.problem.find("16384 pixels a side"), std::string::npos) << p.problem;
    }
    // Too large for the heap with four samples but not with two: two.
    const PicturePlan fewer = planOffscreenPicture(8192, 8192, VK_SAMPLE_COUNT_4_BIT, all, 16384, 2 * GiB, false);
    EXPECT_TRUE(fewer.problem.empty()) << fewer.problem;
    EXPECT_EQ(fewer.samples, VK_SAMPLE_COUNT_2_BIT);
    EXPECT_LE(fewer.deviceBytes, 2 * GiB);
    // Too large even with one: the heap is named, and what the picture needs.
    const PicturePlan huge = planOffscreenPicture(16000, 16000, VK_SAMPLE_COUNT_4_BIT, all, 16384, 2 * GiB, false);
    EXPECT_NE(huge.problem.find("memory heap (2048 MiB)"), std::string::npos) << huge.problem;
    EXPECT_NE(huge.problem.find("16000x16000"), std::string::npos) << huge.problem;
    // Floats take more than bytes.
    EXPECT_GT(planOffscreenPicture(640, 400, VK_SAMPLE_COUNT_1_BIT, all, 16384, 2 * GiB, true).deviceBytes,
              planOffscreenPicture(640, 400, VK_SAMPLE_COUNT_1_BIT, all, 16384, 2 * GiB, false).deviceBytes);
}

TEST(DisplayGeometry, TheStarDisplayIsOddInBothDirections) {
    for (int width = 300; width < 2200; width += 7) {
        for (int height : {600, 601, 800, 1023, 1024}) {
            for (int panel : {168, 169, 260}) {
                const DisplayGeometry g = displayGeometry(width, height, panel);
                EXPECT_EQ(g.displayWidth % 2, 1) << width << " " << panel;
                EXPECT_EQ(g.displayHeight % 2, 1);
                EXPECT_EQ(g.displayWidth + g.panelWidth, width);
                EXPECT_TRUE(g.panelWidth == panel || g.panelWidth == panel + 1);
                EXPECT_TRUE(g.displayHeight == height || g.displayHeight == height - 1);
            }
        }
    }
}

// For every view: the window's scale and the eye's offset; a point straight
// ahead just below depth 1 at any distance; the camera's axes give the ray
// through any point of the view, and a pixel's angle is the view's width over
// its pixels at the centre; and the program's own projection (labels, and
// whatever needs to know where a star appears) lands where the shaders' matrix
// puts a point; the midground's depth range.
TEST(ViewUniforms, TheProjectionOfTheProgramMatchesTheShaders) {
    struct View {
        Vec3d forward, up;
        double angle;
        int width, height;
    };
    const View views[] = {{{0, 1, 0}, {0, 0, 1}, 45, 1021, 799},
                          {{0.3, -0.4, 0.866}, {0.2, 0.9, 0.1}, 12, 801, 1201},
                          {{-1, 0, 0}, {0, 1, 0}, 90, 363, 699},
                          {{0.11452456541239872, 0.9923381374686082, 0.04635887015917146},
                           {-0.2337868985261635, 0.07227757620959413, -0.9695976681360078}, 1, 1023, 699}};
    const int64_t offsets[][3] = {{0, 1000, 0}, {300, 1000, -200}, {-5, 7, 3}, {1, 0, 0}, {-400000000, 3, 90000000},
                                  {123456789012, -98765432109, 555555555555}};
    for (const View& view : views) {
        SCOPED_TRACE(view.angle);
        Vec3d f = view.forward, u = view.up;
        orthonormalise(f, u);
        UniformBufferObject ubo{};
        FrameView frame{{int64_t{1} << 50, -(int64_t{3} << 48), 0}, f, u, view.angle, view.width, view.height, 0, 0, 0};
        fillViewUniforms(ubo, frame);
        EXPECT_FLOAT_EQ(ubo.inv_window_scale[0], 2.0f / view.width);
        EXPECT_FLOAT_EQ(ubo.inv_window_scale[1], 2.0f / view.height);
        EXPECT_FLOAT_EQ(ubo.height_over_width, static_cast<float>(view.height) / view.width);
        EXPECT_EQ(ubo.eye_offset[0], 4.0f);
        EXPECT_EQ(ubo.eye_offset[1], -3.0f);
        const float* m = ubo.proj_model_view.m;
        double clip[4];
        auto project = [&](double x, double y, double z) {
            for (int r = 0; r < 4; ++r) clip[r] = m[r] * x + m[4 + r] * y + m[8 + r] * z + m[12 + r];
        };
        for (double d : {0.001, 1.0, 1000.0}) {
            project(f.x * d, f.y * d, f.z * d);
            EXPECT_NEAR(clip[2] / clip[3], -std::bit_cast<double>(0xBFEFFFFF00000000ull), 1e-6);
        }
        for (auto [x, y] : {std::pair{0.0, 0.0}, std::pair{0.3, -0.6}, std::pair{-1.0, 1.0}}) {
            double ray[3];
            for (int a = 0; a < 3; ++a) ray[a] = ubo.camera_forward[a] + x * ubo.camera_right[a] + y * ubo.camera_up[a];
            project(ray[0], ray[1], ray[2]);
            EXPECT_NEAR(clip[0] / clip[3], x, 1e-5);
            EXPECT_NEAR(clip[1] / clip[3], y, 1e-5);
        }
        const double across = std::atan(std::hypot(ubo.camera_right[0], ubo.camera_right[1], ubo.camera_right[2]));
        EXPECT_NEAR(ubo.pixel_angle, 2 * std::tan(across) / view.width, 1e-7);
        for (const auto& offset : offsets) {
            // As the label shader does: the direction at 0.99 of a unit.
            double d[3] = {static_cast<double>(offset[0]), static_cast<double>(offset[1]), static_cast<double>(offset[2])};
            const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            for (double& c : d) c = static_cast<float>(c * 0.99 / length);
            project(d[0], d[1], d[2]);
            const DisplayPoint p = projectToDisplay({f, u, view.angle, view.width, view.height}, offset);
            EXPECT_EQ(p.inFront, clip[3] > 0);
            if (!p.inFront) continue;
            const double x = (clip[0] / clip[3] + 1) * view.width / 2, y = (clip[1] / clip[3] + 1) * view.height / 2;
            const double tolerance = 1e-5 * (1 + std::fabs(x - view.width / 2.0) + std::fabs(y - view.height / 2.0));
            EXPECT_NEAR(p.x, x, tolerance) << offset[0];
            EXPECT_NEAR(p.y, y, tolerance) << offset[0];
        }
        // Midground planes not known yet leave the base projection; planes at
        // 1 and 3 units put depth -1 at the near one and 1 at the far one.
        for (int i = 0; i < 16; ++i) {
            EXPECT_EQ(ubo.proj_model_view_midground1.m[i], m[i]);
            EXPECT_TRUE(std::isfinite(ubo.proj_model_view_foreground.m[i]));
        }
        frame.midgroundNearSq = std::ldexp(1.0, 48);
        frame.midgroundFarSq = std::ldexp(9.0, 48);
        fillViewUniforms(ubo, frame);
        m = ubo.proj_model_view_midground1.m;
        for (auto [d, depth] : {std::pair{1.0, -1.0}, std::pair{3.0, 1.0}}) {
            project(f.x * d, f.y * d, f.z * d);
            EXPECT_NEAR(clip[2] / clip[3], depth, 1e-6);
        }
    }
    // At the viewpoint itself there is nothing to show.
    const int64_t here[3] = {0, 0, 0};
    EXPECT_FALSE(projectToDisplay({}, here).inFront);
}

TEST(PopulationLight, OldStarsLoseTheirMassiveOnesAndTheLightReddens) {
    const StellarAge burst{1e10, true}, even{1e10, false}, young{0, false};
    struct Case {
        double low, high;
        StellarAge age;
        double share;
    };
    // A star of one solar mass lives 10 Gyr; of 4, 10 Gyr / 32.
    for (const Case& c : {Case{0.1, 0.5, burst, 1.0}, Case{2.0, 60.0, burst, 0.0}, Case{0.5, 2.0, burst, 0.5},
                          Case{4.0, 4.0001, even, 1.0 / 32}, Case{0.1, 0.5, even, 1.0}, Case{30.0, 60.0, young, 1.0}}) {
        EXPECT_NEAR(shiningShare(c.low, c.high, c.age), c.share, 2e-3) << c.low << " to " << c.high;
    }
    PopulationTable table;
    buildPopulations(table);
    const ChannelConstants channels = channelConstants(Settings{});
    const auto core = populationColour(table, channels, stellarAgeOfKind(KIND_CORE));
    const auto disc = populationColour(table, channels, stellarAgeOfKind(KIND_DISC));
    const auto arms = populationColour(table, channels, stellarAgeOfKind(KIND_ARMS));
    // Red over blue: the old core the reddest, the young arms the bluest.
    EXPECT_GT(core[0] / core[2], disc[0] / disc[2]);
    EXPECT_GT(disc[0] / disc[2], arms[0] / arms[2]);
    EXPECT_LT(arms[0], arms[2]);
    for (const auto& colour : {core, disc, arms}) EXPECT_FLOAT_EQ(std::max({colour[0], colour[1], colour[2]}), 1.0f);
}
