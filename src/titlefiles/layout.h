// SPDX-License-Identifier: MIT
// What a title file is and where its parts lie, decided in this one place
// from its bytes as they arrive, however they arrive: a stream's reads of
// any size, a whole file read front to back for verification, or, for a
// report alone, the few reads of a regular file that fetch just the bytes
// planned. The file's first bytes decide its kind once; the kind plans the
// ranges kept (ticket, TMD and records, certificates), and the end of the
// file decides whether they are whole. Memory stays bounded (a few MiB at
// most) however long the file is; everything downstream reads what the
// layout decided.
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/facts.h"
#include "titlefiles/failure.h"
#include "titlefiles/ranges.h"

// How many bytes to read from the start of a file of `fileLength` bytes
// before classifying it, or 0 when no accepted layout is that long (a
// negative length means the file has none).
std::size_t headerReadLength(std::int64_t fileLength);

// Classifies a file's first bytes, as many as headerReadLength asks for (or
// all of a shorter stream): a full WAD read that starts with a WAD prefix
// is a WAD; anything else is a ticket or a TMD by its issuer tail,
// whatever its length.
FileKind classifyHeader(ByteSpan header);

// Rounds a section length up to the 64-byte boundary the next one starts on.
std::uint64_t alignToSection(std::uint64_t length);

// File offsets of a WAD's ticket and TMD, and the offset where its footer
// ends (what a complete file is long), from the section lengths in its header.
std::uint64_t wadTicketOffset(ByteSpan header);
std::uint64_t wadTmdOffset(ByteSpan header);
std::uint64_t wadExpectedLength(ByteSpan header);

// The ranges kept, by what they hold: the start of the file (a WAD's
// header and certificate chain and, in the usual layout, its ticket and
// TMD header; all of a short file), a WAD's ticket, the TMD header with its
// records, and the certificates after a bare ticket or TMD.
enum LayoutPart { StartBytes = 0, TicketBytes, TmdBytes, CertBytes, LayoutPartCount };

struct Layout {
    bool verifying;        // keep the whole ticket and the certificates too
    bool lengthKnown;      // a regular file's length is known before it is read
    std::uint64_t length;  // the file's length when known, else the bytes seen so far
    std::uint64_t seen;    // bytes fed in order so far
    // Decided once the start is whole, or the file has ended before it is.
    FileKind kind;
    bool kindDecided;
    // Decided once the TMD header is kept: whether its records fit its
    // section and the file, and so are kept with it.
    bool recordsDecided;
    bool recordsKept;
    std::uint64_t tmdOffset;       // where the TMD header starts
    std::uint64_t tmdSection;      // the most the TMD may take: a WAD's section length
    std::uint64_t dataOffset;      // a WAD's contents start here
    std::uint64_t expectedLength;  // a WAD's end, by its header
    std::uint64_t certOffset;      // the certificates the signatures are checked along
    std::uint64_t certLength;
    Failure failure;  // proven before the end: records past a WAD's TMD section
    KeptRange ranges[LayoutPartCount];
};

// Starts a layout (zero it first) of a regular file `length` bytes long
// (negative: its length could not be taken), or of a stream. A regular
// file too short to be a title fails at once.
Failure startLayout(Layout* layout, bool stream, std::int64_t length, bool verifying);

// Feeds the file's next `n` bytes, in order; false when memory ran out for
// a range they call for.
bool feedLayout(Layout* layout, const std::uint8_t* block, std::size_t n);

// Counts the file's next `n` bytes, which lie past everything kept.
void skipLayout(Layout* layout, std::size_t n);

// For a regular file read only where needed: the next bytes planned that
// are not kept yet, as a place to read them into. False when none are left.
struct LayoutRead {
    std::uint64_t offset;
    std::size_t length;
    std::uint8_t* into;
    LayoutPart part;
};
bool nextLayoutRead(const Layout& layout, LayoutRead* read);
// The bytes asked for have been read into place; false when memory ran
// out for a range they call for.
bool layoutReadDone(Layout* layout, const LayoutRead& read);

// Whether a range planned is not whole yet.
bool layoutNeedsMore(const Layout& layout);

// The parts of a title: of a file, once every byte has been fed or read.
struct TitleParts {
    ByteSpan start;   // a WAD's header
    ByteSpan ticket;  // a bare ticket, as much of a WAD's as was kept, or a title folder's
    ByteSpan tmd;     // the TMD header and its records
    std::uint16_t contentCount;
};

// A WAD's first bytes, ticket, TMD header and records, once all of them
// are kept: its contents can be walked from there on.
bool wadPartsKept(const Layout& layout, TitleParts* parts);

// Decides, now that the file has ended, whether it is a title of the kind
// its start told, and finds its parts.
Failure endLayout(Layout* layout, TitleParts* parts);

// The certificates kept for the signatures, as far as the file holds them.
ByteSpan layoutCertificates(const Layout& layout);

void releaseLayout(Layout* layout);
