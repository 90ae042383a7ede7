// Deciding what a title file is from its length and fixed signatures.
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/endian.h"

enum class FileKind { Unknown = 0, Wad = 1, Ticket = 2, Tmd = 3 };

// How many bytes to read from the start of a file of `fileLength` bytes
// before classifying it, or 0 when no accepted layout is that long (a
// negative length means the file has none).
std::size_t headerReadLength(std::int64_t fileLength);

// Classifies the bytes headerReadLength asked for: a full WAD read is a WAD
// or nothing; anything shorter is a ticket or a TMD by its issuer tail.
FileKind classifyHeader(ByteSpan header);

// File offset of a WAD's TMD header, from the section lengths in its header.
std::uint64_t wadTmdOffset(ByteSpan header);
