// SPDX-License-Identifier: MIT
// Command-line options.
#pragma once

#include <cstddef>

#include "platform/os.h"

enum ArgStatus {
    ArgsOk = 0,
    ArgsMissing = 1,  // neither a file name nor a help or version option
    ArgsUnknown = 2,  // an unknown option; later arguments were not looked at
    ArgsKeysNeedValue = 3,  // --keys, or a word after '-' or '/' that starts with "keys", without "=DIR"
    ArgsJobsNeedValue = 4,  // the same for --jobs and "jobs"
};

enum class OptionEffect {
    NoWait, Help, KeepGoing, Json, Lines, Recursive, Verify, KeyFolder, Jobs, Version, EndOfOptions
};

// Every option the parser accepts, as the help names it. A name of two
// characters starting with '/' is a letter, taken in either case after a
// '/' or a '-'; a name starting with "--" is matched whole, or, where it
// holds a '=', up to and with the '=', the rest of the argument being its
// value.
struct OptionEntry {
    const char* name;
    OptionEffect effect;
};
extern const OptionEntry Options[];
extern const std::size_t OptionCount;

// What one word of the command line is.
enum class WordKind { File, Options, Unknown, KeysNeedValue, JobsNeedValue };

// The most letters one word may bundle ("-jv", "/nkv").
inline constexpr int MostBundled = 16;

struct Word {
    WordKind kind;
    OptionEffect effects[MostBundled];  // of Options: in the word's order
    int count;
    const PathChar* value;  // of --keys= or --jobs=, into the word
};

// What `arg` stands for; `expanded`: the entry code made it from a
// wildcard, so it is a file whatever it starts with. After a '-' or '/':
// "keys=DIR" and "jobs=N" are the long options (other words starting
// with "keys" or "jobs" lack their value); "help" and "version" are the
// long options, and "verify" is /v; letters of options, with one beyond
// n, h and ?, bundle, each taken; letters among n, h and ? alone are read
// by the first, as is any other word that holds no k, j, l, r or v after
// its first character ("/nowait", "-Hfoo", "-keep"); one that does is
// unknown ("/recursive"), as reading it by its first letter would drop an
// option without a word.
Word readWord(const PathChar* arg, bool expanded);

// Whether an argument is an option that parsing blanked, rather than an
// argument given empty.
bool isBlankedOption(const PathChar* arg);

// Sets runOptions from the options among argv[1..argc-1] and blanks each
// recognised option in place (its entry then points to an empty text of
// the parser's own), so the file loop skips it. An argument that
// starts with '/' or '-' is an option, except what is a file name whatever
// it starts with: "-" alone (standard input), every argument after "--",
// an absolute POSIX path (a '/' after the first character), and every
// argument whose entry in `expanded` (when given) is true because the
// entry code made it from a wildcard pattern.
ArgStatus parseArguments(int argc, PathChar** argv, const bool* expanded = nullptr);

// Whether any option word before "--", even one after an unknown option,
// has `effect`.
bool optionGiven(int argc, PathChar* const* argv, const bool* expanded, OptionEffect effect);

// Whether any argument, even one after an unknown option, asks for JSON
// Lines or one line a file; argument errors then keep off standard output.
bool linesRequested(int argc, PathChar* const* argv, const bool* expanded = nullptr);
