// SPDX-License-Identifier: MIT
// The identification lines both reports open with (path, type, and the
// title code or system-title name), and the names both output forms give
// a title's numbers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/facts.h"

// The numbers an IOS can have, as a system title and as the IOS a title runs on.
inline constexpr std::uint32_t FirstIosNumber = 3;
inline constexpr std::uint32_t LastIosNumber = 255;

struct TitleType {
    std::uint32_t high;  // the title ID's high half; unused for "Unknown"
    char name[32];
};

inline constexpr int TitleTypeCount = 8;
// Entry 0 is "Unknown", for every high half not listed.
extern const TitleType TitleTypeNames[TitleTypeCount];

// Copies `n` raw bytes into `out` (n + 1 chars) as text, every byte outside
// 0x20 to 0x7E replaced by a space, and terminates it.
void makePrintableCode(const std::uint8_t* bytes, std::size_t n, char* out);

// The word both JSON and the one-line form name a kind of file by.
const char* kindWord(FileKind kind);

// Index into TitleTypeNames for a title ID's high half; 0 is "Unknown".
int classifyTitleType(std::uint32_t high);

// The region's name; 4 and every number above it are "Unknown".
const char* regionName(std::uint16_t region);

// Whether the title is a system title, and whether it is itself an IOS.
bool isSystemTitle(std::uint32_t high);
bool isIosTitle(std::uint32_t high, std::uint32_t low);

// Room for the longest identifier, "System Menu", and its terminator.
inline constexpr std::size_t TitleIdentifierSize = 12;

// What "TitleID: " shows, without quotes: the printable code, or for a
// system title its name or "IOS<n>".
void titleIdentifier(std::uint32_t high, std::uint32_t low, const char* code, char out[TitleIdentifierSize]);

// Prints "Path:", "Type:" and "TitleID: " with the identifier (in single
// quotes when it is a title code), leaving the line open. Returns true when
// the identifier printed was an IOS number.
bool printTitleIdentity(std::uint32_t high, std::uint32_t low, const char* code);

// The 78-underscore rule that closes reports and frames the help text.
inline constexpr char ReportRule[] =
    "______________________________________________________________________________";
void printRule();  // without a line break

// The opening lines of a report: an empty line, "<kind> info of "<name>" :"
// with currentFileName, and another empty line.
void printHeading(const char* kind);
