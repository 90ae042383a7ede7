// SPDX-License-Identifier: MIT
// Checking a title's contents against the SHA-1 hashes its TMD records,
// wherever they lie: in a WAD's data section or in a title folder's files.
// A content is hashed as its bytes go by, in pieces of any size, after
// AES-128-CBC decryption with the title key when it is stored encrypted
// (its index, big-endian, then zeros, being the IV).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/crypto.h"
#include "titlefiles/facts.h"
#include "titlefiles/keyset.h"

// Decrypted bytes are hashed this many at a time.
inline constexpr std::size_t PlainChunk = 64 * 1024;

// One content being hashed.
struct ContentHash {
    std::uint64_t size;    // the bytes the recorded hash covers
    std::uint64_t hashed;  // of them so far
    OsAesState* aes;       // null when the bytes are plain
    OsSha1State* sha;
    std::uint8_t carry[ContentBlockLength];  // an encrypted block split between pieces
    std::size_t carried;
    std::uint8_t* plain;  // PlainChunk bytes to decrypt into, not owned
    // Where the content's first plain bytes are kept (for its banner), and
    // how many of BannerKeptLength are; null when none are.
    std::uint8_t* keep;
    std::size_t kept;
};

// Begins hashing a content of `size` bytes, encrypted under `titleKey`
// with the IV its `index` makes, or plain when `titleKey` is null. False
// when the library failed.
bool beginContentHash(ContentHash* hash, std::uint64_t size, const std::uint8_t* titleKey, std::uint16_t index,
                      std::uint8_t* plain);
// Hashes the content's next stored bytes; false when the library failed.
bool feedContentHash(ContentHash* hash, const std::uint8_t* bytes, std::size_t n);
// Compares the digest with `recorded` and ends; false when the library failed.
bool endContentHash(ContentHash* hash, const std::uint8_t* recorded, HashStatus* status);
// Ends a hash that will not be compared.
void dropContentHash(ContentHash* hash);

// What checking a title's contents found, one status a record.
struct ContentResults {
    bool checked;              // under /v: the contents were looked for
    bool allOrNone;            // a WAD's: checked all under the title key, or none without it
    ContentsStatus keyStatus;  // Ok: the title key is at hand; else why not
    std::uint8_t keyIndex;     // the common key the ticket selects
    std::uint8_t titleKey[OsAesKeyLength];
    ByteSpan records;  // the TMD's, which outlive the results
    std::uint16_t count;
    HashStatus* hashes;   // one a record (osAlloc)
    std::uint8_t* plain;  // PlainChunk bytes to decrypt into (osAlloc), with the key
    bool failed;          // the library failed
    // Content 0's first plain bytes, once it has been read: its banner.
    bool bannerRead;
    std::size_t bannerLength;
    std::uint8_t banner[BannerKeptLength];
};

// Starts the results for the TMD's `count` records, under the title key
// `ticket` gives (none without one). False when memory ran out.
bool startContentResults(ContentResults* results, ByteSpan records, std::uint16_t count, ByteSpan ticket,
                         const KeySet& keys, bool allOrNone);
// The title key, or null where there is none.
const std::uint8_t* titleKeyOf(const ContentResults& results);
// An empty content is there whether or not its bytes are: its hash is the
// hash of nothing. False when the library failed.
bool checkEmptyContent(ContentResults* results, std::size_t index);
void releaseContentResults(ContentResults* results);

// A WAD's contents, checked as the file's bytes go by: each starts on a
// 64-byte boundary of the data section and takes its size rounded up to
// whole blocks.
struct WadWalk {
    ContentResults* results;
    std::size_t current;
    std::uint64_t contentStart;  // of the current content in the file; UINT64_MAX: past any file
    std::uint64_t consumed;      // of its stored bytes
    bool hashing;
    ContentHash hash;
};

void startWadWalk(WadWalk* walk, ContentResults* results, std::uint64_t dataOffset);
// The file's bytes at `offset`; the contents' among them are hashed.
void feedWadWalk(WadWalk* walk, std::uint64_t offset, const std::uint8_t* block, std::size_t n);
// Whether contents are left to hash.
bool wadWalkNeedsMore(const WadWalk& walk);
// The file has ended: contents not whole are missing.
void endWadWalk(WadWalk* walk);

// One content's file, read whole: the readings its length allows are made
// in one pass, encrypted (padded to 16 bytes) with the title key where it
// is at hand, and plain (exactly the record's size).
struct ContentFileCheck {
    ContentHash encrypted;
    ContentHash plain;
    bool readsEncrypted;  // padded to 16 bytes, with the key at hand
    bool readsPlain;      // exactly the record's size
    std::uint64_t length;
    // Content 0's first plain bytes by each reading, for its banner.
    std::uint8_t keptEncrypted[BannerKeptLength];
    std::uint8_t keptPlain[BannerKeptLength];
};

// Begins checking record `index` against a file `length` bytes long;
// false when the library failed.
bool beginContentFile(ContentFileCheck* check, const ContentResults& results, std::size_t index,
                      std::uint64_t length);
// Whether the file is to be read at all.
bool contentFileRead(const ContentFileCheck& check);
bool feedContentFile(ContentFileCheck* check, const std::uint8_t* bytes, std::size_t n);
// What the file proves, once read; false when the library failed. The
// first file read of content 0 gives the results its banner: from the
// reading that matched its hash, else from the encrypted one.
bool endContentFile(ContentFileCheck* check, ContentResults* results, std::size_t index, HashStatus* hash,
                    ContentForm* form);
void dropContentFile(ContentFileCheck* check);
