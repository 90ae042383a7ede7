// SPDX-License-Identifier: MIT
#include "titlefiles/loader.h"

#include <algorithm>
#include <cstring>

#include "common/runstate.h"
#include "platform/os.h"
#include "titlefiles/stream.h"

namespace {

// Where the loader's reads come from: the file itself, or the ranges kept
// from a stream that was read to its end.
struct Source {
    OsFile* file;
    const StreamImage* stream;  // null for a regular file
};

LoadStatus fail(LoadedTitle* title, LoadStatus status, LoadCause cause) {
    title->cause = cause;
    return status;
}

LoadStatus readAt(const Source& source, LoadedTitle* title, std::uint64_t offset, void* buf, std::size_t n) {
    OsResult result = source.stream != nullptr ? readStreamImage(*source.stream, offset, buf, n)
                                               : osReadAt(source.file, offset, buf, n);
    if (result == OsOk)
        return LoadOk;
    title->osError = source.stream != nullptr ? 0 : source.file->error;
    return fail(title, LoadReadFailed, title->osError != 0 ? LoadCause::SystemError : LoadCause::EndsEarly);
}

// Whether `n` bytes at `offset` lie inside the file; what does not is a
// short read, known without reading.
bool insideFile(const LoadedTitle* title, std::uint64_t offset, std::uint64_t n) {
    auto length = static_cast<std::uint64_t>(title->fileLength);
    return offset <= length && n <= length - offset;
}

// A WAD's TMD sits where the header's section lengths put it, so a WAD with
// a revocation list or an unusual ticket is read from its real TMD, not from
// whatever bytes lie at the usual offset.
LoadStatus locateWadTmd(const Source& source, LoadedTitle* title, std::uint64_t* tmdOffset) {
    std::uint64_t offset = wadTmdOffset({title->header, title->headerLength});
    *tmdOffset = offset;
    if (!insideFile(title, offset, TmdHeaderLength))
        return fail(title, LoadReadFailed, LoadCause::EndsBeforeTmd);
    if (offset <= WadReadLength - TmdHeaderLength) {
        title->tmdStart = static_cast<std::size_t>(offset);
        return LoadOk;
    }
    // Beyond the bytes read so far: read it into the buffer's TMD place.
    title->tmdStart = WadTmdOffset;
    return readAt(source, title, offset, title->header + WadTmdOffset, TmdHeaderLength);
}

// A WAD's ticket, as far as its section and the file reach, copied apart
// before anything else is read into the header buffer. In the usual layouts
// it lies inside the header read; a long revocation list can push its
// fields past it, and then they are read on their own.
LoadStatus copyWadTicket(const Source& source, LoadedTitle* title) {
    ByteSpan header(title->header, title->headerLength);
    std::uint64_t offset = wadTicketOffset(header);
    auto length = static_cast<std::uint64_t>(title->fileLength);
    std::uint64_t n = std::min<std::uint64_t>(TicketFieldsEnd, readBe32(header, WadTicketLengthOffset));
    n = offset < length ? std::min(n, length - offset) : 0;
    title->ticketLength = static_cast<std::size_t>(n);
    if (offset <= title->headerLength && n <= title->headerLength - offset) {
        std::memcpy(title->wadTicket, title->header + offset, title->ticketLength);
        return LoadOk;
    }
    return readAt(source, title, offset, title->wadTicket, title->ticketLength);
}

// Every TMD, a 676-byte one included, gives its count in its own header
// field, and its records follow that header directly inside the file. A
// WAD's TMD must hold them inside the section its header declares
// (`sectionLength`): records past it are not the TMD's.
LoadStatus readContents(const Source& source, LoadedTitle* title, std::uint64_t recordsOffset,
                        std::uint64_t sectionLength) {
    ByteSpan tmd(title->header + title->tmdStart, TmdHeaderLength);
    std::uint16_t count = readBe16(tmd, TmdContentCountOffset);
    std::size_t bytes = std::size_t{count} * ContentRecordLength;
    if (TmdHeaderLength + bytes > sectionLength)
        return fail(title, LoadUnknownStructure, LoadCause::RecordsPastSection);
    if (count == 0)
        return LoadOk;
    // Records the file cannot hold are a short read; no buffer is needed to know it.
    if (!insideFile(title, recordsOffset, bytes))
        return fail(title, LoadReadFailed, LoadCause::EndsBeforeRecords);
    title->contents = static_cast<std::uint8_t*>(osAlloc(bytes));
    if (title->contents == nullptr)
        return fail(title, LoadOutOfMemory, LoadCause::NoMemory);
    if (LoadStatus status = readAt(source, title, recordsOffset, title->contents, bytes); status != LoadOk)
        return status;
    title->contentCount = count;
    return LoadOk;
}

LoadStatus readTitle(const Source& source, LoadedTitle* title) {
    std::size_t length = headerReadLength(title->fileLength);
    if (length == 0)
        return fail(title, LoadUnknownStructure, title->fileLength < 0 ? LoadCause::NoLength : LoadCause::TooShort);
    title->header = static_cast<std::uint8_t*>(osAlloc(length));
    if (title->header == nullptr)
        return fail(title, LoadOutOfMemory, LoadCause::NoMemory);
    title->headerLength = length;
    if (LoadStatus status = readAt(source, title, 0, title->header, length); status != LoadOk)
        return status;
    title->kind = classifyHeader({title->header, length});
    switch (title->kind) {
    case FileKind::Ticket:
        title->ticketLength = std::min(length, TicketFieldsEnd);
        return LoadOk;
    case FileKind::Tmd:
        return readContents(source, title, TmdHeaderLength, UINT64_MAX);
    case FileKind::Wad:
        break;
    case FileKind::Unknown:
        return fail(title, LoadUnknownStructure, LoadCause::NoSignature);
    }
    if (LoadStatus status = copyWadTicket(source, title); status != LoadOk)
        return status;
    std::uint64_t tmdOffset = 0;
    if (LoadStatus status = locateWadTmd(source, title, &tmdOffset); status != LoadOk)
        return status;
    std::uint64_t section = readBe32({title->header, title->headerLength}, WadTmdLengthOffset);
    return readContents(source, title, tmdOffset + TmdHeaderLength, section);
}

bool isStandardInput(const PathChar* name) {
    return name[0] == '-' && name[1] == 0;
}

// A stream is read to its end first: its length is the number of bytes it held.
LoadStatus readStream(OsFile* file, LoadedTitle* title, Verifier* verifier) {
    StreamImage image{};
    LoadStatus status = captureStream(file, &image, &title->osError, verifier);
    if (status != LoadOk) {
        fail(title, status, status == LoadOutOfMemory ? LoadCause::NoMemory : LoadCause::SystemError);
    } else {
        title->fileLength = static_cast<std::int64_t>(std::min<std::uint64_t>(image.length, INT64_MAX));
        status = readTitle({file, &image}, title);
    }
    releaseStreamImage(&image);
    return status;
}

// Verification reads a regular file once more, whole, in large blocks.
LoadStatus verifyFile(OsFile* file, LoadedTitle* title, Verifier* verifier) {
    static std::uint8_t block[1 << 20];
    auto length = static_cast<std::uint64_t>(title->fileLength);
    for (std::uint64_t at = 0; at < length;) {
        auto n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof block, length - at));
        if (LoadStatus status = readAt({file, nullptr}, title, at, block, n); status != LoadOk)
            return status;
        if (!feedVerifier(verifier, block, n))
            return fail(title, LoadOutOfMemory, LoadCause::NoMemory);
        at += n;
    }
    return LoadOk;
}

}  // namespace

LoadStatus loadTitle(LoadedTitle* title, const CommonKeys* keys) {
    OsFile file{};
    OsResult opened = isStandardInput(currentFileName) ? osOpenStandardInput(&file) : osOpen(currentFileName, &file);
    if (opened != OsOk) {
        title->osError = file.error;
        return fail(title, LoadReadFailed, LoadCause::SystemError);
    }
    Verifier verifier{};
    verifier.keys = keys;
    LoadStatus status;
    if (file.stream) {
        status = readStream(&file, title, keys != nullptr ? &verifier : nullptr);
    } else {
        title->fileLength = osFileLength(&file);
        status = readTitle({&file, nullptr}, title);
        if (status == LoadOk && keys != nullptr)
            status = verifyFile(&file, title, &verifier);
    }
    osClose(&file);
    if (keys != nullptr)
        endVerifier(&verifier, status == LoadOk ? title->kind : FileKind::Unknown, &title->verify);
    if (status != LoadOk)
        releaseTitle(title);
    return status;
}

void releaseTitle(LoadedTitle* title) {
    releaseVerifyFacts(&title->verify);
    osFree(title->contents);
    osFree(title->header);
    title->contents = nullptr;
    title->header = nullptr;
    title->ticketLength = 0;
}

ByteSpan titleTicket(const LoadedTitle& title) {
    switch (title.kind) {
    case FileKind::Ticket:
        return {title.header, title.ticketLength};
    case FileKind::Wad:
        return {title.wadTicket, title.ticketLength};
    default:
        return {};
    }
}
