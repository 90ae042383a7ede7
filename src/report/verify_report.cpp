// SPDX-License-Identifier: MIT
#include "report/verify_report.h"

#include "common/output.h"

namespace {

const char* const SignatureWords[] = {nullptr, "valid", "invalid", "fakesigned", "unverifiable", "unsupported"};
const char* const ContentsWords[] = {nullptr, "ok", "damaged", "incomplete", "no-key", "console-bound", "not-in-file"};
const char* const HashWords[] = {nullptr, "ok", "mismatch", "missing"};

char* putSignature(char* at, const char* what, SignatureStatus status) {
    at = putLiteral(putText(at, what), " ");
    const char* word = signatureWord(status);
    return putText(at, word != nullptr ? word : "missing");
}

char* putCount(char* at, unsigned part, unsigned whole, const char* word) {
    at = putLiteral(putDecimal(putLiteral(at, "Contents: "), part), " of ");
    return putLiteral(putText(putLiteral(putDecimal(at, whole), " "), word), "\n");
}

char* putContents(char* at, const VerifyFacts& v) {
    switch (v.contents) {
    case ContentsStatus::Ok:
        return putCount(at, v.contentCount, v.contentCount, "intact");
    case ContentsStatus::Damaged:
        return putCount(at, v.damaged, v.contentCount, "damaged");
    case ContentsStatus::Incomplete:
        return putCount(at, v.missing, v.contentCount, "missing");
    case ContentsStatus::NoKey:
        at = putLiteral(at, "Contents: not checked, no ");
        if (v.missingKey < CommonKeyCount)
            return putLiteral(putText(at, CommonKeyNames[v.missingKey]), " key\n");
        return putLiteral(putDecimal(putLiteral(at, "common key "), v.missingKey), "\n");
    case ContentsStatus::ConsoleBound:
        return putLiteral(at, "Contents: not checked, the ticket is bound to one console\n");
    case ContentsStatus::NotInFile:
        return putLiteral(at, "Contents: not in this file\n");
    case ContentsStatus::None:
        break;
    }
    return putLiteral(at, "Contents: not checked, no ticket\n");
}

}  // namespace

const char* signatureWord(SignatureStatus status) {
    return SignatureWords[static_cast<int>(status)];
}

const char* contentsWord(ContentsStatus status) {
    return ContentsWords[static_cast<int>(status)];
}

const char* hashWord(HashStatus status) {
    return HashWords[static_cast<int>(status)];
}

char* putVerifyLines(char* at, const TitleFacts& facts) {
    const VerifyFacts& v = *facts.verify;
    at = putLiteral(at, "Signatures: ");
    if (facts.kind != FileKind::Ticket)
        at = putSignature(at, "TMD", v.tmdSignature);
    if (facts.kind == FileKind::Wad)
        at = putLiteral(at, ", ");
    if (facts.kind != FileKind::Tmd)
        at = putSignature(at, "ticket", v.ticketSignature);
    at = putLiteral(at, "\n");
    if (v.hasTicketMatch && !v.ticketMatches)
        at = putLiteral(at, "Ticket: for another title\n");
    return facts.kind == FileKind::Ticket ? at : putContents(at, v);
}
