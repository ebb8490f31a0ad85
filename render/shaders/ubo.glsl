// The uniform block shared by every star-display program (binding 0).
struct ParamPart {
    float param0, param1, param2, param3, param4, param5, param6, param7;
};
struct MidGroundCorona {
    float radius_multiplier;
    float intensity_multiplier;
    int dummy1;
    int dummy2;
};
struct EyeOffsetBuffer {
    vec3 eye_offset;
    int dummy;
};
struct ForegroundObject {
    vec3 position;
    float radius;
    vec3 color;
    float luminosity;  // as seen from the viewpoint, on the points' scale
};
struct HightlightObject {
    vec3 position;
    int rgb;
};

layout(set = 0, binding = 0) uniform UniformBufferObject {
    ParamPart small_background_params[50];
    MidGroundCorona corona_levels[4];
    mat4 proj_model_view;
    mat4 proj_model_view_midground1;
    mat4 proj_model_view_foreground;
    vec4 crosshair_color;
    vec3 eye_offset;
    float max_point_size;
    vec2 inv_window_scale;
    float luminosity_const;
    float height_over_width;
    vec3 last_midground_render_offset;
    float background_position_scale;
    vec3 last_search_offset;
    float background_scale;
    vec3 current_position;
    float maximum_circle_size;
    vec3 background_color;
    float circle_smoothness_angle;
    vec3 mid_diff_offset;
    float highlight_multiplier;
    EyeOffsetBuffer eye_offset_buffer[8];
    ForegroundObject foreground_object_buffer[32];
    HightlightObject highlight_objects[100];
    // The star display in linear light.
    vec4 arm_colour;
    vec4 small_background_colour[50];
    vec4 camera_forward;  // the ray through NDC (x, y): forward + x right + y up
    vec4 camera_right;
    vec4 camera_up;
    vec2 star_viewport_origin;
    vec2 star_viewport_size;
    vec2 light_texel;
    vec2 background_texel;
    vec2 background_resolution;
    vec2 background_limit;
    float exposure;
    float pixel_angle;
    vec2 light_padding;
} ubo;
