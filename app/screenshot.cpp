#include "app/screenshot.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "files/png_file.h"

namespace {

// The value of XDG_PICTURES_DIR in a user-dirs.dirs file (shell syntax:
// NAME="value", with $HOME and backslash escapes), or "" when it has none.
std::string picturesEntry(const std::string& file, const std::string& home) {
    std::ifstream in(file);
    std::string line, found;
    const std::string key = "XDG_PICTURES_DIR=";
    while (std::getline(in, line)) {
        const size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line.compare(start, key.size(), key) != 0) continue;
        std::string value = line.substr(start + key.size());
        if (value.size() < 2 || value.front() != '"') continue;
        const size_t close = value.rfind('"');
        if (close == 0) continue;
        value = value.substr(1, close - 1);
        std::string out;
        for (size_t i = 0; i < value.size(); ++i) {
            if (value[i] == '\\' && i + 1 < value.size()) {
                out += value[++i];
            } else if (value.compare(i, 5, "$HOME") == 0) {
                out += home;
                i += 4;
            } else {
                out += value[i];
            }
        }
        found = out;  // the last assignment wins, as in the shell
    }
    return found;
}

bool sameFolder(std::string a, std::string b) {
    while (a.size() > 1 && a.back() == '/') a.pop_back();
    while (b.size() > 1 && b.back() == '/') b.pop_back();
    return a == b;
}

}  // namespace

std::string screenshotFolder(const char* home, const char* configHome, const char* environmentDir) {
    const std::string homeFolder = home != nullptr && home[0] != '\0' ? home : ".";
    const std::string config =
        configHome != nullptr && configHome[0] != '\0' ? configHome : homeFolder + "/.config";
    std::string pictures = picturesEntry(config + "/user-dirs.dirs", homeFolder);
    if (pictures.empty() && environmentDir != nullptr) pictures = environmentDir;
    if (pictures.empty() || pictures.front() != '/' || sameFolder(pictures, homeFolder)) {
        pictures = homeFolder + "/Pictures";
    }
    while (pictures.size() > 1 && pictures.back() == '/') pictures.pop_back();
    return pictures + "/Starloom";
}

std::string screenshotFolder() {
    return screenshotFolder(std::getenv("HOME"), std::getenv("XDG_CONFIG_HOME"), std::getenv("XDG_PICTURES_DIR"));
}

std::string screenshotFileName(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char name[64];
    std::strftime(name, sizeof name, "Starloom-%Y-%m-%d-%H-%M-%S.png", &local);
    return name;
}

ScreenshotResult writeScreenshot(const Picture& picture, const std::string& folder, std::time_t when) {
    ScreenshotResult result;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        result.error = "cannot create the folder " + folder + ": " + error.message();
        return result;
    }
    const std::string name = screenshotFileName(when);
    const std::string stem = name.substr(0, name.size() - 4);
    // A name that is taken, even one taken while this file is written, is
    // never replaced: the next number is tried.
    WriteOptions keepOthers;
    keepOthers.replaceExisting = false;
    std::string path = folder + "/" + name;
    for (int n = 2;; ++n) {
        std::string writeError;
        int errorNumber = 0;
        if (writePng(path, picture.width, picture.height, 3, picture.rgb.data(), writeError, keepOthers,
                     &errorNumber)) {
            break;
        }
        if (errorNumber != EEXIST) {
            result.error = writeError;
            return result;
        }
        if (n > 1000) {
            result.error = "too many screenshots named " + stem + " in " + folder;
            return result;
        }
        path = folder + "/" + stem + "-" + std::to_string(n) + ".png";
    }
    result.ok = true;
    result.path = path;
    return result;
}

std::string screenshotMessage(const ScreenshotResult& result, const char* home) {
    if (!result.ok) return "Screenshot failed: " + result.error;
    std::string shown = result.path;
    if (home != nullptr && home[0] != '\0') {
        const std::string prefix = std::string(home) + "/";
        if (shown.compare(0, prefix.size(), prefix) == 0) shown = "~/" + shown.substr(prefix.size());
    }
    return "Screenshot saved: " + shown;
}
