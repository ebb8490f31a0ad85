// The binary interface shared with the shader programs: the uniform block and
// the storage-buffer records. Offsets and sizes are exact (std140 for the
// uniform block, std430 for the storage blocks) and checked below.
#pragma once

#include <cstddef>
#include <cstdint>

// One 32-byte parameter record: a small background ellipsoid in the uniform
// block, a background tube node in the tube parameter buffer.
struct ParamPart {
    float param[8];
};

struct MidGroundCorona {
    float radius_multiplier;
    float intensity_multiplier;
    int32_t dummy1;
    int32_t dummy2;
};

struct EyeOffsetBuffer {
    float eye_offset[3];
    int32_t dummy;
};

struct ForegroundObject {
    float position[3];  // centre relative to the viewpoint, shader units
    float radius;       // shader units
    float color[3];     // each channel 0..1
    int32_t dummy;
};

struct HightlightObject {
    float position[3];  // relative to the viewpoint; only its direction matters
    int32_t rgb;        // 5 bits each: red 27..31, green 22..26, blue 17..21
};

inline constexpr int MAX_SMALL_BACKGROUND = 50;
inline constexpr int MAX_FOREGROUND_OBJECTS = 32;
inline constexpr int MAX_HIGHLIGHTS = 100;

// Column-major 4 x 4 matrix, columns 16 bytes apart.
struct Mat4f {
    float m[16];
};

struct UniformBufferObject {
    ParamPart small_background_params[MAX_SMALL_BACKGROUND];
    MidGroundCorona corona_levels[4];
    Mat4f proj_model_view;
    Mat4f proj_model_view_midground1;
    Mat4f proj_model_view_foreground;
    float crosshair_color[4];
    float eye_offset[3];
    float max_point_size;
    float inv_window_scale[2];
    float luminosity_const;
    float height_over_width;
    float last_midground_render_offset[3];
    float background_position_scale;
    float last_search_offset[3];
    float background_scale;
    float current_position[3];
    float maximum_circle_size;
    float background_color[3];
    float circle_smoothness_angle;
    float mid_diff_offset[3];
    float highlight_multiplier;
    EyeOffsetBuffer eye_offset_buffer[8];
    ForegroundObject foreground_object_buffer[MAX_FOREGROUND_OBJECTS];
    HightlightObject highlight_objects[MAX_HIGHLIGHTS];
};

static_assert(sizeof(ParamPart) == 32);
static_assert(sizeof(MidGroundCorona) == 16);
static_assert(sizeof(EyeOffsetBuffer) == 16);
static_assert(sizeof(ForegroundObject) == 32);
static_assert(sizeof(HightlightObject) == 16);
static_assert(offsetof(UniformBufferObject, small_background_params) == 0);
static_assert(offsetof(UniformBufferObject, corona_levels) == 1600);
static_assert(offsetof(UniformBufferObject, proj_model_view) == 1664);
static_assert(offsetof(UniformBufferObject, proj_model_view_midground1) == 1728);
static_assert(offsetof(UniformBufferObject, proj_model_view_foreground) == 1792);
static_assert(offsetof(UniformBufferObject, crosshair_color) == 1856);
static_assert(offsetof(UniformBufferObject, eye_offset) == 1872);
static_assert(offsetof(UniformBufferObject, max_point_size) == 1884);
static_assert(offsetof(UniformBufferObject, inv_window_scale) == 1888);
static_assert(offsetof(UniformBufferObject, luminosity_const) == 1896);
static_assert(offsetof(UniformBufferObject, height_over_width) == 1900);
static_assert(offsetof(UniformBufferObject, last_midground_render_offset) == 1904);
static_assert(offsetof(UniformBufferObject, background_position_scale) == 1916);
static_assert(offsetof(UniformBufferObject, last_search_offset) == 1920);
static_assert(offsetof(UniformBufferObject, background_scale) == 1932);
static_assert(offsetof(UniformBufferObject, current_position) == 1936);
static_assert(offsetof(UniformBufferObject, maximum_circle_size) == 1948);
static_assert(offsetof(UniformBufferObject, background_color) == 1952);
static_assert(offsetof(UniformBufferObject, circle_smoothness_angle) == 1964);
static_assert(offsetof(UniformBufferObject, mid_diff_offset) == 1968);
static_assert(offsetof(UniformBufferObject, highlight_multiplier) == 1980);
static_assert(offsetof(UniformBufferObject, eye_offset_buffer) == 1984);
static_assert(offsetof(UniformBufferObject, foreground_object_buffer) == 2112);
static_assert(offsetof(UniformBufferObject, highlight_objects) == 3136);
static_assert(sizeof(UniformBufferObject) == 4736);

// Storage records (std430, 16-byte stride each).
struct PointRef {  // one unit-sphere vertex of the foreground discs
    float p[3];
    uint32_t dummy;
};
struct StarPositionStruct {  // one PointRecord
    int32_t inx, iny, inz, luminosity_scale;
};
struct ShapeReferenceStruct {  // one entry of the star shape table
    float dx, dy, intensity;
    int32_t dummy;
};
static_assert(sizeof(PointRef) == 16);
static_assert(sizeof(StarPositionStruct) == 16);
static_assert(sizeof(ShapeReferenceStruct) == 16);

// Vertex formats of the background meshes.
struct EllipsoidVertex {
    float position[3];
    uint32_t bpi;  // which small background ellipsoid
};
struct TubeVertex {
    uint16_t bpi;   // node index of the segment's start
    uint8_t angle;  // 0..9, tenths of a turn round the tube
    uint8_t end;    // bits 0..6 position along the segment in 64ths; bit 7 axis vertex
};
static_assert(sizeof(EllipsoidVertex) == 16);
static_assert(sizeof(TubeVertex) == 4);
