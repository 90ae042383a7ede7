#include "titlefiles/loader.h"

#include <cstdint>

#include "common/runstate.h"
#include "platform/os.h"
#include "report/ticket_report.h"
#include "report/tmd_report.h"
#include "titlefiles/classify.h"
#include "titlefiles/formats.h"

namespace {

// What one file yields for its report. The buffers belong to loadAndReport.
struct LoadedTitle {
    std::int64_t fileLength;  // taken once, when the file is opened
    FileKind kind;
    std::uint8_t* header;
    std::size_t headerLength;
    std::size_t tmdStart;  // where the TMD header starts inside `header`
    std::uint8_t* contents;
    std::uint16_t contentCount;
};

// A WAD's TMD sits where the header's section lengths put it, so a WAD with
// a revocation list or an unusual ticket is read from its real TMD, not from
// whatever bytes lie at the usual offset.
LoadStatus locateWadTmd(const OsFile* file, LoadedTitle* title, std::uint64_t* tmdOffset) {
    std::uint64_t offset = wadTmdOffset({title->header, title->headerLength});
    *tmdOffset = offset;
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

LoadStatus readContents(const OsFile* file, LoadedTitle* title, std::uint64_t recordsOffset) {
    // Every TMD, a 676-byte one included, gives its count in its own header
    // field, and its records follow that header directly inside the file.
    ByteSpan tmd(title->header + title->tmdStart, TmdHeaderLength);
    std::uint16_t count = readBe16(tmd, TmdContentCountOffset);
    if (count == 0)
        return LoadOk;
    std::size_t bytes = std::size_t{count} * ContentRecordLength;
    auto fileLength = static_cast<std::uint64_t>(title->fileLength);
    // Records the file cannot hold are a short read; no buffer is needed to know it.
    if (recordsOffset > fileLength || bytes > fileLength - recordsOffset)
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
        return LoadOk;
    case FileKind::Tmd:
        break;
    case FileKind::Wad:
        if (LoadStatus status = locateWadTmd(file, title, &tmdOffset); status != LoadOk)
            return status;
        break;
    case FileKind::Unknown:
        return LoadUnknownStructure;
    }
    return readContents(file, title, tmdOffset + TmdHeaderLength);
}

void reportTitle(const LoadedTitle& title) {
    if (title.kind == FileKind::Ticket) {
        printTicketInfo({title.header, title.headerLength});
        return;
    }
    printTmdInfo({title.header + title.tmdStart, TmdHeaderLength},
                 {title.contents, std::size_t{title.contentCount} * ContentRecordLength}, title.contentCount);
}

}  // namespace

LoadStatus loadAndReport() {
    OsFile file;
    if (osOpen(currentFileName, &file) != OsOk)
        return LoadReadFailed;
    LoadedTitle title{};
    LoadStatus status = readTitle(&file, &title);
    osClose(&file);
    if (status == LoadOk)
        reportTitle(title);
    osFree(title.contents);
    osFree(title.header);
    return status;
}
