// SPDX-License-Identifier: MIT
// What a title's read keeps: a report of a regular file reads just the
// bytes it needs, each once, in as few reads as its layout allows; a
// stream, read in pieces of any size, and a verified file, read whole,
// report exactly what those few reads report, however far from the start
// the bytes they need lie.
#include <gtest/gtest.h>

#include "memory_run.h"
#include "os_memory.h"
#include "titlecraft.h"

namespace {

using titlecraft::Bytes;

titlecraft::Tmd tmdWith(std::size_t contents) {
    titlecraft::Tmd tmd{.version = 2};
    for (std::size_t i = 0; i < contents; ++i)
        tmd.contents.push_back({static_cast<std::uint16_t>(i % 3 == 2 ? 0x8001 : 0x0001), 100 + i * 10});
    return tmd;
}

struct ReadCase {
    const char* name;
    Bytes file;
    long reads;          // without /v, of a regular file
    long verifiedReads;  // with /v: its first bytes, then a WAD in blocks of 1 MiB, else what it needs
};

const ReadCase ReadCases[] = {
    {"WAD", titlecraft::wadBytes(tmdWith(3), {}), 2, 2},
    // The ticket, TMD header and records past the header read: one read each.
    {"WAD with a long revocation list", titlecraft::wadBytes(tmdWith(3), {}, {.crlLength = 0x2000}), 4, 2},
    {"WAD of no contents", titlecraft::wadBytes(tmdWith(0), {}), 1, 1},
    // Bytes past the title are never read.
    {"WAD with 2 MiB appended", titlecraft::concat(titlecraft::wadBytes(tmdWith(3), {}), Bytes(2 << 20, 0)), 2, 2},
    {"WAD of 3,812 bytes, the least: its TMD header unpadded at the end", [] { Bytes b = titlecraft::wadBytes(tmdWith(0), {}); b.resize(0xEE4); return b; }(), 1, 1},
    {"TMD and its chain", titlecraft::concat(titlecraft::tmdBytes(tmdWith(2)), titlecraft::certChain(0x700)), 2, 1},
    {"TMD of no contents", titlecraft::tmdBytes(tmdWith(0)), 1, 1},
    // Records far past the start: the start, then the rest of them.
    {"TMD of 400 contents", titlecraft::tmdBytes(tmdWith(400)), 2, 2},
    {"ticket and its chain", titlecraft::concat(titlecraft::ticketBytes({.version = 4}), titlecraft::certChain(0x700)), 1, 1},
    {"ticket", titlecraft::ticketBytes({.version = 4}), 1, 1},
    // Larger than a verifying read's block.
    {"TMD of 30,000 contents", titlecraft::tmdBytes(tmdWith(30000)), 2, 2},
    {"TMD a byte past 1 MiB: verified, the chain's room after its records is read apart", [] { Bytes b = titlecraft::tmdBytes(tmdWith(29000)); b.resize((1 << 20) + 1); return b; }(), 2, 3},
};

const MemoryForm Streams[] = {{1, 0}, {7, 0}, {4096, 0}, {65536, 100}};

TEST(Reads, AReportReadsOnlyWhatItNeeds) {
    for (const ReadCase& c : ReadCases) {
        SCOPED_TRACE(c.name);
        long before = memoryFileReads();
        MemoryRun report = runInMemory({"/j", "f"}, c.file);
        EXPECT_EQ(memoryFileReads() - before, c.reads);
        EXPECT_EQ(report.exitCode, 0);
        EXPECT_TRUE(report.clean);
        for (const MemoryForm& form : Streams) {
            SCOPED_TRACE("read " + std::to_string(form.chunk) + " at a time");
            MemoryRun stream = runInMemory({"/j", "f"}, c.file, form);
            EXPECT_EQ(stream.out, report.out);
            EXPECT_TRUE(stream.clean);
        }
        // Verified, the file is read once, as far as the title needs.
        before = memoryFileReads();
        MemoryRun verified = runInMemory({"/n", "/v", "f"}, c.file);
        EXPECT_EQ(memoryFileReads() - before, c.verifiedReads);
        EXPECT_EQ(verified.out.substr(0, verified.out.find("Signatures: ")),
                  runInMemory({"/n", "f"}, c.file).out.substr(0, verified.out.find("Signatures: ")));
    }
    // A file that is no title, verified: its first bytes tell, in one read.
    long before = memoryFileReads();
    EXPECT_EQ(runInMemory({"/n", "/v", "f"}, Bytes(3 << 20, 0x5A)).exitCode, 14);
    EXPECT_EQ(memoryFileReads() - before, 1);
}

}  // namespace
