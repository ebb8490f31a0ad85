#version 450
layout(set = 0, binding = 0) uniform sampler2D s;
layout(location = 1) in vec2 t;
layout(location = 0) out vec4 b;
void main() {
    b = vec4(1.0, 1.0, 1.0, 1.0) * texture(s, t).r;
}
