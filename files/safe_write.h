// Writing a file so that a failure never costs the file that was there. Every
// file the program writes goes through here: the save file, pictures drawn
// with --render, screenshots, the text blocks of starloom-cli.
//
// A regular file (or a new one) is written into a temporary file beside it,
// created exclusively under a name no one can plant in advance and never
// through a symbolic link, flushed and synced, and only then renamed over the
// path: whoever reads the path sees the old file or the new one, whole. On
// failure only the temporary file is removed. A symbolic link is followed to
// its target (the link stays a link). A path that exists and is not a regular
// file (a FIFO, a device, /dev/stdout) is written into directly and never
// removed; a folder is refused.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

struct WriteOptions {
    // False: a path that already exists is never replaced; the write fails
    // with EEXIST instead (a screenshot never replaces another file).
    bool replaceExisting = true;
    // True: a path that is not a regular file (FIFO, device, socket, or a
    // stream such as /dev/stdout) is refused instead of written into, and
    // never opened (the save file).
    bool regularFileOnly = false;
};

// Where a write failed.
enum class WriteStep : unsigned char {
    NONE,
    OPEN,    // the path cannot be written at all, or the temporary file cannot be created
    WRITE,   // writing the contents (the body failed, or the disk is full)
    CLOSE,   // flushing to disk or closing
    RENAME,  // moving the finished file into place
};

struct WriteResult {
    bool ok = false;
    WriteStep failedAt = WriteStep::NONE;
    int errorNumber = 0;  // errno of the failure; 0 when the body failed on its own
    std::string error;    // the reason, naming the path
};

// Writes the contents into a stdio stream; false, with the reason in `error`,
// on failure.
using WriteBody = std::function<bool(FILE* out, std::string& error)>;

WriteResult writeFileSafely(const std::string& path, const WriteBody& body, const WriteOptions& options = {});
WriteResult writeFileSafely(const std::string& path, const void* data, size_t size, const WriteOptions& options = {});

// The path a write lands on: `path` with symbolic links at its end followed
// (relative targets taken from the link's folder), as far as they lead; a
// link that leads nowhere gives the path it names. A link inside /proc
// (/dev/stdout, /dev/fd/N) is not followed.
std::string resolveWritePath(const std::string& path);

// Renames `from` to `to` unless `to` exists. False with errno set (EEXIST
// when `to` exists).
bool renameWithoutReplacing(const std::string& from, const std::string& to);

// What a file that is not a regular one is, for messages: "a folder", "a
// FIFO", "a character device", "a block device", "a socket", "a symbolic
// link"; null for a regular file.
const char* fileKindName(mode_t mode);
