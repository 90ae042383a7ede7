// SPDX-License-Identifier: MIT
#include "tool_run.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Far beyond any run of the tool, even under valgrind; only a hang gets there.
constexpr unsigned HangLimitSeconds = 60;

void drain(int outFd, int errFd, std::string* out, std::string* err) {
    pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
    std::string* sinks[2] = {out, err};
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buf[4096];
            ssize_t got = read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                sinks[i]->append(buf, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

// Windows text output ends every line with CR LF. A line feed without its
// carriage return is kept visible as "<LF>" so that a comparison fails.
std::string fromCrLf(const std::string& out) {
    std::string lines;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\r' && i + 1 < out.size() && out[i + 1] == '\n')
            continue;
        if (out[i] == '\n' && (i == 0 || out[i - 1] != '\r'))
            lines += "<LF>";
        lines += out[i];
    }
    return lines;
}

std::vector<std::string> wrapperWords() {
    std::vector<std::string> words;
    const char* wrapper = std::getenv("TESSARLUMEN_TEST_WRAPPER");
    std::string word;
    for (const char* p = wrapper ? wrapper : ""; *p != 0; ++p) {
        if (*p != ' ') {
            word += *p;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!word.empty())
        words.push_back(word);
    return words;
}

}  // namespace

ToolRun runTool(const std::vector<std::string>& args, const std::string& dir, const std::vector<std::string>& env,
                bool asNobody) {
    return runProgram(TESSARLUMEN_EXE, args, dir, env, asNobody);
}

namespace {

// Points the child's descriptor 1 where `output` says; the pipe's write end
// stays open in the parent only while the child starts.
void redirectStdout(Stdout output, int pipeWriteEnd, int brokenWriteEnd) {
    switch (output) {
    case Stdout::Pipe:
        dup2(pipeWriteEnd, 1);
        break;
    case Stdout::Closed:
        close(1);
        break;
    case Stdout::BrokenPipe:
        signal(SIGPIPE, SIG_IGN);  // stays ignored across exec
        dup2(brokenWriteEnd, 1);
        break;
    case Stdout::BrokenPipeSignal:
        signal(SIGPIPE, SIG_DFL);
        dup2(brokenWriteEnd, 1);
        break;
    case Stdout::Full:
        dup2(open("/dev/full", O_WRONLY), 1);
        break;
    case Stdout::NonBlockingPipe:
        // A page of room: the reader falls behind, and writes meet EAGAIN.
        dup2(pipeWriteEnd, 1);
        fcntl(1, F_SETPIPE_SZ, 4096);
        fcntl(1, F_SETFL, fcntl(1, F_GETFL) | O_NONBLOCK);
        break;
    }
}

}  // namespace

ToolRun runProgram(const std::string& exe, const std::vector<std::string>& args, const std::string& dir,
                   const std::vector<std::string>& env, bool asNobody, Stdout output) {
    int outPipe[2];
    int errPipe[2];
    int broken[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0 || pipe2(broken, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    close(broken[0]);  // nobody will ever read what the tool writes there
    // The wrapper goes before a build of the tool, not before a shell that
    // runs one (the shell's script puts it before the tool itself).
    std::vector<std::string> words = exe.rfind("/bin/", 0) == 0 ? std::vector<std::string>{} : wrapperWords();
    if (UnderWine && exe.size() > 4 && exe.compare(exe.size() - 4, 4, ".exe") == 0)
        words.insert(words.begin(), "wine");
    words.push_back(exe);
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid == 0) {
        setsid();  // no controlling terminal from here on
        if (asNobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(125);
        if (chdir(dir.c_str()) != 0)
            _exit(126);
        int in = open("/dev/null", O_RDONLY);
        dup2(in, 0);
        redirectStdout(output, outPipe[1], broken[1]);
        dup2(errPipe[1], 2);
        close_range(3, ~0u, 0);
        alarm(HangLimitSeconds);  // survives exec: a hanging tool dies of SIGALRM
        setenv("LC_ALL", "C.UTF-8", 1);
#ifdef TESSARLUMEN_UNDER_WINE
        setenv("WINEPREFIX", WINE_PREFIX, 1);
        setenv("WINEDEBUG", "-all", 1);
#endif
        for (const std::string& e : env)
            putenv(const_cast<char*>(e.c_str()));
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    close(broken[1]);
    ToolRun run{-1, {}, {}};
    drain(outPipe[0], errPipe[0], &run.out, &run.err);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (UnderWine) {
        run.out = fromCrLf(run.out);
        run.err = fromCrLf(run.err);
    }
    return run;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tessarlumen-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string TempDir::write(const std::string& name, const titlecraft::Bytes& bytes) const {
    std::string file = path + "/" + name;
    if (!titlecraft::writeFile(file, bytes))
        throw std::runtime_error("cannot write " + file);
    return file;
}

std::string readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

bool underWrapper() {
    return std::getenv("TESSARLUMEN_TEST_WRAPPER") != nullptr;
}

std::string leftoversOfDoingNothing(const std::string& dir, const std::string& report) {
    runProgram(TESSARLUMEN_FAULTS_EXE, {"/n", ""}, dir, {"TESSARLUMEN_FAULT_REPORT=" + report}, false);
    std::string leftovers = firstLine(readFileBytes(report));
    if (!underWrapper() && leftovers != "open-descriptors=0 live-blocks=0")
        throw std::runtime_error("a run that opens nothing leaves " + leftovers);
    return leftovers;
}
