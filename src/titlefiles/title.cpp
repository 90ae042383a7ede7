// SPDX-License-Identifier: MIT
// A title by its name: opened as a file, or found as a title folder, then
// judged under /v.
#include "titlefiles/title.h"

#include "titlefiles/folder.h"
#include "titlefiles/verify.h"

namespace {

bool isStandardInput(const PathChar* name) {
    return name[0] == '-' && name[1] == 0;
}

// A name that will not open as a file may be a title folder. Nothing is
// opened once the run is stopping; a stream waits for its turn.
Failure loadNamed(LoadedTitle* title, const PathChar* name, const KeySet* keys, OsTurn* turn) {
    if (osStopRequested())
        return Failure::Stopped;
    OsFile file{};
    OsResult opened = isStandardInput(name) ? osOpenStandardInput(&file) : osOpen(name, &file);
    if (opened != OsOk) {
        int error = file.error;
        bool isFolder = false;
        Failure failure = isStandardInput(name) ? Failure::SystemError : loadFolder(title, name, keys, &isFolder);
        if (isFolder)
            return failure;
        title->osError = error;
        return Failure::SystemError;
    }
    Failure failure = file.stream && !osAwaitTurn(turn) ? Failure::Stopped : loadOpenFile(title, &file, keys);
    osClose(&file);
    return failure;
}

}  // namespace

Failure loadTitle(LoadedTitle* title, const PathChar* name, const KeySet* keys, OsTurn* turn) {
    Failure failure = loadNamed(title, name, keys, turn);
    if (failure == Failure::None && keys != nullptr && !verifyTitle(title, *keys, &title->verify)) {
        osCryptoFailureText(title->reason, sizeof title->reason);
        failure = Failure::Library;
    }
    if (failure != Failure::None)
        releaseTitle(title);
    return failure;
}

void releaseTitle(LoadedTitle* title) {
    if (title->folder != nullptr) {
        releaseFolder(title->folder);
        osFree(title->folder);
        title->folder = nullptr;
    }
    releaseContentResults(&title->contents);
    releaseLayout(&title->layout);
    title->parts = TitleParts{};
    title->verify.hashes = nullptr;
}
