// SPDX-License-Identifier: MIT
// Big-endian field readers, and the other helpers the decoders of file
// bytes share. Buffers hold file bytes unchanged; a field is converted where
// it is used, by shifts, so the host's byte order never matters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

using ByteSpan = std::span<const std::uint8_t>;

// Whether `buf` holds `n` bytes at `off`.
inline bool holds(ByteSpan buf, std::size_t off, std::size_t n) {
    return off <= buf.size() && n <= buf.size() - off;
}

// Callers check their lengths before reading; a field that would lie outside
// the buffer reads as 0 rather than reading past it.
inline std::uint16_t readBe16(ByteSpan buf, std::size_t off) {
    if (off > buf.size() || 2 > buf.size() - off)
        return 0;
    return static_cast<std::uint16_t>(buf[off] << 8 | buf[off + 1]);
}

inline std::uint32_t readBe32(ByteSpan buf, std::size_t off) {
    if (off > buf.size() || 4 > buf.size() - off)
        return 0;
    return std::uint32_t{buf[off]} << 24 | std::uint32_t{buf[off + 1]} << 16 |
           std::uint32_t{buf[off + 2]} << 8 | std::uint32_t{buf[off + 3]};
}

inline std::uint64_t readBe64(ByteSpan buf, std::size_t off) {
    if (off > buf.size() || 8 > buf.size() - off)
        return 0;
    return std::uint64_t{readBe32(buf, off)} << 32 | readBe32(buf, off + 4);
}

// `n` rounded up to a multiple of `to`; a size too near 2^64 to round
// saturates, so that no file can be found to hold it.
inline std::uint64_t alignUp(std::uint64_t n, std::uint64_t to) {
    return n > UINT64_MAX - (to - 1) ? UINT64_MAX : (n + to - 1) / to * to;
}

inline bool allZero(ByteSpan bytes) {
    for (std::uint8_t b : bytes)
        if (b != 0)
            return false;
    return true;
}
