// Bookmarks: places the user named, in a text file of their own beside the
// save file ("bookmarks.txt" in the data folder), easy to edit by hand and to
// share. One bookmark a line, UTF-8:
//
//   # Lines starting with '#' are comments; blank lines are kept.
//   Home star<TAB>starloom1:...<TAB>Where it all began
//
// NAME, a tab, the place's location text, and optionally a tab and a one-line
// note. A line the program cannot read (no tab, a damaged location text, a
// name given twice) is reported and kept as it is: whatever the program writes
// back holds it unchanged, so nothing a user wrote is ever dropped. Written
// through the safe write, like every file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "files/safe_write.h"
#include "starfield/search_result.h"
#include "starfield/voxel_random.h"

inline constexpr char BOOKMARKS_FILE_NAME[] = "bookmarks.txt";
// The longest name and note the panel's fields hold, in bytes.
inline constexpr size_t BOOKMARK_NAME_MAX = 63;
inline constexpr size_t BOOKMARK_NOTE_MAX = 255;

struct Bookmark {
    std::string name;
    std::string location;  // a location text, as decodeLocation reads it
    std::string note;      // may be empty
};

// A line of the file: a bookmark, or a line kept as it is (a comment, a blank
// line, a line that could not be read).
struct BookmarkLine {
    bool isBookmark = false;
    Bookmark mark;
    std::string text;
};

struct BookmarkFile {
    std::vector<BookmarkLine> lines;
    // False when a file was there that could not be read at all: writing
    // would replace what the program never saw, so it is refused.
    bool writable = true;
};

// The bookmarks file of a data folder (ending in '/', or empty for the
// current folder).
std::string bookmarksPath(const std::string& dataFolder);

// Why a name cannot name a bookmark (empty, too long, a tab or a line break,
// a leading '#', blanks around it, or not UTF-8); empty when it can.
std::string bookmarkNameProblem(std::string_view name);

// Reads the text of a file; each line it cannot read is described in
// `problems` ("WHERE line N: why (kept as it is)").
void parseBookmarks(std::string_view text, const std::string& where, BookmarkFile& file,
                    std::vector<std::string>& problems);
// The file's text: its lines in order, each bookmark in its written form.
std::string bookmarksText(const BookmarkFile& file);

// Reads the file; a missing file is an empty list and no problem. A file that
// cannot be read gives one problem and leaves the list unwritable.
void loadBookmarks(const std::string& path, BookmarkFile& file, std::vector<std::string>& problems);
// Writes the file through the safe write; on failure the file is as it was.
WriteResult saveBookmarks(const std::string& path, const BookmarkFile& file);

// The bookmarks in the order of the file.
std::vector<const Bookmark*> bookmarkList(const BookmarkFile& file);
Bookmark* findBookmark(BookmarkFile& file, std::string_view name);
const Bookmark* findBookmark(const BookmarkFile& file, std::string_view name);

// Adds a bookmark at the end. False, with the reason, for a name that cannot
// name a bookmark or that one already has, or a note that is not one line of
// UTF-8.
bool addBookmark(BookmarkFile& file, const Bookmark& mark, std::string& error);
// False when no bookmark has the name.
bool removeBookmark(BookmarkFile& file, std::string_view name);
// False, with the reason, when no bookmark has `from` or `to` cannot be its new name.
bool renameBookmark(BookmarkFile& file, std::string_view from, std::string_view to, std::string& error);
// False, with the reason, for a note that is not one line of UTF-8.
bool setBookmarkNote(BookmarkFile& file, std::string_view name, std::string_view note, std::string& error);
// "Place N" with the smallest N from 1 that no bookmark is named.
std::string unusedPlaceName(const BookmarkFile& file);

// The bookmarks of the galaxy `seed` as places to mark on the sky, in the
// order of the file: each at its position, named by the bookmark (cut to the
// label's room at a whole UTF-8 character).
std::vector<SearchResult> bookmarkMarks(const BookmarkFile& file, GalaxySeed seed);
