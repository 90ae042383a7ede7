// SPDX-License-Identifier: MIT
// Ranges of a file kept in memory: each is planned (an offset and a
// length), given a buffer of its own, and filled from its start as the
// file's bytes arrive, by a read into it or from a block of the file that
// overlaps it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/endian.h"

struct KeptRange {
    bool planned;  // known to be needed (it may be empty)
    std::uint64_t offset;
    std::size_t length;
    std::size_t have;  // bytes present, from its start
    std::uint8_t* bytes;
};

// Plans `range` and gives it a buffer; false when memory ran out.
bool keepRange(KeptRange* range, std::uint64_t offset, std::size_t length);

// Makes a planned range `length` bytes long (no shorter than it is),
// keeping the bytes it has; false when memory ran out.
bool growRange(KeptRange* range, std::size_t length);

// Copies the part of `block`, `n` bytes of the file at `offset`, that
// carries on the bytes `range` has: bytes arrive in order, so a part past
// a gap is not the range's yet.
void fillRange(KeptRange* range, std::uint64_t offset, const std::uint8_t* block, std::size_t n);

// The bytes present.
ByteSpan keptBytes(const KeptRange& range);

// Whether the range has all of its bytes.
bool rangeComplete(const KeptRange& range);

void releaseRange(KeptRange* range);
