// Sweeps over damaged files: every truncation of a WAD, a TMD and a ticket
// up to 4100 bytes, and every single-byte change in a WAD's 64-byte header.
// Each case runs the tool with failure bookkeeping and must end with the
// exit code that the file's layout calls for, no descriptor and no block
// left behind, and nothing on standard error. A hang is killed and fails.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "tool_run.h"

namespace {

using titlecraft::Bytes;

std::uint32_t be32(const Bytes& b, std::size_t off) {
    return std::uint32_t{b[off]} << 24 | std::uint32_t{b[off + 1]} << 16 | std::uint32_t{b[off + 2]} << 8 | b[off + 3];
}

std::uint64_t align64(std::uint64_t n) {
    return (n + 63) / 64 * 64;
}

// What a WAD with an intact prefix should give: its TMD where the section
// lengths put it, and the records after it, both inside the file.
int expectedForWad(const Bytes& wad) {
    std::uint64_t tmd = 0x40 + 0xA00 + align64(be32(wad, 0x0C)) + align64(be32(wad, 0x10));
    if (tmd + 484 > wad.size())
        return 11;
    std::uint64_t count = std::uint64_t{wad[tmd + 0x1DE]} << 8 | wad[tmd + 0x1DF];
    return tmd + 484 + count * 36 > wad.size() ? 11 : 0;
}

struct Tally {
    int cases = 0;
    std::map<int, int> byExitCode;
};

void runCase(const TempDir& dir, const Bytes& file, int expected, Tally* tally) {
    dir.write("f", file);
    std::string leftovers = dir.path + "/leftovers";
    ToolRun run = runProgram(TESSARLUMEN_FAULTS_EXE, {"/n", "f"}, dir.path,
                             {"TESSARLUMEN_FAULT_REPORT=" + leftovers}, false);
    ++tally->cases;
    ++tally->byExitCode[run.exitCode];
    EXPECT_EQ(run.exitCode, expected) << "length " << file.size();
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readFileBytes(leftovers), "open-descriptors=0 live-blocks=0\n");  // the sweeps never run wrapped
}

void printTally(const char* what, const Tally& tally) {
    std::printf("%s: %d cases;", what, tally.cases);
    for (const auto& [code, count] : tally.byExitCode)
        std::printf(" exit %d: %d;", code, count);
    std::printf("\n");
}

titlecraft::Tmd threeContents() {
    return {.contents = {{0x0001, 700}, {0x8001, 900}, {0x0001, 1100}}};
}

TEST(Sweep, EveryTruncationUpTo4100Bytes) {
    TempDir dir;
    Bytes wad = titlecraft::wadBytes(threeContents(), {});
    Bytes tmd = titlecraft::concat(titlecraft::tmdBytes(threeContents()), titlecraft::certChain(0x700));
    Bytes ticket = titlecraft::concat(titlecraft::ticketBytes({.version = 2}), titlecraft::certChain(0x700));
    Tally tally;
    for (std::size_t length = 0; length <= 4100; ++length) {
        Bytes cut(wad.begin(), wad.begin() + static_cast<std::ptrdiff_t>(length));
        runCase(dir, cut, length < 3812 ? 14 : length < 0xEE4 + 3 * 36 ? 11 : 0, &tally);
        if (length <= tmd.size()) {
            cut.assign(tmd.begin(), tmd.begin() + static_cast<std::ptrdiff_t>(length));
            runCase(dir, cut, length < 484 ? 14 : length < 484 + 3 * 36 ? 11 : 0, &tally);
        }
        if (length <= ticket.size()) {
            cut.assign(ticket.begin(), ticket.begin() + static_cast<std::ptrdiff_t>(length));
            runCase(dir, cut, length < 484 ? 14 : 0, &tally);
        }
    }
    printTally("truncations", tally);
}

TEST(Sweep, EverySingleByteChangeInTheWadHeader) {
    TempDir dir;
    const Bytes wad = titlecraft::wadBytes(threeContents(), {});
    Tally tally;
    for (std::size_t at = 0; at < 0x40; ++at) {
        for (int value = 0; value < 256; ++value) {
            if (value == wad[at])
                continue;
            Bytes changed = wad;
            changed[at] = static_cast<std::uint8_t>(value);
            runCase(dir, changed, at < 12 ? 14 : expectedForWad(changed), &tally);
        }
    }
    printTally("header changes", tally);
}

}  // namespace
