// SPDX-License-Identifier: MIT
// Verification (/v) of files built to have each finding: signatures valid,
// fakesigned, changed after signing, without their certificates, of a type
// not checked; a ticket of another title; contents intact, changed, cut
// short, under a key not supplied or bound to one console.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include <nlohmann/json.hpp>

#include "signing.h"
#include "tool_run.h"

namespace {

using json = nlohmann::json;
using titlecraft::Bytes;

const titlecraft::Tmd Title{.version = 3, .contents = {{0x0001, 5000}, {0x0001, 40000}, {0x8001, 17}}};
const titlecraft::Ticket TitleTicket{.version = 3};

Bytes genuine(titlecraft::Ticket ticket = TitleTicket, titlecraft::GenuineOptions options = {}) {
    return titlecraft::genuineWad(Title, ticket, options);
}

Bytes changed(Bytes b, std::size_t at) {
    b.at(at) ^= 0x01;
    return b;
}

// A bare TMD or ticket, signed, with the certificate chain after it or not.
Bytes bare(bool ticket, bool withChain) {
    Bytes b = ticket ? titlecraft::ticketBytes(TitleTicket) : titlecraft::tmdBytes(Title);
    ticket ? titlecraft::signTicket(b) : titlecraft::signTmd(b);
    return withChain ? titlecraft::concat(b, titlecraft::syntheticCertChain()) : b;
}

struct VerifyCase {
    const char* name;
    std::function<Bytes()> file;
    const char* verify;  // the JSON object expected
    int exitCode;
};

const titlecraft::WadPlaces Places = titlecraft::wadPlaces(genuine());

const VerifyCase VerifyCases[] = {
    {"signed and whole", [] { return genuine(); },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"ok"})", 0},
    {"fakesigned", [] { return genuine(TitleTicket, {.fakesignTmd = true, .fakesignTicket = true}); },
     R"({"tmdSignature":"fakesigned","ticketSignature":"fakesigned","ticketMatches":true,"contents":"ok"})", 0},
    {"TMD changed after signing", [] { return changed(genuine(), Places.tmd + 0x1DC); },
     R"({"tmdSignature":"invalid","ticketSignature":"valid","ticketMatches":true,"contents":"ok"})", 15},
    {"CP certificate changed", [] { return changed(genuine(), Places.certs + 0x400 + 0x1C8); },
     R"({"tmdSignature":"invalid","ticketSignature":"valid","ticketMatches":true,"contents":"ok"})", 15},
    {"all-zero signature, digest not starting with zero",
     [] {
         Bytes b = genuine();
         std::fill(b.begin() + static_cast<long>(Places.tmd) + 4, b.begin() + static_cast<long>(Places.tmd) + 0x104, 0);
         return b;
     },
     R"({"tmdSignature":"invalid","ticketSignature":"valid","ticketMatches":true,"contents":"ok"})", 15},
    {"another title's ticket", [] { return genuine({.low = 0x41424344, .version = 3}); },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":false,"contents":"ok"})", 15},
    {"a content changed", [] { return changed(genuine(), Places.data + 0x1400); },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"damaged"})", 15},
    {"data cut short", [] { Bytes b = genuine(); b.resize(Places.data + 6000); return b; },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"incomplete"})", 15},
    {"Korean key", [] { return genuine({.commonKey = 1}); },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"ok"})", 0},
    {"vWii key not supplied", [] { return genuine({.commonKey = 2}); },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"no-key"})", 0},
    {"bound to one console", [] { return genuine(TitleTicket, {.consoleBound = true}); },
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"console-bound"})", 0},
    {"bare TMD with its chain", [] { return bare(false, true); },
     R"({"tmdSignature":"valid","contents":"not-in-file"})", 0},
    {"bare ticket without certificates", [] { return bare(true, false); },
     R"({"ticketSignature":"unverifiable","contents":"not-in-file"})", 0},
    {"RSA-4096 signature", [] { Bytes b = bare(false, true); b[3] = 0; return b; },
     R"({"tmdSignature":"unsupported","contents":"not-in-file"})", 0},
};

// A key folder with the synthetic standard key, as 32 digits and a line
// end, and the Korean one, as 16 raw bytes; no vWii key.
std::string writeKeys(const TempDir& dir) {
    std::filesystem::create_directory(dir.path + "/keys");
    std::string hex;
    for (std::uint8_t b : titlecraft::SyntheticCommonKeys[0])
        hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
    dir.write("keys/standard.key", titlecraft::concat(Bytes(hex.begin(), hex.end()), Bytes{'\r', '\n'}));
    const std::uint8_t* korean = titlecraft::SyntheticCommonKeys[1];
    dir.write("keys/korean.key", Bytes(korean, korean + 16));
    return "--keys=keys";
}

TEST(Verify, EachFindingAsJson) {
    TempDir dir;
    std::string keys = writeKeys(dir);
    for (const VerifyCase& c : VerifyCases) {
        SCOPED_TRACE(c.name);
        Bytes file = c.file();
        dir.write("f", file);
        ToolRun run = runTool({"/j", "/v", keys, "f"}, dir.path);
        EXPECT_EQ(run.exitCode, c.exitCode);
        json j = json::parse(run.out);
        EXPECT_EQ(j["verify"], json::parse(c.verify));
        // Without /v, not a byte of it.
        EXPECT_EQ(runTool({"/j", "f"}, dir.path).out.find("verify"), std::string::npos);
    }
}

TEST(Verify, TextLinesAndContentHashes) {
    TempDir dir;
    std::string keys = writeKeys(dir);
    dir.write("good.wad", genuine());
    dir.write("bad.wad", changed(genuine({.low = 0x41424344}), Places.data + 0x40));
    dir.write("vwii.wad", genuine({.commonKey = 2}));
    ToolRun run = runTool({"/n", "/v", keys, "good.wad", "bad.wad", "vwii.wad"}, dir.path);
    EXPECT_EQ(run.exitCode, 15);  // the first failure, and the run went on
    const std::string lines[] = {
        "Signatures: TMD valid, ticket valid\nContents: 3 of 3 intact\n" + Rule,
        "Signatures: TMD valid, ticket valid\nTicket: for another title\nContents: 1 of 3 damaged\n" + Rule,
        "Contents: not checked, no vwii key\n" + Rule};
    for (const std::string& l : lines)
        EXPECT_NE(run.out.find(l), std::string::npos) << l << "\n" << run.out;
    json j = json::parse(runTool({"/j", "/v", keys, "bad.wad"}, dir.path).out);
    EXPECT_EQ(j["contents"][0]["hash"], "mismatch");
    EXPECT_EQ(j["contents"][2]["hash"], "ok");
}

TEST(Verify, KeyFolderErrorsEndTheRunFirst) {
    TempDir dir;
    dir.write("f", genuine());
    std::filesystem::create_directory(dir.path + "/bad");
    dir.write("bad/korean.key", Bytes(15, 1));
    const struct {
        std::vector<std::string> args;
        std::string out;
        std::string err;
    } cases[] = {
        {{"/n", "/v", "--keys=none", "f"}, "\nError: Cannot read the key folder 'none' !\n\n", ""},
        {{"/n", "/v", "--keys=bad", "f"},
         std::string("\nError: Unusable key file 'bad") + (UnderWine ? "\\" : "/") +
             "korean.key' ! (16 bytes or 32 hexadecimal digits)\n\n",
         ""},
        {{"/j", "/v", "--keys=none", "f"}, "", "Error: Cannot read the key folder 'none' !\n"},
    };
    for (const auto& c : cases) {
        ToolRun run = runTool(c.args, dir.path);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
}

}  // namespace
