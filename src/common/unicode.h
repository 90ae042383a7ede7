// SPDX-License-Identifier: MIT
// The little Unicode the tool needs: decoding file names into code points
// and knowing which characters must never reach a terminal as they are.
#pragma once

#include <cstddef>

// What JSON shows in place of bytes or units that encode no character.
inline constexpr char32_t ReplacementCharacter = 0xFFFD;
// What the decoders return for them: no code point at all, so that a name
// holding U+FFFD itself can still be told from one that cannot be decoded.
inline constexpr char32_t Undecodable = 0xFFFFFFFF;

// Decodes the UTF-8 sequence at `s` (at most `left` bytes) and returns its
// code point, or Undecodable for one byte that starts no valid sequence:
// a continuation byte, the lead bytes C0, C1 and F5 to FF, overlong forms,
// surrogates, values past U+10FFFF and sequences cut short. `*used` is the
// number of bytes taken, at least 1. This is the tool's one UTF-8 decoder.
char32_t decodeUtf8(const char* s, std::size_t left, std::size_t* used);

// The same for UTF-16 units (a Windows file name): a surrogate pair is one
// code point, a lone surrogate is Undecodable.
char32_t decodeUtf16(const wchar_t* s, std::size_t left, std::size_t* used);

// A file name's next character, in the encoding names have on this system.
inline char32_t decodeNameChar(const char* s, std::size_t left, std::size_t* used) {
    return decodeUtf8(s, left, used);
}
inline char32_t decodeNameChar(const wchar_t* s, std::size_t left, std::size_t* used) {
    return decodeUtf16(s, left, used);
}

// Writes `c` as UTF-8 into `out` (room for 4 bytes); returns the length.
std::size_t encodeUtf8(char32_t c, char* out);

// Control characters (C0, DEL, C1), format characters (the invisible ones
// that reorder or hide text, such as U+202E) and the line and paragraph
// separators: a name holding them could disguise itself on screen.
bool isHiddenCodePoint(char32_t c);
