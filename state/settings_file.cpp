#include "state/settings_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "files/safe_write.h"
#include "state/panel_choices.h"

namespace {

std::string trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The value's word in the file: the panel's name of the choice, in lower case.
template <typename T, size_t N>
std::string wordOf(const Choice<T> (&choices)[N], T value) {
    std::string word = choiceName(choices, value);
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

template <typename T, size_t N>
bool valueOf(const Choice<T> (&choices)[N], const std::string& word, T& value) {
    for (const Choice<T>& c : choices) {
        if (wordOf(choices, c.value) == word) {
            value = c.value;
            return true;
        }
    }
    return false;
}

// A line that sets an entry: "name = value". Null when it is none.
const SettingsFileEntry* entryOf(const std::string& line, std::string& value) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return nullptr;
    const std::string name = trimmed(line.substr(0, equals));
    value = trimmed(line.substr(equals + 1));
    for (const SettingsFileEntry& e : SETTINGS_FILE_ENTRIES) {
        if (name == e.name) return &e;
    }
    return nullptr;
}

bool isComment(const std::string& line) {
    const std::string t = trimmed(line);
    return t.empty() || t[0] == '#';
}

// The file's lines; false when there is no regular file to read.
bool readLines(const std::string& path, std::vector<std::string>& lines, std::string& problem) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) problem = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        problem = std::string("it is ") + fileKindName(info.st_mode) + ", not a file";
        return false;
    }
    std::ifstream in(path);
    if (!in) {
        problem = std::strerror(errno);
        return false;
    }
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return true;
}

}  // namespace

const std::vector<SettingsFileEntry> SETTINGS_FILE_ENTRIES = {
    {"exposure", [](const Settings& s) { return wordOf(EXPOSURE_CHOICES, s.exposureMode); },
     [](Settings& s, const std::string& v) { return valueOf(EXPOSURE_CHOICES, v, s.exposureMode); }},
    {"light-colour", [](const Settings& s) { return wordOf(DIFFUSE_COLOUR_CHOICES, s.diffuseColour); },
     [](Settings& s, const std::string& v) { return valueOf(DIFFUSE_COLOUR_CHOICES, v, s.diffuseColour); }},
    {"bookmarks-on-sky", [](const Settings& s) { return wordOf(SHOWN_CHOICES, s.bookmarksOnSky); },
     [](Settings& s, const std::string& v) { return valueOf(SHOWN_CHOICES, v, s.bookmarksOnSky); }},
};

std::string settingsFilePath(const std::string& savePath) {
    const size_t slash = savePath.find_last_of('/');
    const size_t dot = savePath.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    return (hasExtension ? savePath.substr(0, dot) : savePath) + ".settings";
}

void loadSettingsFile(const std::string& path, Settings& settings, std::vector<std::string>& problems) {
    std::vector<std::string> lines;
    std::string problem;
    if (!readLines(path, lines, problem)) {
        if (!problem.empty()) problems.push_back(path + " cannot be read: " + problem);
        return;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        if (isComment(lines[i])) continue;
        std::string value;
        const SettingsFileEntry* entry = entryOf(lines[i], value);
        const std::string where = path + " line " + std::to_string(i + 1) + ": ";
        if (entry == nullptr) {
            problems.push_back(where + "\"" + trimmed(lines[i]) + "\" is no setting Starloom knows (kept as it is)");
        } else if (!entry->set(settings, value)) {
            problems.push_back(where + "\"" + value + "\" is no value of " + entry->name + " (kept as it is)");
        }
    }
}

void saveSettingsFile(const std::string& path, const Settings& settings) {
    std::vector<std::string> lines;
    std::string problem;
    if (!readLines(path, lines, problem)) {
        lines = {"# What Starloom saves beside its save file, one \"name = value\" a line."};
    }
    std::vector<bool> written(SETTINGS_FILE_ENTRIES.size(), false);
    for (std::string& line : lines) {
        if (isComment(line)) continue;
        std::string value;
        const SettingsFileEntry* entry = entryOf(line, value);
        Settings probe;
        // A line the program cannot read stays as the user wrote it.
        if (entry == nullptr || !entry->set(probe, value)) continue;
        line = std::string(entry->name) + " = " + entry->get(settings);
        written[static_cast<size_t>(entry - SETTINGS_FILE_ENTRIES.data())] = true;
    }
    for (size_t k = 0; k < SETTINGS_FILE_ENTRIES.size(); ++k) {
        if (!written[k]) lines.push_back(std::string(SETTINGS_FILE_ENTRIES[k].name) + " = " +
                                         SETTINGS_FILE_ENTRIES[k].get(settings));
    }
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    WriteOptions options;
    options.regularFileOnly = true;
    const WriteResult result = writeFileSafely(path, text.data(), text.size(), options);
    if (!result.ok) throw std::runtime_error(result.error);
}
