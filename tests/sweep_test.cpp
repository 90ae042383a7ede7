// SPDX-License-Identifier: MIT
// Sweeps over damaged files: every truncation of a WAD, a TMD and a ticket
// up to 4100 bytes, and every single-byte change in a WAD's 64-byte header.
// Each case runs the whole driver in this process, over the in-memory OS
// layer, in both output forms and verified: it must end with the exit code
// that the file's layout calls for, with the file closed and no buffer
// held, every JSON line must parse, and verification, which reads the
// whole file once, must report the facts the report's few reads give. One
// case in every SampleEvery also runs the built tool on a real file, which
// must print the same bytes.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdio>
#include <map>

#include <nlohmann/json.hpp>

#include "cli/driver.h"
#include "common/output.h"
#include "common/runstate.h"
#include "memory_run.h"
#include "os_memory.h"
#include "tool_run.h"

namespace {

using titlecraft::Bytes;

constexpr int SampleEvery = 211;

std::uint32_t be32(const Bytes& b, std::size_t off) {
    return std::uint32_t{b[off]} << 24 | std::uint32_t{b[off + 1]} << 16 | std::uint32_t{b[off + 2]} << 8 | b[off + 3];
}

std::uint64_t align64(std::uint64_t n) {
    return (n + 63) / 64 * 64;
}

// What a WAD with an intact prefix should give: its TMD where the section
// lengths put it, inside the file; its records inside the TMD's section,
// then inside the file.
int expectedForWad(const Bytes& wad) {
    std::uint64_t tmd = 0x40 + 0xA00 + align64(be32(wad, 0x0C)) + align64(be32(wad, 0x10));
    if (tmd + 484 > wad.size())
        return 11;
    std::uint64_t count = std::uint64_t{wad[tmd + 0x1DE]} << 8 | wad[tmd + 0x1DF];
    if (484 + count * 36 > be32(wad, 0x14))
        return 14;
    return tmd + 484 + count * 36 > wad.size() ? 11 : 0;
}

struct InProcessRun {
    int exitCode;
    std::string out;
};

InProcessRun runInProcess(const Bytes& file, const char* option) {
    setMemoryFile(file.data(), file.size(), static_cast<std::int64_t>(file.size()), false);
    runOptions = DefaultRunOptions;
    outReset();
    clearMemoryOutput();
    std::string words[] = {"Tessarlumen", option, "f"};
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), nullptr};
    int exitCode = runMain(3, argv);
    return {exitCode, memoryOutput()};
}

struct Sweep {
    TempDir dir;
    int cases = 0;
    std::map<int, int> byExitCode;

    void run(const Bytes& file, int expected) {
        SCOPED_TRACE("length " + std::to_string(file.size()) + ", case " + std::to_string(cases));
        InProcessRun text = runInProcess(file, "/n");
        EXPECT_EQ(text.exitCode, expected);
        EXPECT_EQ(memoryFilesOpen(), 0);
        EXPECT_EQ(memoryBlocksLive(), 0);
        InProcessRun json = runInProcess(file, "/j");
        EXPECT_EQ(json.exitCode, expected);
        EXPECT_TRUE(nlohmann::json::accept(json.out)) << json.out;
        EXPECT_EQ(json.out.find('\n'), json.out.size() - 1);
        checkVerified(file, json, expected);
        if (cases++ % SampleEvery == 0)
            compareWithTheTool(file, text);
        ++byExitCode[text.exitCode];
    }

    // The same facts, with the verdict's fields besides.
    static void checkVerified(const Bytes& file, const InProcessRun& json, int expected) {
        MemoryRun verified = runInMemory({"/j", "/v", "f"}, file);
        EXPECT_TRUE(verified.clean);
        if (expected != 0) {
            EXPECT_EQ(verified.exitCode, expected);
            EXPECT_EQ(verified.out, json.out);
            return;
        }
        EXPECT_TRUE(verified.exitCode == 0 || verified.exitCode == 15 || verified.exitCode == 16) << verified.exitCode;
        nlohmann::json facts = nlohmann::json::parse(verified.out);
        facts.erase("verify");
        facts.erase("banner");
        if (facts.contains("contents"))
            for (nlohmann::json& content : facts["contents"])
                content.erase("hash");
        EXPECT_EQ(facts, nlohmann::json::parse(json.out));
    }

    void compareWithTheTool(const Bytes& file, const InProcessRun& inProcess) {
        dir.write("f", file);
        std::string leftovers = dir.path + "/leftovers";
        ToolRun tool = runProgram(TESSARLUMEN_FAULTS_EXE, {"/n", "f"}, dir.path,
                                  {"TESSARLUMEN_FAULT_REPORT=" + leftovers}, false);
        EXPECT_EQ(tool.exitCode, inProcess.exitCode);
        EXPECT_EQ(tool.out, inProcess.out);
        // A failure's reason alone, on one line.
        EXPECT_EQ(tool.err.empty(), tool.exitCode == 0);
        EXPECT_EQ(tool.err.rfind("Tessarlumen: f: ", 0), tool.err.empty() ? std::string::npos : 0);
        EXPECT_EQ(std::count(tool.err.begin(), tool.err.end(), '\n'), tool.err.empty() ? 0 : 1);
        EXPECT_EQ(firstLine(readFileBytes(leftovers)), "open-descriptors=0 live-blocks=0");
    }

    void printTally(const char* what) const {
        std::printf("%s: %d cases;", what, cases);
        for (const auto& [code, count] : byExitCode)
            std::printf(" exit %d: %d;", code, count);
        std::printf("\n");
    }
};

titlecraft::Tmd threeContents() {
    return {.contents = {{0x0001, 700}, {0x8001, 900}, {0x0001, 1100}}};
}

Bytes prefix(const Bytes& b, std::size_t length) {
    return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(length));
}

TEST(Sweep, EveryTruncationUpTo4100Bytes) {
    Bytes wad = titlecraft::wadBytes(threeContents(), {});
    Bytes tmd = titlecraft::concat(titlecraft::tmdBytes(threeContents()), titlecraft::certChain(0x700));
    Bytes ticket = titlecraft::concat(titlecraft::ticketBytes({.version = 2}), titlecraft::certChain(0x700));
    Sweep sweep;
    for (std::size_t length = 0; length <= 4100; ++length) {
        sweep.run(prefix(wad, length), length < 3812 ? 14 : length < 0xEE4 + 3 * 36 ? 11 : 0);
        if (length <= tmd.size())
            sweep.run(prefix(tmd, length), length < 484 ? 14 : length < 484 + 3 * 36 ? 11 : 0);
        if (length <= ticket.size())
            sweep.run(prefix(ticket, length), length < 484 ? 14 : 0);
    }
    sweep.printTally("truncations");
}

TEST(Sweep, EverySingleByteChangeInTheWadHeader) {
    const Bytes wad = titlecraft::wadBytes(threeContents(), {});
    Sweep sweep;
    for (std::size_t at = 0; at < 0x40; ++at) {
        for (int value = 0; value < 256; ++value) {
            if (value == wad[at])
                continue;
            Bytes changed = wad;
            changed[at] = static_cast<std::uint8_t>(value);
            sweep.run(changed, at < 12 ? 14 : expectedForWad(changed));
        }
    }
    sweep.printTally("header changes");
}

}  // namespace
