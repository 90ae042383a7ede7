// SPDX-License-Identifier: MIT
// The output buffer: the reports and messages are gathered here and
// written to standard output in large pieces.
#include "common/output.h"

#include <cassert>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/os.h"

namespace {

// Large enough that a run over a folder costs few writes: the text reports
// of about eighty files fit, or the JSON lines of about twenty.
constexpr std::size_t BufferSize = 32768;
constexpr std::size_t FormatLimit = 512;

char buffer[BufferSize];
std::size_t used = 0;
int failure = 0;  // the error number of the first failed write
bool toStderr = false;  // lines for standard error are being written
void (*beforeWrite)() = nullptr;
#ifndef NDEBUG
std::size_t reserved = 0;  // what the last outReserve promised
#endif

}  // namespace

void outFlush() {
    if (used == 0 || failure != 0) {
        used = 0;
        return;
    }
    int error = 0;
    if (beforeWrite != nullptr)
        beforeWrite();
    if (toStderr)
        osWriteStderr(buffer, used, &error);  // what it says changes nothing if it is lost
    else if (osWriteStdout(buffer, used, &error) != OsOk)
        failure = error != 0 ? error : EIO;
    used = 0;
}

void outBeforeWrite(void (*hook)()) {
    beforeWrite = hook;
}

void outToStderr(bool on) {
    outFlush();
    toStderr = on;
}

namespace {

// Where a record is formatted when the buffer is short of room: it then
// goes in through outWrite, which fills the buffer before writing it out,
// so every write but the last is one whole buffer.
char scratch[OutReserveLimit];
bool inScratch = false;

// Room for `n` more bytes (n at most OutReserveLimit); the caller fills it
// and commits it.
char* reserve(std::size_t n) {
#ifndef NDEBUG
    assert(n <= OutReserveLimit);
    reserved = n;
#endif
    inScratch = BufferSize - used < n;
    return inScratch ? scratch : buffer + used;
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

char* outReserve(std::size_t n) {
    return reserve(n);
}

void outCommit(std::size_t n) {
#ifndef NDEBUG
    assert(n <= reserved && "more written than reserved");
    reserved = 0;
#endif
    if (inScratch) {
        inScratch = false;
        outWrite(scratch, n);
        return;
    }
    used += n;
    if (used == BufferSize)
        outFlush();
}

char* putDecimal(char* at, unsigned long long value) {
    char digits[20];
    std::size_t first = sizeof digits;
    do {
        digits[--first] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::memcpy(at, digits + first, sizeof digits - first);
    return at + (sizeof digits - first);
}

char* putHex(char* at, unsigned long long value, int digits, bool upperCase) {
    const char* alphabet = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    for (int i = digits - 1; i >= 0; --i) {
        at[i] = alphabet[value & 15];
        value >>= 4;
    }
    return at + digits;
}

char* putText(char* at, const char* text) {
    while (*text != 0)
        *at++ = *text++;
    return at;
}

char* putHexBytes(char* at, const std::uint8_t* bytes, std::size_t n) {
    const char alphabet[] = "0123456789abcdef";
    for (std::size_t i = 0; i < n; ++i) {
        *at++ = alphabet[bytes[i] >> 4];
        *at++ = alphabet[bytes[i] & 15];
    }
    return at;
}

void outDecimal(unsigned long long value) {
    char* at = reserve(20);
    outCommit(static_cast<std::size_t>(putDecimal(at, value) - at));
}

void outHex(unsigned long long value, int digits, bool upperCase) {
    char* at = reserve(static_cast<std::size_t>(digits));
    outCommit(static_cast<std::size_t>(putHex(at, value, digits, upperCase) - at));
}

bool outFailed() {
    return failure != 0;
}

int outError() {
    return failure;
}

std::size_t outPending() {
    return used;
}

const char* outPendingBytes() {
    return buffer;
}

void outReset() {
    used = 0;
    failure = 0;
    inScratch = false;
    toStderr = false;
    beforeWrite = nullptr;
}
