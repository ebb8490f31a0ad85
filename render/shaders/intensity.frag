#version 450
// The per-vertex background light ("Low Q"), in its component's colour. A
// negative intensity (the tube's axis vertices where no wall is needed) and a
// NaN add nothing.
layout(location = 0) in float intensity;
layout(location = 1) flat in vec3 colour;
layout(location = 0) out vec4 outColor;
void main() {
    float light = intensity > 0.0 ? intensity : 0.0;
    outColor = vec4(colour * light, 0.0);
}
