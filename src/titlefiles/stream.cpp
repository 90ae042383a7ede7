// SPDX-License-Identifier: MIT
#include "titlefiles/stream.h"

#include <algorithm>
#include <cstring>

#include "titlefiles/classify.h"

namespace {

enum WindowRole { StartWindow = 0, RecordsWindow = 1, TicketWindow = 2, TmdWindow = 3 };

// Read in blocks this large; a stream's bytes pass through here once.
constexpr std::size_t ChunkSize = 64 * 1024;

bool isWadStart(const std::uint8_t* bytes) {
    return std::memcmp(bytes, WadPrefixIs, WadPrefixLength) == 0 ||
           std::memcmp(bytes, WadPrefixIb, WadPrefixLength) == 0;
}

// Whether the stream has passed the end of `n` bytes at `offset`.
bool passed(const StreamImage& image, std::uint64_t offset, std::uint64_t n) {
    return image.length >= offset && image.length - offset >= n;
}

LoadStatus keep(StreamImage* image, WindowRole role, std::uint64_t offset, std::size_t length) {
    return keepRange(&image->windows[role], offset, length) ? LoadOk : LoadOutOfMemory;
}

std::size_t recordsLength(ByteSpan tmd) {
    return std::size_t{readBe16(tmd, TmdContentCountOffset)} * ContentRecordLength;
}

// Works out which ranges the loader will read, as far as the bytes seen so
// far tell: the start always; for a WAD its ticket and TMD header where the
// section lengths put them, then the records after that TMD header; for
// anything else, the records after a bare TMD's header. Returns whether a
// range was added, so that the block just read is copied into it too.
LoadStatus planWindows(StreamImage* image, bool* added) {
    *added = false;
    const KeptRange& start = image->windows[StartWindow];
    ByteSpan head(start.bytes, start.length);
    if (!passed(*image, 0, WadPrefixLength))
        return LoadOk;
    if (!isWadStart(start.bytes)) {
        if (!passed(*image, 0, TmdHeaderLength) || image->windows[RecordsWindow].planned)
            return LoadOk;
        *added = true;
        return keep(image, RecordsWindow, TmdHeaderLength, recordsLength(head));
    }
    if (!passed(*image, 0, WadHeaderFieldsEnd))
        return LoadOk;
    if (!image->windows[TmdWindow].planned) {
        *added = true;
        auto ticketLength = std::min<std::size_t>(TicketFieldsEnd, readBe32(head, WadTicketLengthOffset));
        if (LoadStatus s = keep(image, TicketWindow, wadTicketOffset(head), ticketLength); s != LoadOk)
            return s;
        return keep(image, TmdWindow, wadTmdOffset(head), TmdHeaderLength);
    }
    const KeptRange& tmd = image->windows[TmdWindow];
    if (!passed(*image, tmd.offset, TmdHeaderLength) || image->windows[RecordsWindow].planned)
        return LoadOk;
    *added = true;
    return keep(image, RecordsWindow, tmd.offset + TmdHeaderLength, recordsLength({tmd.bytes, tmd.length}));
}

}  // namespace

LoadStatus captureStream(OsFile* file, StreamImage* image, int* error, Verifier* verifier) {
    *error = 0;
    if (LoadStatus s = keep(image, StartWindow, 0, WadReadLength); s != LoadOk)
        return s;
    static std::uint8_t block[ChunkSize];
    for (;;) {
        std::size_t got = 0;
        if (osReadNext(file, block, sizeof block, &got) != OsOk) {
            *error = file->error;
            return LoadReadFailed;
        }
        if (got == 0)
            return LoadOk;
        std::uint64_t offset = image->length;
        image->length += got;
        bool added = true;
        while (added) {
            fillRanges(image->windows, StreamWindowCount, offset, block, got);
            if (LoadStatus s = planWindows(image, &added); s != LoadOk)
                return s;
        }
        if (verifier != nullptr && !feedVerifier(verifier, block, got))
            return LoadOutOfMemory;
    }
}

OsResult readStreamImage(const StreamImage& image, std::uint64_t offset, void* buf, std::size_t n) {
    if (!passed(image, offset, n))
        return OsError;
    for (const KeptRange& w : image.windows) {
        if (w.bytes != nullptr && offset >= w.offset && n <= w.length && offset - w.offset <= w.length - n) {
            std::memcpy(buf, w.bytes + (offset - w.offset), n);
            return OsOk;
        }
    }
    return OsError;  // not reached: the windows hold every range the loader reads
}

void releaseStreamImage(StreamImage* image) {
    releaseRanges(image->windows, StreamWindowCount);
}
