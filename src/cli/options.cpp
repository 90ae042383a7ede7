// SPDX-License-Identifier: MIT
#include "cli/options.h"

#include "common/runstate.h"

const OptionEntry Options[] = {
    {"/n", OptionEffect::NoWait},      {"/h", OptionEffect::Help},
    {"/?", OptionEffect::Help},        {"/k", OptionEffect::KeepGoing},
    {"/j", OptionEffect::Json},        {"/v", OptionEffect::Verify},
    {"--keys=DIR", OptionEffect::KeyFolder}, {"--jobs=N", OptionEffect::Jobs},
    {"--", OptionEffect::EndOfOptions},
    {"--help", OptionEffect::Help},    {"--version", OptionEffect::Version},
};
const std::size_t OptionCount = sizeof Options / sizeof Options[0];

namespace {

bool sameText(const PathChar* arg, const char* text) {
    for (; *text != 0; ++arg, ++text)
        if (*arg != static_cast<unsigned char>(*text))
            return false;
    return *arg == 0;
}

// Whether `arg` starts with `text` up to and with its '=' ("--keys=").
bool startsAsValued(const PathChar* arg, const char* text) {
    for (; *text != 0; ++arg, ++text) {
        if (*arg != static_cast<unsigned char>(*text))
            return false;
        if (*text == '=')
            return true;
    }
    return false;
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
    if (arg[0] == '-' && arg[1] == 0)
        return true;  // standard input
    // No option holds a '/', so on systems whose paths start with one,
    // /home/me/a.wad and /dev/fd/63 are files.
    return OsSlashStartsPaths && arg[0] == '/' && holdsSlash(arg + 1);
}

PathChar lowerCase(PathChar c) {
    return c >= 'A' && c <= 'Z' ? static_cast<PathChar>(c - 'A' + 'a') : c;
}

// The option an argument stands for, or null when it stands for none.
const OptionEntry* optionOf(const PathChar* arg) {
    for (const OptionEntry& option : Options) {
        bool isLong = option.name[1] == '-';
        bool matched = isLong ? sameText(arg, option.name) || startsAsValued(arg, option.name)
                              : arg[1] != '-' && lowerCase(arg[1]) == option.name[1];
        if (matched)
            return &option;
    }
    return nullptr;
}

const PathChar* valueOf(const PathChar* arg) {
    while (*arg != '=')
        ++arg;
    return arg + 1;
}

void apply(OptionEffect effect, const PathChar* arg) {
    switch (effect) {
    case OptionEffect::NoWait:
        runOptions.waitForKey = 0;
        break;
    case OptionEffect::Help:
        runOptions.helpRequested = 1;
        break;
    case OptionEffect::KeepGoing:
        runOptions.keepGoing = 1;
        break;
    case OptionEffect::Json:
        // JSON Lines are for programs: every file gets its object, and
        // nobody is there to press a key.
        runOptions.jsonOutput = 1;
        runOptions.keepGoing = 1;
        runOptions.waitForKey = 0;
        break;
    case OptionEffect::Verify:
        runOptions.verify = 1;
        break;
    case OptionEffect::KeyFolder:
        keyFolder = valueOf(arg);
        break;
    case OptionEffect::Jobs:
        jobsValue = valueOf(arg);
        break;
    case OptionEffect::Version:
        runOptions.versionRequested = 1;
        break;
    case OptionEffect::EndOfOptions:
        break;
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
        const OptionEntry* option = optionOf(arg);
        if (option == nullptr)
            return ArgsUnknown;
        optionsEnded = option->effect == OptionEffect::EndOfOptions;
        apply(option->effect, arg);
        arg[0] = 0;
    }
    bool proceed = runOptions.helpRequested || runOptions.versionRequested || runOptions.filesGiven;
    return proceed ? ArgsOk : ArgsMissing;
}

bool jsonRequested(int argc, PathChar* const* argv, const bool* expanded) {
    for (int i = 1; i < argc; ++i) {
        if ((expanded != nullptr && expanded[i]) || isFileName(argv[i]))
            continue;
        const OptionEntry* option = optionOf(argv[i]);
        if (option != nullptr && option->effect == OptionEffect::EndOfOptions)
            return false;
        if (option != nullptr && option->effect == OptionEffect::Json)
            return true;
    }
    return false;
}
