// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "report/identity.h"

namespace {

struct TypeCase {
    std::uint32_t high;
    std::string name;
};

const TypeCase TypeCases[] = {
    {0x00000001, "System Title"},
    {0x00010000, "Disc Game Title"},
    {0x00010001, "Channel Title"},
    {0x00010002, "System Channel"},
    {0x00010004, "Channel for Disc Game"},
    {0x00010005, "Downloadable Content (DLC)"},
    {0x00010008, "Hidden Channel"},
    {0x00000000, "Unknown"},
    {0x00000002, "Unknown"},
    {0x00010003, "Unknown"},
    {0x00010006, "Unknown"},
    {0x00010007, "Unknown"},
    {0x01000100, "Unknown"},  // byte-swapped Channel Title
    {0xFFFFFFFF, "Unknown"},
};

TEST(ClassifyTitleType, NamesEveryType) {
    for (const TypeCase& c : TypeCases) {
        SCOPED_TRACE(c.high);
        int index = classifyTitleType(c.high);
        ASSERT_GE(index, 0);
        ASSERT_LT(index, TitleTypeCount);
        EXPECT_EQ(TitleTypeNames[index].name, c.name);
    }
}

struct CodeCase {
    std::string raw;
    std::string printable;
};

const CodeCase CodeCases[] = {
    {"HABA", "HABA"},
    {std::string("\0ABC", 4), " ABC"},
    {"AB\xC1" "D", "AB D"},
    {"\x1F\x20\x7E\x7F", "  ~ "},
    {"\x80\xFF\t\n", "    "},
    {"01", "01"},
};

TEST(MakePrintableCode, ReplacesWhatIsNotPrintableAscii) {
    for (const CodeCase& c : CodeCases) {
        char out[8];
        std::memset(out, 'x', sizeof out);
        makePrintableCode(reinterpret_cast<const std::uint8_t*>(c.raw.data()), c.raw.size(), out);
        EXPECT_EQ(std::string(out), c.printable);
        EXPECT_EQ(out[c.raw.size()], '\0');
    }
}

}  // namespace
