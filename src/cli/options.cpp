// SPDX-License-Identifier: MIT
#include "cli/options.h"

#include "common/runstate.h"

namespace {

bool sameText(const PathChar* arg, const char* text) {
    for (; *text != 0; ++arg, ++text)
        if (*arg != static_cast<unsigned char>(*text))
            return false;
    return *arg == 0;
}

bool holdsSlash(const PathChar* text) {
    for (; *text != 0; ++text)
        if (*text == '/')
            return true;
    return false;
}

bool isFileName(const PathChar* arg) {
    if (arg[0] != '/' && arg[0] != '-')
        return true;
    // No option holds a '/', so on systems whose paths start with one,
    // /home/me/a.wad and /dev/fd/63 are files.
    return OsSlashStartsPaths && arg[0] == '/' && holdsSlash(arg + 1);
}

// Sets the flag an option stands for; false when it stands for none.
bool applyOption(const PathChar* arg) {
    if (arg[1] == '-') {
        if (sameText(arg, "--help"))
            runOptions.helpRequested = 1;
        else if (sameText(arg, "--version"))
            runOptions.versionRequested = 1;
        else
            return false;
        return true;
    }
    switch (arg[1]) {
    case '?':
    case 'H':
    case 'h':
        runOptions.helpRequested = 1;
        return true;
    case 'N':
    case 'n':
        runOptions.waitForKey = 0;
        return true;
    case 'K':
    case 'k':
        runOptions.keepGoing = 1;
        return true;
    case 'J':
    case 'j':
        // JSON Lines are for programs: every file gets its object, and
        // nobody is there to press a key.
        runOptions.jsonOutput = 1;
        runOptions.keepGoing = 1;
        runOptions.waitForKey = 0;
        return true;
    default:
        return false;
    }
}

}  // namespace

ArgStatus parseArguments(int argc, PathChar** argv, const bool* expanded) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        PathChar* arg = argv[i];
        if (optionsEnded || (expanded != nullptr && expanded[i]) || isFileName(arg)) {
            runOptions.filesGiven = 1;  // an empty argument counts too
            continue;
        }
        if (sameText(arg, "--"))
            optionsEnded = true;
        else if (!applyOption(arg))
            return ArgsUnknown;
        arg[0] = 0;
    }
    bool proceed = runOptions.helpRequested || runOptions.versionRequested || runOptions.filesGiven;
    return proceed ? ArgsOk : ArgsMissing;
}
