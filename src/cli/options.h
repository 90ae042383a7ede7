// SPDX-License-Identifier: MIT
// Command-line options.
#pragma once

#include <cstddef>

#include "platform/os.h"

enum ArgStatus {
    ArgsOk = 0,
    ArgsMissing = 1,  // neither a file name nor a help or version option
    ArgsUnknown = 2,  // an unknown option; later arguments were not looked at
};

enum class OptionEffect { NoWait, Help, KeepGoing, Json, Verify, KeyFolder, Jobs, Version, EndOfOptions };

// Every option the parser accepts, as the help names it. A name of two
// characters starting with '/' is matched by its second character alone,
// in either case, after a '/' or a '-' ("/nowait" and "-N" are "/n"); a
// name starting with "--" is matched whole, or, where it holds a '=', up to
// and with the '=', the rest of the argument being its value.
struct OptionEntry {
    const char* name;
    OptionEffect effect;
};
extern const OptionEntry Options[];
extern const std::size_t OptionCount;

// Sets runOptions from the options among argv[1..argc-1] and blanks each
// recognised option in place, so the file loop skips it. An argument that
// starts with '/' or '-' is an option, except what is a file name whatever
// it starts with: "-" alone (standard input), every argument after "--",
// an absolute POSIX path (a '/' after the first character), and every
// argument whose entry in `expanded` (when given) is true because the
// entry code made it from a wildcard pattern.
ArgStatus parseArguments(int argc, PathChar** argv, const bool* expanded = nullptr);

// Whether any argument, even one after an unknown option, asks for JSON
// Lines; argument errors then keep off standard output.
bool jsonRequested(int argc, PathChar* const* argv, const bool* expanded = nullptr);
