// Background tube nodes (binding 5): position, intensity, tip offset, 1/height, 1/width.
struct TubeNode {
    float param0, param1, param2, param3, param4, param5, param6, param7;
};
layout(std430, set = 0, binding = 5) readonly buffer BackgroundParamObject {
    TubeNode background_params[];
} bgparams;
