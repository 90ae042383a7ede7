// SPDX-License-Identifier: MIT
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

namespace {

// Room for `n` more bytes (n at most BufferSize), writing out what is
// buffered first when it is short; the caller fills it and adds to `used`.
char* reserve(std::size_t n) {
    if (BufferSize - used < n)
        outFlush();
    return buffer + used;
}

}  // namespace

void outWrite(const char* bytes, std::size_t n) {
    if (n < BufferSize - used) {  // the usual case: it fits, with room to spare
        std::memcpy(buffer + used, bytes, n);
        used += n;
        return;
    }
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
    if (used < BufferSize - 1) {
        buffer[used++] = c;
        return;
    }
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

void outDecimal(unsigned long long value) {
    char digits[20];
    std::size_t first = sizeof digits;
    do {
        digits[--first] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    outWrite(digits + first, sizeof digits - first);
}

void outHex(unsigned long long value, int digits, bool upperCase) {
    const char* alphabet = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    char* text = reserve(static_cast<std::size_t>(digits));
    for (int i = digits - 1; i >= 0; --i) {
        text[i] = alphabet[value & 15];
        value >>= 4;
    }
    used += static_cast<std::size_t>(digits);
}

void outHexBytes(const std::uint8_t* bytes, std::size_t n) {
    const char alphabet[] = "0123456789abcdef";
    char* text = reserve(2 * n);
    for (std::size_t i = 0; i < n; ++i) {
        text[2 * i] = alphabet[bytes[i] >> 4];
        text[2 * i + 1] = alphabet[bytes[i] & 15];
    }
    used += 2 * n;
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
