// SPDX-License-Identifier: MIT
// The facts of a title, read from the loader's bytes in this one place.
// The text report and the JSON writer only render them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/classify.h"
#include "titlefiles/endian.h"
#include "titlefiles/formats.h"
#include "titlefiles/loader.h"

// Installed sizes in bytes, each sum saturating at the largest 64-bit value.
struct TitleSizes {
    std::uint64_t own;     // the title's own contents, one TMD header and one ticket
    std::uint64_t shared;  // contents shared with other titles
    std::uint64_t total;   // own + shared
    // The same in 128 KiB blocks: whole blocks plus one, so 131072 bytes are 2.
    std::uint64_t ownBlocks;
    std::uint64_t totalBlocks;
};

// A field is absent when the bytes read do not reach it (a short ticket).
struct TicketFacts {
    bool hasTicketId;
    std::uint64_t ticketId;
    bool hasConsoleId;
    std::uint32_t consoleId;  // not 0: the ticket is bound to one console
    bool hasCommonKey;
    std::uint8_t commonKeyIndex;
    bool hasTitleId;  // the ticket's own, which a WAD's TMD should share
    std::uint64_t titleId;
    bool hasVersion;
    std::uint16_t version;
};

struct WadFacts {
    std::uint8_t type[WadTypeLength];  // "Is" or "ib"
    std::uint64_t fileLength;
    std::uint64_t expectedLength;  // where the footer ends, by the header's section lengths
};

struct TitleFacts {
    FileKind kind;
    std::uint32_t titleHigh;
    std::uint32_t titleLow;
    std::uint8_t code[TitleCodeLength];  // the low half's bytes, raw
    bool hasVersion;                     // false only for a ticket too short to hold it
    std::uint16_t version;
    // A TMD's, bare or in a WAD.
    std::uint8_t maker[MakerCodeLength];
    std::uint64_t systemVersion;  // the IOS the title runs on, as a title ID
    std::uint16_t ios;            // its low 16 bits: the IOS number, as written
    std::uint16_t region;
    std::uint16_t contentCount;
    ByteSpan contents;  // contentCount records, read with decodeContent
    TitleSizes sizes;
    // A bare ticket's, or the one in a WAD's ticket section or a title
    // folder's ticket file; a title folder may have none.
    bool hasTicket;
    TicketFacts ticket;
    // A title folder's content files, by record; null for a single file.
    const FolderParts* folder;
    WadFacts wad;
    // What verification found; null without /v.
    const VerifyFacts* verify;
};

struct ContentFacts {
    std::uint32_t id;
    std::uint16_t index;
    std::uint16_t type;
    bool shared;
    std::uint64_t size;
    const std::uint8_t* sha1;  // ContentHashLength bytes inside the record
};

// Reads the facts of a successfully loaded title. `facts` refers to the
// title's buffers, so it is valid until releaseTitle.
void decodeTitle(const LoadedTitle& title, TitleFacts* facts);

// Content record `index` (below the count the records were read for).
ContentFacts decodeContent(ByteSpan records, std::size_t index);
