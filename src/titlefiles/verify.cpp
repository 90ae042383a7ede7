// SPDX-License-Identifier: MIT
#include "titlefiles/verify.h"

#include <algorithm>
#include <cstring>

#include "platform/os.h"
#include "titlefiles/loader.h"

const char* const CommonKeyNames[CommonKeyCount] = {"standard", "korean", "vwii"};

namespace {

// The certificates after a bare ticket or TMD, or in a WAD's chain: n
// bytes at `offset` of the file, as far as it holds them.
ByteSpan certificatesAt(const Capture& c, std::uint64_t offset, std::uint64_t length) {
    std::uint64_t inFile = c.length > offset ? c.length - offset : 0;
    auto n = static_cast<std::size_t>(std::min({length, std::uint64_t{CertChainLimit}, inFile}));
    ByteSpan certs;
    return capturedBytes(c, offset, n, &certs) ? certs : ByteSpan{};
}

// A title folder's chain is the TMD's certificates and the ticket's together.
void parseCertificatesOf(const LoadedTitle& title, CertificateSet* certs) {
    const Capture& c = title.capture;
    switch (title.kind) {
    case FileKind::Wad:
        parseCertificates(certificatesAt(c, WadHeaderSectionLength, readBe32(title.start, WadCertChainLengthOffset)),
                          certs);
        return;
    case FileKind::Ticket:
        parseCertificates(certificatesAt(c, TicketLength, CertChainLimit), certs);
        return;
    default:
        break;
    }
    parseCertificates(certificatesAt(c, title.tmd.size(), CertChainLimit), certs);
    const FolderParts* folder = title.folder;
    if (folder != nullptr && folder->ticketFileLength > TicketLength)
        addCertificates(ByteSpan(folder->ticketFile, folder->ticketFileLength).subspan(TicketLength), certs);
}

bool ticketSignature(const LoadedTitle& title, const CertificateSet& certs, const KeySet& keys,
                     SignatureStatus* status, bool* rootRefused) {
    *status = SignatureStatus::Missing;
    return title.ticket.size() < TicketLength ||
           checkSignature(title.ticket.first(TicketLength), Signer::Xs, certs, keys, status, rootRefused);
}

// A signature invalid for another reason than the root's link.
bool invalidOtherwise(SignatureStatus status, bool rootRefused) {
    return status == SignatureStatus::Invalid && !rootRefused;
}

// A title folder's other files: a content whose other file fails is
// damaged (once, however many fail); a TMD or ticket file that differs
// fails the title. Other files come in the order of their records.
void countOtherFiles(const FolderParts* folder, VerifyFacts* facts) {
    if (folder == nullptr)
        return;
    std::size_t counted = SIZE_MAX;
    for (std::size_t i = 0; i < folder->alternateCount; ++i) {
        const FolderAlternate& other = folder->alternates[i];
        if (!alternateFails(other))
            continue;
        if (other.part != FolderPart::Content) {
            facts->copyDiffers = true;
        } else if (other.record != counted && facts->hashes[other.record] != HashStatus::Mismatch) {
            counted = other.record;
            ++facts->damaged;
        }
    }
}

// A WAD's contents as its walk found them, a title folder's as its files
// did; a bare TMD's are not in its file. Contents not checked (they
// needed the key) leave the contents as the key left them.
void judgeContents(LoadedTitle* title, VerifyFacts* facts) {
    WadContents& walk = title->contents;
    bool withContents = title->kind == FileKind::Wad || title->kind == FileKind::Folder;
    facts->contents = withContents ? ContentsStatus::None : ContentsStatus::NotInFile;
    if (!withContents || !walk.planned || walk.failed)
        return;
    if (title->kind == FileKind::Wad)
        endWadContents(&walk);
    if (walk.failed)
        return;
    facts->keyIndex = walk.keyIndex;
    facts->contentCount = walk.count;
    facts->hashes = walk.hashes;
    walk.hashes = nullptr;
    std::size_t withBytes = 0;
    std::size_t unchecked = 0;
    for (std::size_t i = 0; i < walk.count; ++i) {
        facts->damaged += facts->hashes[i] == HashStatus::Mismatch ? 1 : 0;
        facts->missing += facts->hashes[i] == HashStatus::Missing ? 1 : 0;
        unchecked += facts->hashes[i] == HashStatus::Unchecked ? 1 : 0;
        std::uint64_t size = readBe64(walk.records, i * ContentRecordLength + ContentSizeOffset);
        withBytes += facts->hashes[i] != HashStatus::Missing && size > 0 ? 1 : 0;
    }
    // A WAD's contents are checked all or none: without the key, none.
    bool keyMissing = unchecked > 0 || (title->kind == FileKind::Wad && walk.keyStatus != ContentsStatus::Ok);
    facts->contents = facts->damaged > 0   ? ContentsStatus::Damaged
                      : facts->missing > 0 ? ContentsStatus::Incomplete
                      : keyMissing         ? walk.keyStatus
                                           : ContentsStatus::Ok;
    facts->keyInDoubt = facts->damaged > 0 && facts->damaged == withBytes && facts->ticketMatches &&
                        walk.keyStatus == ContentsStatus::Ok;
    countOtherFiles(title->folder, facts);
    if (facts->damaged > 0)
        facts->contents = ContentsStatus::Damaged;
}

bool holdsSignature(const LoadedTitle& title, bool ticket) {
    return ticket ? holdsTicket(title.kind) : holdsTmd(title.kind);
}

Verdict verdictOf(const LoadedTitle& title, const VerifyFacts& f) {
    bool tmd = holdsSignature(title, false);
    bool ticket = holdsSignature(title, true);
    bool wad = title.kind == FileKind::Wad || title.kind == FileKind::Folder;
    if ((tmd && f.tmdSignature == SignatureStatus::Invalid) || (ticket && f.ticketSignature == SignatureStatus::Invalid) ||
        (f.hasTicketMatch && !f.ticketMatches) || f.copyDiffers || f.contents == ContentsStatus::Damaged ||
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
    parseCertificatesOf(*title, &certs);
    bool ticketRefused = false;
    bool tmdRefused = false;
    if (holdsSignature(*title, true) && !ticketSignature(*title, certs, keys, &facts->ticketSignature, &ticketRefused))
        return false;
    if (holdsSignature(*title, false) &&
        !checkSignature(title->tmd, Signer::Cp, certs, keys, &facts->tmdSignature, &tmdRefused))
        return false;
    facts->rootInDoubt = (ticketRefused || tmdRefused) && !invalidOtherwise(facts->ticketSignature, ticketRefused) &&
                         !invalidOtherwise(facts->tmdSignature, tmdRefused);
    if (holdsTmd(title->kind) && holdsTicket(title->kind) &&
        title->ticket.size() >= TicketTitleIdHighOffset + TitleIdLength) {
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
