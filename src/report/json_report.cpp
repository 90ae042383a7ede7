// SPDX-License-Identifier: MIT
#include "report/json_report.h"

#include <string_view>

#include "common/output.h"
#include "common/runstate.h"
#include "common/unicode.h"
#include "report/identity.h"
#include "report/tmd_report.h"

namespace {

[[maybe_unused]] char32_t nextCodePoint(const char* s, std::size_t left, std::size_t* used) {
    return decodeUtf8(s, left, used);
}

[[maybe_unused]] char32_t nextCodePoint(const wchar_t* s, std::size_t left, std::size_t* used) {
    return decodeUtf16(s, left, used);
}

void writeEscaped(char32_t c) {
    switch (c) {
    case '"':
        outText("\\\"");
        return;
    case '\\':
        outText("\\\\");
        return;
    case '\b':
        outText("\\b");
        return;
    case '\f':
        outText("\\f");
        return;
    case '\n':
        outText("\\n");
        return;
    case '\r':
        outText("\\r");
        return;
    case '\t':
        outText("\\t");
        return;
    default:
        break;
    }
    // Control and invisible format characters are written as escapes, so
    // the line stays one line and shows what it holds; nothing is lost.
    if (isHiddenCodePoint(c)) {
        if (c > 0xFFFF)
            outFormat("\\u%04X\\u%04X", unsigned(0xD800 + ((c - 0x10000) >> 10)), unsigned(0xDC00 + (c & 0x3FF)));
        else
            outFormat("\\u%04X", unsigned(c));
        return;
    }
    char bytes[4];
    outWrite(bytes, encodeUtf8(c, bytes));
}

bool isPlainAscii(char32_t c) {
    return c >= 0x20 && c < 0x7F && c != '"' && c != '\\';
}

// A string as UTF-8: bytes (or, on Windows, UTF-16 units) that encode no
// character become U+FFFD. Runs of plain ASCII go out in one piece.
template <typename Char>
void writeString(const Char* text) {
    std::size_t left = std::char_traits<Char>::length(text);
    outChar('"');
    while (left > 0) {
        if constexpr (sizeof(Char) == 1) {
            std::size_t run = 0;
            while (run < left && isPlainAscii(static_cast<unsigned char>(text[run])))
                ++run;
            outWrite(text, run);
            text += run;
            left -= run;
            if (left == 0)
                break;
        }
        std::size_t used = 1;
        writeEscaped(nextCodePoint(text, left, &used));
        text += used;
        left -= used;
    }
    outChar('"');
}

void writeKey(const char* key) {
    outText(",\"");
    outText(key);
    outText("\":");
}

void writeStringField(const char* key, const char* value) {
    writeKey(key);
    writeString(value);
}

void writeNumberField(const char* key, unsigned long long value) {
    writeKey(key);
    outDecimal(value);
}

void writeHexField(const char* key, unsigned long long value, int digits) {
    writeKey(key);
    outChar('"');
    outHex(value, digits, true);
    outChar('"');
}

void writeBoolField(const char* key, bool value) {
    writeKey(key);
    outText(value ? "true" : "false");
}

void writeNullField(const char* key) {
    writeKey(key);
    outText("null");
}

void writeCode(const char* key, const std::uint8_t* bytes, std::size_t n) {
    char text[TitleCodeLength + 1];
    makePrintableCode(bytes, n, text);
    writeStringField(key, text);
}

void writeIdentity(const TitleFacts& facts) {
    static const char* const KindNames[] = {"unknown", "wad", "ticket", "tmd"};
    char code[TitleCodeLength + 1];
    char identifier[TitleIdentifierSize];
    makePrintableCode(facts.code, TitleCodeLength, code);
    titleIdentifier(facts.titleHigh, facts.titleLow, code, identifier);
    writeStringField("kind", KindNames[static_cast<int>(facts.kind)]);
    writeHexField("titleId", std::uint64_t{facts.titleHigh} << 32 | facts.titleLow, 16);
    writeStringField("type", TitleTypeNames[classifyTitleType(facts.titleHigh)].name);
    writeStringField("name", identifier);
    if (facts.hasVersion)
        writeNumberField("version", facts.version);
    else
        writeNullField("version");
}

void writeContents(const TitleFacts& facts) {
    outText(",\"contents\":[");
    for (std::size_t i = 0; i < facts.contentCount; ++i) {
        ContentFacts content = decodeContent(facts.contents, i);
        outText(i == 0 ? "{\"id\":\"" : ",{\"id\":\"");
        outHex(content.id, 8, true);
        outChar('"');
        writeNumberField("index", content.index);
        writeNumberField("type", content.type);
        writeBoolField("shared", content.shared);
        writeNumberField("size", content.size);
        writeKey("sha1");
        if (content.sha1 == nullptr) {
            outText("null}");
            continue;
        }
        outChar('"');
        outHexBytes(content.sha1, ContentHashLength);
        outText("\"}");
    }
    outChar(']');
}

void writeTmdFields(const TitleFacts& facts) {
    writeCode("maker", facts.maker, MakerCodeLength);
    if (facts.ios >= FirstIosNumber && facts.ios <= LastIosNumber)
        writeNumberField("ios", facts.ios);
    else
        writeNullField("ios");
    writeStringField("region", regionName(facts.region));
    writeNumberField("regionCode", facts.region);
    writeContents(facts);
    writeNumberField("size", facts.sizes.total);
    writeNumberField("ownSize", facts.sizes.own);
    writeNumberField("sharedSize", facts.sizes.shared);
    writeNumberField("blocks", blocksOf(facts.sizes.total));
    writeNumberField("ownBlocks", blocksOf(facts.sizes.own));
}

void writeTicketFields(const TicketFacts& ticket) {
    static const char* const CommonKeyNames[] = {"standard", "korean", "vwii"};
    constexpr unsigned CommonKeyCount = sizeof CommonKeyNames / sizeof CommonKeyNames[0];
    // Its first field opens the object: no comma before it.
    outText(",\"ticket\":{\"ticketId\":");
    if (ticket.hasTicketId) {
        outChar('"');
        outHex(ticket.ticketId, 16, true);
        outChar('"');
    } else {
        outText("null");
    }
    if (ticket.hasConsoleId) {
        writeHexField("consoleId", ticket.consoleId, 8);
        writeBoolField("personal", ticket.consoleId != 0);
    } else {
        writeNullField("consoleId");
        writeNullField("personal");
    }
    if (!ticket.hasCommonKey)
        writeNullField("commonKey");
    else if (ticket.commonKeyIndex < CommonKeyCount)
        writeStringField("commonKey", CommonKeyNames[ticket.commonKeyIndex]);
    else
        writeNumberField("commonKey", ticket.commonKeyIndex);
    outChar('}');
}

void writeWadFields(const WadFacts& wad) {
    outText(",\"wad\":{");
    char type[WadTypeLength + 1];
    makePrintableCode(wad.type, WadTypeLength, type);
    outText("\"type\":");
    writeString(type);
    writeNumberField("fileLength", wad.fileLength);
    writeNumberField("expectedLength", wad.expectedLength);
    writeBoolField("complete", wad.fileLength >= wad.expectedLength);
    outChar('}');
}

void writeFile() {
    outText("{\"file\":");
    writeString(currentFileName);
}

}  // namespace

void printTitleJson(const TitleFacts& facts) {
    writeFile();
    writeIdentity(facts);
    if (facts.kind != FileKind::Ticket)
        writeTmdFields(facts);
    if (facts.kind != FileKind::Tmd)
        writeTicketFields(facts.ticket);
    if (facts.kind == FileKind::Wad)
        writeWadFields(facts.wad);
    outText("}\n");
}

void printFailureJson(const char* error) {
    writeFile();
    writeStringField("error", error);
    outText("}\n");
}
