// SPDX-License-Identifier: MIT
// The little Unicode the tool needs: decoding file names into code points
// and knowing which characters must never reach a terminal as they are.
#pragma once

#include <cstddef>

// The code point returned for bytes or units that encode none.
inline constexpr char32_t ReplacementCharacter = 0xFFFD;

// Decodes the UTF-8 sequence at `s` (at most `left` bytes) and returns its
// code point, or ReplacementCharacter for one byte that starts no valid
// sequence (overlong forms, surrogates and values past U+10FFFF included).
// `*used` is the number of bytes taken, at least 1.
char32_t decodeUtf8(const char* s, std::size_t left, std::size_t* used);

// The same for UTF-16 units (a Windows file name): a surrogate pair is one
// code point, a lone surrogate is ReplacementCharacter.
char32_t decodeUtf16(const wchar_t* s, std::size_t left, std::size_t* used);

// Writes `c` as UTF-8 into `out` (room for 4 bytes); returns the length.
std::size_t encodeUtf8(char32_t c, char* out);

// Control characters (C0, DEL, C1), format characters (the invisible ones
// that reorder or hide text, such as U+202E) and the line and paragraph
// separators: a name holding them could disguise itself on screen.
bool isHiddenCodePoint(char32_t c);
