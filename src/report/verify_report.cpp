// SPDX-License-Identifier: MIT
// The lines /v adds to a text report, and the words JSON names its findings by.
#include "report/verify_report.h"

#include "common/names.h"
#include "common/output.h"
#include "titlefiles/keyset.h"

namespace {

const char* const SignatureWords[] = {nullptr,        "valid",      "invalid", "fakesigned",
                                      "unverifiable", "unanchored", "missing"};
const char* const ContentsWords[] = {nullptr, "ok", "damaged", "incomplete", "no-key", "console-bound", "not-in-file"};
const char* const HashWords[] = {nullptr, "ok", "mismatch", "missing"};
const char* const VerdictWords[] = {nullptr, "genuine", "failed", "unproven"};
const char* const FormWords[] = {nullptr, "encrypted", "decrypted"};

// Each table names every value of its enum, in order.
template <typename Enum, std::size_t Count>
constexpr bool namesEvery(const char* const (&)[Count]) {
    return Count == static_cast<std::size_t>(Enum::Last) + 1;
}
static_assert(namesEvery<SignatureStatus>(SignatureWords) && namesEvery<ContentsStatus>(ContentsWords) &&
              namesEvery<HashStatus>(HashWords) && namesEvery<Verdict>(VerdictWords) &&
              namesEvery<ContentForm>(FormWords));

char* putSignature(char* at, const char* what, SignatureStatus status) {
    at = putLiteral(putText(at, what), " ");
    const char* word = signatureWord(status);
    return putText(at, word != nullptr ? word : "missing");
}

char* putCount(char* at, unsigned part, unsigned whole, const char* word) {
    at = putLiteral(putDecimal(putLiteral(at, "Contents: "), part), " of ");
    return putText(putLiteral(putDecimal(at, whole), " "), word);
}

// A title folder's other files that fail, of the TMD and ticket or of the
// contents, in parentheses: " (tmd differs)", " (00000000.app, 0000000A)".
void printFailingFiles(const TitleFacts& facts, bool contents) {
    if (facts.folder == nullptr)
        return;
    const char* between = " (";
    for (std::size_t i = 0; i < facts.folder->alternateCount; ++i) {
        const FolderAlternate& other = facts.folder->alternates[i];
        if (!alternateFails(other) || (other.part == FolderPart::Content) != contents)
            continue;
        outText(between);
        outText(other.file);
        if (!contents)
            outText(" differs");
        between = ", ";
    }
    if (between[0] == ',')
        outChar(')');
}

// Only a valid TMD makes its hashes the title's: under any other, matching
// them proves the contents are what that TMD says, no more.
char* putContents(char* at, const VerifyFacts& v, bool tmdValid) {
    switch (v.contents) {
    case ContentsStatus::Ok:
        return putLiteral(putCount(at, v.contentCount, v.contentCount, tmdValid ? "intact" : "match the TMD"), "\n");
    case ContentsStatus::Damaged:
        at = putCount(at, v.damaged, v.contentCount, "damaged");
        if (v.missing > 0)
            at = putLiteral(putDecimal(putLiteral(at, ", "), v.missing), " missing");
        return at;  // the failing files and the key hint follow
    case ContentsStatus::Incomplete:
        return putLiteral(putCount(at, v.missing, v.contentCount, "missing"), "\n");
    case ContentsStatus::NoKey:
        at = putLiteral(at, "Contents: not checked, no ");
        if (v.keyIndex < CommonKeyCount)
            return putLiteral(putText(at, CommonKeyNames[v.keyIndex]), " key\n");
        return putLiteral(putDecimal(putLiteral(at, "common key "), v.keyIndex), "\n");
    case ContentsStatus::ConsoleBound:
        return putLiteral(at, "Contents: not checked, the ticket is bound to one console\n");
    case ContentsStatus::NotInFile:
        return putLiteral(at, "Contents: not in this file\n");
    case ContentsStatus::None:
        break;
    }
    return putLiteral(at, "Contents: not checked, no ticket\n");
}

// The end of a damaged contents' line, after its counts.
void printDamagedEnd(const TitleFacts& facts) {
    const VerifyFacts& v = *facts.verify;
    printFailingFiles(facts, true);
    if (v.keyInDoubt && v.keyIndex < CommonKeyCount) {
        outText(" (every one: is the ");
        outText(CommonKeyNames[v.keyIndex]);
        outText(" key right?)");
    }
    outChar('\n');
}

}  // namespace

int shownBannerSlot(const BannerFacts& banner) {
    constexpr int English = 1;
    if (banner.lengths[English] > 0)
        return English;
    for (std::size_t i = 0; i < BannerLanguageCount; ++i)
        if (banner.lengths[i] > 0)
            return static_cast<int>(i);
    return -1;
}

const char* signatureWord(SignatureStatus status) {
    return SignatureWords[static_cast<int>(status)];
}

const char* contentsWord(ContentsStatus status) {
    return ContentsWords[static_cast<int>(status)];
}

const char* hashWord(HashStatus status) {
    return HashWords[static_cast<int>(status)];
}

const char* verdictWord(Verdict verdict) {
    return VerdictWords[static_cast<int>(verdict)];
}

const char* formWord(ContentForm form) {
    return FormWords[static_cast<int>(form)];
}

void printVerifyLines(const TitleFacts& facts) {
    const VerifyFacts& v = *facts.verify;
    if (int slot = shownBannerSlot(facts.banner); slot >= 0) {
        outText("Name: ");
        writeShownText(facts.banner.names[slot], facts.banner.lengths[slot]);
        outChar('\n');
    }
    char* start = outReserve(VerifyLineLongest);
    char* at = putLiteral(start, "Signatures: ");
    if (holdsTmd(facts.kind))
        at = putSignature(at, "TMD", v.tmdSignature);
    if (holdsTmd(facts.kind) && holdsTicket(facts.kind))
        at = putLiteral(at, ", ");
    if (holdsTicket(facts.kind))
        at = putSignature(at, "ticket", v.ticketSignature);
    outCommit(static_cast<std::size_t>(at - start));
    printFailingFiles(facts, false);
    if (v.rootInDoubt)
        outText(" (the CA does not verify under root.key: a wrong root.key or a forged CA)");
    outChar('\n');
    start = at = outReserve(VerifyLineLongest);
    if (v.hasTicketMatch && !v.ticketMatches)
        at = putLiteral(at, "Ticket: for another title\n");
    if (holdsTmd(facts.kind))
        at = putContents(at, v, v.tmdSignature == SignatureStatus::Valid);
    outCommit(static_cast<std::size_t>(at - start));
    if (holdsTmd(facts.kind) && v.contents == ContentsStatus::Damaged)
        printDamagedEnd(facts);
    const char* verdict = verdictWord(v.verdict);
    outText("Verdict: ");
    outText(verdict != nullptr ? verdict : "unproven");
    outChar('\n');
}
