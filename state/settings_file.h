// The settings the save file's fixed 179 bytes have no room for (the
// exposure and the colour of the diffuse light), in a small text file beside
// it: the save file's name with ".settings" in place of its extension
// (default.sav: default.settings), so that every save file has its own.
//
//   # What Starloom saves beside default.sav. One "name = value" a line.
//   exposure = auto
//   light-colour = populations
//
// Lines starting with '#' and blank lines are comments. A line the program
// cannot read (an unknown name, a value it does not know, no '=') is
// reported and kept as it is when the file is written again: nothing a user
// wrote is ever dropped. Written through the safe write, like every file.
#pragma once

#include <string>
#include <vector>

#include "state/settings.h"

// The settings file of a save file.
std::string settingsFilePath(const std::string& savePath);

// The names and values the file holds, and what they set.
struct SettingsFileEntry {
    const char* name;
    // The value's text for the settings; and the settings for a text, false
    // when the text is no value of this entry.
    std::string (*get)(const Settings& settings);
    bool (*set)(Settings& settings, const std::string& value);
};
extern const std::vector<SettingsFileEntry> SETTINGS_FILE_ENTRIES;

// Reads the file over `settings`. A missing file changes nothing and is no
// problem. Each line that cannot be read is described in `problems` ("line N:
// why"); a file that cannot be read at all gives one problem.
void loadSettingsFile(const std::string& path, Settings& settings, std::vector<std::string>& problems);

// Writes the file: the lines it holds (comments, lines the program cannot
// read) stay as they are, the entries' lines get the settings' values, and
// entries it lacks are added at its end. Throws std::runtime_error, naming the
// file, when it cannot be written; the file is then left as it was.
void saveSettingsFile(const std::string& path, const Settings& settings);
