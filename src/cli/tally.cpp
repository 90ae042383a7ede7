// SPDX-License-Identifier: MIT
// Counting the files a run reports, and the tally's line.
#include "cli/tally.h"

#include "common/output.h"
#include "common/runstate.h"

namespace {

const char* const TallyWords[TalliedCount] = {"genuine", "ok", "unproven", "incomplete", "failed", "not read",
                                              "skipped"};

}  // namespace

void countFile(Tally* tally, bool notRead, Verdict verdict, std::uint16_t contentsLacking) {
    Tallied as = notRead                      ? TalliedNotRead
                 : !runOptions.verify         ? (contentsLacking > 0 ? TalliedIncomplete : TalliedOk)
                 : verdict == Verdict::Genuine ? TalliedGenuine
                 : verdict == Verdict::Failed  ? TalliedFailed
                                               : TalliedUnproven;
    ++tally->files;
    ++tally->count[as];
}

void printTally(const Tally& tally, bool stopped) {
    bool clean = tally.count[TalliedGenuine] + tally.count[TalliedOk] == tally.files;
    if (runOptions.jsonOutput || (!runOptions.lineOutput && !runOptions.verify) ||
        (tally.files < 2 && !tally.walked) || (clean && !osStderrIsTerminal()))
        return;
    outToStderr(true);
    outText(stopped ? "Tessarlumen: stopped after " : "Tessarlumen: ");
    outDecimal(tally.files);
    outText(tally.files == 1 ? " file" : " files");
    const char* between = ": ";
    for (int i = 0; i < TalliedCount; ++i) {
        if (tally.count[i] == 0)
            continue;
        outText(between);
        outDecimal(tally.count[i]);
        outChar(' ');
        outText(TallyWords[i]);
        between = ", ";
    }
    outChar('\n');
    outToStderr(false);
}
