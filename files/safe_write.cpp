#include "files/safe_write.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

// Symbolic links followed before giving up, as the kernel does.
constexpr int MAX_LINKS = 40;
// Temporary names tried before giving up (each taken name is a collision of
// 60 random bits, or a name planted by someone else).
constexpr int MAX_TEMPORARY_ATTEMPTS = 64;

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A link in /proc (what /dev/stdout and /dev/fd/N lead to) names an open file,
// perhaps a pipe or a deleted file, rather than a path to put a file beside.
bool insideProc(const std::string& path) {
    struct statfs fs {};
    return ::statfs(folderOf(path).c_str(), &fs) == 0 && fs.f_type == PROC_SUPER_MAGIC;
}

struct Resolved {
    std::string path;
    bool stream = false;  // a link in /proc: written through the kernel's link
    int error = 0;
};

Resolved resolve(const std::string& path) {
    std::string p = path;
    for (int hops = 0; hops < MAX_LINKS; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return {p, false, 0};
        if (insideProc(p)) return {p, true, 0};
        char target[4096];
        const ssize_t length = ::readlink(p.c_str(), target, sizeof target - 1);
        if (length <= 0) return {p, false, length < 0 ? errno : ENOENT};
        target[length] = '\0';
        p = target[0] == '/' ? std::string(target) : folderOf(p) + "/" + target;
    }
    return {p, false, ELOOP};
}

// 12 characters of 5 random bits each, from the kernel; from the clock and
// the process if it has none to give.
std::string randomSuffix() {
    static constexpr char DIGITS[] = "0123456789abcdefghjkmnpqrstvwxyz";
    uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bits)) {
        static uint64_t counter = 0;
        bits = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
               (static_cast<uint64_t>(::getpid()) << 40) ^ (++counter * 0x9E3779B97F4A7C15ull);
        bits ^= bits >> 31;
        bits *= 0xBF58476D1CE4E5B9ull;
        bits ^= bits >> 29;
    }
    std::string out;
    for (int i = 0; i < 12; ++i, bits >>= 5) out += DIGITS[bits & 31];
    return out;
}

WriteResult failure(WriteStep step, int errorNumber, std::string message) {
    WriteResult r;
    r.failedAt = step;
    r.errorNumber = errorNumber;
    r.error = std::move(message);
    return r;
}

std::string because(const std::string& what, int errorNumber) { return what + ": " + std::strerror(errorNumber); }

// Runs the body on an open stream and flushes it; the step and errno of a failure.
WriteResult writeBody(FILE* out, const std::string& path, const WriteBody& body) {
    std::string error;
    errno = 0;
    const bool written = body(out, error);
    if (!written || std::fflush(out) != 0 || std::ferror(out)) {
        const int e = std::ferror(out) ? errno : 0;
        if (error.empty() || e != 0) error = because("cannot write " + path, e != 0 ? e : EIO);
        return failure(WriteStep::WRITE, e, error);
    }
    WriteResult r;
    r.ok = true;
    return r;
}

// Into something that is not a regular file: no temporary, nothing removed.
WriteResult writeDirectly(const std::string& path, const WriteBody& body) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return failure(WriteStep::OPEN, errno, because("cannot open " + path + " for writing", errno));
    // A regular file reached through /dev/stdout starts empty, as after ">".
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
        const int e = errno;
        ::close(fd);
        return failure(WriteStep::OPEN, e, because("cannot write " + path, e));
    }
    FILE* out = ::fdopen(fd, "wb");
    if (out == nullptr) {
        const int e = errno;
        ::close(fd);
        return failure(WriteStep::OPEN, e, because("cannot write " + path, e));
    }
    WriteResult r = writeBody(out, path, body);
    if (std::fclose(out) != 0 && r.ok) r = failure(WriteStep::CLOSE, errno, because("cannot write " + path, errno));
    return r;
}

// Makes a rename durable. A folder that cannot be synced (some file systems
// refuse) still holds the complete new file, so this is best effort.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// A regular file or a new one: a temporary beside it, renamed into place.
WriteResult writeReplacing(const std::string& path, const struct stat* old, const WriteBody& body, bool replace) {
    const std::string folder = folderOf(path);
    // Hidden, named after the file, cut short so that the name stays within
    // the file system's limit.
    const std::string stem = folder + "/." + baseOf(path).substr(0, 200) + ".";
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < MAX_TEMPORARY_ATTEMPTS && fd < 0; ++attempt) {
        temporary = stem + randomSuffix() + ".tmp";
        // Exclusive: a name that exists, a planted link above all, is never opened.
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return failure(WriteStep::OPEN, errno, because("cannot create a temporary file in " + folder, errno));
    if (old != nullptr) {
        // The new file keeps the old one's permissions (and owner, when root writes it).
        ::fchmod(fd, old->st_mode & 07777);
        if (::geteuid() == 0 && ::fchown(fd, old->st_uid, old->st_gid) != 0) { /* best effort */ }
    }
    FILE* out = ::fdopen(fd, "wb");
    if (out == nullptr) {
        const int e = errno;
        ::close(fd);
        ::unlink(temporary.c_str());
        return failure(WriteStep::OPEN, e, because("cannot write " + path, e));
    }
    WriteResult r = writeBody(out, path, body);
    if (r.ok && ::fsync(::fileno(out)) != 0) r = failure(WriteStep::CLOSE, errno, because("cannot write " + path, errno));
    if (std::fclose(out) != 0 && r.ok) r = failure(WriteStep::CLOSE, errno, because("cannot write " + path, errno));
    if (r.ok) {
        const bool moved = replace ? ::rename(temporary.c_str(), path.c_str()) == 0
                                   : renameWithoutReplacing(temporary, path);
        if (!moved) r = failure(WriteStep::RENAME, errno, because("cannot write " + path, errno));
    }
    if (!r.ok) {
        ::unlink(temporary.c_str());
        return r;
    }
    syncFolder(folder);
    return r;
}

}  // namespace

const char* fileKindName(mode_t mode) {
    switch (mode & S_IFMT) {
        case S_IFREG: return nullptr;
        case S_IFDIR: return "a folder";
        case S_IFIFO: return "a FIFO";
        case S_IFCHR: return "a character device";
        case S_IFBLK: return "a block device";
        case S_IFSOCK: return "a socket";
        case S_IFLNK: return "a symbolic link";
        default: return "not a regular file";
    }
}

std::string resolveWritePath(const std::string& path) { return resolve(path).path; }

bool renameWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return false;
    // A file system without that rename: a new link fails when `to` exists.
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
}

WriteResult writeFileSafely(const std::string& path, const WriteBody& body, const WriteOptions& options) {
    const Resolved target = resolve(path);
    if (target.error != 0) return failure(WriteStep::OPEN, target.error, because("cannot write " + path, target.error));
    if (target.stream) {
        if (options.regularFileOnly) return failure(WriteStep::OPEN, 0, path + " is not a regular file");
        return writeDirectly(path, body);
    }
    struct stat st {};
    const bool exists = ::lstat(target.path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return failure(WriteStep::OPEN, errno, because("cannot write " + path, errno));
    if (exists) {
        if (!options.replaceExisting) return failure(WriteStep::OPEN, EEXIST, because("cannot write " + path, EEXIST));
        if (S_ISDIR(st.st_mode)) return failure(WriteStep::OPEN, EISDIR, because("cannot write " + path, EISDIR));
        if (!S_ISREG(st.st_mode)) {
            if (options.regularFileOnly)
                return failure(WriteStep::OPEN, 0, path + " is " + fileKindName(st.st_mode) + ", not a regular file");
            return writeDirectly(target.path, body);
        }
    }
    return writeReplacing(target.path, exists ? &st : nullptr, body, options.replaceExisting);
}

WriteResult writeFileSafely(const std::string& path, const void* data, size_t size, const WriteOptions& options) {
    return writeFileSafely(
        path,
        [data, size](FILE* out, std::string&) { return size == 0 || std::fwrite(data, 1, size, out) == size; },
        options);
}
