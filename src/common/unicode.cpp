// SPDX-License-Identifier: MIT
// Decoding names into code points, encoding UTF-8, and which code points
// the output must not carry as they are.
#include "common/unicode.h"

namespace {

struct CodeRange {
    char32_t first;
    char32_t last;
};

// Every format character (general category Cf) of Unicode 15, and the two
// separators U+2028 and U+2029. U+2065 is unassigned but sits in the middle
// of the invisible operators, so the range covers it.
const CodeRange FormatRanges[] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
    {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x2028, 0x202E},
    {0x2060, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
    {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001}, {0xE0020, 0xE007F},
};

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

}  // namespace

char32_t decodeUtf8(const char* s, std::size_t left, std::size_t* used) {
    *used = 1;
    auto lead = static_cast<unsigned char>(s[0]);
    if (lead < 0x80)
        return lead;
    // C0 and C1 could only start overlong forms, F5 and up values past U+10FFFF.
    std::size_t length = lead >= 0xF5 ? 0 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || length > left)
        return Undecodable;
    char32_t c = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        auto byte = static_cast<unsigned char>(s[i]);
        if (!isContinuation(byte))
            return Undecodable;
        c = c << 6 | (byte & 0x3F);
    }
    // The shortest form only: anything else could hide a '/' or a control character.
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < smallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        return Undecodable;
    *used = length;
    return c;
}

char32_t decodeUtf16(const wchar_t* s, std::size_t left, std::size_t* used) {
    *used = 1;
    auto unit = static_cast<char32_t>(s[0]);
    if (unit < 0xD800 || (unit > 0xDFFF && unit <= 0x10FFFF))
        return unit;
    auto next = left > 1 ? static_cast<char32_t>(s[1]) : 0;
    if (unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
        *used = 2;
        return 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
    }
    return Undecodable;
}

std::size_t encodeUtf8(char32_t c, char* out) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    std::size_t length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
    for (std::size_t i = length - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80 | (c & 0x3F));
        c >>= 6;
    }
    const unsigned char leads[] = {0, 0, 0xC0, 0xE0, 0xF0};
    out[0] = static_cast<char>(leads[length] | c);
    return length;
}

bool isHiddenCodePoint(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        return true;
    for (const CodeRange& range : FormatRanges)
        if (c >= range.first && c <= range.last)
            return true;
    return false;
}
