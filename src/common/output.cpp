#include "common/output.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// Large enough that a run over a folder costs few writes; the reports of
// about twenty files fit.
constexpr std::size_t BufferSize = 8192;
constexpr std::size_t FormatLimit = 512;

char buffer[BufferSize];
std::size_t used = 0;
int failure = 0;  // the error number of the first failed write

}  // namespace

void outFlush() {
    if (used == 0 || failure != 0) {
        used = 0;
        return;
    }
    int error = 0;
    if (osWriteStdout(buffer, used, &error) != OsOk)
        failure = error != 0 ? error : EIO;
    used = 0;
}

void outWrite(const char* bytes, std::size_t n) {
    while (n > 0) {
        std::size_t room = BufferSize - used;
        std::size_t part = n < room ? n : room;
        std::memcpy(buffer + used, bytes, part);
        used += part;
        bytes += part;
        n -= part;
        if (used == BufferSize)
            outFlush();
    }
}

void outText(const char* text) {
    outWrite(text, std::strlen(text));
}

void outChar(char c) {
    outWrite(&c, 1);
}

void outFormat(const char* format, ...) {
    char line[FormatLimit];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0)
        outWrite(line, static_cast<std::size_t>(n) < sizeof line ? static_cast<std::size_t>(n) : sizeof line - 1);
}

bool outFailed() {
    return failure != 0;
}

int outError() {
    return failure;
}

void outReset() {
    used = 0;
    failure = 0;
}
