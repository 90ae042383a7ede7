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

#include <cstddef>
#include <cstdint>

#include "platform/os.h"
#include "titlefiles/contents.h"
#include "titlefiles/keyset.h"

struct LoadedTitle;
enum LoadStatus : int;

// "0123abcd.app" and its terminator.
inline constexpr std::size_t ContentFileNameRoom = 13;

// How a content's file was found to hold it, under /v.
enum class ContentForm : std::uint8_t { Unchecked = 0, Encrypted, Decrypted };

// The longest name of a folder's file the tool looks for: "tmd." and 19
// digits, and its terminator.
inline constexpr std::size_t FolderFileNameRoom = 24;

enum class FolderPart : std::uint8_t { Tmd, Ticket, Content };

// Under /v: a file beside the one a part was read from that names the same
// part ("tmd" beside "title.tmd", "tmd.05" beside "tmd.5", "title.tik"
// beside "cetk", "0000000A" or "0000000a.app" beside "0000000a"). Each is
// checked as the first: a TMD or ticket must be the same bytes, a content
// must have its record's hash.
struct FolderAlternate {
    FolderPart part;
    std::uint16_t record;  // a content's
    char file[FolderFileNameRoom];
    bool differs;     // a TMD or ticket file that is not the one read, byte for byte
    HashStatus hash;  // a content's
};

struct FolderParts {
    bool hasTicket;
    std::uint8_t* ticketFile;  // its first bytes: the ticket, then its certificates (osAlloc)
    std::size_t ticketFileLength;
    char (*names)[ContentFileNameRoom];  // by record: the content's file, "" where none is there
    ContentForm* forms;                  // by record, under /v
    FolderAlternate* alternates;         // under /v (osAlloc)
    std::size_t alternateCount;
};

// Whether an alternate fails: a TMD or ticket that differs, a content
// whose hash is not its record's.
bool alternateFails(const FolderAlternate& alternate);

// Loads `folder` as a title folder when it is one (`*isFolder`); else
// loads nothing and leaves `title` as it was.
LoadStatus loadFolder(LoadedTitle* title, const PathChar* folder, const KeySet* keys, bool* isFolder);

void releaseFolder(FolderParts* parts);
