// SPDX-License-Identifier: MIT
#include "titlefiles/ranges.h"

#include <algorithm>
#include <cstring>

#include "platform/os.h"

bool keepRange(KeptRange* range, std::uint64_t offset, std::size_t length) {
    range->planned = true;
    range->offset = offset;
    if (length == 0)
        return true;
    range->bytes = static_cast<std::uint8_t*>(osAlloc(length));
    range->length = range->bytes != nullptr ? length : 0;
    return range->bytes != nullptr;
}

void fillRanges(KeptRange* ranges, int count, std::uint64_t offset, const std::uint8_t* block, std::size_t n) {
    for (int i = 0; i < count; ++i) {
        KeptRange& r = ranges[i];
        if (r.bytes == nullptr || offset >= r.offset + r.length || offset + n <= r.offset)
            continue;
        std::uint64_t from = std::max(offset, r.offset);
        std::uint64_t to = std::min<std::uint64_t>(offset + n, r.offset + r.length);
        std::memcpy(r.bytes + (from - r.offset), block + (from - offset), static_cast<std::size_t>(to - from));
    }
}

void releaseRanges(KeptRange* ranges, int count) {
    for (int i = 0; i < count; ++i) {
        osFree(ranges[i].bytes);
        ranges[i].bytes = nullptr;
    }
}
