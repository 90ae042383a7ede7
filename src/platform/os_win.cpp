// SPDX-License-Identifier: MIT
// The operating-system layer for Windows, on the C run-time library.
#include "platform/os.h"
#include "platform/fault_injection.h"

#include <cerrno>
#include <cstdio>
#include <cwchar>

#include <conio.h>
#include <io.h>
#include <share.h>
#include <windows.h>

#include "common/output.h"
#include "common/unicode.h"

namespace {

std::FILE* streamOf(const OsFile* file) {
    return reinterpret_cast<std::FILE*>(file->handle);
}

}  // namespace

OsResult osOpen(const wchar_t* name, OsFile* file) {
    if (osFaultNow(FaultOpen))
        return OsError;
    // Other readers may share the file; a writer is refused, and so is a
    // file someone is writing: that refusal is an ordinary failed open.
    std::FILE* stream = _wfsopen(name, L"rb", _SH_DENYWR);
    if (stream == nullptr)
        return OsError;
    int fd = _fileno(stream);
    // Only a file on disk has a length; a console, NUL or a pipe has none.
    auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    file->length = GetFileType(handle) == FILE_TYPE_DISK ? _filelengthi64(fd) : -1;
    file->handle = reinterpret_cast<std::intptr_t>(stream);
    return OsOk;
}

OsResult osReadAt(const OsFile* file, std::uint64_t offset, void* buf, std::size_t n) {
    if (osFaultNow(FaultRead))
        return OsError;
    std::FILE* stream = streamOf(file);
    if (offset > static_cast<std::uint64_t>(INT64_MAX) ||
        _fseeki64(stream, static_cast<long long>(offset), SEEK_SET) != 0)
        return OsError;
    return std::fread(buf, 1, n, stream) == n ? OsOk : OsError;
}

void osClose(OsFile* file) {
    // The stream was never shared with another thread, so its lock is not needed.
#if defined(_UCRT) || __MSVCRT_VERSION__ >= 0x800
    _fclose_nolock(streamOf(file));
#else
    std::fclose(streamOf(file));
#endif
    file->handle = 0;
}

OsResult osWriteStdout(const void* bytes, std::size_t n, int* error) {
    if (osFaultNow(FaultWrite)) {
        *error = EIO;
        return OsError;
    }
    // _write on the text-mode descriptor turns each "\n" into CR LF and
    // counts only the caller's bytes.
    auto* p = static_cast<const char*>(bytes);
    while (n > 0) {
        unsigned part = n > 0x40000000 ? 0x40000000u : static_cast<unsigned>(n);
        int put = _write(_fileno(stdout), p, part);
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
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

namespace {

// Names are written in the console's output code page, or the system's
// ANSI code page when there is no console.
unsigned outputCodePage() {
    unsigned page = GetConsoleOutputCP();
    return page != 0 ? page : GetACP();
}

// Writes one character of `units` UTF-16 units, or '?' when the code page
// has no exact equivalent for it.
void writeEncodedChar(unsigned page, const wchar_t* s, int units) {
    char bytes[8];
    BOOL usedDefault = FALSE;
    bool exactOnly = page != CP_UTF8 && page != CP_UTF7;
    int n = WideCharToMultiByte(page, exactOnly ? WC_NO_BEST_FIT_CHARS : 0, s, units, bytes, sizeof bytes, nullptr,
                                exactOnly ? &usedDefault : nullptr);
    if (n <= 0 && exactOnly)  // some code pages accept no flags
        n = WideCharToMultiByte(page, 0, s, units, bytes, sizeof bytes, nullptr, &usedDefault);
    if (n <= 0 || usedDefault)
        outChar('?');
    else
        outWrite(bytes, static_cast<std::size_t>(n));
}

}  // namespace

void osWriteName(const wchar_t* name) {
    unsigned page = 0;
    std::size_t left = std::wcslen(name);
    for (const wchar_t* s = name; *s != 0;) {
        std::size_t units = 1;
        char32_t c = decodeUtf16(s, left, &units);
        bool loneSurrogate = c == ReplacementCharacter && *s != 0xFFFD;
        if (isHiddenCodePoint(c) || loneSurrogate) {
            outChar('?');  // a control or format character, or half a surrogate pair
        } else if (c < 0x80) {
            outChar(static_cast<char>(c));
        } else {
            if (page == 0)
                page = outputCodePage();
            writeEncodedChar(page, s, static_cast<int>(units));
        }
        s += units;
        left -= units;
    }
}

void osReadKey() {
    // The prompt is seen only when standard output is the console.
    if (!osStdoutIsTerminal())
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
