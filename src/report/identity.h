// The identification lines both reports open with: path, type, and the
// title code or system-title name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/endian.h"

// The numbers an IOS can have, as a system title and as the IOS a title runs on.
inline constexpr std::uint32_t FirstIosNumber = 3;
inline constexpr std::uint32_t LastIosNumber = 255;

inline constexpr int TitleTypeCount = 8;
extern const char TitleTypeNames[TitleTypeCount][32];

// Copies `n` raw bytes into `out` (n + 1 chars) as text, every byte outside
// 0x20 to 0x7E replaced by a space, and terminates it.
void makePrintableCode(const std::uint8_t* bytes, std::size_t n, char* out);

// makePrintableCode for the `n` bytes at `off` of `buf`; bytes the buffer
// does not hold come out as spaces.
void makePrintableCodeAt(ByteSpan buf, std::size_t off, std::size_t n, char* out);

// Index into TitleTypeNames for a title ID's high half; 0 is "Unknown".
int classifyTitleType(std::uint32_t high);

// Prints "Path:", "Type:" and "TitleID: " with the identifier, leaving the
// line open. Returns true when the identifier printed was an IOS number.
bool printTitleIdentity(std::uint32_t high, std::uint32_t low, const char* code);

// The 78-underscore rule that closes reports and frames the help text,
// without a line break.
void printRule();

// The opening lines of a report: an empty line, "<kind> info of "<name>" :"
// with currentFileName, and another empty line.
void printHeading(const char* kind);
