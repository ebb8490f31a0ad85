// The one way the program writes files: whatever stands at the path (a file,
// a link, a FIFO, a device, a stream), a write lands whole or leaves it as it
// was, and only the program's own temporary file is ever removed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "files/safe_write.h"
#include "tests/test_support.h"

namespace {

namespace fs = std::filesystem;

const std::string NEW = "new contents";

std::atomic<int> failingFsyncs{0}, zeroRandoms{0};

}  // namespace

// The test binary's own fsync: it stands in for the C library's everywhere
// in the binary, so that a test can make the flush to the disk fail.
extern "C" int fsync(int fd) {
    if (failingFsyncs > 0) {
        --failingFsyncs;
        errno = EIO;
        return -1;
    }
    return static_cast<int>(::syscall(SYS_fsync, fd));
}

// And its own getrandom, so that a test can know the temporary's name.
extern "C" ssize_t getrandom(void* buffer, size_t length, unsigned int flags) {
    if (zeroRandoms > 0) {
        --zeroRandoms;
        std::memset(buffer, 0, length);
        return static_cast<ssize_t>(length);
    }
    return static_cast<ssize_t>(::syscall(SYS_getrandom, buffer, length, flags));
}

// What stands at the path before the write, and what must stand there after
// it: the new contents at `lands` (the path or a link's target) with nothing
// before it removed and no temporary file left, or the old state untouched
// when the write fails with `errorNumber`.
TEST(SafeWrite, EveryKindOfPathEndsWholeOrAsItWas) {
    struct Case {
        const char* what;
        void (*setUp)(const TempFolder&);
        int errorNumber;  // 0: the write works; -1: refused without an errno
        const char* lands = "a";
        bool keepExisting = false, regularOnly = false, failingBody = false;
    };
    const Case cases[] = {
        {"a file, its permissions kept",
         [](const TempFolder& f) { writeFile(f.at("a"), "old"), fs::permissions(f.at("a"), fs::perms(0640)); }, 0},
        {"a relative chain of links into another folder",
         [](const TempFolder& f) {
             fs::create_directory(f.at("d"));
             writeFile(f.at("d/b"), "old");
             fs::create_symlink("d/b", f.at("two")), fs::create_symlink("two", f.at("a"));
         },
         0, "d/b"},
        {"a link that leads nowhere yet", [](const TempFolder& f) { fs::create_symlink("b", f.at("a")); }, 0, "b"},
        {"a link planted at the old temporary name",
         [](const TempFolder& f) { writeFile(f.at("victim"), "old"), fs::create_symlink("victim", f.at("a.tmp")); }, 0},
        {"a link planted at the temporary's name, neither followed nor removed",
         [](const TempFolder& f) {
             writeFile(f.at("victim"), "old"), fs::create_symlink("victim", f.at(".a.000000000000.tmp"));
             zeroRandoms = 1;  // the first name tried ends in twelve zeros
         },
         0},
        {"a flush to the disk that fails", [](const TempFolder& f) { writeFile(f.at("a"), "old"), failingFsyncs = 1; },
         EIO},
        {"a body that fails", [](const TempFolder& f) { writeFile(f.at("a"), "old"); }, -1, "a", false, false, true},
        {"a file that must not be replaced", [](const TempFolder& f) { writeFile(f.at("a"), "old"); }, EEXIST, "a",
         true},
        {"a folder", [](const TempFolder& f) { fs::create_directory(f.at("a")); }, EISDIR},
        {"a link into a folder that is not there", [](const TempFolder& f) { fs::create_symlink("none/b", f.at("a")); },
         ENOENT},
        {"a device that refuses to write",
         [](const TempFolder& f) { ::mknod(f.at("a").c_str(), S_IFCHR | 0666, makedev(1, 7)); }, ENOSPC},
        {"a FIFO where only a regular file will do", [](const TempFolder& f) { ::mkfifo(f.at("a").c_str(), 0600); }, -1,
         "a", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder f;
        c.setUp(f);
        const std::vector<std::string> before = f.names();
        const fs::file_type kind = fs::symlink_status(f.at("a")).type();
        WriteOptions options;
        options.replaceExisting = !c.keepExisting;
        options.regularFileOnly = c.regularOnly;
        const WriteResult r = writeFileSafely(
            f.at("a"),
            [&c](FILE* out, std::string&) { return std::fputs(NEW.c_str(), out) >= 0 && !c.failingBody; }, options);
        failingFsyncs = zeroRandoms = 0;
        EXPECT_EQ(r.ok, c.errorNumber == 0) << r.error;
        if (c.errorNumber != 0) {
            EXPECT_EQ(r.errorNumber, std::max(c.errorNumber, 0)) << r.error;
            EXPECT_EQ(f.names(), before);  // nothing added, nothing removed
            EXPECT_EQ(fs::symlink_status(f.at("a")).type(), kind);
            if (kind == fs::file_type::regular) {
                EXPECT_EQ(readFile(f.at("a")), "old");
            }
        } else {
            EXPECT_EQ(readFile(f.at(c.lands)), NEW);
            const fs::file_type now = fs::symlink_status(f.at("a")).type();
            EXPECT_EQ(now, kind == fs::file_type::symlink ? kind : fs::file_type::regular);
            const std::vector<std::string> after = f.names();
            for (const std::string& name : before) EXPECT_TRUE(fs::exists(fs::symlink_status(f.at(name)))) << name;
            for (const std::string& name : after) {
                const bool old = std::find(before.begin(), before.end(), name) != before.end();
                EXPECT_TRUE(old || name[0] != '.') << "a temporary file left: " << name;
            }
            if (fs::exists(f.at("victim"))) {
                EXPECT_EQ(readFile(f.at("victim")), "old");
            }
            if (std::strstr(c.what, "permissions")) {
                EXPECT_EQ(fs::status(f.at("a")).permissions(), fs::perms(0640));
            }
        }
    }
}

// Streams: a FIFO with a reader, and /dev/fd/N of a pipe, are written into
// directly; /proc/self/fd/N of a regular file writes that very file.
TEST(SafeWrite, FifosAndStreamsAreWrittenDirectly) {
    TempFolder f;
    ASSERT_EQ(::mkfifo(f.at("fifo").c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] { got = readFile(f.at("fifo")); });
    EXPECT_TRUE(writeFileSafely(f.at("fifo"), NEW.data(), NEW.size()).ok);
    reader.join();
    EXPECT_EQ(got, NEW);
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(f.at("fifo"))));

    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    EXPECT_TRUE(writeFileSafely("/dev/fd/" + std::to_string(ends[1]), NEW.data(), NEW.size()).ok);
    char buffer[64] = {};
    EXPECT_EQ(::read(ends[0], buffer, sizeof buffer), static_cast<ssize_t>(NEW.size()));
    EXPECT_EQ(std::string(buffer), NEW);
    ::close(ends[0]), ::close(ends[1]);

    writeFile(f.at("out"), "a longer old text");
    FILE* out = std::fopen(f.at("out").c_str(), "r+");
    EXPECT_TRUE(writeFileSafely("/proc/self/fd/" + std::to_string(::fileno(out)), NEW.data(), NEW.size()).ok);
    std::fclose(out);
    EXPECT_EQ(readFile(f.at("out")), NEW);
    EXPECT_EQ(f.names(), (std::vector<std::string>{"fifo", "out"}));
}
