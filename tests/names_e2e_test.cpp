// SPDX-License-Identifier: MIT
// File names from the command line (and shell globs) printed in messages
// and headings: shown as typed where the output can carry them, never able
// to inject control sequences.
#include <gtest/gtest.h>

#include "tool_run.h"

namespace {

struct NameCase {
    const char* what;
    std::string name;
    std::string locale;
    std::string shown;
};

const NameCase NameCases[] = {
    {"plain", "a b.wad", "C.UTF-8", "a b.wad"},
    {"percent signs", "%s%n%d%%.wad", "C.UTF-8", "%s%n%d%%.wad"},
    {"escape sequence", "a\x1b[31mb.tik", "C.UTF-8", "a?[31mb.tik"},
    {"tab, newline, DEL", "t\tn\nd\x7f", "C.UTF-8", "t?n?d?"},
    {"UTF-8 letter", "\xc3\xa9t\xc3\xa9.tmd", "C.UTF-8", "\xc3\xa9t\xc3\xa9.tmd"},
    {"four-byte character", "\xf0\x9f\x98\x80", "C.UTF-8", "\xf0\x9f\x98\x80"},
    {"C1 control", "x\xc2\x85y\xc2\x9b", "C.UTF-8", "x?y?"},
    {"invalid bytes", "\xff\xfe.wad", "C.UTF-8", "??.wad"},
    {"cut-off character", "a\xe2\x82", "C.UTF-8", "a??"},
    {"overlong encoding", "\xc0\xafx", "C.UTF-8", "??x"},
    // One '?' a character the output cannot carry, one a byte that is none.
    {"UTF-8 in an ASCII locale", "\xc3\xa9.tmd", "C", "?.tmd"},
    {"five-byte lead", "\xf8\x90\x80\x80", "C.UTF-8", "????"},
    // Invisible characters that reorder, hide or break a name.
    {"right-to-left override", "rlo\xe2\x80\xaegpj.tmd", "C.UTF-8", "rlo?gpj.tmd"},
    {"zero-width space and joiner", "a\xe2\x80\x8b\xe2\x80\x8d", "C.UTF-8", "a??"},
    {"isolates and word joiner", "\xe2\x81\xa0\xe2\x81\xa6x\xe2\x81\xa9", "C.UTF-8", "??x?"},
    {"byte-order mark", "\xef\xbb\xbfname", "C.UTF-8", "?name"},
    {"line and paragraph separators", "a\xe2\x80\xa8" "b\xe2\x80\xa9", "C.UTF-8", "a?b?"},
    {"soft hyphen and tag", "x\xc2\xad\xf3\xa0\x80\x81", "C.UTF-8", "x??"},
    {"visible neighbours stay", "\xe2\x80\x90\xe2\x80\xaf\xe2\x81\xb0", "C.UTF-8",
     "\xe2\x80\x90\xe2\x80\xaf\xe2\x81\xb0"},
};

TEST(Names, PrintedSafely) {
    SKIP_UNDER_WINE("control characters and undecodable bytes do not pass a Windows command line");
    TempDir dir;
    for (const NameCase& c : NameCases) {
        SCOPED_TRACE(c.what);
        ToolRun run = runTool({"/n", c.name}, dir.path, {"LC_ALL=" + c.locale});
        EXPECT_EQ(run.out, "\nError: Cannot read file '" + c.shown + "' !\n\n");
        EXPECT_EQ(run.exitCode, 11);
    }
}

TEST(Names, HeadingsAndStructureErrorsUseTheSameRule) {
    SKIP_UNDER_WINE("Windows file names cannot hold control characters");
    TempDir dir;
    dir.write("\x1b]0;title\x07.tik", titlecraft::ticketBytes({}));
    dir.write("\xc3\xa9\x9b.tmd", titlecraft::Bytes(10));
    ToolRun run = runTool({"/n", "\x1b]0;title\x07.tik", "\xc3\xa9\x9b.tmd"}, dir.path);
    EXPECT_EQ(run.out.find('\x1b'), std::string::npos);
    EXPECT_NE(run.out.find("\nTicket info of \"?]0;title?.tik\" :\n"), std::string::npos);
    EXPECT_NE(run.out.find("\nError: Unknown file structure! (\xc3\xa9?.tmd)\n\n"), std::string::npos);
    EXPECT_EQ(run.exitCode, 14);
}

}  // namespace
