#include "state/bookmarks.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>

#include "starfield/location_text.h"

namespace {

// True for well-formed UTF-8 without control characters.
bool isTextLine(std::string_view s) {
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x20 || c == 0x7F) return false;
        int follow = 0;
        uint32_t code = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            follow = 1;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            follow = 2;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            follow = 3;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + static_cast<size_t>(follow) >= s.size()) return false;  // cut short
        for (int k = 1; k <= follow; ++k) {
            const auto b = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
            if ((b & 0xC0) != 0x80) return false;
            code = code << 6 | (b & 0x3F);
        }
        // Overlong forms, surrogates and code points beyond Unicode.
        static constexpr uint32_t LEAST[4] = {0, 0x80, 0x800, 0x10000};
        if (code < LEAST[follow] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
        i += static_cast<size_t>(follow) + 1;
    }
    return true;
}

std::string noteProblem(std::string_view note) {
    if (note.size() > BOOKMARK_NOTE_MAX) return "the note is longer than " + std::to_string(BOOKMARK_NOTE_MAX) + " bytes";
    if (!isTextLine(note)) return "the note must be one line of UTF-8 text without tabs";
    return {};
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string bookmarksPath(const std::string& dataFolder) { return dataFolder + BOOKMARKS_FILE_NAME; }

std::string bookmarkNameProblem(std::string_view name) {
    if (name.empty()) return "a bookmark needs a name";
    if (name.size() > BOOKMARK_NAME_MAX) return "the name is longer than " + std::to_string(BOOKMARK_NAME_MAX) + " bytes";
    if (isBlank(name.front()) || isBlank(name.back())) return "the name starts or ends with a blank";
    if (name.front() == '#') return "the name starts with '#', which marks a comment";
    if (!isTextLine(name)) return "the name must be one line of UTF-8 text without tabs";
    return {};
}

void parseBookmarks(std::string_view text, const std::string& where, BookmarkFile& file,
                    std::vector<std::string>& problems) {
    file.lines.clear();
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);  // a byte-order mark some editors write
    size_t number = 0;
    while (!text.empty()) {
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        BookmarkLine entry;
        entry.text = std::string(line);
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') {
            file.lines.push_back(std::move(entry));
            continue;
        }
        std::string why;
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos) {
            why = "no tab between the name and the place";
        } else {
            const std::string_view name = line.substr(0, tab);
            std::string_view rest = line.substr(tab + 1);
            const size_t tab2 = rest.find('\t');
            const std::string_view location = rest.substr(0, tab2);
            const std::string_view note = tab2 == std::string_view::npos ? std::string_view() : rest.substr(tab2 + 1);
            Location place;
            std::string error;
            if (const std::string p = bookmarkNameProblem(name); !p.empty()) {
                why = p;
            } else if (!decodeLocation(location, place, error)) {
                why = error;
            } else if (const std::string p = noteProblem(note); !p.empty()) {
                why = p;
            } else if (findBookmark(static_cast<const BookmarkFile&>(file), name) != nullptr) {
                why = "a bookmark named \"" + std::string(name) + "\" comes earlier";
            } else {
                entry.isBookmark = true;
                entry.mark = {std::string(name), std::string(pastedText(location)), std::string(note)};
            }
        }
        if (!entry.isBookmark) {
            problems.push_back(where + " line " + std::to_string(number) + ": " + why + " (kept as it is)");
        }
        file.lines.push_back(std::move(entry));
    }
}

std::string bookmarksText(const BookmarkFile& file) {
    std::string text;
    for (const BookmarkLine& line : file.lines) {
        if (line.isBookmark) {
            text += line.mark.name + "\t" + line.mark.location;
            if (!line.mark.note.empty()) text += "\t" + line.mark.note;
        } else {
            text += line.text;
        }
        text += '\n';
    }
    return text;
}

void loadBookmarks(const std::string& path, BookmarkFile& file, std::vector<std::string>& problems) {
    file = BookmarkFile{};
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT) return;
        problems.push_back(path + " cannot be read: " + std::strerror(errno));
        file.writable = false;
        return;
    }
    std::ifstream in(path, std::ios::binary);
    if (!S_ISREG(info.st_mode) || !in) {
        problems.push_back(path + " cannot be read: " +
                           (S_ISREG(info.st_mode) ? std::strerror(errno) : "it is not a regular file"));
        file.writable = false;
        return;
    }
    std::ostringstream text;
    text << in.rdbuf();
    parseBookmarks(text.str(), path, file, problems);
}

WriteResult saveBookmarks(const std::string& path, const BookmarkFile& file) {
    if (!file.writable) {
        WriteResult refused;
        refused.failedAt = WriteStep::OPEN;
        refused.error = path + " was not written: it could not be read, and writing would replace it";
        return refused;
    }
    const std::string text = bookmarksText(file);
    WriteOptions options;
    options.regularFileOnly = true;
    return writeFileSafely(path, text.data(), text.size(), options);
}

std::vector<const Bookmark*> bookmarkList(const BookmarkFile& file) {
    std::vector<const Bookmark*> list;
    for (const BookmarkLine& line : file.lines) {
        if (line.isBookmark) list.push_back(&line.mark);
    }
    return list;
}

const Bookmark* findBookmark(const BookmarkFile& file, std::string_view name) {
    for (const BookmarkLine& line : file.lines) {
        if (line.isBookmark && line.mark.name == name) return &line.mark;
    }
    return nullptr;
}

Bookmark* findBookmark(BookmarkFile& file, std::string_view name) {
    return const_cast<Bookmark*>(findBookmark(static_cast<const BookmarkFile&>(file), name));
}

bool addBookmark(BookmarkFile& file, const Bookmark& mark, std::string& error) {
    error = bookmarkNameProblem(mark.name);
    if (error.empty() && findBookmark(file, mark.name) != nullptr) error = "a bookmark is named \"" + mark.name + "\" already";
    if (error.empty()) error = noteProblem(mark.note);
    Location place;
    if (error.empty() && !decodeLocation(mark.location, place, error)) error = "the place: " + error;
    if (!error.empty()) return false;
    BookmarkLine line;
    line.isBookmark = true;
    line.mark = mark;
    line.mark.location = std::string(pastedText(mark.location));
    file.lines.push_back(std::move(line));
    return true;
}

bool removeBookmark(BookmarkFile& file, std::string_view name) {
    for (auto it = file.lines.begin(); it != file.lines.end(); ++it) {
        if (it->isBookmark && it->mark.name == name) {
            file.lines.erase(it);
            return true;
        }
    }
    return false;
}

bool renameBookmark(BookmarkFile& file, std::string_view from, std::string_view to, std::string& error) {
    Bookmark* mark = findBookmark(file, from);
    if (mark == nullptr) {
        error = "no bookmark is named \"" + std::string(from) + "\"";
        return false;
    }
    if (from == to) return true;
    error = bookmarkNameProblem(to);
    if (error.empty() && findBookmark(file, to) != nullptr) error = "a bookmark is named \"" + std::string(to) + "\" already";
    if (!error.empty()) return false;
    mark->name = std::string(to);
    return true;
}

bool setBookmarkNote(BookmarkFile& file, std::string_view name, std::string_view note, std::string& error) {
    Bookmark* mark = findBookmark(file, name);
    if (mark == nullptr) {
        error = "no bookmark is named \"" + std::string(name) + "\"";
        return false;
    }
    error = noteProblem(note);
    if (!error.empty()) return false;
    mark->note = std::string(note);
    return true;
}

std::string unusedPlaceName(const BookmarkFile& file) {
    for (int n = 1;; ++n) {
        std::string name = "Place " + std::to_string(n);
        if (findBookmark(file, name) == nullptr) return name;
    }
}

std::vector<SearchResult> bookmarkMarks(const BookmarkFile& file, GalaxySeed seed) {
    std::vector<SearchResult> marks;
    for (const Bookmark* mark : bookmarkList(file)) {
        Location place;
        std::string error;
        if (!decodeLocation(mark->location, place, error) || !(place.seed == seed)) continue;
        SearchResult& r = marks.emplace_back();
        r.star.x = place.position[0].integer;
        r.star.y = place.position[1].integer;
        r.star.z = place.position[2].integer;
        size_t length = std::min(mark->name.size(), sizeof r.name - 1);
        while (length > 0 && length < mark->name.size() && (static_cast<unsigned char>(mark->name[length]) & 0xC0) == 0x80) {
            --length;  // not inside a character
        }
        std::memcpy(r.name, mark->name.data(), length);
    }
    return marks;
}
