// Screenshots (F12): where they go, what they are called, and writing one.
// The pixels come from the renderer's read-back of the star display; this
// part only names, places and writes the file and words the panel's line.
#pragma once

#include <ctime>
#include <string>

#include "render/picture.h"

// The user's pictures folder as xdg-user-dir finds it: XDG_PICTURES_DIR from
// `configHome`/user-dirs.dirs (configHome: $XDG_CONFIG_HOME, else
// `home`/.config), else from the environment value `environmentDir`; else,
// or when that is the home folder itself (the folder switched off), or
// relative, `home`/Pictures. Then "/Starloom". Null arguments stand for unset
// variables; without a home folder the current folder takes its place.
std::string screenshotFolder(const char* home, const char* configHome, const char* environmentDir);

// The folder for this process's environment.
std::string screenshotFolder();

// "Starloom-YYYY-MM-DD-HH-MM-SS.png" in local time.
std::string screenshotFileName(std::time_t when);

struct ScreenshotResult {
    bool ok = false;
    std::string path;   // the file written
    std::string error;  // why nothing was written
};

// Writes the picture as a PNG into `folder` (created when missing), named by
// `when`; a name already taken gets "-2", "-3", ... before ".png", so that
// no screenshot replaces another.
ScreenshotResult writeScreenshot(const Picture& picture, const std::string& folder, std::time_t when);

// The panel's line about a screenshot: where it went (the home folder shown
// as "~"), or why it failed.
std::string screenshotMessage(const ScreenshotResult& result, const char* home);
