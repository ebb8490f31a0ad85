// Pictures read back from the GPU: a rectangle of a drawn colour image copied
// into host memory and turned into 8-bit RGB rows, for screenshots and for
// pictures drawn offscreen.
#pragma once

#include <vulkan/vulkan.h>

#include <cstddef>
#include <cstdint>

#include "render/picture.h"

struct Renderer;

// True for the colour formats readBackImage can turn into RGB: the 8-bit
// four-channel ones, in B, G, R or R, G, B order, and four 16-bit floats.
bool readableFormat(VkFormat format);

// A 16-bit float (IEEE half precision) as a float.
float halfToFloat(uint16_t half);

// Turns `count` pixels of such a format into RGB (alpha dropped: the display
// is opaque). False for any other format.
bool pixelsToRgb(VkFormat format, const uint8_t* pixels, size_t count, uint8_t* rgb);

// Copies `rect` of a single-sample colour image of `format`, drawn and now in
// `layout` (PRESENT_SRC or TRANSFER_SRC), into host memory and returns it as
// RGB (linear floats for a float format); the image is left in `layout`. Waits until the copy is done. Throws
// std::runtime_error when the format cannot be read or the rectangle lies
// outside the image.
Picture readBackImage(Renderer& r, VkImage image, VkFormat format, VkImageLayout layout, const PixelRect& rect);
