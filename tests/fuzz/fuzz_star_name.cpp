// Fuzzing the star-name parser, and locating what it accepts: any text is
// refused with a reason or names a cell of its level, and locating that name
// in the galaxy either finds the star of that very name or says why not.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "galaxy/galaxy_build.h"
#include "starfield/appearance.h"
#include "starfield/locate.h"
#include "starfield/location_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Galaxy galaxy = buildGalaxy();
    static const ChannelConstants channels = channelConstantsFor(DEFAULT_WAVELENGTHS);
    static GenerationWorkspace workspace;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    StarName name;
    std::string error;
    if (!parseStarName(text, name, error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    if (name.level < 2 || name.level > 18 || name.number == 0) std::abort();
    LocatedStar located;
    if (!locateStar(galaxy, GalaxySeed{}, channels, name, located, error, workspace)) {
        if (error.empty()) std::abort();
        return 0;
    }
    if (pastedText(text) != located.found.name) std::abort();
    return 0;
}
