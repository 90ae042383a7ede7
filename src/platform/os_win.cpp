// The operating-system layer for Windows, on the C run-time library.
#include "platform/os.h"
#include "platform/fault_injection.h"

#include <cstdio>

#include <conio.h>
#include <io.h>
#include <share.h>
#include <windows.h>

namespace {

std::FILE* streamOf(const OsFile* file) {
    return reinterpret_cast<std::FILE*>(file->handle);
}

}  // namespace

int osOpen(const wchar_t* name, OsFile* file) {
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

int osReadAt(const OsFile* file, std::uint64_t offset, void* buf, std::size_t n) {
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

namespace {

bool isControl(unsigned long c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

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
        std::fputc('?', stdout);
    else
        std::fwrite(bytes, 1, static_cast<std::size_t>(n), stdout);
}

}  // namespace

void osWriteName(const wchar_t* name) {
    unsigned page = 0;
    for (const wchar_t* s = name; *s != 0;) {
        unsigned long c = static_cast<unsigned short>(*s);
        int units = 1;
        if (c >= 0xD800 && c <= 0xDBFF && s[1] >= 0xDC00 && s[1] <= 0xDFFF)
            units = 2;
        if (isControl(c) || (units == 1 && c >= 0xD800 && c <= 0xDFFF)) {
            std::fputc('?', stdout);  // a control character or half a surrogate pair
        } else if (c < 0x80) {
            std::fputc(static_cast<int>(c), stdout);
        } else {
            if (page == 0)
                page = outputCodePage();
            writeEncodedChar(page, s, units);
        }
        s += units;
    }
}

void osReadKey() {
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
