// SPDX-License-Identifier: MIT
#include "titlefiles/verify.h"

#include <algorithm>
#include <cstring>

#include "platform/os.h"
#include "titlefiles/loader.h"

const char* const CommonKeyNames[CommonKeyCount] = {"standard", "korean", "vwii"};

namespace {

// The certificates after a bare ticket or TMD, or in a WAD's chain.
ByteSpan certificatesOf(const LoadedTitle& title) {
    const Capture& c = title.capture;
    std::uint64_t offset = title.kind == FileKind::Wad    ? WadHeaderSectionLength
                           : title.kind == FileKind::Tmd ? title.tmd.size()
                                                          : TicketLength;
    std::uint64_t length = title.kind == FileKind::Wad ? readBe32(title.start, WadCertChainLengthOffset) : CertChainLimit;
    std::uint64_t inFile = c.length > offset ? c.length - offset : 0;
    auto n = static_cast<std::size_t>(std::min({length, std::uint64_t{CertChainLimit}, inFile}));
    ByteSpan certs;
    return capturedBytes(c, offset, n, &certs) ? certs : ByteSpan{};
}

bool ticketSignature(const LoadedTitle& title, const CertificateSet& certs, const KeySet& keys,
                     SignatureStatus* status) {
    *status = SignatureStatus::Missing;
    return title.ticket.size() < TicketLength ||
           checkSignature(title.ticket.first(TicketLength), Signer::Xs, certs, keys, status);
}

// A WAD's contents as its walk found them; a bare TMD's are not in its file.
void judgeContents(LoadedTitle* title, VerifyFacts* facts) {
    WadContents& walk = title->contents;
    facts->contents = title->kind == FileKind::Wad ? ContentsStatus::None : ContentsStatus::NotInFile;
    if (title->kind != FileKind::Wad || !walk.planned || walk.failed)
        return;
    endWadContents(&walk, title->capture.length);
    if (walk.failed)
        return;
    facts->contents = walk.keyStatus;
    facts->keyIndex = walk.keyIndex;
    facts->contentCount = walk.count;
    facts->hashes = walk.hashes;
    walk.hashes = nullptr;
    if (walk.keyStatus != ContentsStatus::Ok)
        return;
    std::size_t withBytes = 0;
    for (std::size_t i = 0; i < walk.count; ++i) {
        facts->damaged += facts->hashes[i] == HashStatus::Mismatch ? 1 : 0;
        facts->missing += facts->hashes[i] == HashStatus::Missing ? 1 : 0;
        std::uint64_t size = readBe64(walk.records, i * ContentRecordLength + ContentSizeOffset);
        withBytes += facts->hashes[i] != HashStatus::Missing && size > 0 ? 1 : 0;
    }
    facts->contents = facts->damaged > 0   ? ContentsStatus::Damaged
                      : facts->missing > 0 ? ContentsStatus::Incomplete
                                           : ContentsStatus::Ok;
    facts->keyInDoubt = facts->damaged > 0 && facts->damaged == withBytes && facts->ticketMatches;
}

bool holdsSignature(const LoadedTitle& title, bool ticket) {
    return ticket ? title.kind != FileKind::Tmd : title.kind != FileKind::Ticket;
}

Verdict verdictOf(const LoadedTitle& title, const VerifyFacts& f) {
    bool tmd = holdsSignature(title, false);
    bool ticket = holdsSignature(title, true);
    bool wad = title.kind == FileKind::Wad;
    if ((tmd && f.tmdSignature == SignatureStatus::Invalid) || (ticket && f.ticketSignature == SignatureStatus::Invalid) ||
        (f.hasTicketMatch && !f.ticketMatches) || f.contents == ContentsStatus::Damaged ||
        f.contents == ContentsStatus::Incomplete)
        return Verdict::Failed;
    bool proven = (!tmd || f.tmdSignature == SignatureStatus::Valid) &&
                  (!ticket || f.ticketSignature == SignatureStatus::Valid) &&
                  (!wad || (f.hasTicketMatch && f.ticketMatches && f.contents == ContentsStatus::Ok));
    return proven ? Verdict::Genuine : Verdict::Unproven;
}

}  // namespace

bool verifyTitle(LoadedTitle* title, const KeySet& keys, VerifyFacts* facts) {
    *facts = VerifyFacts{};
    facts->verified = true;
    CertificateSet certs;
    parseCertificates(certificatesOf(*title), &certs);
    if (holdsSignature(*title, true) && !ticketSignature(*title, certs, keys, &facts->ticketSignature))
        return false;
    if (holdsSignature(*title, false) && !checkSignature(title->tmd, Signer::Cp, certs, keys, &facts->tmdSignature))
        return false;
    if (title->kind == FileKind::Wad && title->ticket.size() >= TicketTitleIdHighOffset + TitleIdLength) {
        facts->hasTicketMatch = true;
        facts->ticketMatches = std::memcmp(title->ticket.data() + TicketTitleIdHighOffset,
                                           title->tmd.data() + TmdTitleIdHighOffset, TitleIdLength) == 0;
    }
    judgeContents(title, facts);
    if (title->contents.failed)
        return false;
    facts->verdict = verdictOf(*title, *facts);
    return true;
}

void releaseVerifyFacts(VerifyFacts* facts) {
    osFree(facts->hashes);
    facts->hashes = nullptr;
}
