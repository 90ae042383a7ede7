// SPDX-License-Identifier: MIT
// The operating-system layer for Linux and other POSIX systems.
#include "platform/os.h"
#include "platform/fault_injection.h"

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstring>
#include <cwchar>

#include <fcntl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "common/output.h"
#include "common/unicode.h"

// Title files can be larger than 2 GiB, and a WAD's sections lie where its
// header says: every offset must reach the whole file, on 32-bit systems too.
static_assert(sizeof(off_t) == 8, "build with 64-bit file offsets (_FILE_OFFSET_BITS=64)");

OsResult osOpen(const char* name, OsFile* file) {
    if (osFaultNow(FaultOpen))
        return OsError;
    // O_NONBLOCK keeps a FIFO without a writer from hanging the open; it
    // changes nothing for regular files.
    int fd;
    do {
        fd = open(name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    struct stat st;
    if (fd < 0) {
        // Some special files (a socket, a device without a driver) refuse to
        // open at all. They are still not regular files, so they open as
        // files without a length, like a FIFO or a working device.
        if (stat(name, &st) != 0 || S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
            return OsError;
        file->handle = -1;
        file->length = -1;
        return OsOk;
    }
    std::int64_t length = -1;
    if (fstat(fd, &st) == 0) {
        // Linux opens directories for reading; to the tool they are files
        // that cannot be opened, whatever the file system.
        if (S_ISDIR(st.st_mode)) {
            close(fd);
            return OsError;
        }
        if (S_ISREG(st.st_mode))
            length = st.st_size;
    }
    file->handle = fd;
    file->length = length;
    return OsOk;
}

OsResult osReadAt(const OsFile* file, std::uint64_t offset, void* buf, std::size_t n) {
    if (osFaultNow(FaultRead))
        return OsError;
    auto* p = static_cast<unsigned char*>(buf);
    while (n > 0) {
        if (offset > static_cast<std::uint64_t>(INT64_MAX))
            return OsError;
        ssize_t got = pread(static_cast<int>(file->handle), p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return OsError;
        p += got;
        n -= static_cast<std::size_t>(got);
        offset += static_cast<std::uint64_t>(got);
    }
    return OsOk;
}

void osClose(OsFile* file) {
    // close() is not retried on EINTR: on Linux the descriptor is gone either way.
    if (file->handle >= 0)
        close(static_cast<int>(file->handle));
    file->handle = -1;
}

OsResult osWriteStdout(const void* bytes, std::size_t n, int* error) {
    if (osFaultNow(FaultWrite)) {
        *error = EIO;
        return OsError;
    }
    auto* p = static_cast<const char*>(bytes);
    while (n > 0) {
        ssize_t put = write(STDOUT_FILENO, p, n);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            *error = put < 0 ? errno : EIO;
            return OsError;
        }
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return OsOk;
}

bool osStdoutIsTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

namespace {

// Writes one character that is not ASCII, decoded in the locale's encoding.
// Returns how many bytes of `s` it took.
std::size_t writeEncodedChar(const char* s, std::size_t left) {
    // The locale is needed only for names that are not plain ASCII, so it is
    // set up on first use rather than at every start.
    static bool localeReady = false;
    if (!localeReady) {
        std::setlocale(LC_CTYPE, "");
        localeReady = true;
    }
    std::mbstate_t state{};
    wchar_t wc = 0;
    std::size_t used = std::mbrtowc(&wc, s, left, &state);
    if (used == static_cast<std::size_t>(-1) || used == static_cast<std::size_t>(-2) || used == 0) {
        outChar('?');
        return 1;
    }
    // wchar_t holds the Unicode code point on the systems the tool is built
    // for (glibc, macOS and the BSDs in their UTF-8 locales).
    if (isHiddenCodePoint(static_cast<char32_t>(wc)))
        outChar('?');
    else
        outWrite(s, used);
    return used;
}

}  // namespace

void osWriteName(const char* name) {
    std::size_t length = std::strlen(name);
    std::size_t i = 0;
    while (i < length) {
        std::size_t run = i;
        while (run < length && name[run] >= 0x20 && name[run] < 0x7F)
            ++run;
        outWrite(name + i, run - i);
        i = run;
        if (i == length)
            break;
        auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x80) {
            outChar('?');
            ++i;
        } else {
            i += writeEncodedChar(name + i, length - i);
        }
    }
}

// ---- The key wait ----

namespace {

// How long the rest of a key's byte sequence may take to follow its first
// byte. Terminals send a key's sequence in one write, so this only matters
// for a lone Escape, which it delays by this much.
constexpr int KeyFollowMillis = 100;
// Longest escape sequence consumed; anything longer is not a key.
constexpr int MaxSequenceBytes = 16;

constexpr int TrappedSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int TrappedCount = sizeof TrappedSignals / sizeof TrappedSignals[0];

int keyFd = -1;
termios savedMode;
struct sigaction savedActions[TrappedCount];
bool trapped[TrappedCount];

// A signal that ends the process during the wait must not leave the
// terminal without echo: restore the mode, then die of the same signal.
// SA_RESETHAND has put back the default action, and the re-raised signal
// is delivered as soon as this handler returns.
void restoreModeAndDie(int sig) {
    tcsetattr(keyFd, TCSANOW, &savedMode);
    raise(sig);
}

void trapSignals() {
    struct sigaction action {};
    action.sa_handler = restoreModeAndDie;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < TrappedCount; ++i) {
        trapped[i] = false;
        // A signal the caller ignores (nohup, for one) stays ignored.
        if (sigaction(TrappedSignals[i], nullptr, &savedActions[i]) != 0 ||
            savedActions[i].sa_handler == SIG_IGN)
            continue;
        trapped[i] = sigaction(TrappedSignals[i], &action, nullptr) == 0;
    }
}

void untrapSignals() {
    for (int i = 0; i < TrappedCount; ++i)
        if (trapped[i])
            sigaction(TrappedSignals[i], &savedActions[i], nullptr);
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

}  // namespace

void osReadKey() {
    if (!promptIsSeen())
        return;
    keyFd = open("/dev/tty", O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (keyFd < 0)
        return;  // no controlling terminal: nothing to wait for
    if (tcgetattr(keyFd, &savedMode) == 0) {
        termios raw = savedMode;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
        raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        trapSignals();
        unsigned char byte;
        if (tcsetattr(keyFd, TCSANOW, &raw) == 0 && readByte(keyFd, &byte)) {
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
