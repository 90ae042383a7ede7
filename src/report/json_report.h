// SPDX-License-Identifier: MIT
// JSON Lines: one object on one line per file, for programs to read. The
// fields are documented in docs/json.md.
#pragma once

#include "titlefiles/facts.h"

// The object for a title reported, named by currentFileName.
void printTitleJson(const TitleFacts& facts);

// The object for a file that failed: {"file":...,"error":"<error>",
// "reason":"<reason>","cause":"<cause>"}: a fixed word for programs, the
// cause for people, and the cause as a fixed word for programs.
void printFailureJson(const char* error, const char* reason, const char* cause);
