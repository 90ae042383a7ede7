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
    // title version just past the TMD-sized read, so take those bytes too
    // when the file has them; for a TMD they are read again as part of its
    // first content record, which does no harm.
    if (fileLength >= static_cast<std::int64_t>(TicketVersionEnd))
        return TicketVersionEnd;
    return TmdHeaderLength;
}

namespace {

bool bytesMatch(ByteSpan buf, std::size_t off, const void* expected, std::size_t n) {
    return off <= buf.size() && n <= buf.size() - off && std::memcmp(buf.data() + off, expected, n) == 0;
}

std::uint64_t alignToSection(std::uint64_t length) {
    return (length + WadSectionAlignment - 1) / WadSectionAlignment * WadSectionAlignment;
}

}  // namespace

FileKind classifyHeader(ByteSpan header) {
    if (header.size() == WadReadLength) {
        if (bytesMatch(header, 0, WadPrefixIs, WadPrefixLength) || bytesMatch(header, 0, WadPrefixIb, WadPrefixLength))
            return FileKind::Wad;
        return FileKind::Unknown;
    }
    if (bytesMatch(header, IssuerTailOffset, TicketIssuerTail, IssuerTailLength))
        return FileKind::Ticket;
    if (bytesMatch(header, IssuerTailOffset, TmdIssuerTail, IssuerTailLength))
        return FileKind::Tmd;
    return FileKind::Unknown;
}

std::uint64_t wadTmdOffset(ByteSpan header) {
    return WadHeaderSectionLength + WadCertChainLength + alignToSection(readBe32(header, WadCrlLengthOffset)) +
           alignToSection(readBe32(header, WadTicketLengthOffset));
}
