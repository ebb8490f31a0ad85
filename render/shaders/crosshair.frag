#version 450
layout(location = 0) in vec4 crosshair_color;
layout(location = 0) out vec4 outColor;
void main() {
    outColor = crosshair_color;
}
