#version 450
// A round point. "Circle": a disc of the point's size with a soft edge one
// pixel wide. "Fuzzy": a cone 1.5 times the point's size that holds the
// light the square of its size would (3 / (pi 0.75^2) times the square's
// level at its peak). A point of a pixel or less is that pixel.
layout(location = 0) in vec4 a;  // colour; size in pixels, negative for "Circle"
layout(location = 0) out vec4 b;

void main() {
    float size = abs(a.w);
    if (size <= 1.0) {  // nearly every point: one branch for all of its fragments
        b = vec4(a.rgb, 0.0);
        return;
    }
    float fuzzy = a.w > 0.0 ? clamp(size - 1.0, 0.0, 1.0) : 0.0;
    float sprite = size * (1.0 + 0.5 * fuzzy);
    float d = length(gl_PointCoord - 0.5) * sprite;  // pixels from the centre
    float disc = clamp(0.5 * size - d + 0.5, 0.0, 1.0);
    float cone = 1.6976527 * max(0.0, 1.0 - d / (0.75 * size));
    b = vec4(a.rgb * mix(disc, cone, fuzzy), 0.0);
}
