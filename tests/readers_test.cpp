// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "titlefiles/endian.h"

namespace {

const std::uint8_t Bytes[] = {0x01, 0x00, 0x00, 0x01, 0x00, 0x02, 0xFF, 0xFE};

struct ReadCase {
    std::size_t offset;
    std::uint16_t be16;
    std::uint32_t be32;
};

// Fields are big-endian whatever the host, and a field that would run past
// the buffer reads as 0 instead of reading outside it.
const ReadCase ReadCases[] = {
    {0, 0x0100, 0x01000001},
    {2, 0x0001, 0x00010002},
    {4, 0x0002, 0x0002FFFE},
    {5, 0x02FF, 0},  // four bytes would pass the end
    {6, 0xFFFE, 0},
    {7, 0, 0},
    {8, 0, 0},
    {SIZE_MAX, 0, 0},
};

TEST(Readers, BigEndianWithinBounds) {
    for (const ReadCase& c : ReadCases) {
        SCOPED_TRACE(c.offset);
        EXPECT_EQ(readBe16(Bytes, c.offset), c.be16);
        EXPECT_EQ(readBe32(Bytes, c.offset), c.be32);
    }
}

TEST(Readers, EmptyBufferReadsZero) {
    EXPECT_EQ(readBe16({}, 0), 0);
    EXPECT_EQ(readBe32({}, 0), 0u);
}

}  // namespace
