// SPDX-License-Identifier: MIT
// Decoding names into code points, and which code points never reach the
// screen as they are.
#include <gtest/gtest.h>

#include <clocale>
#include <cwchar>
#include <string>

#include "common/unicode.h"

namespace {

struct Utf8Case {
    const char* what;
    std::string bytes;
    char32_t first;
    std::size_t used;
};

const Utf8Case Utf8Cases[] = {
    {"ASCII", "a", 'a', 1},
    {"two bytes", "\xc3\xa9", 0xE9, 2},
    {"three bytes", "\xe2\x80\xae", 0x202E, 3},
    {"four bytes", "\xf0\x9f\x98\x80", 0x1F600, 4},
    {"largest", "\xf4\x8f\xbf\xbf", 0x10FFFF, 4},
    {"past the largest", "\xf4\x90\x80\x80", Undecodable, 1},
    {"overlong slash", "\xc0\xaf", Undecodable, 1},
    {"overlong three bytes", "\xe0\x80\xaf", Undecodable, 1},
    {"surrogate", "\xed\xa0\x80", Undecodable, 1},
    {"lone continuation", "\x80", Undecodable, 1},
    {"cut short", "\xe2\x82", Undecodable, 1},
    {"bad continuation", "\xe2\x28\xa1", Undecodable, 1},
    {"five-byte lead", "\xf8\x88\x80\x80\x80", Undecodable, 1},
    {"lead F8 that once read as U+10000", "\xf8\x90\x80\x80", Undecodable, 1},
    {"lead C1", "\xc1\xbf", Undecodable, 1},
    {"lead F5", "\xf5\x80\x80\x80", Undecodable, 1},
};

TEST(Unicode, DecodesUtf8) {
    for (const Utf8Case& c : Utf8Cases) {
        SCOPED_TRACE(c.what);
        std::size_t used = 0;
        EXPECT_EQ(decodeUtf8(c.bytes.data(), c.bytes.size(), &used), c.first);
        EXPECT_EQ(used, c.used);
        if (c.first != Undecodable) {
            char again[4];
            EXPECT_EQ(std::string(again, encodeUtf8(c.first, again)), c.bytes);
        }
    }
}

struct Utf16Case {
    const char* what;
    std::wstring units;
    char32_t first;
    std::size_t used;
};

TEST(Unicode, DecodesUtf16) {
    const Utf16Case cases[] = {
        {"one unit", {L'a'}, 'a', 1},
        {"pair", {wchar_t(0xD83D), wchar_t(0xDE00)}, 0x1F600, 2},
        {"lone high surrogate", {wchar_t(0xD83D), L'a'}, Undecodable, 1},
        {"high surrogate at the end", {wchar_t(0xD83D)}, Undecodable, 1},
        {"lone low surrogate", {wchar_t(0xDE00)}, Undecodable, 1},
        {"last unit before the surrogates", {wchar_t(0xD7FF)}, 0xD7FF, 1},
    };
    for (const Utf16Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::size_t used = 0;
        EXPECT_EQ(decodeUtf16(c.units.data(), c.units.size(), &used), c.first);
        EXPECT_EQ(used, c.used);
    }
}

// The C library's own decoder under C.UTF-8 agrees with the tool's on
// every lead byte followed by a spread of continuation and other bytes.
TEST(Unicode, AgreesWithTheCLibrary) {
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    const unsigned char tails[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xFF};
    for (int lead = 0x01; lead <= 0xFF; ++lead) {
        for (unsigned char a : tails) {
            for (unsigned char b : tails) {
                const char bytes[] = {static_cast<char>(lead), static_cast<char>(a), static_cast<char>(b),
                                      static_cast<char>(0x80)};
                std::mbstate_t state{};
                wchar_t wc = 0;
                std::size_t theirs = std::mbrtowc(&wc, bytes, sizeof bytes, &state);
                std::size_t used = 0;
                char32_t ours = decodeUtf8(bytes, sizeof bytes, &used);
                SCOPED_TRACE(testing::Message() << std::hex << lead << " " << int(a) << " " << int(b));
                // glibc also decodes F4 90 and up to values past U+10FFFF,
                // which are no characters.
                if (theirs > sizeof bytes || static_cast<unsigned long>(wc) > 0x10FFFF) {
                    EXPECT_EQ(ours, Undecodable);
                } else {
                    EXPECT_EQ(ours, static_cast<char32_t>(wc));
                    EXPECT_EQ(used, theirs);
                }
            }
        }
    }
    std::setlocale(LC_CTYPE, "C");
}

TEST(Unicode, HiddenCodePoints) {
    const char32_t hidden[] = {0x00, 0x1F, 0x7F, 0x85, 0x9F, 0xAD, 0x061C, 0x180E, 0x200B, 0x200F, 0x2028,
                               0x2029, 0x202A, 0x202E, 0x2060, 0x2066, 0x2069, 0xFEFF, 0xFFF9, 0xE0001, 0xE007F};
    const char32_t shown[] = {' ', '~', 0xA0, 0xE9, 0x2010, 0x202F, 0x2070, 0xFEFE, 0xFFFC, 0xFFFD, 0x1F600, 0xE0080};
    for (char32_t c : hidden)
        EXPECT_TRUE(isHiddenCodePoint(c)) << std::hex << static_cast<unsigned long>(c);
    for (char32_t c : shown)
        EXPECT_FALSE(isHiddenCodePoint(c)) << std::hex << static_cast<unsigned long>(c);
}

}  // namespace
