// SPDX-License-Identifier: MIT
// What a file's length and first bytes make it, and where a WAD's parts lie.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "titlefiles/layout.h"

namespace {

struct LengthCase {
    std::int64_t fileLength;
    std::size_t readLength;
};

const LengthCase LengthCases[] = {
    {-1, 0},
    {0, 0},
    {483, 0},
    {484, 484},
    {487, 487},  // too short to hold a ticket's title version
    {488, 488},
    {497, 497},  // ...or its common-key index
    {498, 498},
    {675, 498},
    {676, 676},
    {677, 498},
    {2468, 498},  // a ticket with its certificate chain
    {3796, 498},  // a bare TMD with 92 contents
    {3811, 498},
    {3812, 3812},
    {0x100000000LL + 100, 3812},  // upper 32 bits alone do not make it short
    {INT64_MAX, 3812},
};

TEST(HeaderReadLength, ByFileLength) {
    for (const LengthCase& c : LengthCases) {
        SCOPED_TRACE(c.fileLength);
        EXPECT_EQ(headerReadLength(c.fileLength), c.readLength);
    }
}

std::vector<std::uint8_t> withBytes(std::size_t length, std::size_t off, const char* text, std::size_t n) {
    std::vector<std::uint8_t> b(length);
    std::memcpy(b.data() + off, text, n);
    return b;
}

struct KindCase {
    const char* name;
    std::vector<std::uint8_t> header;
    FileKind kind;
};

const char IsPrefix[] = "\0\0\0\x20Is\0\0\0\0\x0A\0";
const char IbPrefix[] = "\0\0\0\x20ib\0\0\0\0\x0A\0";

TEST(ClassifyHeader, BySignature) {
    const KindCase cases[] = {
        {"Is WAD", withBytes(3812, 0, IsPrefix, 12), FileKind::Wad},
        {"ib WAD", withBytes(3812, 0, IbPrefix, 12), FileKind::Wad},
        {"other chain length", withBytes(3812, 0, "\0\0\0\x20Is\0\0\0\0\x0B\0", 12), FileKind::Unknown},
        {"other type letters", withBytes(3812, 0, "\0\0\0\x20IS\0\0\0\0\x0A\0", 12), FileKind::Unknown},
        // Long files without a WAD prefix are tickets and TMDs by their issuer.
        {"ticket at WAD length", withBytes(3812, 0x150, "XS00000003", 10), FileKind::Ticket},
        {"TMD at WAD length", withBytes(3812, 0x150, "CP00000004", 10), FileKind::Tmd},
        {"nothing at WAD length", withBytes(3812, 0x150, "XX00000003", 10), FileKind::Unknown},
        {"ticket", withBytes(676, 0x150, "XS00000003", 10), FileKind::Ticket},
        {"short ticket", withBytes(484, 0x150, "XS00000003", 10), FileKind::Ticket},
        {"TMD", withBytes(484, 0x150, "CP00000004", 10), FileKind::Tmd},
        {"676-byte TMD", withBytes(676, 0x150, "CP00000004", 10), FileKind::Tmd},
        {"WAD prefix at TMD length", withBytes(488, 0, IsPrefix, 12), FileKind::Unknown},
        {"WAD prefix and a TMD issuer", [] {
             auto b = withBytes(3812, 0, IsPrefix, 12);
             std::memcpy(b.data() + 0x150, "CP00000004", 10);
             return b;
         }(), FileKind::Wad},
        {"near-miss issuer", withBytes(488, 0x150, "CP00000005", 10), FileKind::Unknown},
        {"issuer one byte early", withBytes(488, 0x14F, "XS00000003", 10), FileKind::Unknown},
        {"too short for an issuer", withBytes(0x155, 0x150, "XS000", 5), FileKind::Unknown},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(classifyHeader(c.header), c.kind);
    }
}

struct OffsetCase {
    std::uint32_t crlLength;
    std::uint32_t ticketLength;
    std::uint64_t tmdOffset;
};

const OffsetCase OffsetCases[] = {
    {0, 0x2A4, 0xD00},
    {0, 0x2C0, 0xD00},
    {0, 0x2C1, 0xD40},
    {1, 0x2A4, 0xD40},
    {0x40, 0x2A4, 0xD40},
    {0, 0, 0xA40},
    {0xFFFFFFFF, 0xFFFFFFFF, 0xA40 + 0x100000000ull * 2},  // no 32-bit wrap
};

TEST(WadTmdOffset, FollowsTheSections) {
    for (const OffsetCase& c : OffsetCases) {
        std::vector<std::uint8_t> header(3812);
        for (int i = 0; i < 4; ++i) {
            header[0x0C + i] = static_cast<std::uint8_t>(c.crlLength >> (24 - 8 * i));
            header[0x10 + i] = static_cast<std::uint8_t>(c.ticketLength >> (24 - 8 * i));
        }
        SCOPED_TRACE(c.ticketLength);
        EXPECT_EQ(wadTmdOffset(header), c.tmdOffset);
    }
}

struct LengthOfWadCase {
    const char* name;
    std::uint32_t sections[8];  // the header's eight length fields, 0x00 to 0x1C
    std::uint64_t expected;
};

// Each section but the footer is padded to 64 bytes; the footer ends the file.
const LengthOfWadCase LengthOfWadCases[] = {
    {"usual", {0x20, 0, 0xA00, 0, 0x2A4, 0x208, 0x9000, 0x40}, 0x40 + 0xA00 + 0x2C0 + 0x240 + 0x9000 + 0x40},
    {"no footer", {0x20, 0, 0xA00, 0, 0x2A4, 0x208, 0x9001, 0}, 0x40 + 0xA00 + 0x2C0 + 0x240 + 0x9040},
    {"revocation list", {0x20, 0, 0xA00, 0x100, 0x2A4, 0x1E4, 0, 1}, 0x40 + 0xA00 + 0x100 + 0x2C0 + 0x200 + 1},
    {"all at their largest", {0xFFFFFFFF, 0, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
     0x100000000ull * 6 + 0xFFFFFFFF},  // no 32-bit wrap
};

TEST(WadExpectedLength, AddsTheSections) {
    for (const LengthOfWadCase& c : LengthOfWadCases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> header(3812);
        for (int field = 0; field < 8; ++field)
            for (int i = 0; i < 4; ++i)
                header[field * 4 + i] = static_cast<std::uint8_t>(c.sections[field] >> (24 - 8 * i));
        EXPECT_EQ(wadExpectedLength(header), c.expected);
    }
}

}  // namespace
