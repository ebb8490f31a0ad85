// The binary interface shared with the shader programs: the uniform block and
// the storage-buffer records. Offsets and sizes are exact (std140 for the
// uniform block, std430 for the storage blocks) and checked below. The
// members of the star display in linear light follow the first 4736 bytes,
// whose layout they leave as it was.
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
    float luminosity;   // as seen from the viewpoint, on the points' scale: the size of its glow
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

    // ---- The star display in linear light.
    // Colour of the arms' and of each small ellipsoid's diffuse light (w unused).
    float arm_colour[4];
    float small_background_colour[MAX_SMALL_BACKGROUND][4];
    // The view's axes, scaled so that the ray through normalised device
    // coordinates (x, y) is camera_forward + x camera_right + y camera_up.
    float camera_forward[4];
    float camera_right[4];
    float camera_up[4];
    float star_viewport_origin[2];  // the star viewport's corner in the display pass, pixels
    float star_viewport_size[2];    // its size, pixels (the light images may be larger)
    float light_texel[2];            // 1 / the size of the stars' light image
    float background_texel[2];       // 1 / the size of the background's light image
    float background_resolution[2];  // background pixels per display pixel, across and down
    float background_limit[2];       // the farthest background coordinate with drawn texels on both sides
    float exposure;                  // the tone map's factor on the light
    float pixel_angle;               // radians per pixel at the centre of the view
    float light_padding[2];
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
static_assert(offsetof(UniformBufferObject, arm_colour) == 4736);
static_assert(offsetof(UniformBufferObject, small_background_colour) == 4752);
static_assert(offsetof(UniformBufferObject, camera_forward) == 5552);
static_assert(offsetof(UniformBufferObject, star_viewport_origin) == 5600);
static_assert(offsetof(UniformBufferObject, background_limit) == 5640);
static_assert(offsetof(UniformBufferObject, exposure) == 5648);
static_assert(sizeof(UniformBufferObject) == 5664);

// Storage records (std430, 16-byte stride each).
struct StarPositionStruct {  // one PointRecord
    int32_t inx, iny, inz, luminosity_scale;
};
struct ShapeReferenceStruct {  // one entry of the star shape table
    float dx, dy, intensity;
    int32_t dummy;
};
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
