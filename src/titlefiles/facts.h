// SPDX-License-Identifier: MIT
// A title's facts, as the text report and the JSON writer render them:
// what the file is, its IDs, sizes and records, its ticket's fields, a
// title folder's files and, under /v, what verification found. They are
// read from the title's bytes in one place (decode.cpp).
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/endian.h"
#include "titlefiles/formats.h"

// Folder: a title kept as loose files, its TMD, ticket and contents apart.
enum class FileKind { Unknown = 0, Wad = 1, Ticket = 2, Tmd = 3, Folder = 4 };

// Whether a title of this kind holds a TMD, and a ticket.
inline bool holdsTmd(FileKind kind) {
    return kind == FileKind::Tmd || kind == FileKind::Wad || kind == FileKind::Folder;
}
inline bool holdsTicket(FileKind kind) {
    return kind == FileKind::Ticket || kind == FileKind::Wad || kind == FileKind::Folder;
}

// ---- Verification's findings; the reports name each by a word ----

enum class SignatureStatus { None = 0, Valid, Invalid, Fakesigned, Unverifiable, Unanchored, Missing, Last = Missing };
enum class ContentsStatus { None = 0, Ok, Damaged, Incomplete, NoKey, ConsoleBound, NotInFile, Last = NotInFile };
enum class HashStatus : std::uint8_t { Unchecked = 0, Ok, Mismatch, Missing, Last = Missing };
// The one answer for a file: genuine only when everything it holds was
// proven; failed when something was proven wrong; unproven otherwise.
enum class Verdict { None = 0, Genuine, Failed, Unproven, Last = Unproven };
// How a title folder's content file was found to hold its content.
enum class ContentForm : std::uint8_t { Unchecked = 0, Encrypted, Decrypted, Last = Decrypted };

struct VerifyFacts {
    bool verified;  // verification ran for this file
    SignatureStatus tmdSignature;
    SignatureStatus ticketSignature;
    bool hasTicketMatch;  // a WAD with a ticket
    bool ticketMatches;
    ContentsStatus contents;
    std::uint8_t keyIndex;  // the common key the ticket selects
    std::uint16_t contentCount;
    std::uint16_t damaged;  // with those whose other file in a title folder fails
    std::uint16_t missing;
    // Every content with bytes is damaged, under the title's own ticket:
    // what a wrong common key looks like.
    bool keyInDoubt;
    // Every invalid signature's links verify but the CA's under root.key:
    // what a wrong root.key looks like.
    bool rootInDoubt;
    // A title folder's TMD or ticket file beside the one read differs from it.
    bool copyDiffers;
    const HashStatus* hashes;  // one a content record
    Verdict verdict;
};

// ---- A title folder's files ----

// "0123abcd.app" and its terminator.
inline constexpr std::size_t ContentFileNameRoom = 13;
// The longest name of a folder's file the tool looks for: "tmd." and 19
// digits, and its terminator.
inline constexpr std::size_t FolderFileNameRoom = 24;

enum class FolderPart : std::uint8_t { Tmd, Ticket, Content };

// Under /v: a file beside the one a part was read from that names the same
// part ("tmd" beside "title.tmd", "tmd.05" beside "tmd.5", "title.tik"
// beside "cetk", "0000000A" or "0000000a.app" beside "0000000a"). Each is
// checked as the first: a TMD or ticket must be the same bytes, a content
// must have its record's hash.
struct FolderAlternate {
    FolderPart part;
    std::uint16_t record;  // a content's
    char file[FolderFileNameRoom];
    bool differs;     // a TMD or ticket file that is not the one read, byte for byte
    HashStatus hash;  // a content's
};

// Whether an alternate fails: a TMD or ticket that differs, a content
// whose hash is not its record's.
inline bool alternateFails(const FolderAlternate& alternate) {
    return alternate.differs || alternate.hash == HashStatus::Mismatch || alternate.hash == HashStatus::Missing;
}

struct FolderParts {
    bool hasTicket;
    std::uint8_t* ticketFile;  // its first bytes: the ticket, then its certificates (osAlloc)
    std::size_t ticketFileLength;
    char (*names)[ContentFileNameRoom];  // by record: the content's file, "" where none is there
    ContentForm* forms;                  // by record, under /v
    FolderAlternate* alternates;         // under /v (osAlloc)
    std::size_t alternateCount;
};

// ---- What the reports show ----

// Installed sizes in bytes, each sum saturating at the largest 64-bit value.
struct TitleSizes {
    std::uint64_t own;     // the title's own contents, one TMD header and one ticket
    std::uint64_t shared;  // contents shared with other titles
    std::uint64_t total;   // own + shared
    // The same in 128 KiB blocks: whole blocks plus one, so 131072 bytes are 2.
    std::uint64_t ownBlocks;
    std::uint64_t totalBlocks;
};

// A field is absent when the bytes read do not reach it (a short ticket).
struct TicketFacts {
    bool hasTicketId;
    std::uint64_t ticketId;
    bool hasConsoleId;
    std::uint32_t consoleId;  // not 0: the ticket is bound to one console
    bool hasCommonKey;
    std::uint8_t commonKeyIndex;
    bool hasTitleId;  // the ticket's own, which a WAD's TMD should share
    std::uint64_t titleId;
    bool hasVersion;
    std::uint16_t version;
};

struct WadFacts {
    std::uint8_t type[WadTypeLength];  // "Is" or "ib"
    std::uint64_t fileLength;
    std::uint64_t expectedLength;  // where the footer ends, by the header's section lengths
};

// A title's names from its banner (under /v), by language: Japanese,
// English, German, French, Spanish, Italian, Dutch, Simplified Chinese,
// Traditional Chinese, Korean. A name is its code points, with a line
// break kept as it is; an unpaired surrogate reads U+FFFD.
struct BannerFacts {
    bool present;  // some slot holds a name
    std::uint8_t lengths[BannerLanguageCount];  // 0 where a slot holds none
    char32_t names[BannerLanguageCount][BannerNameUnits];
};

struct TitleFacts {
    FileKind kind;
    std::uint32_t titleHigh;
    std::uint32_t titleLow;
    std::uint8_t code[TitleCodeLength];  // the low half's bytes, raw
    bool hasVersion;                     // false only for a ticket too short to hold it
    std::uint16_t version;
    // A TMD's, bare or in a WAD.
    std::uint8_t maker[MakerCodeLength];
    std::uint64_t systemVersion;  // the IOS the title runs on, as a title ID
    std::uint16_t ios;            // its low 16 bits: the IOS number, as written
    std::uint16_t region;
    std::uint16_t contentCount;
    ByteSpan contents;  // contentCount records, read with decodeContent
    TitleSizes sizes;
    // Contents whose bytes a WAD ends before, or a title folder has no file
    // for, as the file's length and the folder's names tell without /v.
    std::uint16_t contentsLacking;
    // A bare ticket's, or the one in a WAD's ticket section or a title
    // folder's ticket file; a title folder may have none.
    bool hasTicket;
    TicketFacts ticket;
    // A title folder's content files, by record; null for a single file.
    const FolderParts* folder;
    WadFacts wad;
    // What verification found; null without /v.
    const VerifyFacts* verify;
    // Under /v, the names in content 0's banner, when it was read.
    BannerFacts banner;
};

struct ContentFacts {
    std::uint32_t id;
    std::uint16_t index;
    std::uint16_t type;
    bool shared;
    std::uint64_t size;
    const std::uint8_t* sha1;  // ContentHashLength bytes inside the record
};

// Content record `index` (below the count the records were read for).
ContentFacts decodeContent(ByteSpan records, std::size_t index);
