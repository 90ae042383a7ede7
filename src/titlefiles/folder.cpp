// SPDX-License-Identifier: MIT
#include "titlefiles/folder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "titlefiles/loader.h"

namespace {

// The names a folder's files may have, in the order they are looked for.
constexpr const char* TmdNames[] = {"title.tmd", "tmd"};
constexpr char NumberedTmdPrefix[] = "tmd.";
constexpr const char* TicketNames[] = {"cetk", "title.tik"};
constexpr char DecryptedSuffix[] = ".app";
// The most of a ticket file kept: the ticket and the certificates after it.
constexpr std::size_t TicketFileLimit = TicketLength + CertChainLimit;
// Content files are read in blocks this large.
constexpr std::size_t ContentChunk = 1024 * 1024;

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

bool takeNumberedTmd(void* context, const PathChar* entry) {
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

LoadStatus failWith(LoadedTitle* title, LoadStatus status, LoadCause cause, int error = 0) {
    title->cause = cause;
    title->osError = error;
    return status;
}

// A file of the folder that would not open; ENOMEM: its path could not be made.
LoadStatus openFailed(LoadedTitle* title, const OsFile& file) {
    if (file.error == ENOMEM)
        return failWith(title, LoadOutOfMemory, LoadCause::NoMemory);
    return failWith(title, LoadReadFailed, LoadCause::SystemError, file.error);
}

LoadStatus readFailed(LoadedTitle* title, const OsFile& file) {
    if (file.error == OsStopped)
        return LoadStopped;
    return failWith(title, LoadReadFailed, file.error != 0 ? LoadCause::SystemError : LoadCause::EndsEarly,
                    file.error);
}

// The ticket file's first bytes, when there is one: the ticket and the
// certificates after it. `*chosen` is its name.
LoadStatus readTicket(LoadedTitle* title, const PathChar* folder, const char** chosen) {
    FolderParts* parts = title->folder;
    OsFile file{};
    OsResult opened = OsAbsent;
    for (const char* name : TicketNames)
        if ((opened = openInFolder(folder, *chosen = name, &file)) != OsAbsent)
            break;
    if (opened == OsAbsent)
        return LoadOk;
    if (opened != OsOk)
        return openFailed(title, file);
    std::int64_t length = osFileLength(&file);
    auto n = static_cast<std::size_t>(std::min<std::int64_t>(std::max<std::int64_t>(length, 0), TicketFileLimit));
    parts->hasTicket = true;
    parts->ticketFile = static_cast<std::uint8_t*>(osAlloc(n > 0 ? n : 1));
    LoadStatus status = LoadOk;
    if (parts->ticketFile == nullptr)
        status = failWith(title, LoadOutOfMemory, LoadCause::NoMemory);
    else if (n > 0 && osReadAt(&file, 0, parts->ticketFile, n) != OsOk)
        status = readFailed(title, file);
    parts->ticketFileLength = status == LoadOk ? n : 0;
    osClose(&file);
    title->ticket = ByteSpan(parts->ticketFile, std::min(parts->ticketFileLength, TicketLength));
    return status;
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

// What one content's file proves. The readings its length allows are
// made in one pass: encrypted (padded to 16 bytes) with the title key,
// where it is at hand, and plain (exactly the record's size).
struct ContentCheck {
    HashStatus hash;
    ContentForm form;
};

struct Readings {
    ContentHash encrypted;
    ContentHash plain;
    bool withKey;
    bool asIs;
};

// Reads the file once, feeding each reading; false when the library
// failed, `*readOk` false when the file did.
bool readAndHash(OsFile* file, std::uint64_t length, Readings* r, std::uint8_t* block, bool* readOk) {
    for (std::uint64_t at = 0; at < length;) {
        auto n = static_cast<std::size_t>(std::min<std::uint64_t>(ContentChunk, length - at));
        bool stopped = osStopRequested();
        if (stopped)
            file->error = OsStopped;
        if (stopped || osReadAt(file, at, block, n) != OsOk) {
            *readOk = false;
            return true;
        }
        if ((r->withKey && !feedContentHash(&r->encrypted, block, n)) ||
            (r->asIs && !feedContentHash(&r->plain, block, n)))
            return false;
        at += n;
    }
    return true;
}

bool hashReadings(OsFile* file, std::uint64_t length, ByteSpan record, const std::uint8_t* titleKey,
                  std::uint8_t* block, std::uint8_t* plain, Readings* r, HashStatus found[2], bool* readOk) {
    std::uint64_t size = readBe64(record, ContentSizeOffset);
    std::uint16_t index = readBe16(record, ContentIndexOffset);
    const std::uint8_t* recorded = record.data() + ContentHashOffset;
    bool done = (!r->withKey || beginContentHash(&r->encrypted, size, titleKey, index, plain)) &&
                (!r->asIs || beginContentHash(&r->plain, size, nullptr, 0, nullptr)) &&
                readAndHash(file, length, r, block, readOk);
    done = done && (!*readOk || ((!r->withKey || endContentHash(&r->encrypted, recorded, &found[0])) &&
                                 (!r->asIs || endContentHash(&r->plain, recorded, &found[1]))));
    dropContentHash(&r->encrypted);
    dropContentHash(&r->plain);
    return done;
}

// False when the library failed; `*readOk` false when the file did.
bool checkContent(OsFile* file, ByteSpan record, const std::uint8_t* titleKey, std::uint8_t* block,
                  std::uint8_t* plain, ContentCheck* check, bool* readOk) {
    std::uint64_t size = readBe64(record, ContentSizeOffset);
    auto length = static_cast<std::uint64_t>(std::max<std::int64_t>(osFileLength(file), 0));
    bool encryptedFits = length == alignUp(size, ContentBlockLength);
    Readings r{{}, {}, encryptedFits && titleKey != nullptr, length == size};
    *check = {length < size ? HashStatus::Missing : HashStatus::Mismatch, ContentForm::Unchecked};
    if (length < size)
        return true;
    HashStatus found[2] = {HashStatus::Unchecked, HashStatus::Unchecked};
    if ((r.withKey || r.asIs) && !hashReadings(file, length, record, titleKey, block, plain, &r, found, readOk))
        return false;
    if (found[0] == HashStatus::Ok)
        *check = {HashStatus::Ok, ContentForm::Encrypted};
    else if (found[1] == HashStatus::Ok)
        *check = {HashStatus::Ok, ContentForm::Decrypted};
    else if (encryptedFits && titleKey == nullptr)
        *check = {HashStatus::Unchecked, ContentForm::Unchecked};  // the reading that needs the key was not made
    else if (r.withKey || r.asIs)
        *check = {HashStatus::Mismatch, r.withKey ? ContentForm::Encrypted : ContentForm::Decrypted};
    return true;
}

// An empty content whose file is absent is there all the same: its hash
// is the hash of nothing. False when the library failed.
bool checkAbsentEmpty(ByteSpan record, HashStatus* status) {
    ContentHash hash{};
    return beginContentHash(&hash, 0, nullptr, 0, nullptr) &&
           endContentHash(&hash, record.data() + ContentHashOffset, status);
}

// The buffers of the contents' names, forms and statuses, and under /v
// the title key and the buffers their files are read and decrypted in.
LoadStatus prepareContents(LoadedTitle* title, const KeySet* keys, std::uint8_t** block) {
    FolderParts* parts = title->folder;
    std::size_t count = title->contentCount;
    WadContents& walk = title->contents;
    parts->names = static_cast<char(*)[ContentFileNameRoom]>(osAlloc(count * ContentFileNameRoom + 1));
    parts->forms = static_cast<ContentForm*>(osAlloc(count + 1));
    walk.hashes = static_cast<HashStatus*>(osAlloc(count + 1));
    *block = keys != nullptr ? static_cast<std::uint8_t*>(osAlloc(ContentChunk)) : nullptr;
    walk.plain = keys != nullptr ? static_cast<std::uint8_t*>(osAlloc(PlainChunk)) : nullptr;
    if (parts->names == nullptr || parts->forms == nullptr || walk.hashes == nullptr ||
        (keys != nullptr && (*block == nullptr || walk.plain == nullptr)))
        return failWith(title, LoadOutOfMemory, LoadCause::NoMemory);
    std::memset(parts->names, 0, count * ContentFileNameRoom);
    std::memset(parts->forms, 0, count);
    std::memset(walk.hashes, 0, count);
    walk.planned = keys != nullptr;
    walk.records = titleRecords(*title);
    walk.count = static_cast<std::uint16_t>(count);
    walk.keyStatus = ContentsStatus::None;
    if (keys != nullptr && parts->hasTicket &&
        !titleKeyOf(title->ticket, *keys, walk.titleKey, &walk.keyStatus, &walk.keyIndex))
        walk.failed = true;
    return LoadOk;
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

bool addAlternate(FolderParts* parts, const FolderAlternate& alternate) {
    void* items = parts->alternates;
    if (!roomForOneMore(&items, parts->alternateCount, sizeof alternate))
        return false;
    parts->alternates = static_cast<FolderAlternate*>(items);
    parts->alternates[parts->alternateCount++] = alternate;
    return true;
}

// Whether the files `first` and `other` of the folder hold the same bytes,
// read in the two halves of `block`.
LoadStatus compareFiles(LoadedTitle* title, const PathChar* folder, const char* first, const char* other,
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
    std::int64_t length = osFileLength(&a);
    *differs = length != osFileLength(&b);
    LoadStatus status = LoadOk;
    constexpr std::size_t Half = ContentChunk / 2;
    for (std::uint64_t at = 0; !*differs && status == LoadOk && at < static_cast<std::uint64_t>(length);) {
        auto n = static_cast<std::size_t>(std::min<std::uint64_t>(Half, static_cast<std::uint64_t>(length) - at));
        bool stopped = osStopRequested();
        if (stopped)
            a.error = OsStopped;
        if (stopped || osReadAt(&a, at, block, n) != OsOk)
            status = readFailed(title, a);
        else if (osReadAt(&b, at, block + Half, n) != OsOk)
            status = readFailed(title, b);
        else
            *differs = std::memcmp(block, block + Half, n) != 0;
        at += n;
    }
    osClose(&a);
    osClose(&b);
    return status;
}

// The TMD and ticket files beside the ones read, each compared with it.
LoadStatus checkOtherCopies(LoadedTitle* title, const PathChar* folder, const TmdFiles& tmds,
                            const char* ticketName, std::uint8_t* block) {
    FolderParts* parts = title->folder;
    LoadStatus status = LoadOk;
    for (int i = 1; status == LoadOk && i < tmds.spellings; ++i) {
        FolderAlternate alternate{FolderPart::Tmd, 0, {}, false, HashStatus::Unchecked};
        std::strcpy(alternate.file, tmds.names[i]);
        status = compareFiles(title, folder, tmds.names[0], tmds.names[i], block, &alternate.differs);
        if (status == LoadOk && !addAlternate(parts, alternate))
            status = failWith(title, LoadOutOfMemory, LoadCause::NoMemory);
    }
    if (status != LoadOk || ticketName != TicketNames[0])
        return status;
    OsFile other{};
    OsResult opened = openInFolder(folder, TicketNames[1], &other);
    if (opened != OsOk)
        return opened == OsAbsent ? LoadOk : openFailed(title, other);
    osClose(&other);
    FolderAlternate alternate{FolderPart::Ticket, 0, {}, false, HashStatus::Unchecked};
    std::strcpy(alternate.file, TicketNames[1]);
    status = compareFiles(title, folder, TicketNames[0], TicketNames[1], block, &alternate.differs);
    if (status == LoadOk && !addAlternate(parts, alternate))
        status = failWith(title, LoadOutOfMemory, LoadCause::NoMemory);
    return status;
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

bool takeContentEntry(void* context, const PathChar* entry) {
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
LoadStatus checkOtherContent(LoadedTitle* title, const PathChar* folder, std::size_t index, const char* name,
                             const std::uint8_t* titleKey, std::uint8_t* block) {
    WadContents& walk = title->contents;
    OsFile file{};
    OsResult opened = openInFolder(folder, name, &file);
    if (opened == OsAbsent)
        return LoadOk;  // gone since the folder was listed
    if (opened != OsOk)
        return openFailed(title, file);
    ContentCheck check{};
    bool readOk = true;
    if (!checkContent(&file, walk.records.subspan(index * ContentRecordLength, ContentRecordLength), titleKey, block,
                      walk.plain, &check, &readOk))
        walk.failed = true;
    LoadStatus status = readOk ? LoadOk : readFailed(title, file);
    osClose(&file);
    FolderAlternate alternate{FolderPart::Content, static_cast<std::uint16_t>(index), {}, false, check.hash};
    std::strcpy(alternate.file, name);
    if (status == LoadOk && !addAlternate(title->folder, alternate))
        status = failWith(title, LoadOutOfMemory, LoadCause::NoMemory);
    return status;
}

// The contents' files beside the ones read: the folder's entries that
// name a content (in ID order, then the order of its names), each but the
// one read checked against the record.
LoadStatus checkOtherContents(LoadedTitle* title, const PathChar* folder, const std::uint8_t* titleKey,
                              std::uint8_t* block) {
    ContentEntries found{};
    int error = 0;
    bool listed = osReadFolder(folder, takeContentEntry, &found, &error) == OsOk;
    ContentEntry* entries = found.entries;
    if (found.noMemory || !listed) {
        osFree(entries);
        return found.noMemory ? failWith(title, LoadOutOfMemory, LoadCause::NoMemory)
                              : failWith(title, LoadReadFailed, LoadCause::SystemError, error);
    }
    std::sort(entries, entries + found.count, [](const ContentEntry& a, const ContentEntry& b) {
        return a.id != b.id ? a.id < b.id : std::strcmp(a.name, b.name) < 0;
    });
    const FolderParts* parts = title->folder;
    const WadContents& walk = title->contents;
    LoadStatus status = LoadOk;
    for (std::size_t i = 0; status == LoadOk && !walk.failed && i < walk.count; ++i) {
        std::uint32_t id = readBe32(walk.records, i * ContentRecordLength + ContentIdOffset);
        auto same = std::equal_range(entries, entries + found.count, ContentEntry{id, {}},
                                     [](const ContentEntry& a, const ContentEntry& b) { return a.id < b.id; });
        auto sameCount = static_cast<std::size_t>(same.second - same.first);
        for (const ContentEntry* e = same.first; status == LoadOk && !walk.failed && e != same.second; ++e)
            if (parts->names[i][0] != 0 && !isReadFile(*e, parts->names[i], same.first, sameCount))
                status = checkOtherContent(title, folder, i, e->name, titleKey, block);
    }
    osFree(entries);
    return status;
}

// Finds every content's file, and under /v checks each against its record.
LoadStatus findContents(LoadedTitle* title, const PathChar* folder, const KeySet* keys, const TmdFiles& tmds,
                        const char* ticketName) {
    std::uint8_t* block = nullptr;
    LoadStatus status = prepareContents(title, keys, &block);
    FolderParts* parts = title->folder;
    WadContents& walk = title->contents;
    const std::uint8_t* titleKey = walk.keyStatus == ContentsStatus::Ok ? walk.titleKey : nullptr;
    for (std::size_t i = 0; status == LoadOk && !walk.failed && i < walk.count; ++i) {
        if (osStopRequested()) {
            status = LoadStopped;
            break;
        }
        OsFile file{};
        OsResult opened = openContent(folder, parts, walk.records, i, &file);
        if (opened == OsError) {
            status = openFailed(title, file);
            break;
        }
        ContentCheck check{keys != nullptr ? HashStatus::Missing : HashStatus::Unchecked, ContentForm::Unchecked};
        bool readOk = true;
        ByteSpan record = walk.records.subspan(i * ContentRecordLength, ContentRecordLength);
        if (opened == OsOk && keys != nullptr &&
            !checkContent(&file, record, titleKey, block, walk.plain, &check, &readOk))
            walk.failed = true;
        if (opened == OsAbsent && keys != nullptr && readBe64(record, ContentSizeOffset) == 0 &&
            !checkAbsentEmpty(record, &check.hash))
            walk.failed = true;
        if (!readOk)
            status = readFailed(title, file);
        if (opened == OsOk)
            osClose(&file);
        walk.hashes[i] = check.hash;
        parts->forms[i] = check.form;
    }
    if (status == LoadOk && keys != nullptr && !walk.failed)
        status = checkOtherCopies(title, folder, tmds, ticketName, block);
    if (status == LoadOk && keys != nullptr && !walk.failed)
        status = checkOtherContents(title, folder, titleKey, block);
    osFree(block);
    return status;
}

}  // namespace

LoadStatus loadFolder(LoadedTitle* title, const PathChar* folder, const KeySet* keys, bool* isFolder) {
    *isFolder = false;
    if (osFolderError(folder) != 0)
        return LoadReadFailed;
    OsFile tmd{};
    TmdFiles tmds;
    OsResult opened = openTmd(folder, &tmd, &tmds, keys != nullptr);
    if (opened == OsAbsent)
        return LoadReadFailed;  // a folder, but no title's: as before
    *isFolder = true;
    if (opened != OsOk)
        return openFailed(title, tmd);
    LoadStatus status = loadOpenFile(title, &tmd, keys);
    osClose(&tmd);
    if (status != LoadOk)
        return status;
    if (title->kind != FileKind::Tmd)
        return failWith(title, LoadUnknownStructure, LoadCause::FolderTmdNotTmd);
    title->kind = FileKind::Folder;
    title->folder = static_cast<FolderParts*>(osAlloc(sizeof(FolderParts)));
    if (title->folder == nullptr)
        return failWith(title, LoadOutOfMemory, LoadCause::NoMemory);
    *title->folder = FolderParts{};
    const char* ticketName = nullptr;
    status = readTicket(title, folder, &ticketName);
    return status == LoadOk ? findContents(title, folder, keys, tmds, ticketName) : status;
}

bool alternateFails(const FolderAlternate& alternate) {
    return alternate.differs || alternate.hash == HashStatus::Mismatch || alternate.hash == HashStatus::Missing;
}

void releaseFolder(FolderParts* parts) {
    osFree(parts->alternates);
    osFree(parts->ticketFile);
    osFree(parts->names);
    osFree(parts->forms);
    *parts = FolderParts{};
}
