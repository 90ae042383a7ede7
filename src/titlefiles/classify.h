// SPDX-License-Identifier: MIT
// Deciding what a title file is from its length and fixed signatures.
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/endian.h"

// Folder: a title kept as loose files, its TMD, ticket and contents apart.
enum class FileKind { Unknown = 0, Wad = 1, Ticket = 2, Tmd = 3, Folder = 4 };

// Whether a title of this kind holds a TMD, and a ticket.
inline bool holdsTmd(FileKind kind) {
    return kind == FileKind::Tmd || kind == FileKind::Wad || kind == FileKind::Folder;
}
inline bool holdsTicket(FileKind kind) {
    return kind == FileKind::Ticket || kind == FileKind::Wad || kind == FileKind::Folder;
}

// How many bytes to read from the start of a file of `fileLength` bytes
// before classifying it, or 0 when no accepted layout is that long (a
// negative length means the file has none).
std::size_t headerReadLength(std::int64_t fileLength);

// Classifies the bytes headerReadLength asked for: a full WAD read that
// starts with a WAD prefix is a WAD; anything else is a ticket or a TMD by
// its issuer tail, whatever its length.
FileKind classifyHeader(ByteSpan header);

// The same for the first bytes of a file whose length is not known yet:
// `wadLength` says whether to take it as long enough to be a WAD.
FileKind classifyStart(ByteSpan header, bool wadLength);

// Rounds a section length up to the 64-byte boundary the next one starts on.
std::uint64_t alignToSection(std::uint64_t length);

// File offsets of a WAD's ticket and TMD, and the offset where its footer
// ends (what a complete file is long), from the section lengths in its header.
std::uint64_t wadTicketOffset(ByteSpan header);
std::uint64_t wadTmdOffset(ByteSpan header);
std::uint64_t wadExpectedLength(ByteSpan header);
