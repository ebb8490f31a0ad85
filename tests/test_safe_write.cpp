// The one way the program writes files: whatever stands at the path (a file,
// a link, a FIFO, a device, a folder, a stream), a write either lands whole
// or leaves it as it was, and only the program's own temporary file is ever
// removed.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "files/png_file.h"
#include "files/safe_write.h"

namespace {

namespace fs = std::filesystem;

struct Folder {
    std::string path;
    Folder() {
        char name[] = "/tmp/starloom-write-XXXXXX";
        path = ::mkdtemp(name);
    }
    ~Folder() { fs::remove_all(path); }
    std::string at(const std::string& name) const { return path + "/" + name; }
    // The names in the folder, sorted: no temporary file may be left behind.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(path)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
};

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void put(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

const std::string NEW = "new contents";

WriteResult writeNew(const std::string& path, WriteOptions options = {}) {
    return writeFileSafely(path, NEW.data(), NEW.size(), options);
}

bool isKind(const std::string& path, mode_t kind) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

}  // namespace

// What stands at the path, what the write finds and what it must leave.
TEST(SafeWrite, EveryKindOfPathEndsWholeOrAsItWas) {
    struct Case {
        const char* what;
        std::function<std::string(const Folder&)> setUp;  // returns the path to write
        WriteOptions options;
        int errorNumber;  // 0: the write works
        std::function<void(const Folder&)> check;
    };
    const mode_t mask = ::umask(022);
    ::umask(mask);
    WriteOptions keep, regular;
    keep.replaceExisting = false;
    regular.regularFileOnly = true;
    const Case cases[] = {
        {"a new file", [](const Folder& f) { return f.at("a"); }, {}, 0,
         [mask](const Folder& f) {
             EXPECT_EQ(contents(f.at("a")), NEW);
             EXPECT_EQ(fs::status(f.at("a")).permissions(), static_cast<fs::perms>(0666 & ~mask));
         }},
        {"a file, its permissions kept",
         [](const Folder& f) {
             put(f.at("a"), "old");
             fs::permissions(f.at("a"), static_cast<fs::perms>(0640));
             return f.at("a");
         },
         {}, 0,
         [](const Folder& f) {
             EXPECT_EQ(contents(f.at("a")), NEW);
             EXPECT_EQ(fs::status(f.at("a")).permissions(), static_cast<fs::perms>(0640));
         }},
        {"a link, through a relative chain, to a file in another folder",
         [](const Folder& f) {
             fs::create_directory(f.at("d"));
             put(f.at("d/target"), "old");
             fs::create_symlink("d/target", f.at("two"));
             fs::create_symlink("two", f.at("one"));
             return f.at("one");
         },
         {}, 0,
         [](const Folder& f) {
             EXPECT_EQ(contents(f.at("d/target")), NEW);
             EXPECT_TRUE(isKind(f.at("one"), S_IFLNK) && isKind(f.at("two"), S_IFLNK));
             EXPECT_EQ(fs::directory_iterator(f.at("d"))->path().filename(), "target");  // nothing left there
         }},
        {"a link that leads nowhere yet",
         [](const Folder& f) {
             fs::create_symlink("later", f.at("link"));
             return f.at("link");
         },
         {}, 0,
         [](const Folder& f) {
             EXPECT_EQ(contents(f.at("later")), NEW);
             EXPECT_TRUE(isKind(f.at("link"), S_IFLNK));
         }},
        {"a link planted at the old temporary name",
         [](const Folder& f) {
             put(f.at("victim"), "old");
             fs::create_symlink("victim", f.at("a.tmp"));
             return f.at("a");
         },
         {}, 0, [](const Folder& f) { EXPECT_EQ(contents(f.at("victim")), "old"); }},
        {"a body that fails", [](const Folder& f) { put(f.at("a"), "old"); return f.at("a"); }, {}, -1,
         [](const Folder& f) { EXPECT_EQ(contents(f.at("a")), "old"); }},
        {"a file that must not be replaced", [](const Folder& f) { put(f.at("a"), "old"); return f.at("a"); },
         keep, EEXIST, [](const Folder& f) { EXPECT_EQ(contents(f.at("a")), "old"); }},
        {"a folder", [](const Folder& f) { fs::create_directory(f.at("a")); return f.at("a"); }, {}, EISDIR,
         [](const Folder& f) { EXPECT_TRUE(fs::is_directory(f.at("a"))); }},
        {"a device that takes everything",
         [](const Folder& f) {
             EXPECT_EQ(::mknod(f.at("null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
             return f.at("null");
         },
         {}, 0, [](const Folder& f) { EXPECT_TRUE(isKind(f.at("null"), S_IFCHR)); }},
        {"a device that refuses to write, never removed",
         [](const Folder& f) {
             EXPECT_EQ(::mknod(f.at("full").c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
             return f.at("full");
         },
         {}, ENOSPC, [](const Folder& f) { EXPECT_TRUE(isKind(f.at("full"), S_IFCHR)); }},
        {"a FIFO where only a regular file will do, never opened",
         [](const Folder& f) {
             EXPECT_EQ(::mkfifo(f.at("fifo").c_str(), 0600), 0);
             return f.at("fifo");
         },
         regular, 0 /* refused without an errno */, [](const Folder& f) { EXPECT_TRUE(isKind(f.at("fifo"), S_IFIFO)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Folder f;
        const std::string path = c.setUp(f);
        const std::vector<std::string> before = f.names();
        WriteResult r;
        if (c.errorNumber == -1) {
            r = writeFileSafely(path, [](FILE* out, std::string& error) {
                std::fputs("half", out);
                error = "stopped";
                return false;
            });
        } else {
            r = writeNew(path, c.options);
        }
        const bool refused = c.options.regularFileOnly;
        EXPECT_EQ(r.ok, c.errorNumber == 0 && !refused) << r.error;
        if (c.errorNumber > 0) {
            EXPECT_EQ(r.errorNumber, c.errorNumber) << r.error;
        } else if (c.errorNumber == -1) {
            EXPECT_EQ(r.error, "stopped");
        } else if (refused) {
            EXPECT_NE(r.error.find("not a regular file"), std::string::npos) << r.error;
        }
        if (!r.ok) {
            EXPECT_EQ(f.names(), before);  // nothing added, nothing removed
        }
        c.check(f);
        for (const std::string& name : f.names()) EXPECT_NE(name[0], '.') << "a temporary file left: " << name;
    }
}

// Streams: a FIFO with a reader, and /dev/fd/N of a pipe, are written into
// directly; /proc/self/fd/N of a regular file writes that file.
TEST(SafeWrite, FifosAndStreamsAreWrittenDirectly) {
    Folder f;
    ASSERT_EQ(::mkfifo(f.at("fifo").c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] { got = contents(f.at("fifo")); });
    EXPECT_TRUE(writeNew(f.at("fifo")).ok);
    reader.join();
    EXPECT_EQ(got, NEW);
    EXPECT_TRUE(isKind(f.at("fifo"), S_IFIFO));

    int pipeEnds[2];
    ASSERT_EQ(::pipe(pipeEnds), 0);
    EXPECT_TRUE(writeNew("/dev/fd/" + std::to_string(pipeEnds[1])).ok);
    char buffer[64] = {};
    EXPECT_EQ(::read(pipeEnds[0], buffer, sizeof buffer), static_cast<ssize_t>(NEW.size()));
    EXPECT_EQ(std::string(buffer), NEW);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);

    put(f.at("out"), "a longer old text");
    FILE* out = std::fopen(f.at("out").c_str(), "r+");
    EXPECT_TRUE(writeNew("/proc/self/fd/" + std::to_string(::fileno(out))).ok);
    std::fclose(out);
    EXPECT_EQ(contents(f.at("out")), NEW);
    EXPECT_EQ(f.names(), (std::vector<std::string>{"fifo", "out"}));
}

// A disk that fills up while a picture is written over an old one: the old
// picture stays, and no part of the new one is left.
TEST(SafeWrite, AFullDiskCostsNothing) {
    Folder f;
    if (::mount("tmpfs", f.path.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << std::strerror(errno) << ")";
    }
    struct Unmount {
        const std::string& path;
        ~Unmount() { ::umount(path.c_str()); }
    } unmount{f.path};
    put(f.at("picture.png"), "the old picture");
    std::vector<uint8_t> noise(256 * 256 * 3);
    std::mt19937 rng(5);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(rng());
    std::string error;
    int errorNumber = 0;
    EXPECT_FALSE(writePng(f.at("picture.png"), 256, 256, 3, noise.data(), error, {}, &errorNumber));
    EXPECT_EQ(errorNumber, ENOSPC) << error;
    EXPECT_NE(error.find(std::strerror(ENOSPC)), std::string::npos) << error;
    EXPECT_EQ(contents(f.at("picture.png")), "the old picture");
    EXPECT_EQ(f.names(), std::vector<std::string>{"picture.png"});
}
