// SPDX-License-Identifier: MIT
// The title identity lines every report opens with, and the number-to-name
// tables behind them.
#include "report/identity.h"

#include <cstring>

#include "common/names.h"
#include "common/output.h"
#include "common/runstate.h"
#include "titlefiles/formats.h"

const TitleType TitleTypeNames[TitleTypeCount] = {
    {0, "Unknown"},
    {0x00000001, "System Title"},
    {0x00010000, "Disc Game Title"},
    {0x00010001, "Channel Title"},
    {0x00010002, "System Channel"},
    {0x00010004, "Channel for Disc Game"},
    {0x00010005, "Downloadable Content (DLC)"},
    {0x00010008, "Hidden Channel"},
};

namespace {

// The last entry also stands for every region number above it.
const char RegionNames[][12] = {"Japan", "USA", "Europe", "Region Free", "Unknown"};
constexpr std::size_t RegionCount = sizeof RegionNames / sizeof RegionNames[0];

struct SystemTitleEntry {
    std::uint32_t low;
    const char* name;
};

// The IOSes, 3 to 255, are named by number instead.
const SystemTitleEntry SystemTitleNames[] = {
    {1, "BOOT2"},
    {2, "System Menu"},
    {0x100, "BC"},
    {0x101, "MIOS"},
};

const char* systemTitleName(std::uint32_t low) {
    for (const SystemTitleEntry& entry : SystemTitleNames)
        if (entry.low == low)
            return entry.name;
    return "Unknown";
}

}  // namespace

void makePrintableCode(const std::uint8_t* bytes, std::size_t n, char* out) {
    for (std::size_t i = 0; i < n; ++i)
        out[i] = bytes[i] >= 0x20 && bytes[i] <= 0x7E ? static_cast<char>(bytes[i]) : ' ';
    out[n] = '\0';
}

const char* kindWord(FileKind kind) {
    static const char* const KindWords[] = {"unknown", "wad", "ticket", "tmd", "folder"};
    return KindWords[static_cast<int>(kind)];
}

int classifyTitleType(std::uint32_t high) {
    for (int i = 1; i < TitleTypeCount; ++i)
        if (TitleTypeNames[i].high == high)
            return i;
    return 0;
}

const char* regionName(std::uint16_t region) {
    return RegionNames[region < RegionCount ? region : RegionCount - 1];
}

bool isSystemTitle(std::uint32_t high) {
    return high == SystemTitleHigh;
}

bool isIosTitle(std::uint32_t high, std::uint32_t low) {
    return isSystemTitle(high) && low >= FirstIosNumber && low <= LastIosNumber;
}

void titleIdentifier(std::uint32_t high, std::uint32_t low, const char* code, char out[TitleIdentifierSize]) {
    if (isIosTitle(high, low)) {
        *putDecimal(putLiteral(out, "IOS"), low) = '\0';
        return;
    }
    std::strncpy(out, isSystemTitle(high) ? systemTitleName(low) : code, TitleIdentifierSize - 1);
    out[TitleIdentifierSize - 1] = '\0';
}

namespace {

// The longest identity: the path line, the longest type line, and a title
// ID line as long as an identifier can make it.
constexpr std::size_t TitleIdentityLongest = 96;

char* putTitleIdentity(char* at, std::uint32_t high, std::uint32_t low, const char* code) {
    char identifier[TitleIdentifierSize];
    titleIdentifier(high, low, code, identifier);
    at = putHex(putLiteral(at, "Path: '"), high, 8, true);
    at = putHex(putLiteral(at, "\\"), low, 8, true);
    at = putText(putLiteral(at, "'\nType: "), TitleTypeNames[classifyTitleType(high)].name);
    at = putLiteral(at, "\nTitleID: ");
    if (isSystemTitle(high))
        return putText(at, identifier);
    return putLiteral(putText(putLiteral(at, "'"), identifier), "'");
}

}  // namespace

bool printTitleIdentity(std::uint32_t high, std::uint32_t low, const char* code) {
    char* start = outReserve(TitleIdentityLongest);
    outCommit(static_cast<std::size_t>(putTitleIdentity(start, high, low, code) - start));
    return isIosTitle(high, low);
}

void printRule() {
    outWrite(ReportRule, sizeof ReportRule - 1);
}

void printHeading(const char* kind) {
    outChar('\n');
    outText(kind);
    outText(" info of \"");
    writeName(currentFileName);
    outText("\" :\n\n");
}
