// SPDX-License-Identifier: MIT
// JSON Lines: one object a file, rendered from its facts.
#include "report/json_report.h"

#include <string_view>

#include "common/output.h"
#include "common/runstate.h"
#include "common/unicode.h"
#include "report/identity.h"
#include "report/verify_report.h"
#include "titlefiles/keyset.h"

namespace {

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

// A string as UTF-8, decoded as names are: bytes (or, on Windows, UTF-16
// units) that encode no character become U+FFFD. Runs of plain ASCII go out in one piece.
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
        char32_t c = decodeNameChar(text, left, &used);
        writeEscaped(c == Undecodable ? ReplacementCharacter : c);
        text += used;
        left -= used;
    }
    outChar('"');
}

// Keys are literals: their lengths are known, and so is the room they need.
template <std::size_t N>
void writeKey(const char (&key)[N]) {
    char* start = outReserve(N + 3);
    char* at = putLiteral(putLiteral(putLiteral(start, ",\""), key), "\":");
    outCommit(static_cast<std::size_t>(at - start));
}

template <std::size_t N>
void writeStringField(const char (&key)[N], const char* value) {
    writeKey(key);
    writeString(value);
}

template <std::size_t N>
void writeNumberField(const char (&key)[N], unsigned long long value) {
    writeKey(key);
    outDecimal(value);
}

template <std::size_t N>
void writeHexField(const char (&key)[N], unsigned long long value, int digits) {
    writeKey(key);
    outChar('"');
    outHex(value, digits, true);
    outChar('"');
}

template <std::size_t N>
void writeBoolField(const char (&key)[N], bool value) {
    writeKey(key);
    outText(value ? "true" : "false");
}

template <std::size_t N>
void writeNullField(const char (&key)[N]) {
    writeKey(key);
    outText("null");
}

template <std::size_t N>
void writeCode(const char (&key)[N], const std::uint8_t* bytes, std::size_t n) {
    char text[TitleCodeLength + 1];
    makePrintableCode(bytes, n, text);
    writeStringField(key, text);
}

void writeIdentity(const TitleFacts& facts) {
    char code[TitleCodeLength + 1];
    char identifier[TitleIdentifierSize];
    makePrintableCode(facts.code, TitleCodeLength, code);
    titleIdentifier(facts.titleHigh, facts.titleLow, code, identifier);
    writeStringField("kind", kindWord(facts.kind));
    writeHexField("titleId", std::uint64_t{facts.titleHigh} << 32 | facts.titleLow, 16);
    writeStringField("type", TitleTypeNames[classifyTitleType(facts.titleHigh)].name);
    writeStringField("name", identifier);
    if (facts.hasVersion)
        writeNumberField("version", facts.version);
    else
        writeNullField("version");
}

// A title folder's content file, and under /v how it held the content.
char* putContentFile(char* at, const FolderParts& folder, const VerifyFacts* verify, std::size_t index) {
    const char* name = folder.names[index];
    at = name[0] != 0 ? putLiteral(putText(putLiteral(at, ",\"file\":\""), name), "\"") : putLiteral(at, ",\"file\":null");
    if (verify == nullptr)
        return at;
    const char* form = formWord(folder.forms[index]);
    return form != nullptr ? putLiteral(putText(putLiteral(at, ",\"form\":\""), form), "\"") : putLiteral(at, ",\"form\":null");
}

// One content record, formatted in place: the bulk of a large title's line.
// Under /v it ends with what its hash was found to be.
void writeContent(const ContentFacts& content, bool first, const TitleFacts& facts, std::size_t index) {
    const VerifyFacts* verify = facts.verify;
    // The longest record, every number at its widest, and some to spare.
    constexpr std::size_t Longest = 256;
    char* start = outReserve(Longest);
    char* at = first ? putLiteral(start, "{\"id\":\"") : putLiteral(start, ",{\"id\":\"");
    at = putHex(at, content.id, 8, true);
    at = putLiteral(at, "\",\"index\":");
    at = putDecimal(at, content.index);
    at = putLiteral(at, ",\"type\":");
    at = putDecimal(at, content.type);
    at = content.shared ? putLiteral(at, ",\"shared\":true,\"size\":") : putLiteral(at, ",\"shared\":false,\"size\":");
    at = putDecimal(at, content.size);
    if (content.sha1 != nullptr) {
        at = putLiteral(at, ",\"sha1\":\"");
        at = putHexBytes(at, content.sha1, ContentHashLength);
        at = putLiteral(at, "\"");
    } else {
        at = putLiteral(at, ",\"sha1\":null");
    }
    if (facts.folder != nullptr)
        at = putContentFile(at, *facts.folder, verify, index);
    if (verify != nullptr) {
        const char* hash = index < verify->contentCount ? hashWord(verify->hashes[index]) : nullptr;
        at = hash != nullptr ? putLiteral(putText(putLiteral(at, ",\"hash\":\""), hash), "\"")
                             : putLiteral(at, ",\"hash\":null");
    }
    at = putLiteral(at, "}");
    outCommit(static_cast<std::size_t>(at - start));
}

void writeContents(const TitleFacts& facts) {
    outText(",\"contents\":[");
    for (std::size_t i = 0; i < facts.contentCount; ++i)
        writeContent(decodeContent(facts.contents, i), i == 0, facts, i);
    outChar(']');
}

void writeTmdFields(const TitleFacts& facts) {
    writeCode("maker", facts.maker, MakerCodeLength);
    if (facts.ios >= FirstIosNumber && facts.ios <= LastIosNumber)
        writeNumberField("ios", facts.ios);
    else
        writeNullField("ios");
    writeHexField("systemVersion", facts.systemVersion, 16);
    writeStringField("region", regionName(facts.region));
    writeNumberField("regionCode", facts.region);
    writeContents(facts);
    writeNumberField("size", facts.sizes.total);
    writeNumberField("ownSize", facts.sizes.own);
    writeNumberField("sharedSize", facts.sizes.shared);
    writeNumberField("blocks", facts.sizes.totalBlocks);
    writeNumberField("ownBlocks", facts.sizes.ownBlocks);
}

void writeTicketFields(const TicketFacts& ticket) {
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
    if (ticket.hasTitleId)
        writeHexField("titleId", ticket.titleId, 16);
    else
        writeNullField("titleId");
    if (ticket.hasVersion)
        writeNumberField("version", ticket.version);
    else
        writeNullField("version");
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
    // The bytes past the length the header announces, its padding included.
    writeNumberField("extraBytes", wad.fileLength > wad.expectedLength ? wad.fileLength - wad.expectedLength : 0);
    outChar('}');
}

// A field of the verify object: a word, or null.
void writeVerifyField(const char* key, const char* word, bool* first) {
    outText(*first ? "\"" : ",\"");
    *first = false;
    outText(key);
    outText("\":");
    if (word != nullptr)
        writeString(word);
    else
        outText("null");
}

void writeVerifyFields(const TitleFacts& facts) {
    const VerifyFacts& v = *facts.verify;
    bool first = true;
    outText(",\"verify\":{");
    if (holdsTmd(facts.kind))
        writeVerifyField("tmdSignature", signatureWord(v.tmdSignature), &first);
    if (holdsTicket(facts.kind))
        writeVerifyField("ticketSignature", signatureWord(v.ticketSignature), &first);
    if (holdsTmd(facts.kind) && holdsTicket(facts.kind)) {
        outText(",\"ticketMatches\":");
        outText(!v.hasTicketMatch ? "null" : v.ticketMatches ? "true" : "false");
    }
    writeVerifyField("contents", contentsWord(v.contents), &first);
    writeVerifyField("verdict", verdictWord(v.verdict), &first);
    // The key files a failure may come from rather than the file.
    outText(",\"hints\":[");
    if (v.rootInDoubt)
        outText("\"root.key\"");
    if (v.keyInDoubt && v.keyIndex < CommonKeyCount) {
        outText(v.rootInDoubt ? ",\"" : "\"");
        outText(CommonKeyNames[v.keyIndex]);
        outText(".key\"");
    }
    outText("]}");
}

// A title folder's other files and what each proved (under /v).
void writeAlternates(const TitleFacts& facts) {
    const FolderParts& folder = *facts.folder;
    static const char* const PartWords[] = {"tmd", "ticket", "content"};
    outText(",\"alternates\":[");
    for (std::size_t i = 0; i < folder.alternateCount; ++i) {
        const FolderAlternate& other = folder.alternates[i];
        outText(i == 0 ? "{\"part\":" : ",{\"part\":");
        writeString(PartWords[static_cast<int>(other.part)]);
        if (other.part == FolderPart::Content)
            writeHexField("id", decodeContent(facts.contents, other.record).id, 8);
        else
            writeNullField("id");
        writeStringField("file", other.file);
        const char* result = other.part != FolderPart::Content ? (other.differs ? "differs" : "ok") : hashWord(other.hash);
        if (result != nullptr)
            writeStringField("result", result);
        else
            writeNullField("result");
        outChar('}');
    }
    outChar(']');
}

// The names a title's banner gives, by language; only the slots that hold one.
void writeBanner(const BannerFacts& banner) {
    static const char* const Languages[BannerLanguageCount] = {"ja", "en", "de", "fr", "es",
                                                               "it", "nl", "zh-Hans", "zh-Hant", "ko"};
    if (!banner.present) {
        writeNullField("banner");
        return;
    }
    outText(",\"banner\":{\"names\":{");
    const char* between = "\"";
    for (std::size_t i = 0; i < BannerLanguageCount; ++i) {
        if (banner.lengths[i] == 0)
            continue;
        outText(between);
        outText(Languages[i]);
        outText("\":\"");
        for (std::size_t c = 0; c < banner.lengths[i]; ++c)
            writeEscaped(banner.names[i][c]);
        outChar('"');
        between = ",\"";
    }
    outText("}}");
}

void writeFile() {
    outText("{\"file\":");
    writeString(currentFileName);
}

}  // namespace

void printTitleJson(const TitleFacts& facts) {
    writeFile();
    writeIdentity(facts);
    if (holdsTmd(facts.kind))
        writeTmdFields(facts);
    if (facts.hasTicket)
        writeTicketFields(facts.ticket);
    else if (holdsTicket(facts.kind))
        writeNullField("ticket");
    if (facts.kind == FileKind::Wad)
        writeWadFields(facts.wad);
    if (facts.verify != nullptr)
        writeVerifyFields(facts);
    if (facts.verify != nullptr && facts.folder != nullptr)
        writeAlternates(facts);
    if (facts.verify != nullptr)
        writeBanner(facts.banner);
    outText("}\n");
}

void printFailureJson(const char* error, const char* reason, const char* cause) {
    writeFile();
    writeStringField("error", error);
    writeStringField("reason", reason);
    writeStringField("cause", cause);
    outText("}\n");
}
