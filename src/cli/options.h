// SPDX-License-Identifier: MIT
// Command-line options.
#pragma once

#include "platform/os.h"

enum ArgStatus {
    ArgsOk = 0,
    ArgsMissing = 1,  // neither a file name nor a help or version option
    ArgsUnknown = 2,  // an unknown option; later arguments were not looked at
};

// Sets runOptions from the options among argv[1..argc-1] and blanks each
// recognised option in place, so the file loop skips it. An argument that
// starts with '/' or '-' is an option, decided by its second character
// alone, except "--help" and "--version", and except what is a file name
// whatever it starts with: every argument after "--", an absolute POSIX
// path (a '/' after the first character), and every argument whose entry
// in `expanded` (when given) is true because the entry code made it from a
// wildcard pattern.
ArgStatus parseArguments(int argc, PathChar** argv, const bool* expanded = nullptr);
