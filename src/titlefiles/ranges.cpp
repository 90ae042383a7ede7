// SPDX-License-Identifier: MIT
// Kept ranges: buffers that grow and fill as a file's bytes arrive.
#include "titlefiles/ranges.h"

#include <algorithm>
#include <cstring>

#include "platform/os.h"

bool keepRange(KeptRange* range, std::uint64_t offset, std::size_t length) {
    *range = KeptRange{true, offset, 0, 0, nullptr};
    return growRange(range, length);
}

bool growRange(KeptRange* range, std::size_t length) {
    if (length <= range->length)
        return true;
    auto* bytes = static_cast<std::uint8_t*>(osAlloc(length));
    if (bytes == nullptr)
        return false;
    if (range->have > 0)
        std::memcpy(bytes, range->bytes, range->have);
    osFree(range->bytes);
    range->bytes = bytes;
    range->length = length;
    return true;
}

void fillRange(KeptRange* range, std::uint64_t offset, const std::uint8_t* block, std::size_t n) {
    // The next byte the range needs, and how far the block reaches into it.
    std::uint64_t next = range->offset + range->have;
    if (range->have == range->length || offset > next || n <= next - offset)
        return;
    std::size_t skip = static_cast<std::size_t>(next - offset);
    std::size_t take = std::min(n - skip, range->length - range->have);
    std::memcpy(range->bytes + range->have, block + skip, take);
    range->have += take;
}

ByteSpan keptBytes(const KeptRange& range) {
    return {range.bytes, range.have};
}

bool rangeComplete(const KeptRange& range) {
    return range.planned && range.have == range.length;
}

void releaseRange(KeptRange* range) {
    osFree(range->bytes);
    *range = KeptRange{};
}
