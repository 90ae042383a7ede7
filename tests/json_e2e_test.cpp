// SPDX-License-Identifier: MIT
// JSON Lines (/j) and keeping going (/k): every line the tool writes is
// parsed with a real JSON parser and its fields checked against the files
// the test made.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "tool_run.h"

namespace {

using nlohmann::json;
using titlecraft::Bytes;
using titlecraft::Content;
using titlecraft::Ticket;
using titlecraft::Tmd;
using titlecraft::WadLayout;

// Every line of the output, parsed; a line that does not parse fails the test.
std::vector<json> parseLines(const std::string& out) {
    std::vector<json> objects;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        EXPECT_TRUE(json::accept(line)) << line;
        if (json::accept(line))
            objects.push_back(json::parse(line));
    }
    EXPECT_TRUE(out.empty() || out.back() == '\n');
    return objects;
}

std::string hexAt(const Bytes& b, std::size_t off, std::size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::size_t i = 0; i < n; ++i) {
        hex += digits[b[off + i] >> 4];
        hex += digits[b[off + i] & 15];
    }
    return hex;
}

Bytes resized(Bytes b, std::size_t length) {
    b.resize(length);
    return b;
}

constexpr std::size_t UsualTicketAt = 0xA40;  // in a WAD without a revocation list

struct JsonCase {
    const char* name;
    Bytes file;
    std::function<void(const json&, const Bytes&)> check;
};

const Tmd Channel{.region = 2, .version = 3, .ios = 58,
                  .contents = {{0x0001, 1984}, {0x0001, 46080}, {0x8001, 2560}}};

void checkWadTicket(const json& j, const Bytes& file, std::size_t ticketAt) {
    EXPECT_EQ(j["ticket"]["ticketId"], hexAt(file, ticketAt + 0x1D0, 8));
    EXPECT_EQ(j["ticket"]["consoleId"], hexAt(file, ticketAt + 0x1D8, 4));
}

std::vector<JsonCase> jsonCases() {
    return {
        {"WAD", titlecraft::wadBytes(Channel, {.version = 3}, {.footerLength = 0x40}),
         [](const json& j, const Bytes& f) {
             EXPECT_EQ(j["kind"], "wad");
             EXPECT_EQ(j["titleId"], "0001000154534C41");
             EXPECT_EQ(j["type"], "Channel Title");
             EXPECT_EQ(j["name"], "TSLA");
             EXPECT_EQ(j["version"], 3);
             EXPECT_EQ(j["maker"], "TL");
             EXPECT_EQ(j["ios"], 58);
             EXPECT_EQ(j["region"], "Europe");
             EXPECT_EQ(j["regionCode"], 2);
             ASSERT_EQ(j["contents"].size(), 3u);
             const json& shared = j["contents"][2];
             EXPECT_EQ(shared["id"], "00000002");
             EXPECT_EQ(shared["index"], 2);
             EXPECT_EQ(shared["type"], 0x8001);
             EXPECT_EQ(shared["shared"], true);
             EXPECT_EQ(shared["size"], 2560);
             EXPECT_EQ(j["contents"][0]["shared"], false);
             std::size_t tmdAt = 0xD00;
             std::string sha1 = hexAt(f, tmdAt + 0x1E4 + 2 * 36 + 0x10, 20);
             for (char& c : sha1)
                 c = static_cast<char>(std::tolower(c));
             EXPECT_EQ(shared["sha1"], sha1);
             EXPECT_EQ(j["size"], 51892);
             EXPECT_EQ(j["ownSize"], 49332);
             EXPECT_EQ(j["sharedSize"], 2560);
             EXPECT_EQ(j["blocks"], 1);
             EXPECT_EQ(j["ownBlocks"], 1);
             checkWadTicket(j, f, UsualTicketAt);
             EXPECT_EQ(j["ticket"]["personal"], false);
             EXPECT_EQ(j["ticket"]["commonKey"], "standard");
             EXPECT_EQ(j["wad"]["type"], "Is");
             EXPECT_EQ(j["wad"]["fileLength"], f.size());
             EXPECT_EQ(j["wad"]["expectedLength"], f.size());
             EXPECT_EQ(j["wad"]["complete"], true);
         }},
        {"WAD cut off in its data", resized(titlecraft::wadBytes(Channel, {}), 20000),
         [](const json& j, const Bytes&) {
             EXPECT_EQ(j["wad"]["fileLength"], 20000);
             EXPECT_GT(j["wad"]["expectedLength"], 20000);
             EXPECT_EQ(j["wad"]["complete"], false);
             EXPECT_EQ(j["wad"]["extraBytes"], 0);
         }},
        {"WAD with bytes appended", titlecraft::concat(titlecraft::wadBytes(Channel, {}), Bytes(1000, 0)),
         [](const json& j, const Bytes& f) {
             EXPECT_EQ(j["wad"]["expectedLength"], f.size() - 1000);
             EXPECT_EQ(j["wad"]["complete"], true);
             EXPECT_EQ(j["wad"]["extraBytes"], 1000);
         }},
        {"WAD with a revocation list and a personal Korean ticket",
         titlecraft::wadBytes(Channel, {.consoleId = 0x0BADCAFE, .commonKey = 1}, {.type = "ib", .crlLength = 0x100}),
         [](const json& j, const Bytes& f) {
             EXPECT_EQ(j["name"], "TSLA");
             EXPECT_EQ(j["contents"].size(), 3u);
             checkWadTicket(j, f, UsualTicketAt + 0x100);
             EXPECT_EQ(j["ticket"]["consoleId"], "0BADCAFE");
             EXPECT_EQ(j["ticket"]["personal"], true);
             EXPECT_EQ(j["ticket"]["commonKey"], "korean");
             EXPECT_EQ(j["wad"]["type"], "ib");
             EXPECT_EQ(j["wad"]["complete"], true);
         }},
        {"WAD whose revocation list pushes the ticket past the first read",
         titlecraft::wadBytes(Channel, {.consoleId = 7, .commonKey = 2}, {.crlLength = 0x400}),
         [](const json& j, const Bytes& f) {
             checkWadTicket(j, f, UsualTicketAt + 0x400);
             EXPECT_EQ(j["ticket"]["commonKey"], "vwii");
             EXPECT_EQ(j["version"], 3);
         }},
        // The ticket's own title ID and version tell a WAD packed with another title's ticket.
        {"WAD with another title's ticket",
         titlecraft::wadBytes(Channel, {.high = 0x00010001, .low = 0x41424344, .version = 9}),
         [](const json& j, const Bytes&) {
             EXPECT_EQ(j["titleId"], "0001000154534C41");
             EXPECT_EQ(j["ticket"]["titleId"], "0001000141424344");
             EXPECT_EQ(j["ticket"]["version"], 9);
             EXPECT_EQ(j["systemVersion"], "000000010000003A");  // IOS58
         }},
        {"WAD without a ticket", resized(titlecraft::wadBytes({}, {}, {.ticketLength = 0}), 4000),
         [](const json& j, const Bytes&) {
             EXPECT_EQ(j["ticket"], json::parse(R"({"ticketId":null,"consoleId":null,"personal":null,
                 "commonKey":null,"titleId":null,"version":null})"));
             EXPECT_EQ(j["wad"]["complete"], true);
         }},
        {"ticket", titlecraft::ticketBytes({.high = 1, .low = 2, .version = 0, .commonKey = 9}),
         [](const json& j, const Bytes& f) {
             EXPECT_EQ(j["kind"], "ticket");
             EXPECT_EQ(j["name"], "System Menu");
             EXPECT_EQ(j["type"], "System Title");
             EXPECT_EQ(j["version"], 0);
             EXPECT_EQ(j["ticket"]["ticketId"], hexAt(f, 0x1D0, 8));
             EXPECT_EQ(j["ticket"]["commonKey"], 9);
             EXPECT_FALSE(j.contains("contents"));
             EXPECT_FALSE(j.contains("wad"));
         }},
        {"484-byte ticket", resized(titlecraft::ticketBytes({.version = 5, .consoleId = 1}), 484),
         [](const json& j, const Bytes&) {
             EXPECT_EQ(j["version"], nullptr);
             EXPECT_EQ(j["ticket"]["version"], nullptr);
             EXPECT_EQ(j["ticket"]["titleId"], "0001000154534C41");
             EXPECT_EQ(j["ticket"]["consoleId"], "00000001");
             EXPECT_EQ(j["ticket"]["commonKey"], nullptr);
         }},
        {"490-byte ticket", resized(titlecraft::ticketBytes({.version = 5, .commonKey = 1}), 490),
         [](const json& j, const Bytes&) {
             EXPECT_EQ(j["version"], 5);
             EXPECT_EQ(j["ticket"]["commonKey"], nullptr);
         }},
        {"IOS TMD", titlecraft::tmdBytes({.high = 1, .low = 58, .region = 4, .ios = 0, .contents = {{0x8001, 5}}}),
         [](const json& j, const Bytes&) {
             EXPECT_EQ(j["kind"], "tmd");
             EXPECT_EQ(j["name"], "IOS58");
             EXPECT_EQ(j["ios"], nullptr);
             EXPECT_EQ(j["systemVersion"], "0000000000000000");
             EXPECT_EQ(j["region"], "Unknown");
             EXPECT_EQ(j["regionCode"], 4);  // Korea, which the text report calls Unknown
             EXPECT_EQ(j["size"], 1160 + 36 + 5);
             EXPECT_EQ(j["ownSize"], 1160 + 36);
             EXPECT_EQ(j["sharedSize"], 5);
             EXPECT_FALSE(j.contains("ticket"));
         }},
        {"TMD with odd codes and sizes",
         titlecraft::tmdBytes({.high = 0x00010003, .low = 0x22415C42, .maker = "\"\x01", .region = 0xFFFF, .ios = 256,
                               .contents = {{0x0001, 0xFFFFFFFFFFFFull}, {0x8001, UINT64_MAX}}}),
         [](const json& j, const Bytes&) {
             EXPECT_EQ(j["type"], "Unknown");
             EXPECT_EQ(j["name"], "\"A\\B");
             EXPECT_EQ(j["maker"], "\" ");
             EXPECT_EQ(j["ios"], nullptr);
             EXPECT_EQ(j["regionCode"], 0xFFFF);
             EXPECT_EQ(j["contents"][0]["size"], 0xFFFFFFFFFFFFull);  // past 2^32, exact
             EXPECT_EQ(j["sharedSize"], UINT64_MAX);
             EXPECT_EQ(j["size"], UINT64_MAX);
             EXPECT_EQ(j["ownSize"], 0xFFFFFFFFFFFFull + 1160 + 72);
             EXPECT_EQ(j["blocks"], (UINT64_MAX >> 17) + 1);
         }},
        {"TMD with 300 contents and its chain",
         titlecraft::concat(titlecraft::tmdBytes({.contents = std::vector<Content>(300, Content{1, 10})}),
                            titlecraft::certChain(0x700)),
         [](const json& j, const Bytes&) {
             ASSERT_EQ(j["contents"].size(), 300u);
             EXPECT_EQ(j["contents"][299]["id"], "0000012B");
             EXPECT_EQ(j["contents"][299]["index"], 299);
         }},
    };
}

TEST(Json, FieldsOfEveryKind) {
    TempDir dir;
    for (const JsonCase& c : jsonCases()) {
        SCOPED_TRACE(c.name);
        dir.write("f", c.file);
        ToolRun run = runTool({"/j", "f"}, dir.path);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "");
        std::vector<json> lines = parseLines(run.out);
        ASSERT_EQ(lines.size(), 1u) << run.out;
        EXPECT_EQ(lines[0]["file"], "f");
        c.check(lines[0], c.file);
    }
}

TEST(Json, SamplesOneLineEach) {
    std::vector<std::string> args = {"/j"};
    for (const std::string& name : titlecraft::sampleNames())
        args.push_back("samples/" + name);
    ToolRun run = runTool(args, SOURCE_DIR);
    EXPECT_EQ(run.exitCode, 0);
    std::vector<json> lines = parseLines(run.out);
    ASSERT_EQ(lines.size(), args.size() - 1);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i]["file"], args[i + 1]);
        EXPECT_FALSE(lines[i].contains("error"));
    }
}

// A failing file is an object with an error, and the run goes on; the exit
// code is the first failure's. Nothing else is written: no blank line, no
// rule, no prompt.
TEST(Json, FailingFilesInTheMiddle) {
    TempDir dir;
    dir.write("a.tik", titlecraft::ticketBytes({}));
    dir.write("short.tmd", Bytes(483));
    ToolRun run = runTool({"/J", "a.tik", "missing", "short.tmd", "a.tik"}, dir.path);
    EXPECT_EQ(run.exitCode, 11);
    std::vector<json> lines = parseLines(run.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], json::parse(R"({"file":"missing","error":"cannot-read","reason":"No such file or directory","cause":"system-error"})"));
    EXPECT_EQ(lines[2], json::parse(R"({"file":"short.tmd","error":"unknown-structure","reason":"shorter than any title file","cause":"too-short"})"));
    EXPECT_EQ(lines[3]["kind"], "ticket");
    EXPECT_EQ(run.out.find("\n\n"), std::string::npos);
    EXPECT_EQ(run.out.find("Press"), std::string::npos);
}

struct NameCase {
    const char* what;
    std::string name;  // as the file is called on disk and on the command line
    std::string inJson;
};

// Names come out as UTF-8; what is not UTF-8 becomes U+FFFD, and control and
// format characters are escaped, never replaced.
TEST(Json, HostileNames) {
    SKIP_UNDER_WINE("control characters and undecodable bytes do not pass a Windows command line");
    const NameCase cases[] = {
        {"quote and backslash", "a\"b\\c", R"("a\"b\\c")"},
        {"control characters", "t\tn\nd\x7f\x1b", R"("t\tn\nd\u007F\u001B")"},
        {"right-to-left override", "rlo\xe2\x80\xaegpj.tmd", R"("rlo\u202Egpj.tmd")"},
        {"emoji", "\xf0\x9f\x98\x80", "\"\xf0\x9f\x98\x80\""},
        {"invalid bytes", "\xff\xfe.wad", "\"\xef\xbf\xbd\xef\xbf\xbd.wad\""},
        {"cut-off character", "a\xe2\x82", "\"a\xef\xbf\xbd\xef\xbf\xbd\""},
        {"tag character", "x\xf3\xa0\x80\x81", R"("x\uDB40\uDC01")"},
    };
    TempDir dir;
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.what);
        dir.write(c.name, titlecraft::ticketBytes({}));
        ToolRun run = runTool({"/j", c.name, "/missing/" + c.name}, dir.path);
        EXPECT_EQ(run.exitCode, 11);
        ASSERT_EQ(run.out.substr(0, 9 + c.inJson.size()), "{\"file\":" + c.inJson + ",");
        std::vector<json> lines = parseLines(run.out);
        ASSERT_EQ(lines.size(), 2u);
        EXPECT_EQ(lines[0]["file"], json::parse(c.inJson));
        EXPECT_EQ(lines[1]["file"], "/missing/" + json::parse(c.inJson).get<std::string>());
    }
}

const std::string Prompt = "\nPress a key to continue...\n";

std::string ticketReport(const std::string& name) {
    return "\nTicket info of \"" + name + "\" :\n\nPath: '00010001\\54534C41'\nType: Channel Title\nTitleID: 'TSLA'\n" +
           Rule + "\n";
}

struct KeepGoingCase {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    int exitCode;
    std::string err;  // each failure's reason, in file order
};

TEST(KeepGoing, FailuresPrintTheirMessagesAndTheRunGoesOn) {
    const std::string missing = "\nError: Cannot read file 'missing' !\n\n";
    const std::string unknown = "\nError: Unknown file structure! (short.tmd)\n\n";
    const KeepGoingCase cases[] = {
        {"all reported", {"/k", "/n", "a.tik", "a.tik"}, ticketReport("a.tik") + ticketReport("a.tik") + "\n", 0, ""},
        {"first failure's code", {"-K", "/n", "a.tik", "short.tmd", "missing", "a.tik"},
         ticketReport("a.tik") + unknown + missing + ticketReport("a.tik") + "\n", 14,
         "Tessarlumen: short.tmd: shorter than any title file\nTessarlumen: missing: No such file or directory\n"},
        {"one wait at the end", {"/keep", "missing", "a.tik"}, missing + ticketReport("a.tik") + "\n" + Prompt, 11,
         "Tessarlumen: missing: No such file or directory\n"},
    };
    TempDir dir;
    dir.write("a.tik", titlecraft::ticketBytes({}));
    dir.write("short.tmd", Bytes(483));
    for (const KeepGoingCase& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun run = runTool(c.args, dir.path);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.err, c.err);
    }
}

}  // namespace
