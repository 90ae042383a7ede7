// The POSIX file calls and their contracts: what opens, what has a length,
// and that a read is whole or a failure.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/os.h"

namespace {

struct Scratch {
    std::string dir;
    Scratch() {
        char pattern[] = "/tmp/tessarlumen-os-XXXXXX";
        dir = mkdtemp(pattern);
    }
    ~Scratch() { std::system(("rm -rf '" + dir + "'").c_str()); }
    std::string file(const char* name, std::size_t length) const {
        std::string path = dir + "/" + name;
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::string bytes(length, 'x');
        EXPECT_EQ(write(fd, bytes.data(), length), static_cast<ssize_t>(length));
        close(fd);
        return path;
    }
};

TEST(Platform, OpenAndLength) {
    Scratch s;
    std::string regular = s.file("regular", 1000);
    std::string fifo = s.dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    struct Case {
        std::string path;
        int open;
        std::int64_t length;
    } cases[] = {
        {regular, OsOk, 1000},
        {s.file("empty", 0), OsOk, 0},
        {fifo, OsOk, -1},  // opens without a writer, without blocking
        {"/dev/null", OsOk, -1},
        {s.dir, OsError, 0},
        {s.dir + "/missing", OsError, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        OsFile file{-1, 0};
        ASSERT_EQ(osOpen(c.path.c_str(), &file), c.open);
        if (c.open != OsOk)
            continue;
        EXPECT_EQ(osFileLength(&file), c.length);
        EXPECT_EQ(fcntl(static_cast<int>(file.handle), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
        osClose(&file);
    }
}

TEST(Platform, ReadsAreWholeOrShort) {
    Scratch s;
    std::string path = s.file("data", 100);
    OsFile file{-1, 0};
    ASSERT_EQ(osOpen(path.c_str(), &file), OsOk);
    char buf[200];
    EXPECT_EQ(osReadAt(&file, 0, buf, 100), OsOk);
    EXPECT_EQ(osReadAt(&file, 60, buf, 40), OsOk);
    EXPECT_EQ(osReadAt(&file, 60, buf, 41), OsError);
    EXPECT_EQ(osReadAt(&file, 100, buf, 1), OsError);
    EXPECT_EQ(osReadAt(&file, UINT64_MAX - 1, buf, 1), OsError);
    // Cut after its length was taken: the rest is a short read, not garbage.
    ASSERT_EQ(truncate(path.c_str(), 50), 0);
    EXPECT_EQ(osFileLength(&file), 100);
    EXPECT_EQ(osReadAt(&file, 0, buf, 100), OsError);
    osClose(&file);
}

}  // namespace
