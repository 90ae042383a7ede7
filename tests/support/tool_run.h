// SPDX-License-Identifier: MIT
// Running the built Tessarlumen on files a test writes.
#pragma once

#include <string>
#include <vector>

#include "titlecraft.h"

struct ToolRun {
    int exitCode;     // or 128 + signal number
    std::string out;  // standard output, byte for byte
    std::string err;  // standard error, which must stay empty
};

// Runs the tool in `dir` with `args`, standard input from /dev/null and no
// controlling terminal, so a key wait returns at once. LC_ALL is C.UTF-8
// unless `env` sets it. When the tests run as root, `asNobody` runs the
// tool as the unprivileged user 65534, so file permissions apply to it.
ToolRun runTool(const std::vector<std::string>& args, const std::string& dir = ".",
                const std::vector<std::string>& env = {}, bool asNobody = false);

// Where the tool's standard output goes when it is not the usual pipe.
enum class Stdout {
    Pipe,              // captured in ToolRun::out
    Closed,            // no descriptor 1 at all
    BrokenPipe,        // a pipe nobody reads, with SIGPIPE ignored
    BrokenPipeSignal,  // the same with SIGPIPE's default action
    Full,              // /dev/full: every write fails for lack of space
    NonBlockingPipe,   // captured through a small pipe left non-blocking
};

// The same for another build of the tool. Descriptors other than 0 to 2 are
// closed in the child, so whatever is open at its exit, it opened. When
// TESSARLUMEN_TEST_WRAPPER is set (to a valgrind command line, say), its
// words go before the program, unless it is a shell from /bin, whose
// script puts them before the tool.
ToolRun runProgram(const std::string& exe, const std::vector<std::string>& args, const std::string& dir,
                   const std::vector<std::string>& env, bool asNobody, Stdout output = Stdout::Pipe);

// A fresh directory, removed with everything in it at the end of the test.
struct TempDir {
    std::string path;
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // Writes `bytes` to the file `name` in this directory; returns its path.
    std::string write(const std::string& name, const titlecraft::Bytes& bytes) const;
};

// True when the tool under test is the Windows build, run under Wine. The
// CR LF line ends of its output and errors are checked and turned into "\n"
// by runTool, so the expected texts stay the same.
constexpr bool UnderWine =
#ifdef TESSARLUMEN_UNDER_WINE
    true;
#else
    false;
#endif

#ifndef TESSARLUMEN_UNDER_WINE
#define WINE_PREFIX ""
#define HOLDOPEN_EXE ""
#endif

// Skips a test that cannot apply to the Windows build, saying why.
#define SKIP_UNDER_WINE(why)            \
    do {                                \
        if (UnderWine)                  \
            GTEST_SKIP() << (why);      \
    } while (0)

// One line of 78 underscores, as reports and the help end with.
inline const std::string Rule(78, '_');

std::string readFileBytes(const std::string& path);

// The text up to its first line break.
std::string firstLine(const std::string& text);

// The first line of the failure-injection build's exit report for a run
// that opens nothing, with its report written to `report`: no descriptor
// and no block, or, under a wrapper such as valgrind, the wrapper's own.
std::string leftoversOfDoingNothing(const std::string& dir, const std::string& report);

// True when every run of the tool goes through TESSARLUMEN_TEST_WRAPPER.
bool underWrapper();
