#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"
#include "light_images.glsl"

// The light the automatic exposure follows: each texel of the small target
// takes the mean luminance of its block of the star viewport from 4 x 4
// samples, before the exposure. Opaque discs are left out (they are shown at
// their own brightness whatever the exposure): red holds the luminance summed
// over the uncovered share of the samples, green that share.
layout(location = 0) out vec4 outColor;

const vec2 GRID = vec2(64.0, 40.0);  // the target's size (render/exposure.h)

void main() {
    vec2 block = ubo.star_viewport_size / GRID;
    vec2 corner = floor(gl_FragCoord.xy) * block;
    float light = 0.0, weight = 0.0;
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            vec2 p = corner + (vec2(i, j) + 0.5) * 0.25 * block;
            vec4 starLight = textureLod(stars, p * ubo.light_texel, 0.0);
            float open = 1.0 - starLight.a;
            vec3 c = displayLight(starLight, backgroundLight(p));
            float luminance = dot(max(c, vec3(0.0)), vec3(0.2126, 0.7152, 0.0722));
            if (luminance >= 0.0) {  // not NaN
                light += open * luminance;
                weight += open;
            }
        }
    }
    outColor = vec4(light, weight, 0.0, 0.0);
}
