// The one result check for Vulkan calls: success returns, anything else
// (positive results included) throws "[vulkan] Error: VkResult=%d".
#pragma once

#include <vulkan/vulkan.h>

void checkVkResult(VkResult result);
