// SPDX-License-Identifier: MIT
// Verification (/v): whether a title file is genuine and whole. The file's
// bytes pass through once, in order, in blocks of any size (a regular
// file's or a stream's): the ranges needed later (certificates, ticket,
// TMD and its records) are kept, and each content of a WAD is decrypted
// and hashed as its bytes go by, so memory stays bounded however large
// the file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/crypto.h"
#include "titlefiles/certs.h"
#include "titlefiles/classify.h"
#include "titlefiles/ranges.h"

// The console's common keys, as far as the user supplied them: 0 standard,
// 1 Korean, 2 vWii (the ticket's common-key index).
inline constexpr int CommonKeyCount = 3;
struct CommonKeys {
    bool present[CommonKeyCount];
    std::uint8_t key[CommonKeyCount][OsAesKeyLength];
};

// Their names, by that index, as the key files and JSON call them.
extern const char* const CommonKeyNames[CommonKeyCount];

enum class ContentsStatus { None = 0, Ok, Damaged, Incomplete, NoKey, ConsoleBound, NotInFile };
enum class HashStatus : std::uint8_t { Unchecked = 0, Ok, Mismatch, Missing };

struct VerifyFacts {
    bool verified;  // verification ran for this file
    SignatureStatus tmdSignature;
    SignatureStatus ticketSignature;
    bool hasTicketMatch;  // a WAD with a ticket
    bool ticketMatches;
    ContentsStatus contents;
    std::uint8_t missingKey;  // for NoKey, the common-key index the ticket selects
    std::uint16_t contentCount;
    std::uint16_t damaged;
    std::uint16_t missing;
    HashStatus* hashes;  // one a content record, from osAlloc
};

// Whether the facts make the file fail verification: a signature invalid,
// another title's ticket, or contents damaged or incomplete.
bool verificationFailed(const VerifyFacts& facts);

enum VerifyRange { HeadRange = 0, CertRange, TicketRange, TmdRange, VerifyRangeCount };

// The state of one pass; zero it, set `keys`, and feed it.
struct Verifier {
    const CommonKeys* keys;
    bool classified;
    FileKind kind;  // as the first bytes tell; Unknown: nothing to verify
    std::uint64_t seen;
    KeptRange ranges[VerifyRangeCount];
    // The contents, once the TMD and the ticket have passed.
    bool contentsPlanned;
    ContentsStatus keyStatus;
    std::uint8_t missingKey;
    std::uint8_t titleKey[OsAesKeyLength];
    std::uint16_t count;
    HashStatus* hashes;
    std::size_t current;
    std::uint64_t contentStart;  // of the current content; UINT64_MAX: past any file
    std::uint64_t consumed;      // of its stored bytes
    std::uint64_t hashed;        // of its plain bytes
    OsAesState* aes;
    OsSha1State* sha;
    std::uint8_t carry[ContentBlockLength];
    std::size_t carried;
};

// Feeds the next `n` bytes of the file; false when memory ran out for a
// range to keep.
bool feedVerifier(Verifier* v, const std::uint8_t* block, std::size_t n);

// Ends the pass over a file the loader classified as `kind`, fills `facts`
// and releases the verifier's buffers (but the hash statuses, which facts
// keep until releaseVerifyFacts).
void endVerifier(Verifier* v, FileKind kind, VerifyFacts* facts);
void releaseVerifyFacts(VerifyFacts* facts);
