#version 450
layout(set = 0, binding = 1) uniform sampler2D s;
layout(location = 0) in vec4 a;
layout(location = 1) in vec2 t;
layout(location = 0) out vec4 b;
void main() {
    b = a * texture(s, t).r;
}
