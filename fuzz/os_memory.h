// SPDX-License-Identifier: MIT
// An OS layer with one file in memory and standard output captured, for the
// fuzzer and the in-process tests. It stands in front of the system's own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/os.h"

// From now on every open returns this file: `size` bytes of contents, a
// length query answering `length` (negative: the query fails), and, when
// `sparse`, zeros for the bytes between the contents and the length.
void setMemoryFile(const std::uint8_t* bytes, std::size_t size, std::int64_t length, bool sparse);

// The same bytes as a stream without a length, handed out at most `chunk`
// bytes a read, as a pipe does; the first read at most `firstChunk` bytes
// when that is not 0 (a download whose first bytes come alone).
void setMemoryStream(const std::uint8_t* bytes, std::size_t size, std::size_t chunk, std::size_t firstChunk = 0);

// From now on `name` is a title folder holding these files (up to 32;
// their bytes must outlive the runs), and "name/<file>" opens one of them;
// other names still open the file above. A null name: no folder.
struct MemoryFolderFile {
    const char* name;
    const std::uint8_t* bytes;
    std::size_t size;
};
void setMemoryFolder(const char* name, const MemoryFolderFile* files, std::size_t count);

// Every folder holds these key files (names ending in ".key"), and no
// others; at first, a made-up standard key alone. Up to four; the bytes
// are copied.
struct MemoryKeyFile {
    const char* name;
    const std::uint8_t* bytes;
    std::size_t size;
};
void setMemoryKeyFiles(const MemoryKeyFile* files, std::size_t count);

// From now on the `alloc`th allocation and the `crypto`th call of the
// cryptography library fail (0: none does), once.
void setMemoryFailures(long alloc, long crypto);

// Allocations and calls of the cryptography library asked for since the
// latest setMemoryFailures, the failing one included.
long memoryAllocations();
long memoryCryptoCalls();

// Files opened and not yet closed.
int memoryFilesOpen();

// Reads of the file so far (not of key files), every read counted.
long memoryFileReads();

// Buffers handed out by osAlloc and not yet released.
int memoryBlocksLive();

// States of the cryptography library (hashes, ciphers) begun and not ended.
int memoryCryptoStatesLive();

// Everything written to standard output so far, and forgetting it.
const std::string& memoryOutput();
void clearMemoryOutput();
