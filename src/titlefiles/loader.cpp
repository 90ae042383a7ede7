// SPDX-License-Identifier: MIT
#include "titlefiles/loader.h"

#include <algorithm>
#include <cstring>

#include "common/runstate.h"
#include "platform/os.h"

namespace {

// Whether `n` bytes at `offset` lie inside the file; what does not is a
// short read, known without reading.
bool insideFile(const LoadedTitle* title, std::uint64_t offset, std::uint64_t n) {
    auto length = static_cast<std::uint64_t>(title->fileLength);
    return offset <= length && n <= length - offset;
}

// A WAD's TMD sits where the header's section lengths put it, so a WAD with
// a revocation list or an unusual ticket is read from its real TMD, not from
// whatever bytes lie at the usual offset.
LoadStatus locateWadTmd(const OsFile* file, LoadedTitle* title, std::uint64_t* tmdOffset) {
    std::uint64_t offset = wadTmdOffset({title->header, title->headerLength});
    *tmdOffset = offset;
    if (!insideFile(title, offset, TmdHeaderLength))
        return LoadReadFailed;
    if (offset <= WadReadLength - TmdHeaderLength) {
        title->tmdStart = static_cast<std::size_t>(offset);
        return LoadOk;
    }
    // Beyond the bytes read so far: read it into the buffer's TMD place.
    title->tmdStart = WadTmdOffset;
    if (osReadAt(file, offset, title->header + WadTmdOffset, TmdHeaderLength) != OsOk)
        return LoadReadFailed;
    return LoadOk;
}

// A WAD's ticket, as far as its section and the file reach, copied apart
// before anything else is read into the header buffer. In the usual layouts
// it lies inside the header read; a long revocation list can push its
// fields past it, and then they are read on their own.
LoadStatus copyWadTicket(const OsFile* file, LoadedTitle* title) {
    ByteSpan header(title->header, title->headerLength);
    std::uint64_t offset = wadTicketOffset(header);
    auto length = static_cast<std::uint64_t>(title->fileLength);
    std::uint64_t n = std::min<std::uint64_t>(TicketFieldsEnd, readBe32(header, WadTicketLengthOffset));
    n = offset < length ? std::min(n, length - offset) : 0;
    auto bytes = static_cast<std::size_t>(n);
    title->ticket = ByteSpan(title->wadTicket, bytes);
    if (offset <= title->headerLength && bytes <= title->headerLength - offset) {
        std::memcpy(title->wadTicket, title->header + offset, bytes);
        return LoadOk;
    }
    return osReadAt(file, offset, title->wadTicket, bytes) == OsOk ? LoadOk : LoadReadFailed;
}

LoadStatus readContents(const OsFile* file, LoadedTitle* title, std::uint64_t recordsOffset) {
    // Every TMD, a 676-byte one included, gives its count in its own header
    // field, and its records follow that header directly inside the file.
    ByteSpan tmd(title->header + title->tmdStart, TmdHeaderLength);
    std::uint16_t count = readBe16(tmd, TmdContentCountOffset);
    if (count == 0)
        return LoadOk;
    std::size_t bytes = std::size_t{count} * ContentRecordLength;
    // Records the file cannot hold are a short read; no buffer is needed to know it.
    if (!insideFile(title, recordsOffset, bytes))
        return LoadReadFailed;
    title->contents = static_cast<std::uint8_t*>(osAlloc(bytes));
    if (title->contents == nullptr)
        return LoadOutOfMemory;
    if (osReadAt(file, recordsOffset, title->contents, bytes) != OsOk)
        return LoadReadFailed;
    title->contentCount = count;
    return LoadOk;
}

LoadStatus readTitle(const OsFile* file, LoadedTitle* title) {
    title->fileLength = osFileLength(file);
    std::size_t length = headerReadLength(title->fileLength);
    if (length == 0)
        return LoadUnknownStructure;
    title->header = static_cast<std::uint8_t*>(osAlloc(length));
    if (title->header == nullptr)
        return LoadOutOfMemory;
    title->headerLength = length;
    if (osReadAt(file, 0, title->header, length) != OsOk)
        return LoadReadFailed;
    title->kind = classifyHeader({title->header, length});
    std::uint64_t tmdOffset = 0;
    switch (title->kind) {
    case FileKind::Ticket:
        title->ticket = ByteSpan(title->header, length);
        return LoadOk;
    case FileKind::Tmd:
        return readContents(file, title, TmdHeaderLength);
    case FileKind::Wad:
        break;
    case FileKind::Unknown:
        return LoadUnknownStructure;
    }
    if (LoadStatus status = copyWadTicket(file, title); status != LoadOk)
        return status;
    if (LoadStatus status = locateWadTmd(file, title, &tmdOffset); status != LoadOk)
        return status;
    return readContents(file, title, tmdOffset + TmdHeaderLength);
}

}  // namespace

LoadStatus loadTitle(LoadedTitle* title) {
    OsFile file;
    if (osOpen(currentFileName, &file) != OsOk)
        return LoadReadFailed;
    LoadStatus status = readTitle(&file, title);
    osClose(&file);
    if (status != LoadOk)
        releaseTitle(title);
    return status;
}

void releaseTitle(LoadedTitle* title) {
    osFree(title->contents);
    osFree(title->header);
    title->contents = nullptr;
    title->header = nullptr;
    title->ticket = {};
}
