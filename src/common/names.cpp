// SPDX-License-Identifier: MIT
// Writing a file name as the user typed it, each character the output
// cannot show replaced.
#include "common/names.h"

#include "common/output.h"
#include "common/unicode.h"

namespace {

bool isPrintableAscii(PathChar c) {
    return c >= 0x20 && c < 0x7F;
}

std::size_t lengthOf(const PathChar* name) {
    std::size_t n = 0;
    while (name[n] != 0)
        ++n;
    return n;
}

}  // namespace

namespace {

void writeShownChar(char32_t c) {
    char bytes[OsMaxEncodedChar];
    std::size_t n = 0;
    if (c != Undecodable && !isHiddenCodePoint(c))
        n = osEncodeForOutput(c, bytes);
    if (n > 0)
        outWrite(bytes, n);
    else
        outChar('?');
}

}  // namespace

void writeShownText(const char32_t* text, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (text[i] == '\n')
            outChar(' ');
        else if (text[i] >= 0x20 && text[i] < 0x7F)
            outChar(static_cast<char>(text[i]));
        else
            writeShownChar(text[i]);
    }
}

void writeName(const PathChar* name) {
    std::size_t left = lengthOf(name);
    while (left > 0) {
        // Runs of printable ASCII go out in one piece.
        std::size_t run = 0;
        while (run < left && run < OutReserveLimit && isPrintableAscii(name[run]))
            ++run;
        if (run > 0) {
            char* at = outReserve(run);
            for (std::size_t i = 0; i < run; ++i)
                at[i] = static_cast<char>(name[i]);
            outCommit(run);
            name += run;
            left -= run;
            continue;
        }
        std::size_t used = 1;
        writeShownChar(decodeNameChar(name, left, &used));
        name += used;
        left -= used;
    }
}
