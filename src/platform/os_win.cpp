// SPDX-License-Identifier: MIT
// The operating-system layer for Windows, on the C run-time library.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include <conio.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <windows.h>

#include "platform/os_common.h"
#include "platform/pool.h"
#include "platform/pool_sync.h"

namespace {

std::FILE* streamOf(const OsFile* file) {
    return reinterpret_cast<std::FILE*>(file->handle);
}

// Only a file on disk has a length; a console, NUL or a pipe is a stream.
OsResult describe(std::FILE* stream, OsFile* file) {
    int fd = _fileno(stream);
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    file->stream = GetFileType(handle) != FILE_TYPE_DISK;
    file->length = file->stream ? -1 : _filelengthi64(fd);
    file->handle = reinterpret_cast<std::intptr_t>(stream);
    file->error = 0;
    return OsOk;
}

OsResult winOpen(const wchar_t* name, OsFile* file) {
    // Other readers may share the file; a writer is refused, and so is a
    // file someone is writing: that refusal is an ordinary failed open.
    std::FILE* stream = _wfsopen(name, L"rb", _SH_DENYWR);
    if (stream == nullptr) {
        file->error = errno;
        return OsError;
    }
    return describe(stream, file);
}

OsResult winOpenStandardInput(OsFile* file) {
    // A copy in binary mode, so that closing it leaves standard input open.
    int fd = _dup(_fileno(stdin));
    std::FILE* stream = fd < 0 ? nullptr : _fdopen(fd, "rb");
    if (stream == nullptr) {
        file->error = errno;
        if (fd >= 0)
            _close(fd);
        return OsError;
    }
    _setmode(fd, _O_BINARY);
    return describe(stream, file);
}

OsResult winReadAt(OsFile* file, std::uint64_t offset, void* buf, std::size_t n) {
    std::FILE* stream = streamOf(file);
    file->error = 0;
    if (offset > static_cast<std::uint64_t>(INT64_MAX) ||
        _fseeki64(stream, static_cast<long long>(offset), SEEK_SET) != 0)
        return OsError;
    if (std::fread(buf, 1, n, stream) == n)
        return OsOk;
    if (std::ferror(stream))
        file->error = errno != 0 ? errno : EIO;
    return OsError;
}

OsResult winReadNext(OsFile* file, void* buf, std::size_t n, std::size_t* got) {
    std::FILE* stream = streamOf(file);
    *got = std::fread(buf, 1, n, stream);
    if (*got == 0 && std::ferror(stream)) {
        file->error = errno != 0 ? errno : EIO;
        return OsError;
    }
    return OsOk;
}

void winClose(OsFile* file) {
    // The stream was never shared with another thread, so its lock is not needed.
#if defined(_UCRT) || __MSVCRT_VERSION__ >= 0x800
    _fclose_nolock(streamOf(file));
#else
    std::fclose(streamOf(file));
#endif
    file->handle = 0;
}

OsResult writeAll(int fd, const void* bytes, std::size_t n, int* error) {
    // _write on a text-mode descriptor turns each "\n" into CR LF and
    // counts only the caller's bytes.
    auto* p = static_cast<const char*>(bytes);
    while (n > 0) {
        unsigned part = n > 0x40000000 ? 0x40000000u : static_cast<unsigned>(n);
        int put = _write(fd, p, part);
        if (put <= 0) {
            *error = put < 0 ? errno : EIO;
            return OsError;
        }
        p += put;
        n -= static_cast<std::size_t>(put);
    }
    return OsOk;
}

OsResult winWriteStdout(const void* bytes, std::size_t n, int* error) {
    return writeAll(_fileno(stdout), bytes, n, error);
}

OsResult winWriteStderr(const void* bytes, std::size_t n, int* error) {
    return writeAll(_fileno(stderr), bytes, n, error);
}

bool winStdoutIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool winStderrIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

int winStderrColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

std::uint64_t winClockMillis() {
    return GetTickCount64();
}

std::int64_t winLengthOf(const wchar_t* name) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(name, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return -1;
    return static_cast<std::int64_t>(std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow);
}

// Names are written in the console's output code page, or the system's
// ANSI code page when there is no console.
unsigned outputCodePage() {
    unsigned page = GetConsoleOutputCP();
    return page != 0 ? page : GetACP();
}

// Encodes one character in the code page, or nothing when the page has no
// exact equivalent for it.
std::size_t winEncodeForOutput(char32_t c, char* out) {
    static unsigned page = 0;
    if (page == 0)
        page = outputCodePage();
    wchar_t units[2];
    int count = 1;
    if (c >= 0x10000) {
        units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
        units[1] = static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        count = 2;
    } else {
        units[0] = static_cast<wchar_t>(c);
    }
    BOOL usedDefault = FALSE;
    bool exactOnly = page != CP_UTF8 && page != CP_UTF7;
    int size = static_cast<int>(OsMaxEncodedChar);
    int n = WideCharToMultiByte(page, exactOnly ? WC_NO_BEST_FIT_CHARS : 0, units, count, out, size, nullptr,
                                exactOnly ? &usedDefault : nullptr);
    if (n <= 0 && exactOnly)  // some code pages accept no flags
        n = WideCharToMultiByte(page, 0, units, count, out, size, nullptr, &usedDefault);
    return n <= 0 || usedDefault ? 0 : static_cast<std::size_t>(n);
}

void winReadKey() {
    // The prompt is seen only when standard output is the console.
    if (!winStdoutIsTerminal())
        return;
    // _getch reads the console itself, whatever standard input is. Without a
    // console to read, there is nothing to wait for.
    HANDLE input = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE)
        return;
    DWORD mode = 0;
    bool console = GetConsoleMode(input, &mode) != 0;
    CloseHandle(input);
    if (!console)
        return;
    // Arrows and function keys arrive as two codes, the first 0 or 0xE0.
    int key = _getch();
    if (key == 0 || key == 0xE0)
        _getch();
}

}  // namespace

std::size_t osDefaultKeyFolder(wchar_t* out, std::size_t room) {
    const wchar_t* appData = _wgetenv(L"APPDATA");
    if (appData == nullptr || appData[0] == 0)
        return 0;
    constexpr wchar_t Inside[] = L"\\Tessarlumen";
    std::size_t n = std::wcslen(appData) + sizeof Inside / sizeof Inside[0] - 1;
    if (n < room) {
        std::wcscpy(out, appData);
        std::wcscat(out, Inside);
    }
    return n;
}

namespace {

// The C run-time's error number for what Windows said.
int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
        return EACCES;
    default:
        return EIO;
    }
}

int winFolderError(const wchar_t* name) {
    DWORD attributes = GetFileAttributesW(name);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return errnoOf(GetLastError());
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : ENOTDIR;
}

OsResult winOpenRegular(const wchar_t* name, OsFile* file) {
    DWORD attributes = GetFileAttributesW(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        file->error = errnoOf(GetLastError());
        return file->error == ENOENT ? OsAbsent : OsError;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        file->error = EISDIR;
        return OsError;
    }
    if (winOpen(name, file) != OsOk)
        return OsError;
    if (file->stream) {
        winClose(file);
        file->error = OsNotRegularFile;
        return OsError;
    }
    return OsOk;
}

// A folder that is a reparse point (a junction, a link to a folder) is
// not walked into; a file that is one is a link, followed when read.
OsEntryKind entryKind(DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? OsEntryOther : OsEntryFolder;
    return (attributes & FILE_ATTRIBUTE_DEVICE) != 0 ? OsEntryOther : OsEntryFile;
}

OsResult winReadFolder(const wchar_t* folder, bool (*each)(void*, const wchar_t*, OsEntryKind), void* context,
                       int* error) {
    std::size_t n = std::wcslen(folder);
    auto* pattern = static_cast<wchar_t*>(std::malloc((n + 3) * sizeof(wchar_t)));
    if (pattern == nullptr) {
        *error = ENOMEM;
        return OsError;
    }
    std::wcscpy(pattern, folder);
    if (n > 0 && folder[n - 1] != L'\\' && folder[n - 1] != L'/')
        std::wcscat(pattern, L"\\");
    std::wcscat(pattern, L"*");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    std::free(pattern);
    if (search == INVALID_HANDLE_VALUE) {
        *error = errnoOf(GetLastError());
        return OsError;
    }
    do {
        const wchar_t* name = found.cFileName;
        if (std::wcscmp(name, L".") != 0 && std::wcscmp(name, L"..") != 0 &&
            !each(context, name, entryKind(found.dwFileAttributes)))
            break;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    *error = 0;
    return OsOk;
}

}  // namespace

const OsMethods osSystemMethods = {
    winOpen,          winOpenStandardInput, osCommonFileLength,  winReadAt,
    winReadNext,      winClose,             osCommonAlloc,       osCommonFree,
    winWriteStdout,   winWriteStderr,       winStdoutIsTerminal,  winStderrIsTerminal, winStderrColumns, winClockMillis, winLengthOf,
    winEncodeForOutput,  osCommonErrorText,
    winFolderError,   winOpenRegular,       winReadFolder,       winReadKey,
};

// ---- Threads, for the pool ----

struct PoolSync {
    SRWLOCK lock;
    CONDITION_VARIABLE changed;
};

struct PoolThread {
    HANDLE handle;
    void (*run)(void*);
    void* argument;
};

PoolSync* poolSyncNew() {
    auto* sync = static_cast<PoolSync*>(std::malloc(sizeof(PoolSync)));
    if (sync != nullptr) {
        InitializeSRWLock(&sync->lock);
        InitializeConditionVariable(&sync->changed);
    }
    return sync;
}

void poolSyncFree(PoolSync* sync) {
    std::free(sync);
}

void poolLock(PoolSync* sync) {
    AcquireSRWLockExclusive(&sync->lock);
}

void poolUnlock(PoolSync* sync) {
    ReleaseSRWLockExclusive(&sync->lock);
}

void poolWait(PoolSync* sync) {
    // Timed, so that an interrupt is seen within moments.
    constexpr DWORD StopLookMillis = 100;
    SleepConditionVariableSRW(&sync->changed, &sync->lock, StopLookMillis, 0);
}

void poolWakeAll(PoolSync* sync) {
    WakeAllConditionVariable(&sync->changed);
}

namespace {

DWORD WINAPI threadMain(void* argument) {
    auto* thread = static_cast<PoolThread*>(argument);
    thread->run(thread->argument);
    return 0;
}

}  // namespace

PoolThread* poolThreadStart(void (*run)(void*), void* argument) {
    auto* thread = static_cast<PoolThread*>(std::malloc(sizeof(PoolThread)));
    if (thread == nullptr)
        return nullptr;
    thread->run = run;
    thread->argument = argument;
    thread->handle = CreateThread(nullptr, 0, threadMain, thread, 0, nullptr);
    if (thread->handle == nullptr) {
        std::free(thread);
        return nullptr;
    }
    return thread;
}

void poolThreadJoin(PoolThread* thread) {
    WaitForSingleObject(thread->handle, INFINITE);
    CloseHandle(thread->handle);
    std::free(thread);
}

int osProcessorCount() {
    DWORD active = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
    return active > 0 ? static_cast<int>(active) : 1;
}

// ---- Interrupts ----

namespace {

volatile LONG interrupted = 0;

// Runs on a thread of its own, which the system starts for the event.
BOOL WINAPI noteInterrupt(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    InterlockedExchange(&interrupted, 1);
    return TRUE;
}

}  // namespace

void osCatchInterrupts() {
    SetConsoleCtrlHandler(noteInterrupt, TRUE);
}

bool osInterrupted() {
    return InterlockedCompareExchange(&interrupted, 0, 0) != 0;
}

void osEndByInterrupt() {
    // What the system's own handler ends a process with at Ctrl-C.
    constexpr UINT ControlCExit = 0xC000013AU;
    ExitProcess(ControlCExit);
}
