#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"
#include "foreground_look.glsl"

// One foreground star along a pixel's ray: how much of the pixel its disc
// covers (edges a pixel soft), the disc's limb-darkened colour there, and the
// glow beyond it. Premultiplied: alpha is the cover, which hides what lies
// behind, the glow adds to it.
layout(location = 0) in vec3 direction;
layout(location = 1) flat in uint object;
layout(location = 0) out vec4 outColor;

void main() {
    ForegroundObject fo = ubo.foreground_object_buffer[object];
    vec3 D = normalize(direction);
    float dist = length(fo.position);
    vec3 A = fo.position / dist;
    float sinTheta = length(cross(D, A));
    float theta = atan(sinTheta, dot(D, A));  // angle from the star's centre
    bool inside = !(fo.radius < dist);        // every ray meets the surface
    float sinAlpha = inside ? 1.0 : fo.radius / dist;
    float alpha = inside ? 4.0 : asin(sinAlpha);  // the disc's angular radius
    float pixel = ubo.pixel_angle;
    float cover = clamp((alpha - theta) / pixel + 0.5, 0.0, 1.0);
    float s = inside ? 0.0 : min(sinTheta / sinAlpha, 1.0);
    float mu = sqrt(max(0.0, 1.0 - s * s));
    vec3 disc = fo.color * (DISC_LEVEL * (1.0 - LIMB * (1.0 - mu)) / ubo.exposure);

    float width = glowWidth(fo.luminosity);
    float beyond = (theta - alpha) / pixel;  // pixels beyond the rim
    float glow = width > 0.0 ? GLOW_LEVEL * glowProfile(max(beyond, 0.0) / width) : 0.0;
    outColor = vec4(disc * cover + fo.color * (glow * (1.0 - cover)), cover);
}
