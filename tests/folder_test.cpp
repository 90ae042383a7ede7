// SPDX-License-Identifier: MIT
// Title folders in this process, over the in-memory OS layer: each
// finding, the names a TMD and a content's file are looked for under, and
// every allocation and library call failing.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "folders.h"
#include "memory_run.h"
#include "os_memory.h"

namespace {

using json = nlohmann::json;
using namespace folders;

// Hands the folder's files to the in-memory layer as the folder "title".
struct MemoryFolder {
    std::vector<File> kept;
    explicit MemoryFolder(std::vector<File> files) : kept(std::move(files)) {
        std::vector<MemoryFolderFile> entries;
        for (const File& f : kept)
            entries.push_back({f.name.c_str(), f.bytes.data(), f.bytes.size()});
        setMemoryFolder("title", entries.data(), entries.size());
    }
    ~MemoryFolder() { setMemoryFolder(nullptr, nullptr, 0); }
};

const Bytes NoFile;

MemoryRun runFolder(const std::vector<std::string>& args) {
    return runInMemory(args, NoFile);
}

TEST(Folder, EachFinding) {
    useMemoryKeys({});
    for (const Case& c : Cases) {
        SCOPED_TRACE(c.name);
        MemoryFolder folder(files(c.layout));
        MemoryRun run = runFolder({"/j", "/v", "--keys=k", "title"});
        EXPECT_TRUE(run.clean);
        EXPECT_EQ(run.exitCode, c.exitCode);
        json j = json::parse(run.out);
        EXPECT_EQ(j["verify"], json::parse(withHints(c.verify)));
        json hashes = json::array();
        for (const json& content : j["contents"])
            hashes.push_back(content["hash"]);
        EXPECT_EQ(hashes, json::parse(c.hashes));
        EXPECT_EQ(j["alternates"], json::parse(c.alternates));
        const std::string identity = "folder\t0001000154534C41\tTSLA\t7\t";
        EXPECT_EQ(runFolder({"/l", "/v", "--keys=k", "title"}).out, identity + c.line + "\t-\ttitle\n");
        // Without /v a content whose file is not there is missing, unless it is empty.
        bool lacking = c.layout.missing >= 0 && c.layout.copy != Copy::AbsentEmpty;
        EXPECT_EQ(runFolder({"/l", "title"}).out,
                  identity + (lacking ? "incomplete: 1 of 3 contents missing" : "ok") + "\ttitle\n");
        // Without /v: the TMD's report, the files named.
        MemoryRun plain = runFolder({"/j", "title"});
        json facts = json::parse(plain.out);
        EXPECT_EQ(facts["kind"], "folder");
        EXPECT_EQ(facts["ticket"].is_null(), !c.layout.ticket);
        for (int i = 0; i < 3; ++i) {
            bool encrypted = (c.layout.form == Form::Encrypted) != (i == c.layout.otherForm);
            const char* expected = encrypted ? Encrypted[i] : Decrypted[i];
            EXPECT_EQ(facts["contents"][i]["file"], i == c.layout.missing ? json() : json(expected));
            // A content read, whether it matched or not, names the reading.
            const json& read = j["contents"][i];
            EXPECT_EQ(read["form"].is_string(), read["hash"] == "ok" || read["hash"] == "mismatch") << i;
        }
    }
}

// The folder's TMD: title.tmd before tmd, which comes before tmd.<n>; of
// those, the highest number. Names that only look like one are not.
TEST(Folder, WhichTmd) {
    useMemoryKeys({});
    Bytes good = files({})[0].bytes;
    Bytes other = good;
    other.at(0x1DC + 1) ^= 0x10;  // another version: its signature breaks
    const struct {
        const char* name;
        std::vector<File> files;
        const char* verdict;
        const char* alternates = "[]";  // the files beside the TMD read that name it too
    } cases[] = {
        {"title.tmd first, tmd another", {{"title.tmd", good}, {"tmd", other}}, "failed",
         R"([{"part":"tmd","id":null,"file":"tmd","result":"differs"}])"},
        {"title.tmd first, tmd the same", {{"title.tmd", good}, {"tmd", good}}, "genuine",
         R"([{"part":"tmd","id":null,"file":"tmd","result":"ok"}])"},
        {"tmd before numbered", {{"tmd", good}, {"tmd.9", other}}, "genuine"},
        {"the highest number", {{"tmd.12", good}, {"tmd.9", other}, {"tmd.2", other}}, "genuine"},
        {"numbers, not text", {{"tmd.100", good}, {"tmd.99", other}}, "genuine"},
        {"not numbers", {{"tmd.5", good}, {"tmd.x", other}, {"tmd.", other}, {"tmd.1a", other}, {"ttmd.7", other}},
         "genuine"},
        {"the lower number", {{"tmd.1", other}, {"tmd.3", good}}, "genuine"},
        {"nines", {{"tmd.8", other}, {"tmd.9", good}}, "genuine"},
        {"a longer name first", {{"tmd.0012", other}, {"tmd.13", good}}, "genuine"},
        {"only tmd. counts", {{"tmd.5", good}, {"xmd.99", other}, {"tmdx99", other}}, "genuine"},
        // Spellings of one number: the first in byte order is read.
        {"tmd.5 and tmd.05, the same", {{"tmd.5", good}, {"tmd.05", good}, {"tmd.005", good}}, "genuine",
         R"([{"part":"tmd","id":null,"file":"tmd.05","result":"ok"},{"part":"tmd","id":null,"file":"tmd.5","result":"ok"}])"},
        {"tmd.5 and tmd.05, another", {{"tmd.5", good}, {"tmd.05", other}}, "failed",
         R"([{"part":"tmd","id":null,"file":"tmd.5","result":"differs"}])"},
        {"tmd.5 and a longer tmd.05", {{"tmd.05", good}, {"tmd.5", titlecraft::concat(good, Bytes{0})}}, "failed",
         R"([{"part":"tmd","id":null,"file":"tmd.5","result":"differs"}])"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<File> all = files({});
        all.erase(all.begin());
        all.insert(all.end(), c.files.begin(), c.files.end());
        MemoryFolder folder(all);
        MemoryRun run = runFolder({"/j", "/v", "--keys=k", "title"});
        json j = json::parse(run.out);
        EXPECT_EQ(j["verify"]["verdict"], c.verdict) << run.out;
        EXPECT_EQ(j["alternates"], json::parse(c.alternates));
    }
    // No TMD at all: a folder that cannot be read; a TMD that is a ticket.
    const struct {
        std::vector<File> files;
        int exitCode;
        const char* json;
    } failures[] = {
        {{{"cetk", files({})[1].bytes}}, 11, R"({"file":"title","error":"cannot-read","reason":"Is a directory","cause":"system-error"})"},
        {{{"tmd", files({})[1].bytes}}, 14,
         R"({"file":"title","error":"unknown-structure","reason":"the folder's TMD file is no TMD","cause":"folder-tmd-not-tmd"})"},
    };
    for (const auto& f : failures) {
        MemoryFolder folder(f.files);
        MemoryRun run = runFolder({"/j", "title"});
        EXPECT_EQ(run.exitCode, f.exitCode);
        EXPECT_EQ(json::parse(run.out), json::parse(f.json));
    }
}

// A content's file under each name it may have, of each length a reading
// allows, with and without the title key.
TEST(Folder, ContentReadings) {
    titlecraft::TitleParts parts = titlecraft::genuineParts(Title, TitleTicket);
    // The last content, 32 bytes: its encrypted and decrypted files are
    // the same length, so both readings are made.
    const struct {
        const char* name;
        const char* file;
        bool encrypted;
        bool withTicket;
        const char* hash;
        const char* form;
    } cases[] = {
        {"encrypted, lower case", "000000c3", true, true, "ok", "encrypted"},
        {"encrypted, upper case", "000000C3", true, true, "ok", "encrypted"},
        {"decrypted, upper case", "000000C3.app", false, true, "ok", "decrypted"},
        {"decrypted, lower case", "000000c3.app", false, true, "ok", "decrypted"},
        {"decrypted, as delivered", "000000c3", false, true, "ok", "decrypted"},
        {"decrypted, no ticket", "000000c3", false, false, "ok", "decrypted"},
        {"encrypted, no ticket", "000000c3", true, false, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<File> all = files({.ticket = c.withTicket});
        all.pop_back();
        all.push_back({c.file, c.encrypted ? titlecraft::encryptContent(parts, 2) : parts.plain[2]});
        MemoryFolder folder(all);
        json j = json::parse(runFolder({"/j", "/v", "--keys=k", "title"}).out);
        EXPECT_EQ(j["contents"][2]["file"], c.file);
        EXPECT_EQ(j["contents"][2]["hash"], c.hash == nullptr ? json() : json(c.hash));
        EXPECT_EQ(j["contents"][2]["form"], c.form == nullptr ? json() : json(c.form));
    }
    // Lengths no reading allows: one byte more, or one less than padded.
    for (std::size_t extra : {1, 17}) {
        std::vector<File> all = files({});
        Bytes longer = titlecraft::encryptContent(parts, 1);
        longer.resize(longer.size() + extra);
        all[3] = {Encrypted[1], longer};
        MemoryFolder folder(all);
        json j = json::parse(runFolder({"/j", "/v", "--keys=k", "title"}).out);
        EXPECT_EQ(j["contents"][1]["hash"], "mismatch");
        EXPECT_TRUE(j["contents"][1]["form"].is_null());
    }
}

// Other files that fail are named on their part's line; a content counts
// once among the damaged, however many of its files fail.
TEST(Folder, FailingOtherFilesAreNamed) {
    useMemoryKeys({});
    titlecraft::TitleParts parts = titlecraft::genuineParts(Title, TitleTicket);
    auto damaged = [](Bytes b) {
        b.at(b.size() / 2) ^= 1;
        return b;
    };
    const File upper = {"0000001A", damaged(titlecraft::encryptContent(parts, 0))};
    const File app = {"0000001a.app", damaged(parts.plain[0])};
    const File second = {"0000002B.app", damaged(parts.plain[1])};
    const struct {
        const char* name;
        Layout layout;
        std::vector<File> others;
        const char* line;
    } cases[] = {
        {"two of one content", {}, {upper, app}, "Contents: 1 of 3 damaged (0000001A, 0000001a.app)\n"},
        {"two of one damaged content", {.damaged = 0}, {upper, app}, "Contents: 1 of 3 damaged (0000001A, 0000001a.app)\n"},
        {"and one of another", {}, {app, second}, "Contents: 2 of 3 damaged (0000001a.app, 0000002B.app)\n"},
        {"and one of a missing content", {.missing = 1}, {app}, "Contents: 1 of 3 damaged, 1 missing (0000001a.app)\n"},
        // Names that are none of a content's four are no files of it.
        {"names of no content", {}, {{"0000001a.APP", app.bytes}, {"0000001a.app.app", app.bytes}, {"0000001", app.bytes}},
         "Contents: 3 of 3 intact\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<File> all = files(c.layout);
        all.insert(all.end(), c.others.begin(), c.others.end());
        MemoryFolder folder(all);
        MemoryRun run = runFolder({"/n", "/v", "--keys=k", "title"});
        EXPECT_NE(run.out.find("Signatures: TMD valid, ticket valid\n" + std::string(c.line)), std::string::npos) << run.out;
    }
}

// A title folder's banner: from the reading of content 0's file that
// matched its hash, else from the encrypted one, which needs the key.
TEST(Folder, BannerNames) {
    useMemoryKeys({});
    const titlecraft::Banner banner = {0x80, {{}, u"Folder Channel"}};
    const struct {
        const char* name;
        Layout layout;
        const char* json;
    } cases[] = {
        {"as delivered", {.banner = banner}, R"({"names":{"en":"Folder Channel"}})"},
        {"unpacked", {.form = Form::Decrypted, .banner = banner}, R"({"names":{"en":"Folder Channel"}})"},
        {"unpacked, no ticket", {.form = Form::Decrypted, .ticket = false, .banner = banner},
         R"({"names":{"en":"Folder Channel"}})"},
        {"as delivered, no ticket", {.ticket = false, .banner = banner}, "null"},
        {"as delivered, damaged", {.damaged = 0, .banner = banner}, R"({"names":{"en":"Folder Channel"}})"},
        {"unpacked, damaged", {.form = Form::Decrypted, .damaged = 0, .banner = banner}, "null"},
        {"its file missing", {.missing = 0, .banner = banner}, "null"},
        // The file read names the title, not another beside it.
        {"a damaged second file", {.copy = Copy::DamagedDecrypted, .banner = banner},
         R"({"names":{"en":"Folder Channel"}})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFolder folder(files(c.layout));
        json j = json::parse(runFolder({"/j", "/v", "--keys=k", "title"}).out);
        EXPECT_EQ(j["banner"], json::parse(c.json));
    }
}

// A TMD file beside title.tmd is compared block by block: one longer than
// a block differs when only its first block does, or only its last.
TEST(Folder, ALongTmdCopyDiffersInAnyBlock) {
    useMemoryKeys({});
    titlecraft::Tmd many = Title;
    many.contents.assign(20000, titlecraft::Content{0x0001, 16});
    const Bytes tmd = titlecraft::tmdBytes(many);
    ASSERT_GT(tmd.size(), std::size_t{1} << 19);
    for (std::size_t at : {std::size_t{0x1E4}, tmd.size() - 1}) {
        Bytes other = tmd;
        other[at] ^= 1;
        MemoryFolder folder({{"title.tmd", tmd}, {"tmd", other}});
        std::string out = runFolder({"/n", "/v", "--keys=k", "title"}).out;
        EXPECT_NE(out.find(" (tmd differs)\n"), std::string::npos) << at;
    }
}

TEST(Folder, EveryAllocationAndLibraryCallCanFail) {
    useMemoryKeys({});
    // The library is tried once a process, at its first run: not counted.
    {
        MemoryFolder warm(files({}));
        runFolder({"/n", "/v", "--keys=k", "title"});
    }
    // With other files of each part, and an empty content without its file.
    std::vector<File> copies = files({.copy = Copy::UpperCase});
    copies.push_back({"title.tmd", copies[0].bytes});
    copies.push_back({"title.tik", copies[1].bytes});
    for (const std::vector<File>& layout : {files({}), copies, files({.missing = 3, .copy = Copy::AbsentEmpty})}) {
        MemoryFolder folder(layout);
        setMemoryFailures(0, 0);
        ASSERT_EQ(runFolder({"/n", "/v", "--keys=k", "title"}).exitCode, 0);
        // Each of them must fail the run: none is taken for something else.
        const long asked[] = {memoryAllocations(), memoryCryptoCalls()};
        for (bool allocs : {true, false}) {
            int n = 0;
            for (bool failed = true; failed;) {
                ++n;
                setMemoryFailures(allocs ? n : 0, allocs ? 0 : n);
                MemoryRun run = runFolder({"/n", "/v", "--keys=k", "title"});
                failed = run.exitCode != 0;
                EXPECT_TRUE(run.clean);
                if (failed) {
                    EXPECT_EQ(run.exitCode, allocs ? 13 : 2) << run.out;
                }
            }
            EXPECT_EQ(n - 1, asked[allocs ? 0 : 1]);
        }
        setMemoryFailures(0, 0);
    }
}

}  // namespace
