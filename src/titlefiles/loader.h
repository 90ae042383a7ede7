// SPDX-License-Identifier: MIT
// The file loader: opens the file named by currentFileName, classifies it,
// reads what its facts need and closes it. It never prints.
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/classify.h"
#include "titlefiles/endian.h"
#include "titlefiles/formats.h"

enum LoadStatus {
    LoadOk = 0,
    LoadReadFailed = 1,        // the file would not open, or a read came back short
    LoadOutOfMemory = 3,       // a buffer could not be allocated
    LoadUnknownStructure = 4,  // no accepted layout has this length and these signatures
};

// What one file yields. The two heap buffers belong to it from loadTitle
// until releaseTitle.
struct LoadedTitle {
    std::int64_t fileLength;  // taken once, when the file is opened
    FileKind kind;
    std::uint8_t* header;
    std::size_t headerLength;
    std::size_t tmdStart;  // where the TMD header starts inside `header`
    std::uint8_t* contents;
    std::uint16_t contentCount;
    // The ticket's bytes from its start, as far as they were read and the
    // ticket reaches (at most TicketFieldsEnd): the header itself for a bare
    // ticket, a copy of its ticket section's for a WAD, nothing for a TMD.
    ByteSpan ticket;
    // A WAD's ticket fields, kept apart: a moved TMD is read into the
    // header buffer where they may lie.
    std::uint8_t wadTicket[TicketFieldsEnd];
};

// Loads currentFileName into `title` (zero it first). The file is closed on
// return; on failure every buffer allocated so far is released already.
LoadStatus loadTitle(LoadedTitle* title);

// Releases what a successful loadTitle holds. Safe on a failed or zeroed one.
void releaseTitle(LoadedTitle* title);
