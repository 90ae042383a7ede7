// SPDX-License-Identifier: MIT
// The file loader: opens the file named by currentFileName, classifies it,
// reads what its facts need and closes it. It never prints.
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/classify.h"
#include "titlefiles/endian.h"
#include "titlefiles/formats.h"
#include "titlefiles/verify.h"

enum LoadStatus {
    LoadOk = 0,
    LoadReadFailed = 1,        // the file would not open, or a read came back short
    LoadOutOfMemory = 3,       // a buffer could not be allocated
    LoadUnknownStructure = 4,  // no accepted layout has this length and these signatures
};

// Why a load failed, in more detail than its status, for people reading
// the JSON output.
enum class LoadCause {
    None = 0,
    SystemError,         // the system's error number is in LoadedTitle::osError
    EndsEarly,           // a read came back short without a system error
    EndsBeforeTmd,       // a WAD ends before its TMD header
    EndsBeforeRecords,   // the file ends before the content records
    NoLength,            // the file's length could not be taken
    TooShort,            // shorter than any title file
    NoSignature,         // neither a WAD prefix nor an issuer tail
    RecordsPastSection,  // a WAD's TMD claims more records than its section holds
    NoMemory,
};

// What one file yields. The two heap buffers belong to it from loadTitle
// until releaseTitle.
struct LoadedTitle {
    std::int64_t fileLength;  // taken once, when the file is opened (or counted, for a stream)
    FileKind kind;
    std::uint8_t* header;
    std::size_t headerLength;
    std::size_t tmdStart;  // where the TMD header starts inside `header`
    std::uint8_t* contents;
    std::uint16_t contentCount;
    // How much of the ticket was read from its start (at most
    // TicketFieldsEnd): in the header for a bare ticket, in wadTicket for a
    // WAD (kept apart, since a moved TMD is read into the header buffer
    // where they may lie), none for a TMD. Read them with titleTicket.
    std::size_t ticketLength;
    std::uint8_t wadTicket[TicketFieldsEnd];
    // With verification: what it found.
    VerifyFacts verify;
    // On failure: why.
    LoadCause cause;
    int osError;
};

// Loads currentFileName into `title` (zero it first); "-" alone is standard
// input. With `keys` (verification), every byte of the file passes through
// the verifier too. The file is closed on return; on failure every buffer
// allocated so far is released already, and `cause` says why it failed.
LoadStatus loadTitle(LoadedTitle* title, const CommonKeys* keys = nullptr);

// Releases what a successful loadTitle holds. Safe on a failed or zeroed one.
void releaseTitle(LoadedTitle* title);

// The ticket's bytes that were read, wherever the title keeps them.
ByteSpan titleTicket(const LoadedTitle& title);
