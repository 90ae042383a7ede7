// SPDX-License-Identifier: MIT
// What the end-to-end tests cannot reach in the POSIX file calls: a read is
// whole or a failure, even when the file shrinks after its length was taken.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "platform/os.h"

namespace {

TEST(Platform, ReadsAreWholeOrShort) {
    char path[] = "/tmp/tessarlumen-os-XXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    std::string bytes(100, 'x');
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), 100);
    close(fd);

    OsFile file{};
    ASSERT_EQ(osOpen(path, &file), OsOk);
    EXPECT_EQ(fcntl(static_cast<int>(file.handle), F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    EXPECT_EQ(osFileLength(&file), 100);
    char buf[200];
    const struct {
        std::uint64_t offset;
        std::size_t n;
        int result;
    } reads[] = {
        {0, 100, OsOk}, {60, 40, OsOk}, {60, 41, OsError}, {100, 1, OsError}, {UINT64_MAX - 1, 1, OsError},
    };
    for (const auto& r : reads)
        EXPECT_EQ(osReadAt(&file, r.offset, buf, r.n), r.result) << r.offset << "+" << r.n;
    // Cut after its length was taken: the rest is a short read, not garbage.
    ASSERT_EQ(truncate(path, 50), 0);
    EXPECT_EQ(osReadAt(&file, 0, buf, 100), OsError);
    osClose(&file);
    unlink(path);
}

}  // namespace
