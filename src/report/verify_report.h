// SPDX-License-Identifier: MIT
// What verification found, in the words of both output forms.
#pragma once

#include <cstddef>

#include "titlefiles/facts.h"

// The longest of the pieces printVerifyLines writes in place: the
// signatures' line, or whether a WAD's ticket is another title's and the
// contents' line up to a title folder's failing files.
inline constexpr std::size_t VerifyLineLongest = 160;

// The text report's lines before its closing rule: the signatures, whether
// a WAD's ticket is another title's, the contents (not for a ticket), and
// the verdict. A title folder's other files that fail are named on the
// line of their part.
void printVerifyLines(const TitleFacts& facts);

// The banner's name the text shows: the English one, else the first a
// slot holds; -1 when there is none.
int shownBannerSlot(const BannerFacts& banner);

// The JSON words of each status; null where JSON has null.
const char* signatureWord(SignatureStatus status);
const char* contentsWord(ContentsStatus status);
const char* hashWord(HashStatus status);
const char* verdictWord(Verdict verdict);
const char* formWord(ContentForm form);
