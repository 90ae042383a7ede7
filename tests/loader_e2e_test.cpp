// SPDX-License-Identifier: MIT
// How files are classified and read: every accepted layout, the lengths at
// its edges, and the ways a file can fail.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <regex>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "tool_run.h"

namespace {

using titlecraft::Bytes;
using titlecraft::Content;
using titlecraft::Ticket;
using titlecraft::Tmd;
using titlecraft::WadLayout;

Bytes resized(Bytes b, std::size_t length, std::uint8_t fill = 0) {
    b.resize(length, fill);
    return b;
}

Tmd tmdWith(std::size_t contents) {
    Tmd tmd;
    tmd.contents.assign(contents, Content{0x0001, 100});
    return tmd;
}

Tmd tmdWithCountField(std::size_t contents, std::uint16_t countField) {
    Tmd tmd = tmdWith(contents);
    tmd.countField = countField;
    return tmd;
}

Bytes ticketWithVersion(std::uint16_t version) {
    return titlecraft::ticketBytes({.version = version});
}

Bytes ticketWithIssuer(const char* issuer) {
    Bytes b = titlecraft::ticketBytes({});
    titlecraft::putText(b, 0x150, issuer);
    return b;
}

Bytes wadWith(const Tmd& tmd, const WadLayout& layout) {
    return titlecraft::wadBytes(tmd, Ticket{}, layout);
}

Tmd versioned(Tmd tmd, std::uint16_t version) {
    tmd.version = version;
    return tmd;
}

const std::string UnknownStructure = "\nError: Unknown file structure! (f)\n\n";
const std::string CannotRead = "\nError: Cannot read file 'f' !\n\n";

struct LoadCase {
    const char* name;
    Bytes file;
    int exitCode;
    std::string expected;    // the whole output on failure, a piece of it on success
    const char* reason = "";  // on failure, JSON's reason
};

// The reasons a file is refused, as JSON gives them.
constexpr char TooShort[] = "shorter than any title file";
constexpr char NoSignature[] = "no WAD, ticket or TMD signature";
constexpr char BeforeRecords[] = "the file ends before its records";
constexpr char PastSection[] = "the TMD claims more records than its section holds";

std::vector<LoadCase> loadCases() {
    const WadLayout plain{};
    return {
        {"empty file", {}, 14, UnknownStructure, TooShort},
        {"483 bytes", Bytes(483), 14, UnknownStructure, TooShort},
        {"TMD cut to 483 bytes", resized(titlecraft::tmdBytes(tmdWith(0)), 483), 14, UnknownStructure, TooShort},
        {"484-byte TMD", titlecraft::tmdBytes(tmdWith(0)), 0, "Data files: 0\nSize: 1160 byte (1 blocks)\n"},
        {"484-byte ticket has no version", resized(ticketWithVersion(9), 484), 0, "TitleID: 'TSLA'\n" + Rule},
        {"487-byte ticket has half a version", resized(ticketWithVersion(0x0102), 487), 0, "TitleID: 'TSLA'\n" + Rule},
        {"488-byte ticket", resized(ticketWithVersion(7), 488), 0, "TitleID: 'TSLA'    Version: 7\n" + Rule},
        {"ticket with certificate chain",
         titlecraft::concat(ticketWithVersion(3), titlecraft::certChain(0x700)), 0, "'TSLA'    Version: 3\n"},
        {"676-byte ticket", ticketWithVersion(521), 0, "'TSLA'    Version: 521\n"},
        // Long files without a WAD prefix are tickets and TMDs by their issuer.
        {"ticket padded to WAD length", resized(ticketWithVersion(1), 3812), 0, "'TSLA'    Version: 1\n"},
        {"ticket with a long chain", titlecraft::concat(ticketWithVersion(6), titlecraft::certChain(0x2000)), 0,
         "'TSLA'    Version: 6\n"},
        {"long file with neither prefix nor issuer", resized(titlecraft::certChain(16), 5000), 14, UnknownStructure,
         NoSignature},
        {"ticket with near-miss issuer", ticketWithIssuer("XS00000004"), 14, UnknownStructure, NoSignature},
        {"676-byte TMD, no contents", resized(titlecraft::tmdBytes(tmdWith(0)), 676, 0xFF), 0, "Data files: 0\n"},
        {"676-byte TMD, five contents", resized(titlecraft::tmdBytes(tmdWith(5)), 676, 0xFF), 0,
         "Data files: 5\nSize: 1840 byte (1 blocks)\n"},
        {"676-byte TMD, six contents promised",
         resized(titlecraft::tmdBytes(tmdWithCountField(5, 6)), 676, 0xFF), 11, CannotRead, BeforeRecords},
        {"TMD with 92 contents", titlecraft::tmdBytes(tmdWith(92)), 0, "Data files: 92\n"},
        {"TMD with 93 contents", titlecraft::tmdBytes(tmdWith(93)), 0, "Data files: 93\nSize: 13808 byte (1 blocks)\n"},
        {"TMD with 500 contents", titlecraft::tmdBytes(tmdWith(500)), 0, "Data files: 500\n"},
        {"TMD with 43 contents and its chain",
         titlecraft::concat(titlecraft::tmdBytes(tmdWith(43)), titlecraft::certChain(0x700)), 0, "Data files: 43\n"},
        {"long TMD promising more contents", titlecraft::tmdBytes(tmdWithCountField(100, 101)), 11, CannotRead,
         BeforeRecords},
        {"TMD promising more contents", titlecraft::tmdBytes(tmdWithCountField(2, 3)), 11, CannotRead, BeforeRecords},
        {"TMD with certificate chain",
         titlecraft::concat(titlecraft::tmdBytes(tmdWith(2)), titlecraft::certChain(0x700)), 0, "Data files: 2\n"},
        {"Is WAD", wadWith(tmdWith(3), plain), 0, "Data files: 3\n"},
        {"ib WAD", wadWith(tmdWith(3), {.type = "ib"}), 0, "Data files: 3\n"},
        {"WAD with other type letters", wadWith(tmdWith(3), {.type = "IS"}), 14, UnknownStructure, NoSignature},
        {"WAD with a revocation list", wadWith(versioned(tmdWith(2), 4660), {.crlLength = 0x100}), 0,
         "Version: 4660    ManufacturerID: TL\n"},
        {"WAD with a longer ticket", wadWith(versioned(tmdWith(2), 77), {.ticketLength = 0x2C1}), 0,
         "Version: 77    ManufacturerID: TL\nIOS Flag: IOS36    Region Flag: USA\nData files: 2\n"},
        {"WAD with no ticket", resized(wadWith(versioned(tmdWith(1), 5), {.ticketLength = 0}), 4000), 0, "Version: 5 "},
        {"WAD ending inside its moved TMD",
         resized(wadWith(tmdWith(0), {.crlLength = 0x40, .withData = false}), 3850), 11, CannotRead,
         "the file ends before its TMD"},
        {"WAD ending inside its records", resized(wadWith(tmdWith(4), {.withData = false}), 3812 + 100), 11,
         CannotRead, BeforeRecords},
        {"WAD of exactly 3812 bytes", resized(wadWith(tmdWith(0), plain), 3812), 0, "Data files: 0\n"},
        // A WAD's TMD must hold its records in the section its header declares.
        {"WAD whose TMD claims more records than its section",
         wadWith(tmdWith(3), {.tmdLength = 0x1E4 + 2 * 0x24}), 14, UnknownStructure, PastSection},
        {"... even where the file ends first", resized(wadWith(tmdWith(200), {.tmdLength = 0x1E4}), 5000), 14,
         UnknownStructure, PastSection},
        {"WAD whose TMD section has room to spare", wadWith(tmdWith(3), {.tmdLength = 0x400}), 0, "Data files: 3\n"},
        {"WAD without the certificate-chain length",
         [] {
             Bytes b = wadWith(tmdWith(1), {});
             b[0x0A] = 0x0B;
             return b;
         }(),
         14, UnknownStructure, NoSignature},
    };
}

TEST(Loader, AcceptedLayoutsAndTheirEdges) {
    TempDir dir;
    for (const LoadCase& c : loadCases()) {
        SCOPED_TRACE(c.name);
        dir.write("f", c.file);
        ToolRun run = runTool({"/n", "f"}, dir.path);
        EXPECT_EQ(run.exitCode, c.exitCode);
        if (c.exitCode == 0)
            EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out;
        else
            EXPECT_EQ(run.out, c.expected);
        // A failure's reason follows on standard error, and in JSON and the
        // one-line form.
        EXPECT_EQ(run.err, c.exitCode == 0 ? "" : "Tessarlumen: f: " + std::string(c.reason) + "\n");
        if (c.exitCode != 0) {
            std::string json = runTool({"/j", "f"}, dir.path).out;
            EXPECT_NE(json.find("\"reason\":\"" + std::string(c.reason) + "\""), std::string::npos) << json;
            std::string result = c.exitCode == 14 ? "unknown file structure" : "cannot read: " + std::string(c.reason);
            EXPECT_EQ(runTool({"/l", "f"}, dir.path).out, "-\t-\t-\t-\t" + result + "\tf\n");
        }
    }
}

TEST(Loader, TheNameDoesNotDecideTheKind) {
    TempDir dir;
    dir.write("really-a-tmd.wad", titlecraft::tmdBytes(tmdWith(1)));
    dir.write("really-a-ticket.tmd", ticketWithVersion(0));
    ToolRun run = runTool({"/n", "really-a-tmd.wad", "really-a-ticket.tmd"}, dir.path);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("\nTMD info of \"really-a-tmd.wad\" :\n"), std::string::npos);
    EXPECT_NE(run.out.find("\nTicket info of \"really-a-ticket.tmd\" :\n"), std::string::npos);
}

struct SpecialCase {
    const char* name;
    int exitCode;
    std::string out;
};

// Things that are not regular files must not be mistaken for one: a device
// is a stream, read to its end like a pipe.
TEST(Loader, FilesThatAreNotRegularFiles) {
    SKIP_UNDER_WINE("sockets and device links are POSIX objects; the Windows tests try folders and NUL");
    TempDir dir;
    ASSERT_EQ(mkdir((dir.path + "/folder").c_str(), 0755), 0);
    ASSERT_EQ(symlink("/dev/null", (dir.path + "/null").c_str()), 0);
    ASSERT_EQ(symlink("nowhere", (dir.path + "/dangling").c_str()), 0);
    int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s/socket", dir.path.c_str());
    ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const SpecialCase cases[] = {
        {"folder", 11, "\nError: Cannot read file 'folder' !\n\n"},
        {"null", 14, "\nError: Unknown file structure! (null)\n\n"},
        {"socket", 11, "\nError: Cannot read file 'socket' !\n\n"},
        {"dangling", 11, "\nError: Cannot read file 'dangling' !\n\n"},
        {"missing", 11, "\nError: Cannot read file 'missing' !\n\n"},
    };
    for (const SpecialCase& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun run = runTool({"/n", c.name}, dir.path);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out, c.out);
    }
    close(sock);
}

// The output with the file's name, however given, taken out.
std::string unnamed(std::string out, const std::string& name) {
    out = std::regex_replace(out, std::regex("/dev/fd/[0-9]+"), "");
    for (std::size_t at; !name.empty() && (at = out.find(name)) != std::string::npos;)
        out.erase(at, name.size());
    return out;
}

// A stream holds a file's bytes without a length: it is read to its end and
// reported as the file is, in text and in JSON, whatever the stream.
TEST(Loader, StreamsAreReportedAsTheFileIs) {
    TempDir dir;
    const std::pair<const char*, Bytes> files[] = {
        {"channel.wad", wadWith(tmdWith(3), {})},
        {"moved.wad", wadWith(tmdWith(2), {.crlLength = 0x10000})},
        {"cut.wad", resized(wadWith(tmdWith(4), {.withData = false}), 3812 + 100)},
        {"long.tmd", titlecraft::tmdBytes(tmdWith(500))},
        {"chained.tik", titlecraft::concat(ticketWithVersion(3), titlecraft::certChain(0x700))},
        {"short", Bytes(100)},
    };
    const std::string tool = UnderWine ? "wine \"$0\"" : "$TESSARLUMEN_TEST_WRAPPER \"$0\"";
    // Each way of handing the tool a stream, and the name it then shows.
    std::vector<std::pair<std::string, std::string>> forms = {{"cat \"$1\" | " + tool + " $2 -", "-"}};
    if (!UnderWine) {
        forms.push_back({"cat \"$1\" | " + tool + " $2 /dev/stdin", "/dev/stdin"});
        forms.push_back({tool + " $2 <(cat \"$1\")", ""});
        // A FIFO waits for its writer.
        forms.push_back({"rm -f fifo-in; mkfifo fifo-in; { sleep 0.2; cat \"$1\" >fifo-in; } & " + tool + " $2 fifo-in", "fifo-in"});
    }
    for (const auto& [name, bytes] : files) {
        dir.write(name, bytes);
        ToolRun text = runTool({"/n", name}, dir.path);
        ToolRun json = runTool({"/j", name}, dir.path);
        std::string jsonAsStream = json.out;
        jsonAsStream.replace(jsonAsStream.find(name), std::strlen(name), "-");
        for (const auto& [form, shown] : forms) {
            SCOPED_TRACE(std::string(name) + ": " + form);
            ToolRun run = runProgram("/bin/bash", {"-c", form, TESSARLUMEN_EXE, name, "/n"}, dir.path, {}, false);
            EXPECT_EQ(run.exitCode, text.exitCode);
            EXPECT_EQ(unnamed(run.out, shown), unnamed(text.out, name));
        }
        ToolRun run = runProgram("/bin/bash", {"-c", forms[0].first, TESSARLUMEN_EXE, name, "/j"}, dir.path, {}, false);
        EXPECT_EQ(run.out, jsonAsStream);
    }
}

struct HugeCase {
    const char* name;
    Bytes start;          // the bytes written; the rest of the file is a hole
    long long length;
    int exitCode;
    std::string expected;  // a piece of the output
};

// Length alone never makes the tool read more than a header and its records.
TEST(Loader, HugeAndSparseFiles) {
    Tmd most = tmdWithCountField(0, 65535);
    const HugeCase cases[] = {
        {"8 GiB of nothing", {}, 8LL << 30, 14, UnknownStructure},
        {"1 TiB WAD", wadWith(tmdWith(2), {.withData = false}), 1LL << 40, 0, "Data files: 2\n"},
        {"WAD with the most records", wadWith(most, {.withData = false}), 8LL << 30, 0,
         "Data files: 65535\nSize: 2360420 byte (19 blocks)\n"},
    };
    TempDir dir;
    for (const HugeCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = dir.write("f", c.start);
        ASSERT_EQ(truncate(path.c_str(), c.length), 0);
        ToolRun run = runTool({"/n", "f"}, dir.path);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_NE(run.out.find(c.expected), std::string::npos) << run.out;
    }
}

TEST(Loader, UnreadableFileCannotBeRead) {
    SKIP_UNDER_WINE("POSIX permissions; the Windows tests try a file another program is writing");
    TempDir dir;
    ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
    std::string path = dir.write("locked.tik", ticketWithVersion(1));
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    // The unprivileged user may not reach the build tree (a clone in a
    // private folder such as /root), so it runs a copy of the tool from here.
    std::string tool = dir.path + "/Tessarlumen";
    std::filesystem::copy_file(TESSARLUMEN_EXE, tool);
    ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
    ToolRun run = runProgram(tool, {"/n", "locked.tik"}, dir.path, {}, true);
    EXPECT_EQ(run.exitCode, 11);
    EXPECT_EQ(run.out, "\nError: Cannot read file 'locked.tik' !\n\n");
}

}  // namespace
