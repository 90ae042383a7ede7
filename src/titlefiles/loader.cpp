// SPDX-License-Identifier: MIT
// The read loop, and a title file read into its layout.
#include "titlefiles/loader.h"

#include <algorithm>

#include "platform/pool.h"

namespace {

// A file being read: its layout fed, and under /v a WAD's contents walked
// once its TMD, with every record, has passed, and so its ticket.
struct FileRead {
    LoadedTitle* title;
    const KeySet* keys;
    WadWalk walk;
    bool needed;  // the title still needs bytes
};

// Whether the title still needs bytes: a range kept is not whole yet, or
// the walk over a WAD's contents has contents left to hash.
bool stillNeeded(const FileRead& read) {
    return layoutNeedsMore(read.title->layout) || (read.walk.results != nullptr && wadWalkNeedsMore(read.walk));
}

// Starts the walk over a WAD's contents once its records are kept, in the
// block at `offset`. Its first content may start in the file's first
// bytes, before that block, when its kind was decided in it.
bool startWalk(FileRead* read, std::uint64_t offset) {
    LoadedTitle* title = read->title;
    TitleParts parts;
    if (read->keys == nullptr || read->walk.results != nullptr || !wadPartsKept(title->layout, &parts))
        return true;
    startWadWalk(&read->walk, &title->contents, title->layout.dataOffset);
    if (!startContentResults(&title->contents, parts.tmd.subspan(TmdHeaderLength), parts.contentCount, parts.ticket,
                             *read->keys, true))
        return false;
    if (offset <= parts.start.size())
        feedWadWalk(&read->walk, 0, parts.start.data(), static_cast<std::size_t>(offset));
    return true;
}

bool takeBlock(void* context, std::uint64_t offset, const std::uint8_t* block, std::size_t n, Failure* failure) {
    auto* read = static_cast<FileRead*>(context);
    Layout* layout = &read->title->layout;
    if (!read->needed) {
        skipLayout(layout, n);  // a stream's bytes past the title: counted only
        return false;
    }
    if (!feedLayout(layout, block, n) || !startWalk(read, offset)) {
        *failure = Failure::NoMemory;
        return false;
    }
    if (read->walk.results != nullptr)
        feedWadWalk(&read->walk, offset, block, n);
    read->needed = stillNeeded(*read);
    return read->needed;
}

// Reads only the ranges planned, each where it is kept: the few small
// reads a report of a regular file needs.
Failure readPlanned(OsFile* file, LoadedTitle* title) {
    LayoutRead want;
    while (nextLayoutRead(title->layout, &want)) {
        if (osReadAt(file, want.offset, want.into, want.length) != OsOk)
            return readFailed(title, *file);
        if (!layoutReadDone(&title->layout, want))
            return Failure::NoMemory;
    }
    return Failure::None;
}

// Reads the file front to back, once, as far as the title needs it: a
// regular file no further (a file that is no title, no further than its
// first block), a stream to its end, so that its writer is never cut off.
Failure readInOrder(OsFile* file, FileRead* read) {
    std::size_t chunk = file->stream ? StreamChunk : FileChunk;
    auto* block = static_cast<std::uint8_t*>(osAlloc(chunk));
    if (block == nullptr)
        return Failure::NoMemory;
    LoadedTitle* title = read->title;
    read->needed = stillNeeded(*read) || title->layout.seen == 0;
    Failure failure = read->needed || file->stream
                          ? readBlocks(title, file, title->layout.seen, title->layout.length, block, chunk,
                                       {takeBlock, read})
                          : Failure::None;
    osFree(block);
    return failure;
}

// A regular file being verified: its first bytes tell what it is. Only a
// WAD's contents are hashed as the rest of it passes, in order; anything
// else needs no more than its planned reads.
Failure readVerified(OsFile* file, FileRead* read) {
    LoadedTitle* title = read->title;
    std::uint8_t first[WadReadLength];
    auto n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof first, title->layout.length));
    if (osReadAt(file, 0, first, n) != OsOk)
        return readFailed(title, *file);
    read->needed = true;
    Failure failure = Failure::None;
    takeBlock(read, 0, first, n, &failure);
    if (failure != Failure::None)
        return failure;
    return title->layout.kind == FileKind::Wad ? readInOrder(file, read) : readPlanned(file, title);
}

Failure readFile(OsFile* file, FileRead* read) {
    LoadedTitle* title = read->title;
    std::int64_t length = file->stream ? -1 : (title->fileLength = osFileLength(file));
    if (Failure failure = startLayout(&title->layout, file->stream, length, read->keys != nullptr);
        failure != Failure::None)
        return failure;
    if (file->stream)
        return readInOrder(file, read);
    return read->keys == nullptr ? readPlanned(file, title) : readVerified(file, read);
}

}  // namespace

Failure readFailed(LoadedTitle* title, const OsFile& file) {
    if (file.error == OsStopped)
        return Failure::Stopped;
    title->osError = file.error;
    return file.error != 0 ? Failure::SystemError : Failure::EndsEarly;
}

Failure readBlocks(LoadedTitle* title, OsFile* file, std::uint64_t offset, std::uint64_t end, std::uint8_t* block,
                   std::size_t chunk, BlockSink sink) {
    Failure failure = Failure::None;
    for (bool more = true; failure == Failure::None && (more || file->stream);) {
        if (osStopRequested())
            return Failure::Stopped;
        std::size_t got = 0;
        if (file->stream) {
            if (osReadNext(file, block, chunk, &got) != OsOk)
                return readFailed(title, *file);
        } else {
            got = static_cast<std::size_t>(std::min<std::uint64_t>(chunk, end - offset));
            if (got > 0 && osReadAt(file, offset, block, got) != OsOk)
                return readFailed(title, *file);
        }
        if (got == 0)
            break;
        more = sink.take(sink.context, offset, block, got, &failure);
        offset += got;
    }
    return failure;
}

Failure loadOpenFile(LoadedTitle* title, OsFile* file, const KeySet* keys) {
    FileRead read{title, keys, {}, false};
    Failure failure = readFile(file, &read);
    if (failure == Failure::None) {
        failure = endLayout(&title->layout, &title->parts);
        title->fileLength = static_cast<std::int64_t>(std::min<std::uint64_t>(title->layout.length, INT64_MAX));
        title->kind = title->layout.kind;
    }
    if (read.walk.results != nullptr && failure == Failure::None)
        endWadWalk(&read.walk);  // the file has ended: contents not whole are missing
    dropContentHash(&read.walk.hash);
    return failure;
}

ByteSpan titleRecords(const LoadedTitle& title) {
    return title.parts.tmd.size() > TmdHeaderLength ? title.parts.tmd.subspan(TmdHeaderLength) : ByteSpan{};
}
