// SPDX-License-Identifier: MIT
#include "titlefiles/loader.h"

#include <algorithm>

namespace {

// A stream is read in blocks of a pipe's size; a file being verified in
// larger ones, which the disk and the hashes take best.
constexpr std::size_t StreamChunk = 64 * 1024;
constexpr std::size_t FileChunk = 1024 * 1024;

LoadStatus fail(LoadedTitle* title, LoadStatus status, LoadCause cause) {
    title->cause = cause;
    return status;
}

LoadStatus readFailed(LoadedTitle* title, const OsFile& file) {
    if (file.error == OsStopped)
        return LoadStopped;
    title->osError = file.error;
    return fail(title, LoadReadFailed, file.error != 0 ? LoadCause::SystemError : LoadCause::EndsEarly);
}

// A WAD's contents are walked once its TMD, with every record, has passed,
// and so its ticket, which comes before it.
bool planContents(LoadedTitle* title, const KeySet& keys) {
    const Capture& c = title->capture;
    const KeptRange& tmd = c.ranges[TmdBytes];
    if (title->contents.planned || c.kind != FileKind::Wad || !c.tmdSized || !rangeComplete(tmd))
        return true;
    ByteSpan bytes = keptBytes(tmd);
    std::uint16_t count = readBe16(bytes, TmdContentCountOffset);
    if (bytes.size() != TmdHeaderLength + std::size_t{count} * ContentRecordLength)
        return true;  // its records are not the TMD's: the WAD is not reported
    ByteSpan start = keptBytes(c.ranges[StartBytes]);
    std::uint64_t data = tmd.offset + alignToSection(readBe32(start, WadTmdLengthOffset));
    return planWadContents(&title->contents, bytes.subspan(TmdHeaderLength), count, data,
                           keptBytes(c.ranges[TicketBytes]), keys);
}

LoadStatus feedBlock(LoadedTitle* title, const KeySet* keys, const std::uint8_t* block, std::size_t n) {
    std::uint64_t offset = title->capture.seen;
    if (!feedCapture(&title->capture, block, n) || (keys != nullptr && !planContents(title, *keys)))
        return fail(title, LoadOutOfMemory, LoadCause::NoMemory);
    if (keys != nullptr)
        feedWadContents(&title->contents, offset, block, n);
    return LoadOk;
}

// Whether the title still needs bytes: a range kept is not whole yet, or
// the walk over a WAD's contents has contents left to hash.
bool needsMore(const LoadedTitle& title) {
    for (const KeptRange& range : title.capture.ranges)
        if (range.planned && !rangeComplete(range))
            return true;
    const WadContents& walk = title.contents;
    return walk.planned && !walk.failed && walk.keyStatus == ContentsStatus::Ok && walk.current < walk.count;
}

// Reads the file front to back, once, as far as the title needs it: a
// regular file no further (a file that is no title, no further than its
// first block), a stream to its end, its bytes past the title counted
// only, so that its writer is never cut off. A stop ends the read.
LoadStatus readInOrder(OsFile* file, LoadedTitle* title, const KeySet* keys) {
    std::size_t chunk = file->stream ? StreamChunk : FileChunk;
    auto* block = static_cast<std::uint8_t*>(osAlloc(chunk));
    if (block == nullptr)
        return fail(title, LoadOutOfMemory, LoadCause::NoMemory);
    LoadStatus status = LoadOk;
    bool needed = needsMore(*title) || title->capture.seen == 0;
    for (std::uint64_t at = title->capture.seen; status == LoadOk && (needed || file->stream);) {
        if (osStopRequested()) {
            status = LoadStopped;
            break;
        }
        std::size_t got = 0;
        if (file->stream) {
            if (osReadNext(file, block, chunk, &got) != OsOk)
                status = readFailed(title, *file);
        } else {
            got = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, title->capture.length - at));
            if (got > 0 && osReadAt(file, at, block, got) != OsOk)
                status = readFailed(title, *file);
        }
        if (status != LoadOk || got == 0)
            break;
        if (needed)
            status = feedBlock(title, keys, block, got);
        else
            countPastCapture(&title->capture, got);
        at += got;
        needed = needed && needsMore(*title);
    }
    osFree(block);
    return status;
}

// Reads only the ranges planned, each where it is kept: the few small
// reads a report of a regular file needs.
LoadStatus readPlanned(OsFile* file, LoadedTitle* title) {
    CaptureWant want;
    while (nextWant(title->capture, &want)) {
        if (osReadAt(file, want.offset, want.into, want.length) != OsOk)
            return readFailed(title, *file);
        if (!wantArrived(&title->capture, want))
            return fail(title, LoadOutOfMemory, LoadCause::NoMemory);
    }
    return LoadOk;
}

// The TMD header at `offset` and the records after it, which must fit in
// the `section` a WAD's header gives it, and in the file.
LoadStatus finishTmd(LoadedTitle* title, std::uint64_t offset, std::uint64_t section) {
    const Capture& c = title->capture;
    ByteSpan header;
    if (offset > c.length || TmdHeaderLength > c.length - offset)
        return fail(title, LoadReadFailed, LoadCause::EndsBeforeTmd);
    if (!capturedBytes(c, offset, TmdHeaderLength, &header))
        return fail(title, LoadReadFailed, LoadCause::EndsEarly);
    std::uint16_t count = readBe16(header, TmdContentCountOffset);
    std::size_t records = std::size_t{count} * ContentRecordLength;
    if (TmdHeaderLength + records > section)
        return fail(title, LoadUnknownStructure, LoadCause::RecordsPastSection);
    if (records > c.length - offset - TmdHeaderLength)
        return fail(title, LoadReadFailed, LoadCause::EndsBeforeRecords);
    if (!capturedBytes(c, offset, TmdHeaderLength + records, &title->tmd))
        return fail(title, LoadReadFailed, LoadCause::EndsEarly);
    title->contentCount = count;
    return LoadOk;
}

// Decides what the file is from the bytes kept, now that its length is
// known, and finds its parts among them.
LoadStatus finishTitle(LoadedTitle* title) {
    const Capture& c = title->capture;
    title->fileLength = static_cast<std::int64_t>(std::min<std::uint64_t>(c.length, INT64_MAX));
    if (c.length < TmdHeaderLength)
        return fail(title, LoadUnknownStructure, LoadCause::TooShort);
    title->start = keptBytes(c.ranges[StartBytes]);
    title->kind = classifyStart(title->start, c.length >= WadReadLength);
    switch (title->kind) {
    case FileKind::Ticket:
        title->ticket = title->start.first(std::min(title->start.size(), TicketLength));
        return LoadOk;
    case FileKind::Tmd:
        return finishTmd(title, 0, UINT64_MAX);
    case FileKind::Wad:
        title->ticket = keptBytes(c.ranges[TicketBytes]);
        return finishTmd(title, wadTmdOffset(title->start), readBe32(title->start, WadTmdLengthOffset));
    case FileKind::Unknown:
    case FileKind::Folder:  // never what a file's bytes say
        break;
    }
    return fail(title, LoadUnknownStructure, LoadCause::NoSignature);
}

bool isStandardInput(const PathChar* name) {
    return name[0] == '-' && name[1] == 0;
}

LoadStatus readTitle(OsFile* file, LoadedTitle* title, const KeySet* keys) {
    std::int64_t length = -1;
    if (!file->stream) {
        // A regular file's length decides its header read, before any read.
        length = title->fileLength = osFileLength(file);
        if (length < static_cast<std::int64_t>(TmdHeaderLength))
            return fail(title, LoadUnknownStructure, length < 0 ? LoadCause::NoLength : LoadCause::TooShort);
    }
    if (!startCapture(&title->capture, length, keys != nullptr))
        return fail(title, LoadOutOfMemory, LoadCause::NoMemory);
    if (file->stream)
        return readInOrder(file, title, keys);
    if (keys == nullptr)
        return readPlanned(file, title);
    // A regular file being verified: its first bytes tell what it is. Only
    // a WAD's contents are hashed as the rest of it passes, in order;
    // anything else needs no more than its planned reads.
    std::uint8_t first[WadReadLength];
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof first, title->capture.length));
    if (osReadAt(file, 0, first, n) != OsOk)
        return readFailed(title, *file);
    if (LoadStatus status = feedBlock(title, keys, first, n); status != LoadOk)
        return status;
    return title->capture.kind == FileKind::Wad ? readInOrder(file, title, keys) : readPlanned(file, title);
}

// A name that will not open as a file may be a title folder. Nothing is
// opened once the run is stopping; a stream waits for its turn.
LoadStatus loadNamed(LoadedTitle* title, const PathChar* name, const KeySet* keys, OsTurn* turn) {
    if (osStopRequested())
        return LoadStopped;
    OsFile file{};
    OsResult opened = isStandardInput(name) ? osOpenStandardInput(&file) : osOpen(name, &file);
    if (opened != OsOk) {
        title->osError = file.error;
        bool isFolder = false;
        LoadStatus status = isStandardInput(name) ? LoadReadFailed : loadFolder(title, name, keys, &isFolder);
        return isFolder ? status : fail(title, LoadReadFailed, LoadCause::SystemError);
    }
    LoadStatus status = file.stream && !osAwaitTurn(turn) ? LoadStopped : loadOpenFile(title, &file, keys);
    osClose(&file);
    return status;
}

}  // namespace

LoadStatus loadOpenFile(LoadedTitle* title, OsFile* file, const KeySet* keys) {
    LoadStatus status = readTitle(file, title, keys);
    return status == LoadOk ? finishTitle(title) : status;
}

LoadStatus loadTitle(LoadedTitle* title, const PathChar* name, const KeySet* keys, OsTurn* turn) {
    LoadStatus status = loadNamed(title, name, keys, turn);
    if (status == LoadOk && keys != nullptr && !verifyTitle(title, *keys, &title->verify)) {
        osCryptoFailureText(title->reason, sizeof title->reason);
        status = fail(title, LoadCryptoFailed, LoadCause::Cryptography);
    }
    if (status != LoadOk)
        releaseTitle(title);
    return status;
}

void releaseTitle(LoadedTitle* title) {
    if (title->folder != nullptr) {
        releaseFolder(title->folder);
        osFree(title->folder);
        title->folder = nullptr;
    }
    releaseVerifyFacts(&title->verify);
    releaseWadContents(&title->contents);
    releaseCapture(&title->capture);
    title->start = title->ticket = title->tmd = ByteSpan{};
}

ByteSpan titleRecords(const LoadedTitle& title) {
    return title.tmd.size() > TmdHeaderLength ? title.tmd.subspan(TmdHeaderLength) : ByteSpan{};
}
