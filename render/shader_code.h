// The shader programs, compiled from render/shaders/ to SPIR-V at
// build time and carried in the program as arrays of 32-bit words.
#pragma once

#include <cstddef>
#include <cstdint>

struct ShaderCode {
    const uint32_t* words;
    size_t size;  // bytes
};

namespace shaders {
#include "point_vert.spv.h"
#include "point_frag.spv.h"
#include "shape_vert.spv.h"
#include "shape_frag.spv.h"
#include "color_frag.spv.h"
#include "foreground_vert.spv.h"
#include "foreground_frag.spv.h"
#include "fullscreen_vert.spv.h"
#include "tone_map_frag.spv.h"
#include "exposure_measure_frag.spv.h"
#include "highlight_vert.spv.h"
#include "label_vert.spv.h"
#include "label_frag.spv.h"
#include "crosshair_vert.spv.h"
#include "crosshair_frag.spv.h"
#include "ellipsoid_vert.spv.h"
#include "ellipsoid_setup_vert.spv.h"
#include "ellipsoid_frag.spv.h"
#include "intensity_frag.spv.h"
#include "tube_vert.spv.h"
#include "tube_setup_vert.spv.h"
#include "tube_frag.spv.h"
#include "block_text_vert.spv.h"
#include "block_text_frag.spv.h"
#include "text_image_vert.spv.h"
#include "text_image_frag.spv.h"
}  // namespace shaders
