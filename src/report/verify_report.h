// SPDX-License-Identifier: MIT
// What verification found, in the words of both output forms.
#pragma once

#include <cstddef>

#include "titlefiles/decode.h"

// The longest text verifyLines writes.
inline constexpr std::size_t VerifyLinesLongest = 128;

// The text report's lines before its closing rule: the signatures, whether
// a WAD's ticket is another title's, and the contents (not for a ticket).
char* putVerifyLines(char* at, const TitleFacts& facts);

// The JSON words of each status; null where JSON has null.
const char* signatureWord(SignatureStatus status);
const char* contentsWord(ContentsStatus status);
const char* hashWord(HashStatus status);
