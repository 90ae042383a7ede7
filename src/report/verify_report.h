// SPDX-License-Identifier: MIT
// What verification found, in the words of both output forms.
#pragma once

#include <cstddef>

#include "titlefiles/decode.h"

// The longest text putVerifyLines writes.
inline constexpr std::size_t VerifyLinesLongest = 300;

// The text report's lines before its closing rule: the signatures, whether
// a WAD's ticket is another title's, the contents (not for a ticket), and
// the verdict.
char* putVerifyLines(char* at, const TitleFacts& facts);

// The JSON words of each status; null where JSON has null.
const char* signatureWord(SignatureStatus status);
const char* contentsWord(ContentsStatus status);
const char* hashWord(HashStatus status);
const char* verdictWord(Verdict verdict);
const char* formWord(ContentForm form);
