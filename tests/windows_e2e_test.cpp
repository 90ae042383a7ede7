// SPDX-License-Identifier: MIT
// What only the Windows build does, built into the Wine suite only: expand
// wildcards itself, print names in the console's code page, and refuse a
// file another program is writing.
#include <gtest/gtest.h>

#include <csignal>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tool_run.h"

namespace {

std::string ticketReport(const std::string& name) {
    return "\nTicket info of \"" + name + "\" :\n\nPath: '00010001\\54534C41'\nType: Channel Title\nTitleID: 'TSLA'\n" +
           Rule + "\n";
}

TEST(Windows, WildcardsAreExpandedInSortedOrder) {
    if (!UnderWine)
        GTEST_SKIP() << "Windows build only: shells on other systems expand wildcards";
    TempDir dir;
    for (const char* name : {"b.tik", "a.tik", "C.tik", "d.tmd"})
        dir.write(name, titlecraft::ticketBytes({}));
    ToolRun run = runTool({"/n", "*.tik", "?.tmd"}, dir.path);
    EXPECT_EQ(run.out, ticketReport("a.tik") + ticketReport("b.tik") + ticketReport("C.tik") + ticketReport("d.tmd") +
                           "\n");
    EXPECT_EQ(run.exitCode, 0);

    run = runTool({"/n", "nothing*.wad"}, dir.path);
    EXPECT_EQ(run.out, "\nError: Cannot read file 'nothing*.wad' !\n\n");
    EXPECT_EQ(run.exitCode, 11);

    // Without regard to case beyond ASCII too: "É*" finds "é1.tik".
    dir.write("\xc3\xa9" "1.tik", titlecraft::ticketBytes({}));
    run = runTool({"/n", "\xc3\x89*.tik"}, dir.path);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("1.tik\" :"), std::string::npos) << run.out;

    run = runTool({"/?", "/n"}, dir.path);  // an option is never a pattern
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("USAGE:"), std::string::npos);
}

// A name that a pattern matched is a file, whatever it starts with; only
// names whose long form matches are kept; the order is Windows' ordinal one
// without regard to case, so '_' (after 'Z') sorts after the letters.
TEST(Windows, ExpandedNamesAreFilesInWindowsOrder) {
    if (!UnderWine)
        GTEST_SKIP() << "Windows build only";
    TempDir dir;
    for (const char* name : {"_x.wad", "-n.wad", "B.wad", "a.wad", "c.wadx"})
        dir.write(name, titlecraft::ticketBytes({}));
    ToolRun run = runTool({"/n", "*.wad"}, dir.path);
    EXPECT_EQ(run.out, ticketReport("-n.wad") + ticketReport("a.wad") + ticketReport("B.wad") +
                           ticketReport("_x.wad") + "\n");
    EXPECT_EQ(run.exitCode, 0);
    // Typed rather than matched, the same name is an option.
    EXPECT_EQ(runTool({"-n.wad"}, dir.path).exitCode, 1);
}

// A pattern never matches a folder, not even a title folder, but under
// /r, which walks what it finds; named outright, a title folder is read.
TEST(Windows, PatternsMatchFoldersOnlyUnderR) {
    if (!UnderWine)
        GTEST_SKIP() << "Windows build only";
    TempDir dir;
    ASSERT_EQ(mkdir((dir.path + "/t1").c_str(), 0755), 0);
    dir.write("t1/title.tmd", titlecraft::tmdBytes({}));
    dir.write("t2.tik", titlecraft::ticketBytes({}));
    ToolRun run = runTool({"/n", "t*"}, dir.path);
    EXPECT_EQ(run.out, ticketReport("t2.tik") + "\n");
    run = runTool({"/n", "t1"}, dir.path);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("TMD info of \"t1\" :"), std::string::npos) << run.out;
    ASSERT_EQ(mkdir((dir.path + "/t3").c_str(), 0755), 0);
    dir.write("t3/x.tmd", titlecraft::tmdBytes({}));
    run = runTool({"/l", "/r", "t*"}, dir.path);
    EXPECT_EQ(run.out, "folder\t0001000154534C41\tTSLA\t0\tok\tt1\n"
                       "ticket\t0001000154534C41\tTSLA\t0\tok\tt2.tik\n"
                       "tmd\t0001000154534C41\tTSLA\t0\tok\tt3\\x.tmd\n");
}

TEST(Windows, FoldersAndDevicesAreNotTitleFiles) {
    if (!UnderWine)
        GTEST_SKIP() << "Windows build only";
    TempDir dir;
    ASSERT_EQ(mkdir((dir.path + "/folder").c_str(), 0755), 0);
    EXPECT_EQ(runTool({"/n", "folder"}, dir.path).out, "\nError: Cannot read file 'folder' !\n\n");
    ToolRun run = runTool({"/n", "NUL"}, dir.path);
    EXPECT_EQ(run.out, "\nError: Unknown file structure! (NUL)\n\n");
    EXPECT_EQ(run.exitCode, 14);
}

TEST(Windows, NamesOutsideTheCodePageShowAsQuestionMarks) {
    if (!UnderWine)
        GTEST_SKIP() << "Windows build only";
    TempDir dir;
    // U+4E2D is in no single-byte code page; U+00E9 is in the ANSI one.
    const std::string name = "\xe4\xb8\xad-\xc3\xa9.tik";
    dir.write(name, titlecraft::ticketBytes({}));
    ToolRun run = runTool({"/n", name}, dir.path);  // Wine takes code page 1252 here
    EXPECT_EQ(run.out.substr(0, 28), "\nTicket info of \"?-\xe9.tik\" :\n");
    EXPECT_EQ(run.exitCode, 0);
}

TEST(Windows, AFileBeingWrittenIsRefused) {
    if (!UnderWine)
        GTEST_SKIP() << "Windows build only: POSIX has no share modes";
    TempDir dir;
    dir.write("busy.tik", titlecraft::ticketBytes({}));
    int toHolder[2];
    int fromHolder[2];
    ASSERT_EQ(pipe(toHolder), 0);
    ASSERT_EQ(pipe(fromHolder), 0);
    pid_t holder = fork();
    if (holder == 0) {
        dup2(toHolder[0], 0);
        dup2(fromHolder[1], 1);
        close(toHolder[1]);
        close(fromHolder[0]);
        setenv("WINEPREFIX", WINE_PREFIX, 1);
        setenv("WINEDEBUG", "-all", 1);
        if (chdir(dir.path.c_str()) == 0)
            execlp("wine", "wine", HOLDOPEN_EXE, "busy.tik", nullptr);
        _exit(127);
    }
    close(toHolder[0]);
    close(fromHolder[1]);
    std::string said;
    char byte;
    while (said.find('\n') == std::string::npos && read(fromHolder[0], &byte, 1) == 1)
        said += byte;
    ASSERT_EQ(said, "holding\r\n");

    ToolRun run = runTool({"/n", "busy.tik"}, dir.path);
    EXPECT_EQ(run.out, "\nError: Cannot read file 'busy.tik' !\n\n");
    EXPECT_EQ(run.exitCode, 11);

    close(toHolder[1]);  // the holder lets go
    waitpid(holder, nullptr, 0);
    close(fromHolder[0]);
    run = runTool({"/n", "busy.tik"}, dir.path);
    EXPECT_EQ(run.exitCode, 0);
}

}  // namespace
