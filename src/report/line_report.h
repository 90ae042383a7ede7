// SPDX-License-Identifier: MIT
// One line a file (/l): tab-separated fields, the file's name last, so
// that a collection reads at a glance and a line is always one line of
// the same fields.
#pragma once

#include "titlefiles/facts.h"

// The line of a title reported, named by currentFileName: its kind, title
// ID, code or system name, version, result and, under /v, its banner name.
void printTitleLine(const TitleFacts& facts);

// The line of a file that failed: its result, "cannot read" and the like,
// followed by ": " and `reason` when that is given.
void printFailureLine(const char* result, const char* reason);

