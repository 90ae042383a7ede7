// SPDX-License-Identifier: MIT
// The file loader: opens a title file, reads what its facts (and, under
// verification, its verdict) need, classifies it and closes it. It never
// prints.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/crypto.h"
#include "platform/os.h"
#include "platform/pool.h"
#include "titlefiles/capture.h"
#include "titlefiles/classify.h"
#include "titlefiles/contents.h"
#include "titlefiles/endian.h"
#include "titlefiles/folder.h"
#include "titlefiles/formats.h"
#include "titlefiles/verify.h"

enum LoadStatus : int {
    LoadOk = 0,
    LoadReadFailed = 1,        // the file would not open, or a read came back short
    LoadOutOfMemory = 3,       // a buffer could not be allocated
    LoadUnknownStructure = 4,  // no accepted layout has this length and these signatures
    LoadCryptoFailed = 5,      // the cryptography library failed while verifying
    LoadStopped = 6,           // the run began to stop: the file is not reported
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
    Cryptography,     // the library's reason is in LoadedTitle::reason
    FolderTmdNotTmd,  // a title folder's TMD file is no TMD
    Last = FolderTmdNotTmd,
};

// What one file yields. The bytes belong to its capture from loadTitle
// until releaseTitle; the spans point into them.
struct LoadedTitle {
    std::int64_t fileLength;  // taken when the file is opened, or counted as it is read
    FileKind kind;
    Capture capture;
    ByteSpan start;   // the first bytes of the file: a WAD's header
    ByteSpan ticket;  // a bare ticket, or as much of a WAD's as was kept
    ByteSpan tmd;     // the TMD header and its records
    std::uint16_t contentCount;
    // A title folder's ticket and content files; null for a single file.
    FolderParts* folder;
    // With verification: the walk over a WAD's contents (or a title
    // folder's content files), and what it found.
    WadContents contents;
    VerifyFacts verify;
    // On failure: why.
    LoadCause cause;
    int osError;
    char reason[OsCryptoReasonRoom];
};

// Loads `name` into `title` (zero it first); "-" alone is standard input,
// and a folder holding a title's files is a title folder. With `keys`, the
// title is verified too: each file read once, front to back, as far as the
// title needs, its contents hashed as they pass. A stream (standard input,
// a FIFO, a device) is read only in its `turn` (null: now). Every file is
// closed on return; on failure every buffer is released already, and
// `cause` says why.
LoadStatus loadTitle(LoadedTitle* title, const PathChar* name, const KeySet* keys = nullptr, OsTurn* turn = nullptr);

// Reads an open regular file, or a stream, as loadTitle does once it has
// opened it, and leaves it open.
LoadStatus loadOpenFile(LoadedTitle* title, OsFile* file, const KeySet* keys);

// Releases what a successful loadTitle holds. Safe on a failed or zeroed one.
void releaseTitle(LoadedTitle* title);

// The records of a loaded TMD.
ByteSpan titleRecords(const LoadedTitle& title);
