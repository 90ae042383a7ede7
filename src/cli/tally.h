// SPDX-License-Identifier: MIT
// The tally at the end of a run of one line a file (/l) or of verification
// (/v): how many files it reported, and what they came to.
#pragma once

#include "titlefiles/facts.h"

// What a file reported came to, in the order the tally names them: under
// /v genuine, unproven, failed; without it ok, incomplete; then the files
// not read, and under /r the entries a walk passed over.
enum Tallied {
    TalliedGenuine,
    TalliedOk,
    TalliedUnproven,
    TalliedIncomplete,
    TalliedFailed,
    TalliedNotRead,
    TalliedSkipped,
    TalliedCount
};

struct Tally {
    unsigned files;
    unsigned count[TalliedCount];
    bool walked;  // a folder was walked
};

// Counts a file reported: one that could not be read, or under /v its
// verdict, or without it whether contents are lacking.
void countFile(Tally* tally, bool notRead, Verdict verdict, std::uint16_t contentsLacking);

// One line on standard error at the end of a run of /l or /v over more
// than one file or a folder walked: on a terminal always, elsewhere only
// when a file was not genuine or ok, so that a clean run stays quiet.
// `stopped`: a failing file ended the run.
void printTally(const Tally& tally, bool stopped);
