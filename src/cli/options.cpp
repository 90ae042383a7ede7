// SPDX-License-Identifier: MIT
// The command line's options: what each word stands for, and the run's
// flags they set.
#include "cli/options.h"

#include "common/runstate.h"

const OptionEntry Options[] = {
    {"/n", OptionEffect::NoWait},      {"/h", OptionEffect::Help},
    {"/?", OptionEffect::Help},        {"/k", OptionEffect::KeepGoing},
    {"/j", OptionEffect::Json},        {"/v", OptionEffect::Verify},
    {"/l", OptionEffect::Lines},       {"/r", OptionEffect::Recursive},
    {"--keys=DIR", OptionEffect::KeyFolder}, {"--jobs=N", OptionEffect::Jobs},
    {"--", OptionEffect::EndOfOptions},
    {"--help", OptionEffect::Help},    {"--version", OptionEffect::Version},
};
const std::size_t OptionCount = sizeof Options / sizeof Options[0];

namespace {

// What a blanked option's entry points to: empty, and told apart from an
// argument given empty by its address.
PathChar blankedOption[1] = {0};

PathChar lowerCase(PathChar c) {
    return c >= 'A' && c <= 'Z' ? static_cast<PathChar>(c - 'A' + 'a') : c;
}

// Whether `arg` begins with `text`, in any case when `anyCase`; on return
// `*rest` is what follows it.
bool beginsWith(const PathChar* arg, const char* text, bool anyCase, const PathChar** rest) {
    for (; *text != 0; ++arg, ++text)
        if ((anyCase ? lowerCase(*arg) : *arg) != static_cast<unsigned char>(*text))
            return false;
    *rest = arg;
    return true;
}

bool isText(const PathChar* arg, const char* text, bool anyCase) {
    const PathChar* rest = nullptr;
    return beginsWith(arg, text, anyCase, &rest) && *rest == 0;
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

// The single-letter option `c` stands for, in either case, or null.
const OptionEntry* letterOption(PathChar c) {
    for (const OptionEntry& option : Options)
        if (option.name[0] == '/' && c != 0 && lowerCase(c) == static_cast<unsigned char>(option.name[1]))
            return &option;
    return nullptr;
}

// Letters that only show help or keep the wait off: a word of them alone
// is read by its first letter, as words always were.
bool isQuietLetter(PathChar c) {
    c = lowerCase(c);
    return c == 'n' || c == 'h' || c == '?';
}

// The two options that take a value, as a long option or as a word after
// a single '-' or '/'.
struct ValuedOption {
    const char* longName;  // "--keys="
    const char* word;      // "keys"
    OptionEffect effect;
    WordKind needsValue;
};
const ValuedOption ValuedOptions[] = {
    {"--keys=", "keys", OptionEffect::KeyFolder, WordKind::KeysNeedValue},
    {"--jobs=", "jobs", OptionEffect::Jobs, WordKind::JobsNeedValue},
};

Word oneEffect(OptionEffect effect, const PathChar* value = nullptr) {
    Word word{};
    word.kind = WordKind::Options;
    word.effects[0] = effect;
    word.count = 1;
    word.value = value;
    return word;
}

Word kindOnly(WordKind kind) {
    Word word{};
    word.kind = kind;
    return word;
}

// A word that starts with "--": matched whole, in its case.
Word readLongWord(const PathChar* arg) {
    for (const OptionEntry& option : Options)
        if (option.name[1] == '-' && isText(arg, option.name, false))
            return oneEffect(option.effect);
    for (const ValuedOption& valued : ValuedOptions) {
        const PathChar* value = nullptr;
        if (beginsWith(arg, valued.longName, false, &value))
            return oneEffect(valued.effect, value);
        if (isText(arg + 2, valued.word, false))
            return kindOnly(valued.needsValue);
    }
    return kindOnly(WordKind::Unknown);
}

// A word after a single '-' or '/': a long option's name, letters that
// bundle, or, as words always were, the option its first letter names.
Word readShortWord(const PathChar* body) {
    for (const ValuedOption& valued : ValuedOptions) {
        const PathChar* rest = nullptr;
        if (beginsWith(body, valued.word, true, &rest))
            return *rest == '=' ? oneEffect(valued.effect, rest + 1) : kindOnly(valued.needsValue);
    }
    if (isText(body, "help", true))
        return oneEffect(OptionEffect::Help);
    if (isText(body, "version", true))
        return oneEffect(OptionEffect::Version);
    // Read by its first letter before r was one: the word stays /v.
    if (isText(body, "verify", true))
        return oneEffect(OptionEffect::Verify);
    bool allLetters = body[0] != 0;
    bool onlyQuiet = true;
    bool laterActs = false;  // a letter that acts, after the first
    int length = 0;
    for (; body[length] != 0; ++length) {
        allLetters = allLetters && letterOption(body[length]) != nullptr;
        onlyQuiet = onlyQuiet && isQuietLetter(body[length]);
        laterActs = laterActs || (length > 0 && letterOption(body[length]) != nullptr && !isQuietLetter(body[length]));
    }
    if (allLetters && !onlyQuiet && length <= MostBundled) {
        Word word = kindOnly(WordKind::Options);
        for (; word.count < length; ++word.count)
            word.effects[word.count] = letterOption(body[word.count])->effect;
        return word;
    }
    // A letter that acts, read past, would drop an option without a word.
    const OptionEntry* first = letterOption(body[0]);
    if (first == nullptr || (laterActs && !allLetters) || (allLetters && !onlyQuiet))
        return kindOnly(WordKind::Unknown);
    return oneEffect(first->effect);
}

void apply(OptionEffect effect, const PathChar* value) {
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
    case OptionEffect::Lines:
        // One line a file, for people and programs alike: as under /j,
        // every file gets its line, and nobody is asked for a key.
        runOptions.lineOutput = 1;
        runOptions.keepGoing = 1;
        runOptions.waitForKey = 0;
        break;
    case OptionEffect::Recursive:
        runOptions.recursive = 1;
        break;
    case OptionEffect::Verify:
        runOptions.verify = 1;
        break;
    case OptionEffect::KeyFolder:
        keyFolder = value;
        break;
    case OptionEffect::Jobs:
        jobsValue = value;
        break;
    case OptionEffect::Version:
        runOptions.versionRequested = 1;
        break;
    case OptionEffect::EndOfOptions:
        break;
    }
}

ArgStatus statusOf(WordKind kind) {
    switch (kind) {
    case WordKind::KeysNeedValue:
        return ArgsKeysNeedValue;
    case WordKind::JobsNeedValue:
        return ArgsJobsNeedValue;
    default:
        return ArgsUnknown;
    }
}

}  // namespace

bool isBlankedOption(const PathChar* arg) {
    return arg == blankedOption;
}

Word readWord(const PathChar* arg, bool expanded) {
    if (expanded || isFileName(arg))
        return kindOnly(WordKind::File);
    return arg[1] == '-' ? readLongWord(arg) : readShortWord(arg + 1);
}

ArgStatus parseArguments(int argc, PathChar** argv, const bool* expanded) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        PathChar* arg = argv[i];
        Word word = optionsEnded ? kindOnly(WordKind::File) : readWord(arg, expanded != nullptr && expanded[i]);
        if (word.kind == WordKind::File) {
            runOptions.filesGiven = 1;  // an empty argument counts too
            continue;
        }
        if (word.kind != WordKind::Options) {
            unknownArgument = word.kind == WordKind::Unknown ? arg : nullptr;
            return statusOf(word.kind);
        }
        for (int e = 0; e < word.count; ++e) {
            optionsEnded = optionsEnded || word.effects[e] == OptionEffect::EndOfOptions;
            apply(word.effects[e], word.value);
        }
        argv[i] = blankedOption;
    }
    bool proceed = runOptions.helpRequested || runOptions.versionRequested || runOptions.filesGiven;
    return proceed ? ArgsOk : ArgsMissing;
}

bool optionGiven(int argc, PathChar* const* argv, const bool* expanded, OptionEffect effect) {
    for (int i = 1; i < argc; ++i) {
        Word word = readWord(argv[i], expanded != nullptr && expanded[i]);
        for (int e = 0; e < word.count; ++e) {
            if (word.effects[e] == OptionEffect::EndOfOptions)
                return false;
            if (word.effects[e] == effect)
                return true;
        }
    }
    return false;
}

bool linesRequested(int argc, PathChar* const* argv, const bool* expanded) {
    return optionGiven(argc, argv, expanded, OptionEffect::Json) ||
           optionGiven(argc, argv, expanded, OptionEffect::Lines);
}
