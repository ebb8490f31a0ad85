#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"
#include "foreground_look.glsl"

// The nearest stars as discs worked out per pixel: a square per object
// (6 vertices, numbered by the draw) round the cone of directions that holds
// its disc and glow, or the whole view when that cone is too wide (or the eye
// is inside the star). The fragment stage meets the sphere along each pixel's
// ray.
layout(location = 0) out vec3 direction;   // the pixel's ray, relative to the eye (any length)
layout(location = 1) flat out uint object;

const vec2 CORNERS[6] = vec2[](vec2(-1.0, -1.0), vec2(1.0, -1.0), vec2(-1.0, 1.0), vec2(-1.0, 1.0), vec2(1.0, -1.0),
                               vec2(1.0, 1.0));

void main() {
    uint k = uint(gl_VertexIndex) / 6u;
    vec2 c = CORNERS[uint(gl_VertexIndex) % 6u];
    object = k;
    ForegroundObject fo = ubo.foreground_object_buffer[k];
    float dist = length(fo.position);
    bool inside = !(fo.radius < dist);
    // The cone's half-angle: the disc, its glow and two pixels more.
    float reach = inside ? 10.0 : asin(fo.radius / dist) + (2.0 + 1.1 * glowWidth(fo.luminosity)) * ubo.pixel_angle;
    if (reach > 1.2) {
        gl_Position = vec4(c, 0.0, 1.0);
        direction = ubo.camera_forward.xyz + c.x * ubo.camera_right.xyz + c.y * ubo.camera_up.xyz;
        return;
    }
    vec3 a = fo.position / dist;
    vec3 u = normalize(cross(a, abs(a.z) < 0.9 ? vec3(0.0, 0.0, 1.0) : vec3(1.0, 0.0, 0.0)));
    vec3 v = cross(a, u);
    // The square circumscribes the cone's circle at unit distance along its axis.
    vec3 p = a + (c.x * u + c.y * v) * tan(reach);
    gl_Position = ubo.proj_model_view * vec4(p, 1.0);
    direction = p;
}
