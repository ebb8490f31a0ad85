// Fuzzing the save-file loader: any bytes either load or are refused with a
// message, and what loads is a state whose own image loads back the same.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "state/save_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Settings settings;
    Viewpoint view{};
    applyDefaultSettings(settings, view);
    try {
        applySaveImage(data, size, {&settings, &view});
    } catch (const std::runtime_error&) {
        return 0;  // refused, with the fields before the bad one applied
    }
    const std::vector<uint8_t> image = buildSaveImage({&settings, &view});
    Settings again;
    Viewpoint viewAgain{};
    applySaveImage(image.data(), image.size(), {&again, &viewAgain});  // throws (and fails) if refused
    if (buildSaveImage({&again, &viewAgain}) != image) std::abort();
    return 0;
}
