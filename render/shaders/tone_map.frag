#version 450
#extension GL_GOOGLE_include_directive : require
#include "ubo.glsl"
#include "light_images.glsl"

// The star display from linear light to the display: the exposure, then a
// curve that leaves everything below KNEE as it is (so the picture of a fixed
// exposure keeps its values) and rolls the light above it off towards white
// instead of clipping it. Colours keep their hue as they approach white;
// light several times brighter than white bleaches towards white, as an
// over-exposed star does. The display's sRGB encoding follows in the
// attachment's format.
layout(location = 0) out vec4 outColor;

const float KNEE = 0.9;
// A picture of the light itself (offscreen, for checks): the exposure, no curve.
layout(constant_id = 0) const bool LINEAR_OUTPUT = false;

vec3 toneMap(vec3 c) {
    c = max(c, vec3(0.0));
    float top = max(c.r, max(c.g, c.b));
    if (!(top > KNEE)) return top >= 0.0 ? c : vec3(0.0);  // dark or NaN: as it is, or black
    float rolled = KNEE + (1.0 - KNEE) * (1.0 - exp(-(top - KNEE) / (1.0 - KNEE)));
    float bleach = clamp((top - 1.0) * 0.25, 0.0, 1.0);
    return mix(c * (rolled / top), vec3(rolled), bleach);
}

void main() {
    vec2 p = gl_FragCoord.xy - ubo.star_viewport_origin;
    vec4 starLight = texelFetch(stars, ivec2(p), 0);
    vec3 light = displayLight(starLight, backgroundLight(p)) * ubo.exposure;
    outColor = vec4(LINEAR_OUTPUT ? light : toneMap(light), 1.0);
}
