// SPDX-License-Identifier: MIT
// Title folders: a title kept as the loose files it is delivered in, not
// packed into a WAD. Its TMD (title.tmd, tmd, or the highest tmd.<n>, its
// certificates appended), its ticket (cetk or title.tik, certificates
// appended) and one file per content, named by the content's ID in eight
// hexadecimal digits: as delivered, encrypted and padded to 16 bytes
// ("0000000a"), or decrypted ("0000000A.app"). Each file is opened by its
// name inside the folder only, made from a formatted ID, never from text
// a file holds, and must be a regular file; each is read once.
#pragma once

#include "platform/os.h"
#include "titlefiles/facts.h"
#include "titlefiles/failure.h"
#include "titlefiles/keyset.h"
#include "titlefiles/loader.h"

// Loads `folder` as a title folder when it is one (`*isFolder`); else
// loads nothing and leaves `title` as it was.
Failure loadFolder(LoadedTitle* title, const PathChar* folder, const KeySet* keys, bool* isFolder);

void releaseFolder(FolderParts* parts);

// What the folder `folder` is, by the names of its files alone: Title when
// it holds a TMD file, or one by such a name that will not open (reported
// as one title); Plain when it holds none (walked under /r); NoMemory when
// memory ran out before that could be told.
enum class FolderKind { Title, Plain, NoMemory };
FolderKind folderKind(const PathChar* folder);
