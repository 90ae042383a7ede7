// SPDX-License-Identifier: MIT
// Title folders: a title kept as its TMD, its ticket and one file per
// content, as delivered (encrypted, named in lower case) or unpacked
// (decrypted, in upper case with ".app"), reported as its TMD is and
// verified as a WAD is, on Linux and under Wine.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include "folders.h"
#include "signing.h"
#include "tool_run.h"

namespace {

using json = nlohmann::json;
using titlecraft::Bytes;
using titlecraft::TitleParts;

using namespace folders;

TitleParts folderParts(const titlecraft::Ticket& ticket = TitleTicket) {
    return titlecraft::genuineParts(Title, ticket);
}

void writeFolder(const TempDir& dir, const std::string& name, const Layout& layout) {
    std::filesystem::create_directory(dir.path + "/" + name);
    for (const File& f : files(layout))
        dir.write(name + "/" + f.name, f.bytes);
}

// A key folder with the made-up standard key and root.
std::string writeKeys(const TempDir& dir) {
    std::filesystem::create_directory(dir.path + "/keys");
    dir.write("keys/standard.key", Bytes(titlecraft::SyntheticCommonKeys[0], titlecraft::SyntheticCommonKeys[0] + 16));
    dir.write("keys/root.key", titlecraft::rootKeyBytes());
    return "--keys=keys";
}

// On disk, under each system's names: the genuine forms and one of each
// verdict (every case runs in process, over the in-memory layer).
TEST(Folders, VerifiedOnDisk) {
    TempDir dir;
    std::string keys = writeKeys(dir);
    int n = 0;
    for (const Case& c : Cases) {
        if (c.exitCode != 0 && std::string(c.name) != "a content damaged" && std::string(c.name) != "no ticket" &&
            c.layout.copy == Copy::None)
            continue;
        // Wine's names do not tell case apart: two such files are one.
        if (UnderWine && c.layout.copy == Copy::UpperCase)
            continue;
        SCOPED_TRACE(c.name);
        std::string name = "t" + std::to_string(n++);
        writeFolder(dir, name, c.layout);
        ToolRun run = runTool({"/j", "/v", keys, name}, dir.path);
        EXPECT_EQ(run.exitCode, c.exitCode);
        json j = json::parse(run.out);
        EXPECT_EQ(j["kind"], "folder");
        EXPECT_EQ(j["verify"], json::parse(withHints(c.verify)));
        json hashes = json::array();
        for (const json& content : j["contents"])
            hashes.push_back(content["hash"]);
        EXPECT_EQ(hashes, json::parse(c.hashes));
        EXPECT_EQ(j["alternates"], json::parse(c.alternates));
        EXPECT_EQ(j["ticket"].is_null(), !c.layout.ticket);
        // The same with every core, and with one.
        EXPECT_EQ(runTool({"/j", "/v", "--jobs=1", keys, name}, dir.path).out, run.out);
    }
}

// Without /v a title folder is its TMD's report; the contents' files are named.
TEST(Folders, ReportedAsTheirTmd) {
    TempDir dir;
    writeFolder(dir, "delivered", {});
    writeFolder(dir, "unpacked", {.form = Form::Decrypted, .missing = 2});
    TitleParts parts = folderParts();
    dir.write("title.tmd", parts.tmd);
    ToolRun tmd = runTool({"/n", "title.tmd"}, dir.path);
    for (const char* name : {"delivered", "unpacked"}) {
        ToolRun run = runTool({"/n", name}, dir.path);
        EXPECT_EQ(run.exitCode, 0);
        std::string expected = tmd.out;
        expected.replace(expected.find("title.tmd"), 9, name);
        EXPECT_EQ(run.out, expected);
    }
    json delivered = json::parse(runTool({"/j", "delivered"}, dir.path).out);
    json unpacked = json::parse(runTool({"/j", "unpacked"}, dir.path).out);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(delivered["contents"][i]["file"], Encrypted[i]);
        EXPECT_FALSE(delivered["contents"][i].contains("form"));
    }
    // Windows finds names without regard to case: the name looked for is the one shown.
    std::string name = unpacked["contents"][0]["file"];
    std::string expected = Decrypted[0];
    if (UnderWine)
        for (std::string* s : {&name, &expected})
            for (char& c : *s)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_EQ(name, expected);
    EXPECT_TRUE(unpacked["contents"][2]["file"].is_null());
    EXPECT_EQ(delivered["ticket"]["titleId"], delivered["titleId"]);
    std::string keys = writeKeys(dir);
    json verified = json::parse(runTool({"/j", "/v", keys, "unpacked"}, dir.path).out);
    EXPECT_EQ(verified["contents"][0]["form"], "decrypted");
    EXPECT_TRUE(verified["contents"][2]["form"].is_null());
}

// What a folder is not: one without a TMD stays a folder that cannot be
// read; one whose TMD is damaged gets the TMD's failure.
TEST(Folders, FoldersThatAreNoTitles) {
    TempDir dir;
    std::filesystem::create_directory(dir.path + "/empty");
    dir.write("empty/cetk", titlecraft::ticketBytes({}));
    writeFolder(dir, "cut", {});
    TitleParts parts = folderParts();
    parts.tmd.resize(parts.tmd.size() - 10);
    dir.write("cut/tmd", parts.tmd);
    // Where a content's file should be, a folder.
    writeFolder(dir, "odd", {.missing = 0});
    std::filesystem::create_directory(dir.path + "/odd/" + Encrypted[0]);
    const char* reason = UnderWine ? "Permission denied" : "Is a directory";
    const struct {
        const char* name;
        int exitCode;
        std::string text;
        std::string error;
    } cases[] = {
        {"empty", 11, "\nError: Cannot read file 'empty' !\n\n", std::string("cannot-read\",\"reason\":\"") + reason},
        {"cut", 11, "\nError: Cannot read file 'cut' !\n\n", "cannot-read\",\"reason\":\"the file ends before its records\",\"cause\":\"ends-early"},
        {"odd", 11, "\nError: Cannot read file 'odd' !\n\n", "cannot-read\",\"reason\":\"Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ToolRun text = runTool({"/n", c.name}, dir.path);
        EXPECT_EQ(text.exitCode, c.exitCode);
        EXPECT_EQ(text.out, c.text);
        EXPECT_NE(runTool({"/j", c.name}, dir.path).out.find(c.error), std::string::npos);
    }
}

// Under /v every file that names a part is read: one that cannot be fails
// the folder, as the first would; without /v the second is never opened.
TEST(Folders, AnUnreadableOtherFileFails) {
    SKIP_UNDER_WINE("POSIX permissions");
    TempDir dir;
    ASSERT_EQ(chmod(dir.path.c_str(), 0755), 0);
    std::string keys = writeKeys(dir);
    // The unprivileged user may not reach the build tree: a copy of the tool.
    std::string tool = dir.path + "/Tessarlumen";
    std::filesystem::copy_file(TESSARLUMEN_EXE, tool);
    ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
    for (const char* other : {"title.tik", "tmd"}) {
        SCOPED_TRACE(other);
        std::string name = std::string("t-") + other;
        writeFolder(dir, name, {});
        std::filesystem::permissions(dir.path + "/" + name, std::filesystem::perms::all);
        if (std::string(other) == "tmd")
            dir.write(name + "/title.tmd", files({})[0].bytes);
        std::string path = dir.write(name + "/" + other, files({})[std::string(other) == "tmd" ? 0 : 1].bytes);
        ASSERT_EQ(chmod(path.c_str(), 0), 0);
        ToolRun verified = runProgram(tool, {"/j", "/v", keys, name}, dir.path, {}, true);
        EXPECT_EQ(verified.exitCode, 11);
        EXPECT_NE(verified.out.find("\"reason\":\"Permission denied\""), std::string::npos) << verified.out;
        EXPECT_EQ(runProgram(tool, {"/n", name}, dir.path, {}, true).exitCode, 0);
    }
}

// The text of a verified folder: a WAD's lines under its TMD's report.
TEST(Folders, VerifiedText) {
    TempDir dir;
    std::string keys = writeKeys(dir);
    writeFolder(dir, "t", {.missing = 0, .damaged = 1});
    ToolRun run = runTool({"/n", "/v", keys, "t"}, dir.path);
    EXPECT_EQ(run.exitCode, 15);
    EXPECT_NE(run.out.find("Data files: 3\nSize: 24268 - 24300 byte (1 - 1 blocks)\n"
                           "Signatures: TMD valid, ticket valid\nContents: 1 of 3 damaged, 1 missing\n"
                           "Verdict: failed\n" + Rule + "\n"),
              std::string::npos)
        << run.out;
    // Second files that fail are named on their part's line.
    writeFolder(dir, "copies", {.copy = Copy::DamagedDecrypted});
    dir.write("copies/title.tik", files({.ticketOf = {.low = 0x41424344, .version = 7}})[1].bytes);
    dir.write("copies/title.tmd", files({})[0].bytes);
    run = runTool({"/n", "/v", keys, "copies"}, dir.path);
    EXPECT_NE(run.out.find("Signatures: TMD valid, ticket valid (title.tik differs)\n"
                           "Contents: 1 of 3 damaged (0000001a.app)\nVerdict: failed\n"),
              std::string::npos)
        << run.out;
}

}  // namespace
