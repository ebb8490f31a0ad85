// Fuzzing the location-text decoder: any text is refused with a reason or
// decodes to a place inside space whose own text is the input, blanks aside.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "starfield/location_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    Location place;
    std::string error;
    if (!decodeLocation(text, place, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    for (const FixedCoord& c : place.position)
        if (!withinSpace(c.integer)) std::abort();
    if (encodeLocation(place) != pastedText(text)) std::abort();
    return 0;
}
