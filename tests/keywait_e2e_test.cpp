// SPDX-License-Identifier: MIT
// The key wait on a real pseudo-terminal: the prompt shows before the wait,
// the key is not echoed, exactly one key is consumed, and the terminal's
// mode comes back on every path.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "tool_run.h"

namespace {

const std::string Prompt = "Press a key to continue...";
// Only a guard against a hanging tool; nothing here asserts on time.
constexpr auto HangGuard = std::chrono::seconds(20);

struct PtyRun {
    pid_t pid;
    int master;
    std::string seen;
};

// Starts argv on a new pseudo-terminal that is its controlling terminal,
// with standard input from /dev/null: the key must come from the terminal.
PtyRun startOnPty(const std::vector<std::string>& args) {
    std::vector<std::string> copies(args);
    std::vector<char*> argv;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        setenv("LC_ALL", "C.UTF-8", 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return {pid, master, {}};
}

// Reads what the terminal shows until `text` appears (true) or the
// terminal closes (false).
bool readUntil(PtyRun* run, const std::string& text) {
    auto deadline = std::chrono::steady_clock::now() + HangGuard;
    while (run->seen.find(text) == std::string::npos) {
        pollfd p{run->master, POLLIN, 0};
        if (std::chrono::steady_clock::now() > deadline || poll(&p, 1, 100) < 0)
            return false;
        if (p.revents == 0)
            continue;
        char buf[512];
        ssize_t got = read(run->master, buf, sizeof buf);
        if (got <= 0)
            return false;
        run->seen.append(buf, static_cast<std::size_t>(got));
    }
    return true;
}

bool echoIsOn(int master) {
    termios mode{};
    tcgetattr(master, &mode);
    return (mode.c_lflag & ECHO) != 0 && (mode.c_lflag & ICANON) != 0;
}

// The prompt is flushed just before the terminal is switched; wait for the switch.
bool waitUntilKeyMode(int master) {
    auto deadline = std::chrono::steady_clock::now() + HangGuard;
    while (echoIsOn(master)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

int finish(PtyRun* run) {
    readUntil(run, std::string(1, '\0'));  // everything up to the terminal's close
    int status = 0;
    waitpid(run->pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void stopHung(PtyRun* run) {
    kill(run->pid, SIGKILL);
    waitpid(run->pid, nullptr, 0);
    close(run->master);
}

TEST(KeyWait, OneKeyEndsItUnechoedAndTheModeReturns) {
    SKIP_UNDER_WINE("POSIX terminals");
    PtyRun run = startOnPty({TESSARLUMEN_EXE});
    ASSERT_TRUE(readUntil(&run, Prompt)) << run.seen;
    ASSERT_TRUE(waitUntilKeyMode(run.master));
    // Still waiting: nothing after the prompt yet.
    EXPECT_EQ(run.seen.substr(run.seen.find(Prompt) + Prompt.size()), "");
    ASSERT_EQ(write(run.master, "x", 1), 1);
    int exitCode = finish(&run);
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(run.seen, "\r\nError: Not enough parameter!  ('/?' for help)\r\n\r\n\r\n" + Prompt + "\r\n");
    EXPECT_TRUE(echoIsOn(run.master));
    close(run.master);
}

struct KeyCase {
    const char* name;
    std::string key;
};

const KeyCase KeyCases[] = {
    {"letter", "x"},
    {"Enter", "\r"},
    {"UTF-8 letter", "\xc3\xa9"},
    {"three-byte character", "\xe2\x82\xac"},
    {"arrow", "\x1b[A"},
    {"F5", "\x1b[15~"},
    {"Ctrl-arrow", "\x1b[1;5C"},
    {"F1", "\x1bOP"},
    {"Linux console F1", "\x1b[[A"},
    {"Alt-x", "\x1bx"},
};

// The key and a marker are typed at once; the shell then reads one byte,
// which must be the marker: the key was consumed whole and nothing more.
TEST(KeyWait, EachKeyIsConsumedWhole) {
    SKIP_UNDER_WINE("POSIX terminals");
    TempDir dir;
    dir.write("a.tik", titlecraft::ticketBytes({}));
    const std::string script =
        "cd \"$1\" && \"$0\" a.tik; echo \"rc=$?\"; stty raw -echo </dev/tty; head -c 1 </dev/tty | od -An -tx1; stty sane </dev/tty";
    for (const KeyCase& c : KeyCases) {
        SCOPED_TRACE(c.name);
        PtyRun run = startOnPty({"/bin/sh", "-c", script, TESSARLUMEN_EXE, dir.path});
        if (!readUntil(&run, Prompt) || !waitUntilKeyMode(run.master)) {
            stopHung(&run);
            FAIL() << "no prompt: " << run.seen;
        }
        std::string typed = c.key + "Z";
        ASSERT_EQ(write(run.master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
        if (!readUntil(&run, " 5a")) {
            stopHung(&run);
            FAIL() << "the marker was consumed or something was left: " << run.seen;
        }
        std::string after = run.seen.substr(run.seen.find(Prompt) + Prompt.size());
        EXPECT_EQ(after.substr(0, after.find(" 5a")), "\r\nrc=0\r\n");
        EXPECT_EQ(finish(&run), 0);
        close(run.master);
    }
}

// A signal during the wait ends the tool as that signal would, but the
// terminal gets its echo and line input back first.
TEST(KeyWait, SignalsRestoreTheMode) {
    SKIP_UNDER_WINE("POSIX terminals");
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM}) {
        SCOPED_TRACE(sig);
        PtyRun run = startOnPty({TESSARLUMEN_EXE, "/h"});
        ASSERT_TRUE(readUntil(&run, Prompt));
        ASSERT_TRUE(waitUntilKeyMode(run.master));
        kill(run.pid, sig);
        EXPECT_EQ(finish(&run), 128 + sig);
        EXPECT_TRUE(echoIsOn(run.master));
        close(run.master);
    }
}

// The terminal's signal keys keep working during the wait: Ctrl-C and
// Ctrl-\ end the run as their signals do (a shell loop stops at 130),
// with the mode restored; Ctrl-Z stops it, and after fg it takes a single
// key again (a key typed meanwhile counts).
TEST(KeyWait, SignalKeysKeepWorking) {
    SKIP_UNDER_WINE("POSIX terminals");
    const struct {
        const char* key;
        int exitCode;
    } ending[] = {{"\x03", 128 + SIGINT}, {"\x1c", 128 + SIGQUIT}};
    for (const auto& c : ending) {
        PtyRun run = startOnPty({TESSARLUMEN_EXE, "/h"});
        ASSERT_TRUE(readUntil(&run, Prompt) && waitUntilKeyMode(run.master));
        ASSERT_EQ(write(run.master, c.key, 1), 1);
        EXPECT_EQ(finish(&run), c.exitCode);
        EXPECT_TRUE(echoIsOn(run.master));
        close(run.master);
    }
    PtyRun run = startOnPty({"/bin/bash", "-c", "set -m; \"$0\" /h; fg >/dev/null; echo \"rc=$?\"", TESSARLUMEN_EXE});
    ASSERT_TRUE(readUntil(&run, Prompt) && waitUntilKeyMode(run.master));
    ASSERT_EQ(write(run.master, "\x1ax", 2), 2);
    if (!readUntil(&run, "rc=0")) {
        stopHung(&run);
        FAIL() << "not stopped, or no single key after fg: " << run.seen;
    }
    EXPECT_EQ(finish(&run), 0);
    close(run.master);
}

struct UnseenCase {
    const char* name;
    std::string script;  // $0 is the tool, $1 the folder holding a.tik
};

// The wait is only for someone who sees the prompt and can answer it: with
// the output going elsewhere, or in a background job, the tool writes the
// same bytes as without a terminal and ends at once, never stopped.
TEST(KeyWait, NoWaitWhereNobodySeesThePrompt) {
    SKIP_UNDER_WINE("POSIX terminals");
    TempDir dir;
    dir.write("a.tik", titlecraft::ticketBytes({}));
    const std::string withoutTerminal = runTool({"a.tik"}, dir.path).out;
    const UnseenCase cases[] = {
        {"output to a file", "cd \"$1\" && \"$0\" a.tik >out; echo \"rc=$?\"; cat out"},
        {"output to a pipe", "cd \"$1\" && \"$0\" a.tik | cat; echo \"rc=$?\""},
        {"background job", "set -m; cd \"$1\" && { \"$0\" a.tik & wait $!; echo \"rc=$?\"; }"},
    };
    for (const UnseenCase& c : cases) {
        SCOPED_TRACE(c.name);
        PtyRun run = startOnPty({"/bin/bash", "-c", c.script, TESSARLUMEN_EXE, dir.path});
        if (!readUntil(&run, "rc=0")) {
            stopHung(&run);
            FAIL() << "waited, or was stopped: " << run.seen;
        }
        EXPECT_EQ(finish(&run), 0);
        std::string shown;
        for (char ch : run.seen)
            if (ch != '\r')
                shown += ch;
        EXPECT_NE(shown.find(withoutTerminal), std::string::npos) << shown;
        close(run.master);
    }
}

TEST(KeyWait, NoTerminalReturnsAtOnce) {
    ToolRun run = runTool({"/h"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.substr(run.out.size() - Prompt.size() - 2), "\n" + Prompt + "\n");
}

// A long verifying run on a terminal keeps one status line on standard
// error, erased before each report and at the end; none off a terminal.
// The run is made long by a FIFO whose writer comes only once the line
// has shown.
TEST(Progress, OnATerminalOnlyAndErasedBeforeEachWrite) {
    SKIP_UNDER_WINE("POSIX terminals");
    TempDir dir;
    dir.write("a.tik", titlecraft::ticketBytes({}));
    std::string fifo = dir.path + "/slow.tik";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    auto feed = [&fifo] {
        titlecraft::Bytes ticket = titlecraft::ticketBytes({});
        int fd = open(fifo.c_str(), O_WRONLY);
        EXPECT_EQ(write(fd, ticket.data(), ticket.size()), static_cast<ssize_t>(ticket.size()));
        close(fd);
    };
    const std::string keys = "--keys=" + dir.path;
    PtyRun run = startOnPty({TESSARLUMEN_EXE, "/v", "/n", keys, "--jobs=2", fifo, dir.path + "/a.tik"});
    const std::string line = "\rVerifying 0 of 2 files, 0.0 of 0.0 MiB";
    bool shown = readUntil(&run, line);
    std::thread writer(feed);
    writer.join();
    if (!shown)
        stopHung(&run);
    ASSERT_TRUE(shown) << run.seen;
    EXPECT_EQ(finish(&run), 16);
    close(run.master);
    // The first report starts where the line was blanked, and the last line
    // drawn is blanked too.
    auto blanked = [&run](std::size_t end) {
        std::size_t start = run.seen.rfind('\r', end - 2);
        return end >= 2 && run.seen[end - 1] == '\r' && start != std::string::npos && start + 1 < end - 1 &&
               run.seen.find_first_not_of(' ', start + 1) == end - 1;
    };
    std::size_t report = run.seen.find("\r\nTicket info of");
    ASSERT_NE(report, std::string::npos);
    EXPECT_TRUE(blanked(report)) << run.seen;
    std::size_t last = run.seen.rfind("\rVerifying ");
    std::size_t after = run.seen.find("\r", last + 1);
    EXPECT_TRUE(after != std::string::npos && blanked(run.seen.find('\r', after + 1) + 1)) << run.seen;
    const std::string tally = "\r\nTessarlumen: 2 files: 2 unproven\r\n";
    EXPECT_EQ(run.seen.substr(run.seen.size() - tally.size()), tally);
    // Off a terminal the same run shows nothing of it.
    std::thread late([&feed] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        feed();
    });
    ToolRun piped = runTool({"/v", "/n", keys, "--jobs=2", fifo, "a.tik"}, dir.path);
    late.join();
    EXPECT_EQ(piped.err, "Tessarlumen: 2 files: 2 unproven\n");
}

}  // namespace
