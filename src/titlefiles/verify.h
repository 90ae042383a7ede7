// SPDX-License-Identifier: MIT
// Verification (/v): whether a title file is genuine and whole. The loader
// reads the file once, front to back, keeping what the report and the
// signatures need and hashing each content of a WAD as its bytes go by;
// this part judges what was kept and hashed.
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/certs.h"
#include "titlefiles/contents.h"
#include "titlefiles/keyset.h"

// The one answer for a file: genuine only when everything it holds was
// proven; failed when something was proven wrong; unproven otherwise.
enum class Verdict { None = 0, Genuine, Failed, Unproven };

struct VerifyFacts {
    bool verified;  // verification ran for this file
    SignatureStatus tmdSignature;
    SignatureStatus ticketSignature;
    bool hasTicketMatch;  // a WAD with a ticket
    bool ticketMatches;
    ContentsStatus contents;
    std::uint8_t keyIndex;  // the common key the ticket selects
    std::uint16_t contentCount;
    std::uint16_t damaged;  // with those whose other file in a title folder fails
    std::uint16_t missing;
    // Every content with bytes is damaged, under the title's own ticket:
    // what a wrong common key looks like.
    bool keyInDoubt;
    // Every invalid signature's links verify but the CA's under root.key:
    // what a wrong root.key looks like.
    bool rootInDoubt;
    // A title folder's TMD or ticket file beside the one read differs from it.
    bool copyDiffers;
    HashStatus* hashes;  // one a content record, from osAlloc
    Verdict verdict;
};

struct LoadedTitle;

// Judges a loaded title from the bytes kept and its contents' walk; false
// when the cryptography library failed, which says nothing about the file.
bool verifyTitle(LoadedTitle* title, const KeySet& keys, VerifyFacts* facts);

void releaseVerifyFacts(VerifyFacts* facts);
