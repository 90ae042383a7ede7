// SPDX-License-Identifier: MIT
// Checking a title's contents against the SHA-1 hashes its TMD records.
// A content is hashed as its bytes go by, in pieces of any size, after
// AES-128-CBC decryption with the title key when it is stored encrypted
// (its index, big-endian, then zeros, being the IV). A WAD's contents are
// found in its data section as the file's bytes pass.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/crypto.h"
#include "titlefiles/endian.h"
#include "titlefiles/formats.h"
#include "titlefiles/keyset.h"

enum class ContentsStatus { None = 0, Ok, Damaged, Incomplete, NoKey, ConsoleBound, NotInFile };
enum class HashStatus : std::uint8_t { Unchecked = 0, Ok, Mismatch, Missing };

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

// The title key from a ticket (TicketFieldsEnd bytes at least): the common
// key the ticket selects decrypts it, unless the ticket is bound to one
// console. ContentsStatus::Ok with the key, or why there is none (NoKey,
// with the index in `*keyIndex`; ConsoleBound); false when the library failed.
bool titleKeyOf(ByteSpan ticket, const KeySet& keys, std::uint8_t key[OsAesKeyLength], ContentsStatus* status,
                std::uint8_t* keyIndex);

// A WAD's contents, checked as the file's bytes go by.
struct WadContents {
    bool planned;
    ContentsStatus keyStatus;  // Ok: being checked; else why not
    std::uint8_t keyIndex;     // the common key the ticket selects
    std::uint8_t titleKey[OsAesKeyLength];
    ByteSpan records;  // the TMD's records, which outlive the walk
    std::uint16_t count;
    HashStatus* hashes;  // one a record, from osAlloc
    std::size_t current;
    std::uint64_t contentStart;  // of the current content in the file; UINT64_MAX: past any file
    std::uint64_t consumed;      // of its stored bytes
    bool hashing;
    ContentHash hash;
    std::uint8_t* plain;  // PlainChunk bytes, from osAlloc
    bool failed;          // the library failed
};

// Plans the walk once the TMD's records and the ticket have passed: the
// contents start at `dataOffset`. False when memory ran out.
bool planWadContents(WadContents* walk, ByteSpan records, std::uint16_t count, std::uint64_t dataOffset,
                     ByteSpan ticket, const KeySet& keys);
// The file's bytes at `offset`; the contents' among them are hashed.
void feedWadContents(WadContents* walk, std::uint64_t offset, const std::uint8_t* block, std::size_t n);
// The file has ended: contents not whole are missing.
void endWadContents(WadContents* walk);
void releaseWadContents(WadContents* walk);
