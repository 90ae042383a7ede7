// SPDX-License-Identifier: MIT
#include "titlefiles/classify.h"

#include <cstring>

#include "titlefiles/formats.h"

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

namespace {

bool bytesMatch(ByteSpan buf, std::size_t off, const void* expected, std::size_t n) {
    return off <= buf.size() && n <= buf.size() - off && std::memcmp(buf.data() + off, expected, n) == 0;
}

}  // namespace

FileKind classifyHeader(ByteSpan header) {
    return classifyStart(header, header.size() == WadReadLength);
}

FileKind classifyStart(ByteSpan header, bool wadLength) {
    // Only the WAD prefix decides a long file: a TMD with many records, or
    // a ticket or TMD with its certificate chain, reaches this length too.
    if (wadLength &&
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
