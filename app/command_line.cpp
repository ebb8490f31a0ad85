#include "app/command_line.h"

#include <cstdlib>
#include <cstring>

const char* const COMMAND_LINE_USAGE =
    "usage: starloom [--windowed] [--save-file PATH] [--at LOCATION-BOOKMARK-OR-STAR]\n"
    "       starloom [--save-file PATH] [--at TEXT] --render OUT.png [--size WxH]\n"
    "                [--exposure auto|VALUE]\n"
    "       starloom --help | --version\n"
    "  --windowed          start in a window instead of full screen\n"
    "  --save-file PATH    read the view and settings from PATH and save them\n"
    "                      there (default: $XDG_DATA_HOME/tarnwick/default.sav)\n"
    "  --at TEXT           start at a location text (starloom1:..., from the\n"
    "                      Navigation page's Copy), at a bookmark of the\n"
    "                      bookmarks.txt beside the save file, or next to a\n"
    "                      star of the catalogue (e.g. S-MNQW-1), 0.1 AU short\n"
    "                      of it, looking at it\n"
    "  --render OUT.png    draw the saved view (or that of --at) without a window\n"
    "                      into a PNG file, once the stars around it are\n"
    "                      complete, and exit\n"
    "  --size WxH          size of the --render picture (default 1920x1080)\n"
    "  --exposure auto|VALUE\n"
    "                      exposure of the --render picture: auto follows the\n"
    "                      picture's light as the window does, VALUE is a\n"
    "                      factor on it (default 1)\n"
    "  --help              print this text and exit\n"
    "  --version           print the version and exit\n";

namespace {

// A side of --size: decimal digits only, without leading zeros, 1 to RENDER_SIZE_MAX.
bool parseSide(const char* text, size_t length, int& out) {
    if (length == 0 || length > 5 || text[0] == '0') return false;
    int value = 0;
    for (size_t i = 0; i < length; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    if (value < 1 || value > RENDER_SIZE_MAX) return false;
    out = value;
    return true;
}

// --exposure: "auto", or a positive decimal factor within the limits
// (written as a number: no blanks, signs, "inf" or "nan").
bool parseExposure(const char* text, bool& automatic, float& factor) {
    if (std::strcmp(text, "auto") == 0) {
        automatic = true;
        return true;
    }
    if (!((text[0] >= '0' && text[0] <= '9') || text[0] == '.')) return false;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(value >= 1.0 / EXPOSURE_MAX && value <= EXPOSURE_MAX)) return false;
    automatic = false;
    factor = static_cast<float>(value);
    return true;
}

bool parseSize(const char* text, int& width, int& height) {
    const char* x = std::strchr(text, 'x');
    int w = 0, h = 0;
    if (x == nullptr || !parseSide(text, static_cast<size_t>(x - text), w) || !parseSide(x + 1, std::strlen(x + 1), h))
        return false;
    width = w;
    height = h;
    return true;
}

}  // namespace

bool parseCommandLine(int argc, char** argv, CommandLine& options, std::string& error) {
    bool sizeGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        // The value of an option that takes one; null (with the error set) when it is missing.
        // The value is the next argument whatever it looks like ("--help" included).
        auto value = [&](const char* what) -> const char* {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                error = std::string(arg) + " needs " + what;
                return nullptr;
            }
            return argv[++i];
        };
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.help = true;
        } else if (std::strcmp(arg, "--version") == 0) {
            options.version = true;
        } else if (std::strcmp(arg, "--windowed") == 0) {
            options.windowed = true;
        } else if (std::strcmp(arg, "--save-file") == 0) {
            const char* path = value("a file path");
            if (path == nullptr) return false;
            options.saveFile = path;
        } else if (std::strcmp(arg, "--at") == 0) {
            const char* text = value("a location text or a star name");
            if (text == nullptr) return false;
            options.at = text;
        } else if (std::strcmp(arg, "--render") == 0) {
            const char* path = value("the path of the PNG file to write");
            if (path == nullptr) return false;
            options.render = path;
        } else if (std::strcmp(arg, "--background-only") == 0) {
            options.backgroundOnly = true;
        } else if (std::strcmp(arg, "--linear-light") == 0) {
            options.linearLight = true;
        } else if (std::strcmp(arg, "--exposure") == 0) {
            const char* text = value("auto or a factor");
            if (text == nullptr) return false;
            if (!parseExposure(text, options.autoExposure, options.exposure)) {
                error = std::string("bad exposure '") + text + "': expected auto or a factor from 1e-6 to 1e6";
                return false;
            }
            options.exposureGiven = true;
        } else if (std::strcmp(arg, "--size") == 0) {
            const char* size = value("a size WxH");
            if (size == nullptr) return false;
            if (!parseSize(size, options.renderWidth, options.renderHeight)) {
                error = std::string("bad size '") + size + "': expected WxH, each side 1 to " +
                        std::to_string(RENDER_SIZE_MAX) + " pixels, written without leading zeros";
                return false;
            }
            sizeGiven = true;
        } else {
            error = std::string("unknown argument '") + arg + "'";
            return false;
        }
    }
    if (options.backgroundOnly && options.render.empty()) {
        error = "--background-only is for a --render picture and needs --render";
        return false;
    }
    if (options.linearLight && options.render.empty()) {
        error = "--linear-light is for a --render picture and needs --render";
        return false;
    }
    if (options.exposureGiven && options.render.empty()) {
        error = "--exposure sets the exposure of a --render picture and needs --render";
        return false;
    }
    if (sizeGiven && options.render.empty()) {
        error = "--size sets the size of a --render picture and needs --render";
        return false;
    }
    return true;
}
