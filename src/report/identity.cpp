#include "report/identity.h"

#include <cstdio>

#include "common/runstate.h"
#include "platform/os.h"
#include "titlefiles/formats.h"

const char TitleTypeNames[TitleTypeCount][32] = {
    "Unknown",
    "System Title",
    "Disc Game Title",
    "Channel Title",
    "System Channel",
    "Channel for Disc Game",
    "Downloadable Content (DLC)",
    "Hidden Channel",
};

namespace {

struct TitleTypeEntry {
    std::uint32_t high;
    int index;
};

const TitleTypeEntry TitleTypes[] = {
    {0x00000001, 1}, {0x00010000, 2}, {0x00010001, 3}, {0x00010002, 4},
    {0x00010004, 5}, {0x00010005, 6}, {0x00010008, 7},
};

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

void makePrintableCodeAt(ByteSpan buf, std::size_t off, std::size_t n, char* out) {
    if (off > buf.size() || n > buf.size() - off) {
        for (std::size_t i = 0; i < n; ++i)
            out[i] = ' ';
        out[n] = '\0';
        return;
    }
    makePrintableCode(buf.data() + off, n, out);
}

int classifyTitleType(std::uint32_t high) {
    for (const TitleTypeEntry& entry : TitleTypes)
        if (entry.high == high)
            return entry.index;
    return 0;
}

bool printTitleIdentity(std::uint32_t high, std::uint32_t low, const char* code) {
    std::printf("Path: '%08X\\%08X'\n", high, low);
    std::printf("Type: %s\n", TitleTypeNames[classifyTitleType(high)]);
    std::fputs("TitleID: ", stdout);
    if (high != SystemTitleHigh) {
        std::printf("'%s'", code);
        return false;
    }
    if (low >= FirstIosNumber && low <= LastIosNumber) {
        std::printf("IOS%u", low);
        return true;
    }
    std::fputs(systemTitleName(low), stdout);
    return false;
}

void printRule() {
    std::fputs("______________________________________________________________________________", stdout);
}

void printHeading(const char* kind) {
    std::printf("\n%s info of \"", kind);
    osWriteName(currentFileName);
    std::fputs("\" :\n\n", stdout);
}
