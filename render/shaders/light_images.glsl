// The star display's light as the scene passes left it: the stars at full
// resolution (alpha: how much of the background their opaque discs cover)
// and the diffuse background at background_resolution of it, both in linear
// light before the exposure.
layout(set = 0, binding = 6) uniform sampler2D stars;
layout(set = 0, binding = 7) uniform sampler2D background;

// The background at a point of the star viewport (pixels from its corner),
// interpolated between its texels, never reaching past the texels that were
// drawn (the images may be larger than the viewport).
vec3 backgroundLight(vec2 p) {
    vec2 at = min(max(p * ubo.background_resolution, vec2(0.5)), ubo.background_limit) - 0.5;
    // Linear interpolation between the four nearest texels, worked out here:
    // a CPU driver's filtering of 16-bit floats costs more than the four reads.
    ivec2 corner = ivec2(at);
    vec2 f = at - vec2(corner);
    ivec2 far = min(corner + 1, ivec2(ubo.background_limit));
    vec3 a = texelFetch(background, corner, 0).rgb;
    vec3 b = texelFetch(background, ivec2(far.x, corner.y), 0).rgb;
    vec3 c = texelFetch(background, ivec2(corner.x, far.y), 0).rgb;
    vec3 d = texelFetch(background, far, 0).rgb;
    return mix(mix(a, b, f.x), mix(c, d, f.x), f.y);
}

// Everything at a point: the stars over the background they do not cover.
vec3 displayLight(vec4 starLight, vec3 backgroundLight) {
    return starLight.rgb + backgroundLight * (1.0 - starLight.a);
}
