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

// The highest tmd.<n> among a folder's entries.
struct NumberedTmd {
    bool found;
    std::uint64_t number;
    char name[sizeof NumberedTmdPrefix + 20];
};

bool takeNumberedTmd(void* context, const PathChar* entry) {
    auto* best = static_cast<NumberedTmd*>(context);
    constexpr std::size_t Prefix = sizeof NumberedTmdPrefix - 1;
    constexpr std::size_t MostDigits = 19;
    for (std::size_t i = 0; i < Prefix; ++i)
        if (entry[i] != static_cast<PathChar>(NumberedTmdPrefix[i]))
            return true;
    std::uint64_t number = 0;
    std::size_t digits = 0;
    for (; entry[Prefix + digits] != 0; ++digits) {
        PathChar c = entry[Prefix + digits];
        if (c < '0' || c > '9' || digits == MostDigits)
            return true;
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (digits == 0 || (best->found && number <= best->number))
        return true;
    best->found = true;
    best->number = number;
    std::memcpy(best->name, NumberedTmdPrefix, Prefix);
    for (std::size_t i = 0; i <= digits; ++i)
        best->name[Prefix + i] = static_cast<char>(entry[Prefix + i]);
    return true;
}

// Opens the folder's TMD file; OsAbsent when it has none.
OsResult openTmd(const PathChar* folder, OsFile* file) {
    for (const char* name : TmdNames)
        if (OsResult opened = openInFolder(folder, name, file); opened != OsAbsent)
            return opened;
    NumberedTmd best{};
    int error = 0;
    if (osReadFolder(folder, takeNumberedTmd, &best, &error) != OsOk) {
        file->error = error;
        return OsError;
    }
    return best.found ? openInFolder(folder, best.name, file) : OsAbsent;
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
// certificates after it.
LoadStatus readTicket(LoadedTitle* title, const PathChar* folder) {
    FolderParts* parts = title->folder;
    OsFile file{};
    OsResult opened = OsAbsent;
    for (const char* name : TicketNames)
        if ((opened = openInFolder(folder, name, &file)) != OsAbsent)
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
        if (osStopRequested())
            file->error = OsStopped;
        if (osStopRequested() || osReadAt(file, at, block, n) != OsOk) {
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

// Finds every content's file, and under /v checks each against its record.
LoadStatus findContents(LoadedTitle* title, const PathChar* folder, const KeySet* keys) {
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
    osFree(block);
    return status;
}

}  // namespace

LoadStatus loadFolder(LoadedTitle* title, const PathChar* folder, const KeySet* keys, bool* isFolder) {
    *isFolder = false;
    if (osFolderError(folder) != 0)
        return LoadReadFailed;
    OsFile tmd{};
    OsResult opened = openTmd(folder, &tmd);
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
    status = readTicket(title, folder);
    return status == LoadOk ? findContents(title, folder, keys) : status;
}

void releaseFolder(FolderParts* parts) {
    osFree(parts->ticketFile);
    osFree(parts->names);
    osFree(parts->forms);
    *parts = FolderParts{};
}
