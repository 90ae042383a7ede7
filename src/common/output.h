// SPDX-License-Identifier: MIT
// The tool's standard output: one buffer in front of the OS layer's write.
// Every report, message and prompt goes through here, so a write that
// fails is never lost: the first failure is remembered, everything after it
// is dropped, and the run driver asks outFailed() to stop the run.
#pragma once

#include <cstddef>
#include <cstdint>

void outWrite(const char* bytes, std::size_t n);
void outText(const char* text);
void outChar(char c);

// printf-style; every format the tool prints is one short line, well under
// the 512 bytes formatted at a time.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void outFormat(const char* format, ...);

// Numbers without printf, for the JSON writer's thousands of fields: an
// unsigned decimal, and `digits` hexadecimal digits with leading zeros.
void outDecimal(unsigned long long value);
void outHex(unsigned long long value, int digits, bool upperCase);

// Formatting in place, for the records written by the thousand: outReserve
// gives room for `n` bytes (at most OutReserveLimit) in the buffer, the
// put functions below fill it, each returning where it stopped, and
// outCommit takes the `n` bytes filled (at most those reserved).
inline constexpr std::size_t OutReserveLimit = 1024;
char* outReserve(std::size_t n);
void outCommit(std::size_t n);

char* putDecimal(char* at, unsigned long long value);
char* putHex(char* at, unsigned long long value, int digits, bool upperCase);
char* putHexBytes(char* at, const std::uint8_t* bytes, std::size_t n);  // lower-case pairs
char* putText(char* at, const char* text);  // without its terminator
template <std::size_t N>
char* putLiteral(char* at, const char (&text)[N]) {
    for (std::size_t i = 0; i + 1 < N; ++i)
        at[i] = text[i];
    return at + N - 1;
}

// Writes what is buffered. On a terminal, the driver calls this after every
// file so the reports appear as they are made.
void outFlush();

// Sends what is written from here on to standard error (`on`), or back
// to standard output, writing out first what is buffered for the other.
// Standard error's lines are put together as the reports are, names
// replaced alike; they are dropped once standard output has failed.
void outToStderr(bool on);

// Calls `hook` (null: none) before each write of what is buffered, to
// either output: the status line of a long run is erased so.
void outBeforeWrite(void (*hook)());

// True once a write of standard output has failed; outError() then gives
// the system's error number for it.
bool outFailed();
int outError();

// What is buffered and not yet written: for a message that is put together
// as the output would show it, then sent elsewhere (standard error).
std::size_t outPending();
const char* outPendingBytes();

// Forgets what is buffered and any failure (for tests that run the tool in
// process more than once).
void outReset();
