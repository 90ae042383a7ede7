// SPDX-License-Identifier: MIT
// The arguments of a run, and the walks that stand for folders among them.
#include "cli/sources.h"

#include "titlefiles/folder.h"

namespace {

FileItem itemOf(const PathChar* name, PathChar* owned, Failure failure = Failure::None, int osError = 0) {
    return {name, owned, failure, osError};
}

// Ends the walk in progress, counting what it passed over.
void endWalking(FileSource* source) {
    source->skipped += source->walk.skipped;
    endWalk(&source->walk);
    source->walking = false;
}

// What the walk gives next; false when it has ended without an item.
bool nextInWalking(FileSource* source, FileItem* item) {
    PathChar* path = nullptr;
    int error = 0;
    WalkStep step = nextInWalk(&source->walk, &path, &error);
    if (step == WalkStep::End) {
        endWalking(source);
        // Under /v exit 0 says every file named was proven: a folder
        // without a title proves nothing.
        if (source->yielded > 0 || !source->verifying)
            return false;
        *item = itemOf(source->walked, nullptr, Failure::NoTitleFiles);
        return true;
    }
    ++source->yielded;
    if (step == WalkStep::NoMemory) {
        osFree(path);
        endWalking(source);
        *item = itemOf(source->walked, nullptr, Failure::NoMemory);
        return true;
    }
    *item = itemOf(path, path, step == WalkStep::Unreadable ? Failure::SystemError : Failure::None, error);
    return true;
}

// A folder named outright is walked (Plain) when it is no title folder;
// anything else is read as it is named (Title).
FolderKind argumentKind(const FileSource& source, const PathChar* arg) {
    if (!source.walks || arg[0] == 0 || osFolderError(arg) != 0)
        return FolderKind::Title;
    return folderKind(arg);
}

}  // namespace

void startFileSource(FileSource* source, PathChar** args, int count, bool walks, bool verifying) {
    *source = FileSource{};
    source->args = args;
    source->count = count;
    source->walks = walks;
    source->verifying = verifying;
}

bool nextFileItem(FileSource* source, FileItem* item) {
    releaseFileItem(item);
    for (;;) {
        if (source->walking && nextInWalking(source, item))
            return true;
        if (source->next == source->count)
            return false;
        const PathChar* arg = source->args[source->next++];
        FolderKind kind = argumentKind(*source, arg);
        if (kind != FolderKind::Plain) {
            *item = itemOf(arg, nullptr, kind == FolderKind::NoMemory ? Failure::NoMemory : Failure::None);
            return true;
        }
        ++source->walkedFolders;
        source->walked = arg;
        source->yielded = 0;
        int error = 0;
        WalkStep step = startWalk(&source->walk, arg, &error);
        source->walking = step == WalkStep::Title;
        if (!source->walking) {
            *item = itemOf(arg, nullptr, step == WalkStep::NoMemory ? Failure::NoMemory : Failure::SystemError, error);
            return true;
        }
    }
}

void releaseFileItem(FileItem* item) {
    osFree(item->owned);
    *item = FileItem{};
}

void endFileSource(FileSource* source) {
    if (source->walking)
        endWalking(source);
}
