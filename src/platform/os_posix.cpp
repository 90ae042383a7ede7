// SPDX-License-Identifier: MIT
// The operating-system layer for Linux and other POSIX systems.
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/os_common.h"
#include "platform/pool.h"
#include "platform/pool_sync.h"

// Title files can be larger than 2 GiB, and a WAD's sections lie where its
// header says: every offset must reach the whole file, on 32-bit systems too.
static_assert(sizeof(off_t) == 8, "build with 64-bit file offsets (_FILE_OFFSET_BITS=64)");

namespace {

int descriptorOf(const OsFile* file) {
    return static_cast<int>(file->handle);
}

// How long a wait for a descriptor goes on before it looks again whether
// the run is stopping.
constexpr int StopLookMillis = 100;

// Waits until `fd` can be read (POLLIN) or written (POLLOUT): a descriptor
// left non-blocking by whoever handed it over answers EAGAIN instead.
// False when the run began to stop while waiting for a read.
bool waitFor(int fd, short events) {
    pollfd p{fd, events, 0};
    for (;;) {
        if (events == POLLIN && osStopRequested())
            return false;
        int ready = poll(&p, 1, events == POLLIN ? StopLookMillis : -1);
        if (ready > 0 || (ready < 0 && errno != EINTR))
            return true;
    }
}

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

// Takes the length of a regular file; anything else but a directory is a
// stream, read in order to its end, unless only a regular file will do.
OsResult describe(int fd, OsFile* file, bool regularOnly = false) {
    struct stat st;
    int failure = fstat(fd, &st) != 0       ? errno
                  : S_ISDIR(st.st_mode)     ? EISDIR
                  : regularOnly && !S_ISREG(st.st_mode) ? OsNotRegularFile
                                                        : 0;
    if (failure != 0) {
        // Linux opens directories for reading; to the tool they are files
        // that cannot be opened, whatever the file system.
        file->error = failure;
        close(fd);
        return OsError;
    }
    file->handle = fd;
    file->stream = !S_ISREG(st.st_mode);
    file->length = file->stream ? -1 : st.st_size;
    file->error = 0;
    return OsOk;
}

// Opens `name` for reading without waiting: without O_NONBLOCK a FIFO
// would wait here for a writer that may never come, before the run knows
// whether it needs the FIFO at all; its reads wait for the writer instead,
// in the FIFO's turn.
int openNow(const char* name) {
    int fd;
    do {
        fd = open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

OsResult posixOpen(const char* name, OsFile* file) {
    int fd = openNow(name);
    if (fd < 0) {
        file->error = errno;
        return OsError;
    }
    return describe(fd, file);
}

OsResult posixOpenStandardInput(OsFile* file) {
    // A copy, so that closing the file leaves standard input itself open.
    int fd = fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    if (fd < 0) {
        file->error = errno;
        return OsError;
    }
    return describe(fd, file);
}

OsResult posixReadAt(OsFile* file, std::uint64_t offset, void* buf, std::size_t n) {
    auto* p = static_cast<unsigned char*>(buf);
    while (n > 0) {
        if (offset > static_cast<std::uint64_t>(INT64_MAX)) {
            file->error = 0;
            return OsError;
        }
        ssize_t got = pread(descriptorOf(file), p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            file->error = got < 0 ? errno : 0;
            return OsError;
        }
        p += got;
        n -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return OsOk;
}

// Each read waits first until the stream has bytes or has ended, so that
// a FIFO whose writer has not come yet is not taken for empty and a stop
// is seen while waiting.
OsResult posixReadNext(OsFile* file, void* buf, std::size_t n, std::size_t* got) {
    for (;;) {
        if (!waitFor(descriptorOf(file), POLLIN)) {
            file->error = OsStopped;
            return OsError;
        }
        ssize_t r = read(descriptorOf(file), buf, n);
        if (r >= 0) {
            *got = static_cast<std::size_t>(r);
            return OsOk;
        }
        if (!wouldBlock(errno) && errno != EINTR)
            break;
    }
    file->error = errno;
    return OsError;
}

void posixClose(OsFile* file) {
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    if (file->handle >= 0)
        close(descriptorOf(file));
    file->handle = -1;
}

OsResult writeAll(int fd, const void* bytes, std::size_t n, int* error) {
    auto* p = static_cast<const char*>(bytes);
    while (n > 0) {
        ssize_t put = write(fd, p, n);
        if (put < 0 && errno == EINTR && osInterrupted()) {
            *error = EINTR;  // the process is about to end by the interrupt
            return OsError;
        }
        if (put < 0 && (errno == EINTR || wouldBlock(errno))) {
            if (errno != EINTR)
                waitFor(fd, POLLOUT);
            continue;
        }
        if (put <= 0) {
            *error = put < 0 ? errno : EIO;
            return OsError;
        }
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return OsOk;
}

OsResult posixWriteStdout(const void* bytes, std::size_t n, int* error) {
    return writeAll(STDOUT_FILENO, bytes, n, error);
}

OsResult posixWriteStderr(const void* bytes, std::size_t n, int* error) {
    return writeAll(STDERR_FILENO, bytes, n, error);
}

bool posixStdoutIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

bool posixStderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

int posixStderrColumns() {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

std::uint64_t posixClockMillis() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
}

std::int64_t posixLengthOf(const char* name) {
    struct stat st;
    return stat(name, &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
}

std::size_t posixEncodeForOutput(char32_t c, char* out) {
    // The locale is needed only for names that are not plain ASCII, so it
    // is set up on first use rather than at every start.
    static bool localeReady = false;
    if (!localeReady) {
        std::setlocale(LC_CTYPE, "");
        localeReady = true;
    }
    // wchar_t holds the Unicode code point on the systems the tool is built
    // for (glibc, macOS and the BSDs in their UTF-8 locales).
    if (static_cast<unsigned long>(c) > static_cast<unsigned long>(WCHAR_MAX))
        return 0;
    std::mbstate_t state{};
    std::size_t n = std::wcrtomb(out, static_cast<wchar_t>(c), &state);
    return n == static_cast<std::size_t>(-1) || n > OsMaxEncodedChar ? 0 : n;
}

// ---- The key wait ----

// How long the rest of a key's byte sequence may take to follow its first
// byte. Terminals send a key's sequence in one write, so this only matters
// for a lone Escape, which it delays by this much.
constexpr int KeyFollowMillis = 100;
// Longest escape sequence consumed; anything longer is not a key.
constexpr int MaxSequenceBytes = 16;

// The signals whose default ends the process. During the wait each of them
// first gives the terminal its mode back. Ctrl-C and Ctrl-\ arrive this way
// too: the terminal keeps its signal keys while the tool waits.
constexpr int EndingSignals[] = {
    SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE,
    SIGALRM, SIGTERM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGSYS,
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
#ifdef SIGPOLL
    SIGPOLL,
#endif
#ifdef SIGPWR
    SIGPWR,
#endif
};
// The signals that stop it: the terminal gets its mode back before the
// stop, and the wait takes single keys again once it goes on (SIGCONT).
constexpr int StoppingSignals[] = {SIGTSTP, SIGTTIN, SIGTTOU};
constexpr int SignalSlots = 128;

int keyFd = -1;
termios savedMode;
termios keyMode;
struct sigaction savedActions[SignalSlots];
bool trapped[SignalSlots];

void restoreModeAndEnd(int sig) {
    tcsetattr(keyFd, TCSANOW, &savedMode);
    // SA_RESETHAND has put back the default action; the signal, blocked in
    // here, ends the process as soon as this handler returns.
    raise(sig);
}

void restoreModeAndStop(int sig) {
    int error = errno;
    tcsetattr(keyFd, TCSANOW, &savedMode);
    struct sigaction stop {};
    struct sigaction mine {};
    stop.sa_handler = SIG_DFL;
    sigaction(sig, &stop, &mine);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(sig);  // stops here, unless no shell could resume it (an orphaned process group)
    sigprocmask(SIG_BLOCK, &only, nullptr);
    sigaction(sig, &mine, nullptr);
    tcsetattr(keyFd, TCSANOW, &keyMode);
    errno = error;
}

void resumeKeyMode(int) {
    int error = errno;
    tcsetattr(keyFd, TCSANOW, &keyMode);
    errno = error;
}

void trap(int sig, void (*handler)(int), int flags, const sigset_t& during) {
    if (sig <= 0 || sig >= SignalSlots)
        return;
    trapped[sig] = false;
    // A signal the caller ignores (nohup, for one) stays ignored.
    if (sigaction(sig, nullptr, &savedActions[sig]) != 0 || savedActions[sig].sa_handler == SIG_IGN)
        return;
    struct sigaction action {};
    action.sa_handler = handler;
    action.sa_flags = flags;
    action.sa_mask = during;
    trapped[sig] = sigaction(sig, &action, nullptr) == 0;
}

void trapSignals() {
    // Every handler runs with the others held off, so the mode it sets stands.
    sigset_t during;
    sigemptyset(&during);
    for (int sig : EndingSignals)
        sigaddset(&during, sig);
    for (int sig : StoppingSignals)
        sigaddset(&during, sig);
    sigaddset(&during, SIGCONT);
    for (int sig : EndingSignals)
        trap(sig, restoreModeAndEnd, SA_RESETHAND, during);
#ifdef SIGRTMIN
    for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig)
        trap(sig, restoreModeAndEnd, SA_RESETHAND, during);
#endif
    for (int sig : StoppingSignals)
        trap(sig, restoreModeAndStop, SA_RESTART, during);
    sigdelset(&during, SIGCONT);
    trap(SIGCONT, resumeKeyMode, SA_RESTART, during);
}

void untrapSignals() {
    for (int sig = 1; sig < SignalSlots; ++sig)
        if (trapped[sig])
            sigaction(sig, &savedActions[sig], nullptr);
}

bool readByte(int fd, unsigned char* byte) {
    ssize_t got;
    do {
        got = read(fd, byte, 1);
    } while (got < 0 && errno == EINTR);
    return got == 1;
}

// The next byte of the same key, if one follows promptly. select() rather
// than poll(), which does not work on terminal devices on macOS.
bool followingByte(int fd, unsigned char* byte) {
    int ready;
    do {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(fd, &readable);
        timeval wait{0, KeyFollowMillis * 1000};
        ready = select(fd + 1, &readable, nullptr, nullptr, &wait);
    } while (ready < 0 && errno == EINTR);
    return ready > 0 && readByte(fd, byte);
}

void consumeUtf8Tail(int fd, unsigned char lead) {
    int tail = lead >= 0xF0 && lead < 0xF8 ? 3 : lead >= 0xE0 && lead < 0xF0 ? 2 : lead >= 0xC0 && lead < 0xE0 ? 1 : 0;
    unsigned char byte;
    while (tail-- > 0 && followingByte(fd, &byte)) {
    }
}

// Consumes the rest of a special key: "ESC [ params final" (arrows, F5 and
// up), "ESC O x" (F1 to F4), or the Linux console's "ESC [ [ x".
void consumeEscapeSequence(int fd) {
    unsigned char byte;
    if (!followingByte(fd, &byte))
        return;  // a lone Escape
    if (byte == 'O') {
        followingByte(fd, &byte);
        return;
    }
    if (byte != '[') {
        consumeUtf8Tail(fd, byte);  // Alt with a key
        return;
    }
    if (!followingByte(fd, &byte))
        return;
    if (byte == '[') {
        followingByte(fd, &byte);
        return;
    }
    for (int n = 0; (byte < 0x40 || byte > 0x7E) && n < MaxSequenceBytes; ++n)
        if (!followingByte(fd, &byte))
            return;
}

// Someone can see the prompt and answer it only when standard output is
// the terminal the key is read from and the process is in its foreground.
// Output to a file or a pipe shows no prompt, and a background job that
// changed the terminal's mode would be stopped by the kernel.
// tcgetsid() fails unless standard output is the controlling terminal,
// which is the one /dev/tty opens.
bool promptIsSeen() {
    return isatty(STDOUT_FILENO) == 1 && tcgetsid(STDOUT_FILENO) == getsid(0) &&
           tcgetpgrp(STDOUT_FILENO) == getpgrp();
}

void posixReadKey() {
    if (!promptIsSeen())
        return;
    keyFd = open("/dev/tty", O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (keyFd < 0)
        return;  // no controlling terminal: nothing to wait for
    if (tcgetattr(keyFd, &savedMode) == 0) {
        // Single keys without echo; the signal keys (Ctrl-C, Ctrl-\, Ctrl-Z)
        // still send their signals.
        keyMode = savedMode;
        keyMode.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | IEXTEN);
        keyMode.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
        keyMode.c_cc[VMIN] = 1;
        keyMode.c_cc[VTIME] = 0;
        trapSignals();
        unsigned char byte;
        if (tcsetattr(keyFd, TCSANOW, &keyMode) == 0 && readByte(keyFd, &byte)) {
            if (byte == 0x1B)
                consumeEscapeSequence(keyFd);
            else
                consumeUtf8Tail(keyFd, byte);
        }
        tcsetattr(keyFd, TCSANOW, &savedMode);
        untrapSignals();
    }
    close(keyFd);
    keyFd = -1;
}

}  // namespace

std::size_t osDefaultKeyFolder(char* out, std::size_t room) {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    int n = 0;
    if (config != nullptr && config[0] == '/')
        n = std::snprintf(out, room, "%s/tessarlumen", config);
    else if (home != nullptr && home[0] != 0)
        n = std::snprintf(out, room, "%s/.config/tessarlumen", home);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

namespace {

int posixFolderError(const char* name) {
    int fd = open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    close(fd);
    return 0;
}

OsResult posixOpenRegular(const char* name, OsFile* file) {
    int fd = openNow(name);
    if (fd < 0) {
        file->error = errno;
        struct stat link;
        // A name that leads nowhere is not the same as no name at all.
        return errno == ENOENT && lstat(name, &link) != 0 ? OsAbsent : OsError;
    }
    return describe(fd, file, true);
}

// The kind the listing gives where it can; a link, or an entry of a file
// system that does not say, is looked at (a link through to what it leads to).
OsEntryKind entryKind(DIR* entries, const dirent* entry) {
    if (entry->d_type == DT_REG)
        return OsEntryFile;
    if (entry->d_type == DT_DIR)
        return OsEntryFolder;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return OsEntryOther;
    struct stat st;
    if (fstatat(dirfd(entries), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        return OsEntryOther;
    if (S_ISDIR(st.st_mode))
        return OsEntryFolder;
    if (S_ISLNK(st.st_mode) && fstatat(dirfd(entries), entry->d_name, &st, 0) != 0)
        return OsEntryOther;
    return S_ISREG(st.st_mode) ? OsEntryFile : OsEntryOther;
}

OsResult posixReadFolder(const char* folder, bool (*each)(void*, const char*, OsEntryKind), void* context,
                         int* error) {
    DIR* entries = opendir(folder);
    if (entries == nullptr) {
        *error = errno;
        return OsError;
    }
    for (;;) {
        errno = 0;
        dirent* entry = readdir(entries);
        if (entry == nullptr)
            break;
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0 &&
            !each(context, entry->d_name, entryKind(entries, entry)))
            break;
    }
    *error = errno;
    closedir(entries);
    return *error == 0 ? OsOk : OsError;
}

}  // namespace

const OsMethods osSystemMethods = {
    posixOpen,          posixOpenStandardInput, osCommonFileLength,    posixReadAt,
    posixReadNext,      posixClose,             osCommonAlloc,         osCommonFree,
    posixWriteStdout,   posixWriteStderr,       posixStdoutIsTerminal, posixStderrIsTerminal, posixStderrColumns, posixClockMillis, posixLengthOf,
    posixEncodeForOutput,  osCommonErrorText,
    posixFolderError,   posixOpenRegular,       posixReadFolder,       posixReadKey,
};

// ---- Threads, for the pool ----

struct PoolSync {
    pthread_mutex_t lock;
    pthread_cond_t changed;
};

struct PoolThread {
    pthread_t thread;
    void (*run)(void*);
    void* argument;
};

PoolSync* poolSyncNew() {
    auto* sync = static_cast<PoolSync*>(std::malloc(sizeof(PoolSync)));
    if (sync == nullptr)
        return nullptr;
    if (pthread_mutex_init(&sync->lock, nullptr) != 0) {
        std::free(sync);
        return nullptr;
    }
    // Its waits are timed by the monotonic clock, so that an interrupt is
    // seen within moments whatever the wall clock does.
    pthread_condattr_t attributes;
    bool made = pthread_condattr_init(&attributes) == 0;
    made = made && pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0 &&
           pthread_cond_init(&sync->changed, &attributes) == 0;
    pthread_condattr_destroy(&attributes);
    if (!made) {
        pthread_mutex_destroy(&sync->lock);
        std::free(sync);
        return nullptr;
    }
    return sync;
}

void poolSyncFree(PoolSync* sync) {
    pthread_cond_destroy(&sync->changed);
    pthread_mutex_destroy(&sync->lock);
    std::free(sync);
}

void poolLock(PoolSync* sync) {
    pthread_mutex_lock(&sync->lock);
}

void poolUnlock(PoolSync* sync) {
    pthread_mutex_unlock(&sync->lock);
}

void poolWait(PoolSync* sync) {
    timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_nsec += StopLookMillis * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    pthread_cond_timedwait(&sync->changed, &sync->lock, &until);
}

void poolWakeAll(PoolSync* sync) {
    pthread_cond_broadcast(&sync->changed);
}

namespace {

void* threadMain(void* argument) {
    auto* thread = static_cast<PoolThread*>(argument);
    thread->run(thread->argument);
    return nullptr;
}

}  // namespace

PoolThread* poolThreadStart(void (*run)(void*), void* argument) {
    auto* thread = static_cast<PoolThread*>(std::malloc(sizeof(PoolThread)));
    if (thread == nullptr)
        return nullptr;
    thread->run = run;
    thread->argument = argument;
    // Signals stay with the main thread, which waits for keys and writes.
    sigset_t all;
    sigset_t before;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &before);
    int started = pthread_create(&thread->thread, nullptr, threadMain, thread);
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    if (started != 0) {
        std::free(thread);
        return nullptr;
    }
    return thread;
}

void poolThreadJoin(PoolThread* thread) {
    pthread_join(thread->thread, nullptr);
    std::free(thread);
}

int osProcessorCount() {
#ifdef CPU_COUNT
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0)
        return CPU_COUNT(&allowed);
#endif
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(online) : 1;
}

// ---- Interrupts ----

namespace {

volatile std::sig_atomic_t interruptedBy = 0;

void noteInterrupt(int sig) {
    interruptedBy = sig;
}

}  // namespace

void osCatchInterrupts() {
    // Without SA_RESTART, so that a call waiting for a writer or a reader
    // returns and the run sees the interrupt.
    constexpr int Interrupts[] = {SIGINT, SIGTERM};
    for (int sig : Interrupts) {
        struct sigaction now {};
        // A signal the caller ignores (nohup, for one) stays ignored.
        if (sigaction(sig, nullptr, &now) != 0 || now.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = noteInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(sig, &action, nullptr);
    }
}

bool osInterrupted() {
    return interruptedBy != 0;
}

void osEndByInterrupt() {
    int sig = interruptedBy != 0 ? static_cast<int>(interruptedBy) : SIGINT;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigaction(sig, &action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, sig);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    raise(sig);
    _exit(128 + sig);  // not reached: the signal ends the process
}
