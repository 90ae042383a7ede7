// SPDX-License-Identifier: MIT
// The verdict: signatures along their chains, the ticket's title, the
// contents' hashes.
#include "titlefiles/verify.h"

#include <algorithm>
#include <cstring>

#include "platform/os.h"

const char* const CommonKeyNames[CommonKeyCount] = {"standard", "korean", "vwii"};

namespace {

// The certificates the file carries; a title folder's are the TMD's and
// the ticket's together.
void parseCertificatesOf(const LoadedTitle& title, CertificateSet* certs) {
    parseCertificates(layoutCertificates(title.layout), certs);
    const FolderParts* folder = title.folder;
    if (folder != nullptr && folder->ticketFileLength > TicketLength)
        addCertificates(ByteSpan(folder->ticketFile, folder->ticketFileLength).subspan(TicketLength), certs);
}

bool ticketSignature(const LoadedTitle& title, const CertificateSet& certs, const KeySet& keys,
                     SignatureStatus* status, bool* rootRefused) {
    *status = SignatureStatus::Missing;
    return title.parts.ticket.size() < TicketLength ||
           checkSignature(title.parts.ticket.first(TicketLength), Signer::Xs, certs, keys, status, rootRefused);
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

// The contents as a WAD's walk or a title folder's files found them; a
// bare TMD's are not in its file. Contents not checked (they needed the
// key) leave the contents as the key left them.
void judgeContents(const LoadedTitle& title, VerifyFacts* facts) {
    const ContentResults& results = title.contents;
    facts->contents = results.checked ? ContentsStatus::None : ContentsStatus::NotInFile;
    if (!results.checked || results.failed)
        return;
    facts->keyIndex = results.keyIndex;
    facts->contentCount = results.count;
    facts->hashes = results.hashes;
    std::size_t withBytes = 0;
    std::size_t unchecked = 0;
    for (std::size_t i = 0; i < results.count; ++i) {
        facts->damaged += results.hashes[i] == HashStatus::Mismatch ? 1 : 0;
        facts->missing += results.hashes[i] == HashStatus::Missing ? 1 : 0;
        unchecked += results.hashes[i] == HashStatus::Unchecked ? 1 : 0;
        std::uint64_t size = readBe64(results.records, i * ContentRecordLength + ContentSizeOffset);
        withBytes += results.hashes[i] != HashStatus::Missing && size > 0 ? 1 : 0;
    }
    bool keyMissing = unchecked > 0 || (results.allOrNone && results.keyStatus != ContentsStatus::Ok);
    facts->contents = facts->damaged > 0   ? ContentsStatus::Damaged
                      : facts->missing > 0 ? ContentsStatus::Incomplete
                      : keyMissing         ? results.keyStatus
                                           : ContentsStatus::Ok;
    facts->keyInDoubt = facts->damaged > 0 && facts->damaged == withBytes && facts->ticketMatches &&
                        results.keyStatus == ContentsStatus::Ok;
    countOtherFiles(title.folder, facts);
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
        !checkSignature(title->parts.tmd, Signer::Cp, certs, keys, &facts->tmdSignature, &tmdRefused))
        return false;
    facts->rootInDoubt = (ticketRefused || tmdRefused) && !invalidOtherwise(facts->ticketSignature, ticketRefused) &&
                         !invalidOtherwise(facts->tmdSignature, tmdRefused);
    if (holdsTmd(title->kind) && holdsTicket(title->kind) &&
        title->parts.ticket.size() >= TicketTitleIdHighOffset + TitleIdLength) {
        facts->hasTicketMatch = true;
        facts->ticketMatches = std::memcmp(title->parts.ticket.data() + TicketTitleIdHighOffset,
                                           title->parts.tmd.data() + TmdTitleIdHighOffset, TitleIdLength) == 0;
    }
    judgeContents(*title, facts);
    if (title->contents.failed)
        return false;
    facts->verdict = verdictOf(*title, *facts);
    return true;
}
