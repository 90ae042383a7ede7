// SPDX-License-Identifier: MIT
// Ranges of a file that is read once, in order, in blocks of any size (a
// stream, or a file being verified): each range is planned before its first
// byte goes by, kept in a buffer of its own, and read once the file has
// passed it.
#pragma once

#include <cstddef>
#include <cstdint>

struct KeptRange {
    bool planned;  // known to be needed (it may be empty)
    std::uint64_t offset;
    std::size_t length;
    std::uint8_t* bytes;
};

// Plans `range` and gives it a buffer; false when memory ran out.
bool keepRange(KeptRange* range, std::uint64_t offset, std::size_t length);

// Copies the part of a block read at `offset` that falls in each range.
void fillRanges(KeptRange* ranges, int count, std::uint64_t offset, const std::uint8_t* block, std::size_t n);

void releaseRanges(KeptRange* ranges, int count);
