// SPDX-License-Identifier: MIT
// Title files that arrive as streams (a pipe, a FIFO, standard input, a
// device): their length is known only once they have been read to the end,
// and they cannot be read twice. Such a file is read through once; only
// the byte ranges the loader will ask for are kept, and the rest is counted,
// so memory stays bounded (a few MiB at most) however long the stream is.
// The loader then reads the kept ranges as it reads a regular file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os.h"
#include "titlefiles/loader.h"
#include "titlefiles/ranges.h"
#include "titlefiles/verify.h"

// The start, the content records, and a WAD's ticket and TMD header.
inline constexpr int StreamWindowCount = 4;

struct StreamImage {
    std::uint64_t length;  // every byte the stream held
    KeptRange windows[StreamWindowCount];
};

// Reads `file` to its end into `image` (zero it first), passing every block
// to `verifier` too when there is one. LoadReadFailed on a read error,
// LoadOutOfMemory when a range cannot be kept; `*error` is then the
// system's error number, if any. Release the image in every case.
LoadStatus captureStream(OsFile* file, StreamImage* image, int* error, Verifier* verifier);

// Reads `n` bytes at `offset` from the kept ranges: OsOk when one range
// holds them all, OsError for bytes past the stream's end.
OsResult readStreamImage(const StreamImage& image, std::uint64_t offset, void* buf, std::size_t n);

void releaseStreamImage(StreamImage* image);
