#version 450
// A near star's shape: its level falls in a straight line from the centre to
// the rim (flat for "Circle", to nothing for "Fuzzy"), and ends at the rim
// with an edge one pixel soft.
layout(location = 0) in vec3 fragColor;
layout(location = 1) in vec2 offset;
layout(location = 2) flat in float rimRadius;
layout(location = 3) flat in float rimLevel;
layout(location = 0) out vec4 b;

void main() {
    float d = length(offset);
    float along = rimRadius > 0.0 ? min(d / rimRadius, 1.0) : 1.0;
    float coverage = clamp(rimRadius - d + 0.5, 0.0, 1.0);
    b = vec4(fragColor * mix(1.0, rimLevel, along) * coverage, 0.0);
}
