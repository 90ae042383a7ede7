// SPDX-License-Identifier: MIT
// Title folders: finding each part's file by its name, and under /v every
// other file that names the same part.
#include "titlefiles/folder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/pool.h"
#include "titlefiles/loader.h"

namespace {

// The names a folder's files may have, in the order they are looked for.
constexpr const char* TmdNames[] = {"title.tmd", "tmd"};
constexpr char NumberedTmdPrefix[] = "tmd.";
constexpr const char* TicketNames[] = {"cetk", "title.tik"};
constexpr char DecryptedSuffix[] = ".app";
// The most of a ticket file kept: the ticket and the certificates after it.
constexpr std::size_t TicketFileLimit = TicketLength + CertChainLimit;

// Opens the regular file `name` inside `folder`: OsOk, OsAbsent, or
// OsError with `file->error` (ENOMEM when the path could not be made).
OsResult openInFolder(const PathChar* folder, const char* name, OsFile* file) {
    PathChar* path = osPathInFolder(folder, name);
    if (path == nullptr) {
        file->error = ENOMEM;
        return OsError;
    }
    OsResult opened = osOpenRegular(path, file);
    osFree(path);
    return opened;
}

// A folder entry's name as ASCII text, when it is one no longer than the
// names looked for.
bool asciiName(const PathChar* entry, char out[FolderFileNameRoom]) {
    std::size_t n = 0;
    for (; entry[n] != 0; ++n) {
        if (n + 1 == FolderFileNameRoom || entry[n] < 0x20 || entry[n] > 0x7E)
            return false;
        out[n] = static_cast<char>(entry[n]);
    }
    out[n] = 0;
    return true;
}

// The highest tmd.<n> among a folder's entries, in every spelling found
// ("tmd.5", "tmd.05"), in byte order: the first is the one read.
constexpr int MostSpellings = 19;

struct TmdFiles {
    int spellings;
    std::uint64_t number;
    char names[MostSpellings][FolderFileNameRoom];
};

bool takeNumberedTmd(void* context, const PathChar* entry, OsEntryKind) {
    auto* best = static_cast<TmdFiles*>(context);
    constexpr std::size_t Prefix = sizeof NumberedTmdPrefix - 1;
    constexpr std::size_t MostDigits = 19;
    char name[FolderFileNameRoom];
    if (!asciiName(entry, name) || std::strncmp(name, NumberedTmdPrefix, Prefix) != 0)
        return true;
    std::uint64_t number = 0;
    std::size_t digits = 0;
    for (; name[Prefix + digits] != 0; ++digits) {
        char c = name[Prefix + digits];
        if (c < '0' || c > '9' || digits == MostDigits)
            return true;
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (digits == 0 || (best->spellings > 0 && number < best->number))
        return true;
    if (best->spellings == 0 || number > best->number)
        best->spellings = 0;
    best->number = number;
    // Kept in byte order; a number has no more spellings than there is room for.
    int at = best->spellings;
    while (at > 0 && std::strcmp(best->names[at - 1], name) > 0) {
        std::memcpy(best->names[at], best->names[at - 1], FolderFileNameRoom);
        --at;
    }
    std::memcpy(best->names[at], name, FolderFileNameRoom);
    ++best->spellings;
    return true;
}

// Opens the folder's TMD file, and finds the names of the files that name
// it: the one opened first; tmd beside title.tmd only when `verifying`.
// OsAbsent when it has none.
OsResult openTmd(const PathChar* folder, OsFile* file, TmdFiles* found, bool verifying) {
    found->spellings = 0;
    for (const char* name : TmdNames) {
        OsResult opened = openInFolder(folder, name, file);
        if (opened == OsAbsent)
            continue;
        std::strcpy(found->names[found->spellings++], name);
        if (opened != OsOk || name != TmdNames[0] || !verifying)
            return opened;
        // title.tmd and tmd name the same part: whether tmd is there too.
        OsFile other{};
        OsResult also = openInFolder(folder, TmdNames[1], &other);
        if (also == OsError) {
            osClose(file);
            file->error = other.error;
            return OsError;
        }
        if (also == OsOk) {
            osClose(&other);
            std::strcpy(found->names[found->spellings++], TmdNames[1]);
        }
        return OsOk;
    }
    int error = 0;
    if (osReadFolder(folder, takeNumberedTmd, found, &error) != OsOk) {
        file->error = error;
        return OsError;
    }
    return found->spellings > 0 ? openInFolder(folder, found->names[0], file) : OsAbsent;
}

// A file of the folder that would not open; ENOMEM: its path could not be made.
Failure openFailed(LoadedTitle* title, const OsFile& file) {
    if (file.error == ENOMEM)
        return Failure::NoMemory;
    title->osError = file.error;
    return Failure::SystemError;
}

// The ticket file's first bytes, when there is one: the ticket and the
// certificates after it. `*chosen` is its name.
Failure readTicket(LoadedTitle* title, const PathChar* folder, const char** chosen) {
    FolderParts* parts = title->folder;
    OsFile file{};
    OsResult opened = OsAbsent;
    for (const char* name : TicketNames)
        if ((opened = openInFolder(folder, *chosen = name, &file)) != OsAbsent)
            break;
    if (opened == OsAbsent)
        return Failure::None;
    if (opened != OsOk)
        return openFailed(title, file);
    std::int64_t length = osFileLength(&file);
    auto n = static_cast<std::size_t>(std::min<std::int64_t>(std::max<std::int64_t>(length, 0), TicketFileLimit));
    parts->hasTicket = true;
    parts->ticketFile = static_cast<std::uint8_t*>(osAlloc(n > 0 ? n : 1));
    Failure failure = Failure::None;
    if (parts->ticketFile == nullptr)
        failure = Failure::NoMemory;
    else if (n > 0 && osReadAt(&file, 0, parts->ticketFile, n) != OsOk)
        failure = readFailed(title, file);
    parts->ticketFileLength = failure == Failure::None ? n : 0;
    osClose(&file);
    title->parts.ticket = ByteSpan(parts->ticketFile, std::min(parts->ticketFileLength, TicketLength));
    return failure;
}

// The names a content's file may have: its ID in lower-case digits, as
// delivered, then in upper case; each as it is, then with ".app".
int contentNames(std::uint32_t id, char names[4][ContentFileNameRoom]) {
    int count = 0;
    for (const char* digits : {"0123456789abcdef", "0123456789ABCDEF"}) {
        for (bool decrypted : {false, true}) {
            char name[ContentFileNameRoom];
            for (int i = 0; i < 8; ++i)
                name[i] = digits[(id >> (28 - 4 * i)) & 0xF];
            std::strcpy(name + 8, decrypted ? DecryptedSuffix : "");
            bool seen = false;
            for (int j = 0; j < count; ++j)
                seen = seen || std::strcmp(names[j], name) == 0;
            if (!seen)
                std::strcpy(names[count++], name);
        }
    }
    return count;
}

// Opens the file of content `index`, recording its name; OsAbsent when
// the folder holds none.
OsResult openContent(const PathChar* folder, FolderParts* parts, ByteSpan records, std::size_t index, OsFile* file) {
    char names[4][ContentFileNameRoom];
    int count = contentNames(readBe32(records, index * ContentRecordLength + ContentIdOffset), names);
    for (int i = 0; i < count; ++i) {
        OsResult opened = openInFolder(folder, names[i], file);
        if (opened == OsOk)
            std::strcpy(parts->names[index], names[i]);
        if (opened != OsAbsent)
            return opened;
    }
    return OsAbsent;
}

// A content's file being hashed, and whether the library failed.
struct ContentRead {
    ContentFileCheck check;
    bool libraryFailed;
};

bool takeContentBytes(void* context, std::uint64_t, const std::uint8_t* block, std::size_t n, Failure*) {
    auto* read = static_cast<ContentRead*>(context);
    read->libraryFailed = !feedContentFile(&read->check, block, n);
    return !read->libraryFailed;
}

// Reads a content's file through the read loop and checks it against
// record `index`. A library failure marks the contents failed.
Failure checkContentFile(LoadedTitle* title, OsFile* file, std::size_t index, std::uint8_t* block, HashStatus* hash,
                         ContentForm* form) {
    ContentResults& results = title->contents;
    auto length = static_cast<std::uint64_t>(std::max<std::int64_t>(osFileLength(file), 0));
    ContentRead read{};
    Failure failure = Failure::None;
    bool done = beginContentFile(&read.check, results, index, length);
    if (done && contentFileRead(read.check)) {
        failure = readBlocks(title, file, 0, length, block, FileChunk, {takeContentBytes, &read});
        done = !read.libraryFailed;
    }
    if (failure == Failure::None && done)
        done = endContentFile(&read.check, &results, index, hash, form);
    dropContentFile(&read.check);
    if (failure == Failure::None && !done)
        results.failed = true;
    return failure;
}

// The buffers of the contents' names and forms, and under /v the results
// (with the title key) and the block the files are read in.
Failure prepareContents(LoadedTitle* title, const KeySet* keys, std::uint8_t** block) {
    FolderParts* parts = title->folder;
    std::size_t count = title->parts.contentCount;
    parts->names = static_cast<char(*)[ContentFileNameRoom]>(osAlloc(count * ContentFileNameRoom + 1));
    parts->forms = static_cast<ContentForm*>(osAlloc(count + 1));
    *block = keys != nullptr ? static_cast<std::uint8_t*>(osAlloc(FileChunk)) : nullptr;
    if (parts->names == nullptr || parts->forms == nullptr || (keys != nullptr && *block == nullptr))
        return Failure::NoMemory;
    std::memset(parts->names, 0, count * ContentFileNameRoom);
    std::memset(parts->forms, 0, count);
    if (keys != nullptr && !startContentResults(&title->contents, titleRecords(*title), title->parts.contentCount,
                                                title->parts.ticket, *keys, false))
        return Failure::NoMemory;
    return Failure::None;
}

// Makes room in an array of `count` items of `size` bytes for one more:
// it doubles whenever the count reaches a power of two. False when memory
// ran out; the array is then as it was.
bool roomForOneMore(void** items, std::size_t count, std::size_t size) {
    if ((count & (count - 1)) != 0)
        return true;
    void* grown = osAlloc((count == 0 ? 1 : 2 * count) * size);
    if (grown == nullptr)
        return false;
    if (count > 0)
        std::memcpy(grown, *items, count * size);
    osFree(*items);
    *items = grown;
    return true;
}

// Two files compared block by block: the other is read beside the first.
struct Comparison {
    LoadedTitle* title;
    OsFile* other;
    std::uint8_t* otherBlock;
    bool differs;
};

bool compareBlock(void* context, std::uint64_t offset, const std::uint8_t* block, std::size_t n, Failure* failure) {
    auto* c = static_cast<Comparison*>(context);
    if (osReadAt(c->other, offset, c->otherBlock, n) != OsOk) {
        *failure = readFailed(c->title, *c->other);
        return false;
    }
    c->differs = std::memcmp(block, c->otherBlock, n) != 0;
    return !c->differs;
}

// Whether the files `first` and `other` of the folder hold the same bytes,
// read in the two halves of `block`.
Failure compareFiles(LoadedTitle* title, const PathChar* folder, const char* first, const char* other,
                     std::uint8_t* block, bool* differs) {
    OsFile a{};
    OsFile b{};
    OsResult opened = openInFolder(folder, first, &a);
    if (opened != OsOk)
        return openFailed(title, a);
    if ((opened = openInFolder(folder, other, &b)) != OsOk) {
        osClose(&a);
        return openFailed(title, b);
    }
    constexpr std::size_t Half = FileChunk / 2;
    std::int64_t length = osFileLength(&a);
    Comparison comparison{title, &b, block + Half, length != osFileLength(&b)};
    Failure failure = comparison.differs ? Failure::None
                                         : readBlocks(title, &a, 0, static_cast<std::uint64_t>(length), block, Half,
                                                      {compareBlock, &comparison});
    *differs = comparison.differs;
    osClose(&a);
    osClose(&b);
    return failure;
}

// Lists an other file of a part; false when memory ran out.
bool addAlternate(FolderParts* parts, FolderPart part, std::size_t record, const char* file, bool differs,
                  HashStatus hash) {
    void* items = parts->alternates;
    if (!roomForOneMore(&items, parts->alternateCount, sizeof(FolderAlternate)))
        return false;
    parts->alternates = static_cast<FolderAlternate*>(items);
    FolderAlternate& alternate = parts->alternates[parts->alternateCount++];
    alternate = {part, static_cast<std::uint16_t>(record), {}, differs, hash};
    std::strcpy(alternate.file, file);
    return true;
}

// The TMD or ticket file `other`, compared with `first`, which was read.
Failure checkOtherCopy(LoadedTitle* title, const PathChar* folder, FolderPart part, const char* first,
                       const char* other, std::uint8_t* block) {
    bool differs = false;
    Failure failure = compareFiles(title, folder, first, other, block, &differs);
    if (failure == Failure::None && !addAlternate(title->folder, part, 0, other, differs, HashStatus::Unchecked))
        return Failure::NoMemory;
    return failure;
}

// The TMD and ticket files beside the ones read, each compared with it.
Failure checkOtherCopies(LoadedTitle* title, const PathChar* folder, const TmdFiles& tmds, const char* ticketName,
                         std::uint8_t* block) {
    Failure failure = Failure::None;
    for (int i = 1; failure == Failure::None && i < tmds.spellings; ++i)
        failure = checkOtherCopy(title, folder, FolderPart::Tmd, tmds.names[0], tmds.names[i], block);
    if (failure != Failure::None || ticketName != TicketNames[0])
        return failure;
    OsFile other{};
    OsResult opened = openInFolder(folder, TicketNames[1], &other);
    if (opened != OsOk)
        return opened == OsAbsent ? Failure::None : openFailed(title, other);
    osClose(&other);
    return checkOtherCopy(title, folder, FolderPart::Ticket, TicketNames[0], TicketNames[1], block);
}

// Hexadecimal digits in both cases, each at its value and 16 past it.
constexpr char HexDigits[] = "0123456789abcdef0123456789ABCDEF";

// A folder entry named as a content's file may be: its ID and name.
struct ContentEntry {
    std::uint32_t id;
    char name[ContentFileNameRoom];
};

struct ContentEntries {
    ContentEntry* entries;  // osAlloc
    std::size_t count;
    bool noMemory;
};

// The ID an entry's name gives when it is one of the four names of a
// content of that ID.
bool contentIdOf(const char* name, std::uint32_t* id) {
    *id = 0;
    for (int i = 0; i < 8; ++i) {
        const char* digit = std::strchr(HexDigits, name[i]);
        if (name[i] == 0 || digit == nullptr)
            return false;
        *id = *id << 4 | static_cast<std::uint32_t>((digit - HexDigits) % 16);
    }
    char names[4][ContentFileNameRoom];
    int count = contentNames(*id, names);
    for (int i = 0; i < count; ++i)
        if (std::strcmp(names[i], name) == 0)
            return true;
    return false;
}

bool takeContentEntry(void* context, const PathChar* entry, OsEntryKind) {
    auto* found = static_cast<ContentEntries*>(context);
    char name[FolderFileNameRoom];
    std::uint32_t id = 0;
    if (!asciiName(entry, name) || !contentIdOf(name, &id))
        return true;
    void* items = found->entries;
    if (!roomForOneMore(&items, found->count, sizeof(ContentEntry))) {
        found->noMemory = true;
        return false;
    }
    found->entries = static_cast<ContentEntry*>(items);
    ContentEntry& kept = found->entries[found->count++];
    kept.id = id;
    std::strcpy(kept.name, name);
    return true;
}

// Whether `entry` is the file a content was read from: by its name, or,
// on a file system that does not tell case apart, by its name in another
// case when no entry has the name that was opened.
bool isReadFile(const ContentEntry& entry, const char* opened, const ContentEntry* same, std::size_t sameCount) {
    if (std::strcmp(entry.name, opened) == 0)
        return true;
    for (std::size_t i = 0; i < sameCount; ++i)
        if (std::strcmp(same[i].name, opened) == 0)
            return false;
    for (std::size_t i = 0; opened[i] != 0 || entry.name[i] != 0; ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(opened[i]) != lower(entry.name[i]))
            return false;
    }
    return true;
}

// One content's other file, checked against its record.
Failure checkOtherContent(LoadedTitle* title, const PathChar* folder, std::size_t index, const char* name,
                          std::uint8_t* block) {
    OsFile file{};
    OsResult opened = openInFolder(folder, name, &file);
    if (opened == OsAbsent)
        return Failure::None;  // gone since the folder was listed
    if (opened != OsOk)
        return openFailed(title, file);
    HashStatus hash = HashStatus::Mismatch;
    ContentForm form = ContentForm::Unchecked;
    Failure failure = checkContentFile(title, &file, index, block, &hash, &form);
    osClose(&file);
    if (failure == Failure::None && !addAlternate(title->folder, FolderPart::Content, index, name, false, hash))
        return Failure::NoMemory;
    return failure;
}

// The contents' files beside the ones read: the folder's entries that
// name a content (in ID order, then the order of its names), each but the
// one read checked against the record.
Failure checkOtherContents(LoadedTitle* title, const PathChar* folder, std::uint8_t* block) {
    ContentEntries found{};
    int error = 0;
    bool listed = osReadFolder(folder, takeContentEntry, &found, &error) == OsOk;
    ContentEntry* entries = found.entries;
    if (found.noMemory || !listed) {
        osFree(entries);
        title->osError = error;
        return found.noMemory ? Failure::NoMemory : Failure::SystemError;
    }
    std::sort(entries, entries + found.count, [](const ContentEntry& a, const ContentEntry& b) {
        return a.id != b.id ? a.id < b.id : std::strcmp(a.name, b.name) < 0;
    });
    const FolderParts* parts = title->folder;
    const ContentResults& results = title->contents;
    Failure failure = Failure::None;
    for (std::size_t i = 0; failure == Failure::None && !results.failed && i < results.count; ++i) {
        std::uint32_t id = readBe32(results.records, i * ContentRecordLength + ContentIdOffset);
        auto same = std::equal_range(entries, entries + found.count, ContentEntry{id, {}},
                                     [](const ContentEntry& a, const ContentEntry& b) { return a.id < b.id; });
        auto sameCount = static_cast<std::size_t>(same.second - same.first);
        for (const ContentEntry* e = same.first; failure == Failure::None && !results.failed && e != same.second; ++e)
            if (parts->names[i][0] != 0 && !isReadFile(*e, parts->names[i], same.first, sameCount))
                failure = checkOtherContent(title, folder, i, e->name, block);
    }
    osFree(entries);
    return failure;
}

// Under /v, what content `index`'s file proves, or the folder's lack of
// one: missing, unless the content is empty.
Failure checkContent(LoadedTitle* title, std::size_t index, OsResult opened, OsFile* file, std::uint8_t* block) {
    ContentResults& results = title->contents;
    HashStatus& hash = results.hashes[index];
    ContentForm& form = title->folder->forms[index];
    hash = HashStatus::Missing;
    if (opened == OsOk)
        return checkContentFile(title, file, index, block, &hash, &form);
    if (readBe64(results.records, index * ContentRecordLength + ContentSizeOffset) == 0 &&
        !checkEmptyContent(&results, index))
        results.failed = true;
    return Failure::None;
}

// Finds every content's file, and under /v checks each against its record.
Failure findContents(LoadedTitle* title, const PathChar* folder, const KeySet* keys, const TmdFiles& tmds,
                     const char* ticketName) {
    std::uint8_t* block = nullptr;
    Failure failure = prepareContents(title, keys, &block);
    const ContentResults& results = title->contents;
    ByteSpan records = titleRecords(*title);
    for (std::size_t i = 0; failure == Failure::None && !results.failed && i < title->parts.contentCount; ++i) {
        if (osStopRequested()) {
            failure = Failure::Stopped;
            break;
        }
        OsFile file{};
        OsResult opened = openContent(folder, title->folder, records, i, &file);
        if (opened == OsError) {
            failure = openFailed(title, file);
            break;
        }
        if (keys != nullptr)
            failure = checkContent(title, i, opened, &file, block);
        if (opened == OsOk)
            osClose(&file);
    }
    if (failure == Failure::None && keys != nullptr && !results.failed)
        failure = checkOtherCopies(title, folder, tmds, ticketName, block);
    if (failure == Failure::None && keys != nullptr && !results.failed)
        failure = checkOtherContents(title, folder, block);
    osFree(block);
    return failure;
}

}  // namespace

Failure loadFolder(LoadedTitle* title, const PathChar* folder, const KeySet* keys, bool* isFolder) {
    *isFolder = false;
    if (osFolderError(folder) != 0)
        return Failure::SystemError;
    OsFile tmd{};
    TmdFiles tmds;
    OsResult opened = openTmd(folder, &tmd, &tmds, keys != nullptr);
    if (opened == OsAbsent)
        return Failure::SystemError;  // a folder, but no title's: as before
    *isFolder = true;
    if (opened != OsOk)
        return openFailed(title, tmd);
    Failure failure = loadOpenFile(title, &tmd, keys);
    osClose(&tmd);
    if (failure != Failure::None)
        return failure;
    if (title->kind != FileKind::Tmd)
        return Failure::FolderTmdNotTmd;
    title->kind = FileKind::Folder;
    title->folder = static_cast<FolderParts*>(osAlloc(sizeof(FolderParts)));
    if (title->folder == nullptr)
        return Failure::NoMemory;
    *title->folder = FolderParts{};
    const char* ticketName = nullptr;
    failure = readTicket(title, folder, &ticketName);
    return failure == Failure::None ? findContents(title, folder, keys, tmds, ticketName) : failure;
}

FolderKind folderKind(const PathChar* folder) {
    OsFile tmd{};
    TmdFiles tmds;
    OsResult opened = openTmd(folder, &tmd, &tmds, false);
    if (opened == OsOk)
        osClose(&tmd);
    if (opened == OsError && tmd.error == ENOMEM)
        return FolderKind::NoMemory;
    return opened == OsAbsent ? FolderKind::Plain : FolderKind::Title;
}

void releaseFolder(FolderParts* parts) {
    osFree(parts->alternates);
    osFree(parts->ticketFile);
    osFree(parts->names);
    osFree(parts->forms);
    *parts = FolderParts{};
}
