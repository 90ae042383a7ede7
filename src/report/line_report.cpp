// SPDX-License-Identifier: MIT
// The one-line form: a title's identity and its result in a few words.
#include "report/line_report.h"

#include "common/names.h"
#include "common/output.h"
#include "common/runstate.h"
#include "report/identity.h"
#include "report/verify_report.h"
#include "titlefiles/keyset.h"

namespace {

// The identity fields and the longest result, every number at its widest.
constexpr std::size_t LineLongest = 192;

char* putCount(char* at, unsigned part, unsigned whole, const char* what) {
    at = putLiteral(putDecimal(at, part), " of ");
    return putText(putLiteral(putDecimal(at, whole), " contents "), what);
}

// A signature that proves nothing either way: what it is, in a word.
char* putUnproven(char* at, const char* what, SignatureStatus status) {
    at = putLiteral(at, "unproven: ");
    if (status == SignatureStatus::Unanchored)
        return putLiteral(at, "no root.key");
    const char* word = signatureWord(status);
    return putText(putLiteral(putText(at, what), " "), word != nullptr ? word : "missing");
}

// A title folder's TMD or ticket file that differs from the one read.
const char* differingCopy(const TitleFacts& facts) {
    if (facts.folder == nullptr)
        return nullptr;
    for (std::size_t i = 0; i < facts.folder->alternateCount; ++i) {
        const FolderAlternate& other = facts.folder->alternates[i];
        if (other.part != FolderPart::Content && other.differs)
            return other.file;
    }
    return nullptr;
}

// Why a title failed, when it did: the first reason in the order a person
// would look for it.
char* putFailed(char* at, const TitleFacts& facts, bool* found) {
    const VerifyFacts& v = *facts.verify;
    bool tmdInvalid = holdsTmd(facts.kind) && v.tmdSignature == SignatureStatus::Invalid;
    bool ticketInvalid = holdsTicket(facts.kind) && v.ticketSignature == SignatureStatus::Invalid;
    const char* copy = differingCopy(facts);
    *found = true;
    at = putLiteral(at, "failed: ");
    if (tmdInvalid && ticketInvalid)
        return putLiteral(at, "TMD and ticket signatures invalid");
    if (tmdInvalid || ticketInvalid)
        return putLiteral(putText(at, tmdInvalid ? "TMD" : "ticket"), " signature invalid");
    if (v.hasTicketMatch && !v.ticketMatches)
        return putLiteral(at, "another title's ticket");
    if (v.contents == ContentsStatus::Damaged) {
        at = putCount(at, v.damaged, v.contentCount, "damaged");
        return v.missing == 0 ? at : putLiteral(putDecimal(putLiteral(at, ", "), v.missing), " missing");
    }
    if (v.contents == ContentsStatus::Incomplete)
        return putCount(at, v.missing, v.contentCount, "missing");
    if (copy != nullptr)
        return putLiteral(putText(at, copy), " differs");
    *found = false;
    return at;
}

// The result under /v: failed and why, unproven and why, or genuine.
char* putVerified(char* at, const TitleFacts& facts) {
    const VerifyFacts& v = *facts.verify;
    bool found = false;
    char* failed = putFailed(at, facts, &found);
    if (found)
        return failed;
    if (holdsTmd(facts.kind) && v.tmdSignature != SignatureStatus::Valid)
        return putUnproven(at, "TMD", v.tmdSignature);
    if (holdsTicket(facts.kind) && v.ticketSignature != SignatureStatus::Valid)
        return putUnproven(at, "ticket", v.ticketSignature);
    switch (v.contents) {
    case ContentsStatus::NoKey:
        at = putLiteral(at, "unproven: no ");
        if (v.keyIndex < CommonKeyCount)
            return putLiteral(putText(at, CommonKeyNames[v.keyIndex]), " key");
        return putDecimal(putLiteral(at, "common key "), v.keyIndex);
    case ContentsStatus::ConsoleBound:
        return putLiteral(at, "unproven: ticket bound to one console");
    case ContentsStatus::None:
        return putLiteral(at, "unproven: no ticket");
    default:
        break;
    }
    const char* verdict = verdictWord(v.verdict);
    return putText(at, verdict != nullptr ? verdict : "unproven");
}

// The file's name closes the line; a tab or line break in it shows as '?'.
void endLine() {
    writeName(currentFileName);
    outChar('\n');
}

}  // namespace

void printTitleLine(const TitleFacts& facts) {
    char code[TitleCodeLength + 1];
    char identifier[TitleIdentifierSize];
    makePrintableCode(facts.code, TitleCodeLength, code);
    titleIdentifier(facts.titleHigh, facts.titleLow, code, identifier);
    char* start = outReserve(LineLongest);
    char* at = putLiteral(putText(start, kindWord(facts.kind)), "\t");
    at = putLiteral(putHex(at, std::uint64_t{facts.titleHigh} << 32 | facts.titleLow, 16, true), "\t");
    at = putLiteral(putText(at, identifier), "\t");
    at = putLiteral(facts.hasVersion ? putDecimal(at, facts.version) : putLiteral(at, "-"), "\t");
    if (facts.verify != nullptr)
        at = putLiteral(putVerified(at, facts), "\t");
    else if (facts.contentsLacking > 0)
        at = putLiteral(putCount(putLiteral(at, "incomplete: "), facts.contentsLacking, facts.contentCount, "missing"),
                        "\t");
    else
        at = putLiteral(at, "ok\t");
    outCommit(static_cast<std::size_t>(at - start));
    if (facts.verify != nullptr) {
        int slot = shownBannerSlot(facts.banner);
        if (slot >= 0)
            writeShownText(facts.banner.names[slot], facts.banner.lengths[slot]);
        else
            outChar('-');
        outChar('\t');
    }
    endLine();
}

void printFailureLine(const char* result, const char* reason) {
    outText("-\t-\t-\t-\t");
    outText(result);
    if (reason != nullptr) {
        outText(": ");
        outText(reason);
    }
    outText(runOptions.verify ? "\t-\t" : "\t");
    endLine();
}
