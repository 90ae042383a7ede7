// SPDX-License-Identifier: MIT
// The layout decoder: classifies a title file once, plans the ranges its
// kind needs, and finds its parts among them when the file ends.
#include "titlefiles/layout.h"

#include <algorithm>
#include <cstring>

namespace {

// The prefixes a WAD is accepted by give its chain one length, which the
// start holds.
static_assert(WadHeaderSectionLength + WadCertChainLength <= WadReadLength);

bool bytesMatch(ByteSpan buf, std::size_t off, const void* expected, std::size_t n) {
    return holds(buf, off, n) && std::memcmp(buf.data() + off, expected, n) == 0;
}

// How much of `length` bytes at `offset` lies inside the file, when its
// length is known: nothing past the end is ever kept or read.
std::size_t lengthInFile(const Layout* l, std::uint64_t offset, std::size_t length) {
    if (!l->lengthKnown)
        return length;
    return static_cast<std::size_t>(std::min<std::uint64_t>(length, l->length - std::min(offset, l->length)));
}

// Copies into a range what the start holds of it: a range planned once
// the start is whole may begin inside it.
bool fillFromStart(Layout* l, KeptRange* range) {
    ByteSpan start = keptBytes(l->ranges[StartBytes]);
    fillRange(range, 0, start.data(), start.size());
    return true;
}

bool planPart(Layout* l, LayoutPart part, std::uint64_t offset, std::size_t length) {
    return keepRange(&l->ranges[part], offset, lengthInFile(l, offset, length)) && fillFromStart(l, &l->ranges[part]);
}

// The kind, once the start is whole (or the file has ended before it is),
// and the ranges it calls for at once: a WAD's ticket and TMD header where
// its header's section lengths put them, a bare TMD's header at the start,
// and the certificates after a bare ticket.
bool decideKind(Layout* l, bool ended) {
    const KeptRange& start = l->ranges[StartBytes];
    if (l->kindDecided || (!ended && !rangeComplete(start)))
        return true;
    l->kindDecided = true;
    ByteSpan head = keptBytes(start);
    l->kind = classifyHeader(head);
    l->tmdSection = UINT64_MAX;
    switch (l->kind) {
    case FileKind::Wad: {
        l->tmdSection = readBe32(head, WadTmdLengthOffset);
        l->tmdOffset = wadTmdOffset(head);
        l->dataOffset = l->tmdOffset + alignToSection(l->tmdSection);
        l->expectedLength = wadExpectedLength(head);
        l->certOffset = WadHeaderSectionLength;
        l->certLength = readBe32(head, WadCertChainLengthOffset);
        std::size_t ticket = std::min<std::size_t>(l->verifying ? TicketLength : TicketFieldsEnd,
                                                   readBe32(head, WadTicketLengthOffset));
        return planPart(l, TicketBytes, wadTicketOffset(head), ticket) &&
               planPart(l, TmdBytes, l->tmdOffset, TmdHeaderLength);
    }
    case FileKind::Tmd:
        return true;  // its header lies in the start
    case FileKind::Ticket:
        l->certOffset = TicketLength;
        l->certLength = CertChainLimit;
        return !l->verifying || planPart(l, CertBytes, TicketLength, CertChainLimit);
    case FileKind::Unknown:
    case FileKind::Folder:  // never what a file's bytes say
        break;
    }
    return true;
}

// The TMD header, as far as it is kept: a bare TMD's lies in the start, a
// WAD's in a range of its own.
ByteSpan tmdHeader(const Layout* l) {
    return keptBytes(l->ranges[l->kind == FileKind::Tmd ? StartBytes : TmdBytes]);
}

// Once the TMD header is kept: its records follow it, if its section and
// the file hold them; a bare TMD's certificates follow them.
bool decideRecords(Layout* l) {
    ByteSpan header = tmdHeader(l);
    if (l->recordsDecided || !holdsTmd(l->kind) || header.size() < TmdHeaderLength)
        return true;
    l->recordsDecided = true;
    std::size_t length = TmdHeaderLength + std::size_t{readBe16(header, TmdContentCountOffset)} * ContentRecordLength;
    if (length > l->tmdSection) {
        l->failure = Failure::RecordsPastSection;
        return true;
    }
    if (lengthInFile(l, l->tmdOffset, length) < length)
        return true;  // the file ends before them
    l->recordsKept = true;
    KeptRange& tmd = l->ranges[TmdBytes];
    if (l->kind != FileKind::Tmd)
        return growRange(&tmd, length) && fillFromStart(l, &tmd);
    l->certOffset = length;
    l->certLength = CertChainLimit;
    return planPart(l, TmdBytes, 0, length) &&
           (!l->verifying || planPart(l, CertBytes, length, CertChainLimit));
}

bool plan(Layout* l, bool ended) {
    return decideKind(l, ended) && decideRecords(l);
}

// Takes bytes of the file at `offset` into every range they carry on, and
// plans what they call for; ranges planned now take their part of the same
// bytes.
bool feedRanges(Layout* l, std::uint64_t offset, const std::uint8_t* block, std::size_t n) {
    for (int decided = -1; decided != l->kindDecided + l->recordsDecided;) {
        decided = l->kindDecided + l->recordsDecided;
        for (KeptRange& range : l->ranges)
            fillRange(&range, offset, block, n);
        if (!plan(l, false))
            return false;
    }
    return true;
}

// The TMD header where the kind put it, and the records after it.
Failure findTmd(const Layout* l, TitleParts* parts) {
    std::uint64_t offset = l->tmdOffset;
    if (offset > l->length || TmdHeaderLength > l->length - offset)
        return Failure::EndsBeforeTmd;
    ByteSpan header = tmdHeader(l);
    if (header.size() < TmdHeaderLength)
        return Failure::EndsEarly;
    if (l->failure != Failure::None)
        return l->failure;
    std::uint16_t count = readBe16(header, TmdContentCountOffset);
    if (std::size_t{count} * ContentRecordLength > l->length - offset - TmdHeaderLength)
        return Failure::EndsBeforeRecords;
    const KeptRange& tmd = l->ranges[TmdBytes];
    if (!l->recordsKept || !rangeComplete(tmd))
        return Failure::EndsEarly;
    parts->tmd = keptBytes(tmd);
    parts->contentCount = count;
    return Failure::None;
}

}  // namespace

std::size_t headerReadLength(std::int64_t fileLength) {
    if (fileLength < static_cast<std::int64_t>(TmdHeaderLength))
        return 0;
    if (fileLength >= static_cast<std::int64_t>(WadReadLength))
        return WadReadLength;
    if (fileLength == static_cast<std::int64_t>(TicketLength))
        return TicketLength;
    // A ticket with more after it (its certificate chain, usually) keeps its
    // title version and common-key index just past the TMD-sized read, so
    // take those bytes too, as far as the file has them; for a TMD they are
    // read again as part of its first content record, which does no harm.
    if (fileLength >= static_cast<std::int64_t>(TicketFieldsEnd))
        return TicketFieldsEnd;
    return static_cast<std::size_t>(fileLength);
}

FileKind classifyHeader(ByteSpan header) {
    // Only the WAD prefix decides a long file: a TMD with many records, or
    // a ticket or TMD with its certificate chain, reaches this length too.
    if (header.size() == WadReadLength &&
        (bytesMatch(header, 0, WadPrefixIs, WadPrefixLength) || bytesMatch(header, 0, WadPrefixIb, WadPrefixLength)))
        return FileKind::Wad;
    if (bytesMatch(header, IssuerTailOffset, TicketIssuerTail, IssuerTailLength))
        return FileKind::Ticket;
    if (bytesMatch(header, IssuerTailOffset, TmdIssuerTail, IssuerTailLength))
        return FileKind::Tmd;
    return FileKind::Unknown;
}

std::uint64_t alignToSection(std::uint64_t length) {
    return (length + WadSectionAlignment - 1) / WadSectionAlignment * WadSectionAlignment;
}

std::uint64_t wadTicketOffset(ByteSpan header) {
    return WadHeaderSectionLength + WadCertChainLength + alignToSection(readBe32(header, WadCrlLengthOffset));
}

std::uint64_t wadTmdOffset(ByteSpan header) {
    return wadTicketOffset(header) + alignToSection(readBe32(header, WadTicketLengthOffset));
}

std::uint64_t wadExpectedLength(ByteSpan header) {
    std::uint64_t end = 0;
    for (std::size_t field : {WadHeaderLengthOffset, WadCertChainLengthOffset, WadCrlLengthOffset,
                              WadTicketLengthOffset, WadTmdLengthOffset, WadDataLengthOffset})
        end += alignToSection(readBe32(header, field));
    return end + readBe32(header, WadFooterLengthOffset);
}

Failure startLayout(Layout* layout, bool stream, std::int64_t length, bool verifying) {
    if (!stream && length < static_cast<std::int64_t>(TmdHeaderLength))
        return length < 0 ? Failure::NoLength : Failure::TooShort;
    layout->verifying = verifying;
    layout->lengthKnown = !stream;
    layout->length = stream ? 0 : static_cast<std::uint64_t>(length);
    // A regular file's length decides its header read; a stream's first
    // bytes are kept as far as they can decide anything.
    std::size_t start = !stream && !verifying ? headerReadLength(length) : WadReadLength;
    if (!keepRange(&layout->ranges[StartBytes], 0, lengthInFile(layout, 0, start)))
        return Failure::NoMemory;
    return Failure::None;
}

bool feedLayout(Layout* layout, const std::uint8_t* block, std::size_t n) {
    std::uint64_t offset = layout->seen;
    skipLayout(layout, n);
    return feedRanges(layout, offset, block, n);
}

void skipLayout(Layout* layout, std::size_t n) {
    layout->seen += n;
    if (!layout->lengthKnown)
        layout->length = layout->seen;
}

bool nextLayoutRead(const Layout& layout, LayoutRead* read) {
    for (const KeptRange& r : layout.ranges) {
        if (!r.planned || r.have == r.length)
            continue;
        auto part = static_cast<LayoutPart>(&r - layout.ranges);
        *read = {r.offset + r.have, r.length - r.have, r.bytes + r.have, part};
        return true;
    }
    return false;
}

bool layoutReadDone(Layout* layout, const LayoutRead& read) {
    // No other range wants these bytes: ranges overlap only the start,
    // which is read first and copied from as each is planned.
    layout->ranges[read.part].have += read.length;
    return feedRanges(layout, 0, nullptr, 0);
}

bool layoutNeedsMore(const Layout& layout) {
    for (const KeptRange& range : layout.ranges)
        if (range.planned && !rangeComplete(range))
            return true;
    return false;
}

bool wadPartsKept(const Layout& layout, TitleParts* parts) {
    const KeptRange& tmd = layout.ranges[TmdBytes];
    if (layout.kind != FileKind::Wad || !layout.recordsKept || !rangeComplete(tmd))
        return false;
    parts->start = keptBytes(layout.ranges[StartBytes]);
    parts->ticket = keptBytes(layout.ranges[TicketBytes]);
    parts->tmd = keptBytes(tmd);
    parts->contentCount = readBe16(parts->tmd, TmdContentCountOffset);
    return true;
}

Failure endLayout(Layout* layout, TitleParts* parts) {
    *parts = TitleParts{};
    layout->lengthKnown = true;
    if (layout->length < TmdHeaderLength)
        return Failure::TooShort;
    if (!plan(layout, true))
        return Failure::NoMemory;
    ByteSpan start = keptBytes(layout->ranges[StartBytes]);
    parts->start = start;
    switch (layout->kind) {
    case FileKind::Ticket:
        parts->ticket = start.first(std::min(start.size(), TicketLength));
        return Failure::None;
    case FileKind::Wad:
        parts->ticket = keptBytes(layout->ranges[TicketBytes]);
        return findTmd(layout, parts);
    case FileKind::Tmd:
        return findTmd(layout, parts);
    case FileKind::Unknown:
    case FileKind::Folder:  // never what a file's bytes say
        break;
    }
    return Failure::NoSignature;
}

ByteSpan layoutCertificates(const Layout& layout) {
    std::uint64_t offset = layout.certOffset;
    std::uint64_t inFile = layout.length > offset ? layout.length - offset : 0;
    auto n = static_cast<std::size_t>(std::min({layout.certLength, std::uint64_t{CertChainLimit}, inFile}));
    for (const KeptRange& r : layout.ranges) {
        if (!r.planned || offset < r.offset || offset - r.offset > r.have || n > r.have - (offset - r.offset))
            continue;
        return ByteSpan(r.bytes, r.have).subspan(static_cast<std::size_t>(offset - r.offset), n);
    }
    return {};
}

void releaseLayout(Layout* layout) {
    for (KeptRange& range : layout->ranges)
        releaseRange(&range);
}
