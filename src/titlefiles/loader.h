// SPDX-License-Identifier: MIT
// Reading one title file: the read loop every file's bytes go through, in
// blocks, front to back, and the reading of an open file into its layout,
// its WAD contents hashed as they pass under /v. Nothing here prints.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/crypto.h"
#include "platform/os.h"
#include "titlefiles/contents.h"
#include "titlefiles/facts.h"
#include "titlefiles/failure.h"
#include "titlefiles/keyset.h"
#include "titlefiles/layout.h"

// A stream is read in blocks of a pipe's size; a file being verified in
// larger ones, which the disk and the hashes take best.
inline constexpr std::size_t StreamChunk = 64 * 1024;
inline constexpr std::size_t FileChunk = 1024 * 1024;

// What one file (or title folder) yields. The bytes belong to its layout
// (and a folder's parts) from loading until releaseTitle; the spans point
// into them.
struct LoadedTitle {
    std::int64_t fileLength;  // taken when the file is opened, or counted as it is read
    FileKind kind;
    Layout layout;
    TitleParts parts;
    // A title folder's ticket and content files; null for a single file.
    FolderParts* folder;
    // Under /v: the contents of a WAD, or of a title folder's files, and
    // the verdict on them all.
    ContentResults contents;
    VerifyFacts verify;
    // On failure: the system's error, or the library's reason.
    int osError;
    char reason[OsCryptoReasonRoom];
};

// The file's read has failed: stopped, or why, with the system's error.
Failure readFailed(LoadedTitle* title, const OsFile& file);

// Takes the blocks of a file in order; returns false once it needs no more
// of a regular file, and says in `*failure` why the load cannot go on.
struct BlockSink {
    bool (*take)(void* context, std::uint64_t offset, const std::uint8_t* block, std::size_t n, Failure* failure);
    void* context;
};

// Reads `file` in order from `offset`, in blocks of `chunk` bytes: a
// regular file up to `end`, or until the sink needs no more; a stream to
// its end, every block to the sink. A stop ends the read.
Failure readBlocks(LoadedTitle* title, OsFile* file, std::uint64_t offset, std::uint64_t end, std::uint8_t* block,
                   std::size_t chunk, BlockSink sink);

// Reads an open regular file, or a stream, into `title` (zero it first),
// and leaves it open. With `keys`, as verification needs it: every file
// read once, front to back, as far as the title needs, a WAD's contents
// hashed as they pass.
Failure loadOpenFile(LoadedTitle* title, OsFile* file, const KeySet* keys);

// The records of a loaded TMD.
ByteSpan titleRecords(const LoadedTitle& title);
