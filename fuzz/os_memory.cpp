// SPDX-License-Identifier: MIT
// An OS layer whose files live in memory, so the fuzzer and the in-process
// tests can hand the loader any bytes with any length without touching the
// disk, and whose standard output is a string: one file any name opens,
// key files, and a title folder.
#include "os_memory.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sanitizer/asan_interface.h>

#include "common/unicode.h"
#include "platform/crypto.h"

namespace {

const std::uint8_t* fileBytes = nullptr;
std::size_t fileSize = 0;
std::int64_t fileLength = 0;
bool fileSparse = false;
std::size_t streamChunk = 0;  // 0: a regular file
std::size_t firstStreamChunk = 0;
// Counted from any thread: /v reads files on several.
std::atomic<int> openFiles{0};
std::atomic<long> fileReads{0};

// What a key folder holds: at first a made-up standard key, and no other.
constexpr std::size_t KeySlots = 4;
constexpr std::size_t LongestKeyFile = 1040;
struct KeySlot {
    char name[16];
    std::uint8_t bytes[LongestKeyFile];
    std::size_t size;
};
KeySlot keyFiles[KeySlots] = {
    {"standard.key", {'T', 'E', 'S', 'S', 'A', 'R', 'L', 'U', 'M', 'E', 'N', '-', 'T', 'E', 'S', 'T'}, 16},
};

// The one title folder, when there is one: its name and its files.
constexpr std::size_t FolderSlots = 32;
std::string folderName;
struct FolderSlot {
    std::string name;
    const std::uint8_t* bytes;
    std::size_t size;
};
FolderSlot folderFiles[FolderSlots];
std::size_t folderFileCount = 0;

bool endsWith(const char* name, const char* end) {
    std::size_t n = std::strlen(name);
    std::size_t e = std::strlen(end);
    return n >= e && std::strcmp(name + n - e, end) == 0;
}

// The key slot a name ends with, or -1.
int keySlotOf(const char* name) {
    for (std::size_t i = 0; i < KeySlots; ++i) {
        std::size_t n = std::strlen(keyFiles[i].name);
        if (n > 0 && endsWith(name, keyFiles[i].name) && (std::strlen(name) == n || name[std::strlen(name) - n - 1] == '/'))
            return static_cast<int>(i);
    }
    return -1;
}

// An open file: which bytes, and how they are handed out.
struct MemoryHandle {
    const std::uint8_t* bytes;
    std::size_t size;
    std::int64_t length;
    bool sparse;
    bool counted;  // reads of it count as the file's
    std::size_t chunk;       // a stream's; 0 for a regular file
    std::size_t firstChunk;  // a stream's first read, when not 0
    std::size_t position;    // how far a stream has been read
};

MemoryHandle* handleOf(const OsFile* file) {
    return reinterpret_cast<MemoryHandle*>(file->handle);
}

OsResult opened(OsFile* file, const MemoryHandle& handle) {
    ++openFiles;
    file->handle = reinterpret_cast<std::intptr_t>(new MemoryHandle(handle));
    file->stream = handle.chunk != 0;
    file->length = file->stream ? -1 : handle.length;
    file->error = 0;
    return OsOk;
}

// A name inside the title folder: its slot, or -1; `*inside` whether the
// name lies in the folder at all.
int folderSlotOf(const char* name, bool* inside) {
    *inside = !folderName.empty() && std::strncmp(name, folderName.c_str(), folderName.size()) == 0 &&
              name[folderName.size()] == '/';
    for (std::size_t i = 0; *inside && i < folderFileCount; ++i)
        if (folderFiles[i].name == name + folderName.size() + 1)
            return static_cast<int>(i);
    return -1;
}

OsResult memoryOpen(const PathChar* name, OsFile* file) {
    file->error = ENOENT;
    if (name != nullptr && endsWith(name, ".key")) {
        int slot = keySlotOf(name);
        if (slot < 0)
            return OsAbsent;
        const KeySlot& key = keyFiles[slot];
        return opened(file, {key.bytes, key.size, static_cast<std::int64_t>(key.size), false, false, 0, 0, 0});
    }
    if (name != nullptr && !folderName.empty()) {
        if (folderName == name) {
            file->error = EISDIR;
            return OsError;
        }
        bool inside = false;
        int slot = folderSlotOf(name, &inside);
        if (inside && slot < 0)
            return OsAbsent;
        if (inside) {
            const FolderSlot& f = folderFiles[slot];
            return opened(file, {f.bytes, f.size, static_cast<std::int64_t>(f.size), false, true, 0, 0, 0});
        }
    }
    return opened(file, {fileBytes, fileSize, fileLength, fileSparse, true, streamChunk, firstStreamChunk, 0});
}

OsResult memoryOpenStandardInput(OsFile* file) {
    return memoryOpen(nullptr, file);
}

std::int64_t memoryFileLength(const OsFile* file) {
    return file->length;
}

// How far past the bytes given a sparse file's zeros reach; past that it
// reads as a failing disk. Enough for every header and a few hundred
// records of zeros, yet no input makes the tool render megabytes.
constexpr std::uint64_t SparseReach = 16 * 1024;

// Like a real file: nothing lies past its length; between the bytes given
// and the length, a sparse file reads zeros and any other has been cut short.
OsResult memoryReadAt(OsFile* file, std::uint64_t offset, void* buf, std::size_t n) {
    file->error = 0;
    const MemoryHandle* h = handleOf(file);
    fileReads += h->counted ? 1 : 0;
    if (h->length < 0)
        return OsError;
    auto length = static_cast<std::uint64_t>(h->length);
    if (offset > length || n > length - offset)
        return OsError;
    auto* out = static_cast<std::uint8_t*>(buf);
    std::size_t present = offset >= h->size ? 0 : h->size - static_cast<std::size_t>(offset);
    if (present > n)
        present = n;
    if (present < n && (!h->sparse || offset + n > h->size + SparseReach))
        return OsError;
    if (present > 0)
        std::memcpy(out, h->bytes + offset, present);
    std::memset(out + present, 0, n - present);
    return OsOk;
}

OsResult memoryReadNext(OsFile* file, void* buf, std::size_t n, std::size_t* got) {
    MemoryHandle* h = handleOf(file);
    fileReads += h->counted ? 1 : 0;
    std::size_t left = h->size - h->position;
    std::size_t chunk = h->position == 0 && h->firstChunk != 0 ? h->firstChunk : h->chunk;
    *got = left < n ? left : n;
    if (*got > chunk)
        *got = chunk;
    if (*got > 0)
        std::memcpy(buf, h->bytes + h->position, *got);
    h->position += *got;
    return OsOk;
}

void memoryClose(OsFile* file) {
    --openFiles;
    delete handleOf(file);
    file->handle = -1;
}

// The loader's buffers (its two, a stream's four kept ranges, and the
// verifier's four ranges and content statuses) come
// from fixed slots instead of the heap. A fresh multi-megabyte mapping for every input (what the sanitizer's
// allocator does for large blocks) would cost more than the input itself;
// here everything outside a live block stays poisoned, so overruns and use
// after release are still caught, and a block never released is caught at
// the end of the input.
constexpr std::size_t SlotCount = 16;
constexpr std::size_t SlotSize = 4 << 20;  // above the 65535 records a count can ask for
alignas(64) std::uint8_t slots[SlotCount][SlotSize];
std::atomic<bool> slotUsed[SlotCount];

void poisonSlot(std::size_t slot) {
    ASAN_POISON_MEMORY_REGION(slots[slot], SlotSize);
}

// The allocation and the cryptography call that fail, counted from the
// latest setMemoryFailures; 0: none.
std::atomic<long> allocsToFail{0};
std::atomic<long> cryptoCallsToFail{0};

// Allocations and library calls asked for since the latest setMemoryFailures.
std::atomic<long> allocsAsked{0};
std::atomic<long> cryptoCallsAsked{0};

bool failsNow(std::atomic<long>* countdown) {
    ++(countdown == &allocsToFail ? allocsAsked : cryptoCallsAsked);
    long left = countdown->load();
    while (left > 0 && !countdown->compare_exchange_weak(left, left - 1)) {
    }
    return left == 1;
}

void* memoryAlloc(std::size_t n) {
    if (failsNow(&allocsToFail))
        return nullptr;
    static const bool poisoned = [] {
        for (std::size_t i = 0; i < SlotCount; ++i)
            poisonSlot(i);
        return true;
    }();
    (void)poisoned;
    for (std::size_t i = 0; i < SlotCount && n <= SlotSize; ++i) {
        bool free = false;
        if (slotUsed[i].compare_exchange_strong(free, true)) {
            ASAN_UNPOISON_MEMORY_REGION(slots[i], n);
            // A block comes filled with a pattern, as a debugging allocator
            // does: a byte read before it is written shows as one.
            std::memset(slots[i], 0xA5, n);
            return slots[i];
        }
    }
    return nullptr;
}

void memoryFree(void* block) {
    if (block == nullptr)
        return;
    for (std::size_t i = 0; i < SlotCount; ++i) {
        if (block == slots[i] && slotUsed[i]) {
            poisonSlot(i);
            slotUsed[i] = false;
            return;
        }
    }
    std::abort();  // a block released twice, or never handed out
}

}  // namespace

int memoryBlocksLive() {
    int live = 0;
    for (bool used : slotUsed)
        live += used ? 1 : 0;
    return live;
}

namespace {

std::string captured;

OsResult memoryWriteStdout(const void* bytes, std::size_t n, int*) {
    captured.append(static_cast<const char*>(bytes), n);
    return OsOk;
}

// Standard error is not looked at: the reports and messages are all on
// standard output.
OsResult memoryWriteStderr(const void*, std::size_t, int*) {
    return OsOk;
}

bool memoryStdoutIsTerminal() {
    return false;
}

int memoryColumns() {
    return 0;
}

// No time passes in memory: a run is never long enough for a status line.
std::uint64_t memoryClockMillis() {
    return 0;
}

std::int64_t memoryLengthOf(const PathChar*) {
    return -1;
}

// A terminal in a UTF-8 locale, which shows every character.
std::size_t memoryEncodeForOutput(char32_t c, char* out) {
    return encodeUtf8(c, out);
}

void memoryReadKey() {}

// Every folder is there, and holds the key files (see memoryOpen).
int memoryFolderError(const PathChar*) {
    return 0;
}

OsResult memoryOpenRegular(const PathChar* name, OsFile* file) {
    OsResult result = memoryOpen(name, file);
    if (result == OsOk && file->stream) {
        memoryClose(file);
        file->error = OsNotRegularFile;
        return OsError;
    }
    return result;
}

OsResult memoryReadFolder(const PathChar* name, bool (*each)(void*, const PathChar*, OsEntryKind), void* context,
                          int* error) {
    *error = ENOTDIR;
    if (folderName.empty() || folderName != name)
        return OsError;
    *error = 0;
    for (std::size_t i = 0; i < folderFileCount; ++i)
        if (!each(context, folderFiles[i].name.c_str(), OsEntryFile))
            break;
    return OsOk;
}

// The library's states begun and not yet ended, counted from any thread.
std::atomic<int> cryptoStates{0};

OsSha1State* counted(OsSha1State* state) {
    cryptoStates += state != nullptr ? 1 : 0;
    return state;
}

OsAesState* counted(OsAesState* state) {
    cryptoStates += state != nullptr ? 1 : 0;
    return state;
}

// The system's cryptography, each call of which can be made to fail.
OsSha1State* memorySha1Begin() {
    return failsNow(&cryptoCallsToFail) ? nullptr : counted(osSystemCrypto.sha1Begin());
}

OsResult memorySha1Update(OsSha1State* state, const void* bytes, std::size_t n) {
    return failsNow(&cryptoCallsToFail) ? OsError : osSystemCrypto.sha1Update(state, bytes, n);
}

OsResult memorySha1End(OsSha1State* state, std::uint8_t digest[OsSha1Length]) {
    --cryptoStates;
    OsResult result = osSystemCrypto.sha1End(state, digest);
    return failsNow(&cryptoCallsToFail) ? OsError : result;
}

OsAesState* memoryAesBegin(const std::uint8_t key[OsAesKeyLength], const std::uint8_t iv[OsAesBlockLength]) {
    return failsNow(&cryptoCallsToFail) ? nullptr : counted(osSystemCrypto.aesBegin(key, iv));
}

void memoryAesEnd(OsAesState* state) {
    --cryptoStates;
    osSystemCrypto.aesEnd(state);
}

OsResult memoryAesDecrypt(OsAesState* state, const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    return failsNow(&cryptoCallsToFail) ? OsError : osSystemCrypto.aesDecrypt(state, in, out, n);
}

OsCheck memoryRsaVerify(const std::uint8_t* modulus, std::size_t modulusLength, std::uint32_t exponent,
                        const std::uint8_t digest[OsSha1Length], const std::uint8_t* signature,
                        std::size_t signatureLength) {
    return failsNow(&cryptoCallsToFail)
               ? OsCheckFailed
               : osSystemCrypto.rsaVerify(modulus, modulusLength, exponent, digest, signature, signatureLength);
}

const OsCryptoMethods memoryCrypto = {
    osSystemCrypto.load, memorySha1Begin,  memorySha1Update, memorySha1End,           memoryAesBegin,
    memoryAesDecrypt,    memoryAesEnd,     memoryRsaVerify,  osSystemCrypto.failureText,
};

const OsMethods memoryMethods = {
    memoryOpen,         memoryOpenStandardInput, memoryFileLength,       memoryReadAt,
    memoryReadNext,     memoryClose,             memoryAlloc,            memoryFree,
    memoryWriteStdout,  memoryWriteStderr,       memoryStdoutIsTerminal,  memoryStdoutIsTerminal, memoryColumns, memoryClockMillis, memoryLengthOf,
    memoryEncodeForOutput,  osSystemMethods.errorText,
    memoryFolderError,  memoryOpenRegular,       memoryReadFolder,       memoryReadKey,
};

}  // namespace

void setMemoryFolder(const char* name, const MemoryFolderFile* files, std::size_t count) {
    folderName = name != nullptr ? name : "";
    folderFileCount = 0;
    for (std::size_t i = 0; i < count && i < FolderSlots; ++i)
        folderFiles[folderFileCount++] = {files[i].name, files[i].bytes, files[i].size};
}

void setMemoryFile(const std::uint8_t* bytes, std::size_t size, std::int64_t length, bool sparse) {
    osMethods = &memoryMethods;
    osCrypto = &memoryCrypto;
    fileBytes = bytes;
    fileSize = size;
    fileLength = length;
    fileSparse = sparse;
    streamChunk = 0;
    firstStreamChunk = 0;
}

void setMemoryStream(const std::uint8_t* bytes, std::size_t size, std::size_t chunk, std::size_t firstChunk) {
    setMemoryFile(bytes, size, -1, false);
    streamChunk = chunk != 0 ? chunk : 1;
    firstStreamChunk = firstChunk;
}

void setMemoryKeyFiles(const MemoryKeyFile* files, std::size_t count) {
    for (std::size_t i = 0; i < KeySlots; ++i) {
        KeySlot& slot = keyFiles[i];
        slot = KeySlot{};
        if (i >= count || std::strlen(files[i].name) >= sizeof slot.name || files[i].size > sizeof slot.bytes)
            continue;
        std::strcpy(slot.name, files[i].name);
        std::memcpy(slot.bytes, files[i].bytes, files[i].size);
        slot.size = files[i].size;
    }
}

int memoryFilesOpen() {
    return openFiles;
}

long memoryFileReads() {
    return fileReads;
}

const std::string& memoryOutput() {
    return captured;
}

void clearMemoryOutput() {
    captured.clear();
}

void setMemoryFailures(long alloc, long crypto) {
    allocsToFail = alloc;
    cryptoCallsToFail = crypto;
    allocsAsked = 0;
    cryptoCallsAsked = 0;
}

long memoryAllocations() {
    return allocsAsked;
}

long memoryCryptoCalls() {
    return cryptoCallsAsked;
}

int memoryCryptoStatesLive() {
    return cryptoStates;
}
