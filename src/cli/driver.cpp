// SPDX-License-Identifier: MIT
// The run driver: the help, the file loop over the pool, the failure table
// and the exit code.
#include "cli/driver.h"

#include <cerrno>
#include <climits>
#include <cstring>

#include "cli/keys.h"
#include "cli/options.h"
#include "cli/progress.h"
#include "cli/sources.h"
#include "cli/tally.h"
#include "cli/wait.h"
#include "common/names.h"
#include "common/output.h"
#include "common/runstate.h"
#include "platform/pool.h"
#include "report/identity.h"
#include "report/json_report.h"
#include "report/line_report.h"
#include "report/ticket_report.h"
#include "report/tmd_report.h"
#include "titlefiles/decode.h"
#include "titlefiles/title.h"

namespace {

enum ExitCode {
    ExitOk = 0,
    ExitNoParameters = 1,
    ExitUnknownParameter = 2,
    ExitBadKeys = 2,        // the key folder, or a key file in it
    ExitLibraryFailed = 2,  // the cryptography library would not load, or failed
    ExitCannotRead = 11,
    ExitCannotWrite = 12,
    ExitOutOfMemory = 13,
    ExitUnknownStructure = 14,
    ExitNotGenuine = 15,
    ExitUnproven = 16,
};

const char Banner[] = "  Tessarlumen " TESSARLUMEN_VERSION "  -  shows the identity of Wii title files";

const char* const UsageLines[] = {
    "  USAGE:  Tessarlumen [options] [--] [input file(s)]",
    "  MEANINGS:",
    "             /n  -- no wait for a user key before the program exits",
    "             /h  -- display this help message",
    "             /?  -- display this help message",
    "             /k  -- keep going after a file that fails",
    "             /j  -- JSON Lines: one object per file (implies /k and /n)",
    "             /l  -- one line per file, its result and name (implies /k and /n)",
    "             /r  -- walk folders for .wad, .tik, .tmd files and title folders",
    "             /v  -- verify signatures, the ticket and every content's hash",
    "             --keys=DIR  -- the folder of the keys /v checks with",
    "             --jobs=N  -- /v verifies N files at once (all cores; at most 256)",
    "             --  -- end of the options: every later argument is a file",
    "             --help  -- display this help message",
    "             --version  -- show the version and process no file",
    "             input files -- any .wad, .tik or .tmd files, - for standard input",
    "             title folders -- folders of a title's TMD, ticket and contents",
};

// Every text line of the help is padded to the width of the rules.
void printHelp() {
    outText("\n");
    printRule();
    outFormat("\n\n%-78s\n\n", Banner);
    for (std::size_t i = 0; i < sizeof UsageLines / sizeof UsageLines[0]; ++i)
        outFormat(i == 0 ? "%-78s" : "\n%-78s", UsageLines[i]);
    outText("\n");
    printRule();
}

// How the run reports a failed file: the exit code it ends the run with,
// JSON's name for it, the text message, around the file's name where
// `end` is given, and the one-line form's result, with the reason after it
// where `lineReason` says so.
struct FailureClass {
    int exitCode;
    const char* jsonError;
    const char* message;
    const char* end;
    const char* line;
    bool lineReason;
};

constexpr FailureClass CannotRead{ExitCannotRead, "cannot-read", "\nError: Cannot read file '", "' !\n\n",
                                  "cannot read", true};
constexpr FailureClass OutOfMemory{ExitOutOfMemory, "out-of-memory", "\nError: Not enough working memory!\n\n",
                                   nullptr, "out of memory", false};
constexpr FailureClass UnknownStructure{ExitUnknownStructure, "unknown-structure",
                                        "\nError: Unknown file structure! (", ")\n\n", "unknown file structure",
                                        false};
// These two are not a file's: the library's failure ends the run with its
// reason, and a stopped load is not reported.
constexpr FailureClass LibraryFailed{ExitLibraryFailed, "", "The cryptography library failed!", nullptr, "", false};
constexpr FailureClass Stopped{ExitOk, "", "", nullptr, "", false};

// Every failure once: its class, its reason in words for people (the
// system's or the library's where empty), and its cause as a word that
// stays the same for scripts.
struct FailureRow {
    Failure failure;
    const FailureClass* failureClass;
    const char* reason;
    const char* cause;
};

constexpr FailureRow Failures[] = {
    {Failure::None, nullptr, "", "none"},
    {Failure::SystemError, &CannotRead, "", "system-error"},
    {Failure::EndsEarly, &CannotRead, "the file ended while it was read", "ends-early"},
    {Failure::EndsBeforeTmd, &CannotRead, "the file ends before its TMD", "ends-early"},
    {Failure::EndsBeforeRecords, &CannotRead, "the file ends before its records", "ends-early"},
    {Failure::NoLength, &UnknownStructure, "its length cannot be taken", "no-length"},
    {Failure::TooShort, &UnknownStructure, "shorter than any title file", "too-short"},
    {Failure::NoSignature, &UnknownStructure, "no WAD, ticket or TMD signature", "no-signature"},
    {Failure::RecordsPastSection, &UnknownStructure, "the TMD claims more records than its section holds",
     "records-past-section"},
    {Failure::FolderTmdNotTmd, &UnknownStructure, "the folder's TMD file is no TMD", "folder-tmd-not-tmd"},
    {Failure::NoTitleFiles, &CannotRead, "no title files found", "no-title-files"},
    {Failure::NoMemory, &OutOfMemory, "not enough memory", "out-of-memory"},
    {Failure::Library, &LibraryFailed, "", "library"},
    {Failure::Stopped, &Stopped, "", "stopped"},
};

constexpr bool everyFailureInOrder() {
    for (std::size_t i = 0; i < std::size(Failures); ++i)
        if (Failures[i].failure != static_cast<Failure>(i))
            return false;
    return std::size(Failures) == static_cast<std::size_t>(Failure::Last) + 1;
}
static_assert(everyFailureInOrder());

const FailureRow& failureRow(Failure failure) {
    return Failures[static_cast<std::size_t>(failure)];
}

const char* reasonOf(const LoadFailure& failure) {
    if (failure.failure == Failure::SystemError)
        return osErrorText(failure.osError != 0 ? failure.osError : EIO);
    return failureRow(failure.failure).reason;
}

// The message on standard output, as it always was; the reason follows on
// standard error: "Tessarlumen: x.wad: Is a directory".
void printTextFailure(const LoadFailure& failure) {
    const FailureClass& kind = *failureRow(failure.failure).failureClass;
    outText(kind.message);
    if (kind.end != nullptr) {
        writeName(currentFileName);
        outText(kind.end);
    }
    outToStderr(true);
    outText("Tessarlumen: ");
    writeName(currentFileName);
    outText(": ");
    outText(reasonOf(failure));
    outChar('\n');
    outToStderr(false);
}

void printLineFailure(const LoadFailure& failure) {
    const FailureClass& kind = *failureRow(failure.failure).failureClass;
    printFailureLine(kind.line, kind.lineReason ? reasonOf(failure) : nullptr);
}

void printJsonFailure(const LoadFailure& failure) {
    const FailureRow& row = failureRow(failure.failure);
    printFailureJson(row.failureClass->jsonError, reasonOf(failure), row.cause);
}

void printTextTitle(const TitleFacts& facts) {
    if (facts.kind == FileKind::Ticket)
        printTicketInfo(facts);
    else
        printTmdInfo(facts);
}

// The text reports or JSON Lines, chosen once a run.
struct OutputForm {
    void (*title)(const TitleFacts& facts);
    void (*failure)(const LoadFailure& failure);
    const char* runEnd;  // after the last file
};

const OutputForm TextForm = {printTextTitle, printTextFailure, "\n"};
const OutputForm JsonForm = {printTitleJson, printJsonFailure, ""};
const OutputForm LineForm = {printTitleLine, printLineFailure, ""};

const OutputForm* outputForm = &TextForm;

// The keys, read once before any file when /v asks for them.
KeySet keySet;

// How many files /v verifies at once.
int jobCount = 1;

// The number --jobs gives, or 0 when it gives none from 1 up.
int jobsOf(const PathChar* value) {
    constexpr long Most = 1 << 16;
    long n = 0;
    for (const PathChar* c = value; *c != 0; ++c) {
        if (*c < '0' || *c > '9' || n > Most)
            return 0;
        n = n * 10 + (*c - '0');
    }
    return n >= 1 && n <= Most ? static_cast<int>(n) : 0;
}

// Pieces of one line on standard error, which carries what the reports'
// output cannot: whether it is written changes nothing, as the run ends.
void writeError(const char* piece, std::size_t n) {
    int error = 0;
    osWriteStderr(piece, n, &error);
}

void writeError(const char* piece) {
    writeError(piece, std::strlen(piece));
}

// Standard output itself failed, so the reason goes to standard error.
int failOutput() {
    endProgress();
    writeError("Error: Cannot write the output! (");
    writeError(osErrorText(outError()));
    writeError(")\n");
    return ExitCannotWrite;
}

// Writes out what is buffered, waits for a key unless told not to, and
// returns the exit code, which a failed write of the output overrides.
int endRun(int exitCode) {
    outFlush();
    if (outFailed())
        return failOutput();
    waitForKeyIfEnabled();
    outFlush();
    return outFailed() ? failOutput() : exitCode;
}

// An error that ends the run before or between files, outside the
// reports: on standard output, or, under /j and /l, whose standard output
// holds a line a file only, on standard error. `name`, when given, stands
// between `message` and `after`; `reason`, when given, closes the line.
int runError(const char* message, const PathChar* name, const char* after, const char* reason, int exitCode) {
    bool toStandardError = runOptions.jsonOutput != 0 || runOptions.lineOutput != 0;
    outReset();
    if (!toStandardError)
        outText("\nError: ");
    outText(message);
    if (name != nullptr)
        writeName(name);
    outText(after);
    if (reason != nullptr) {
        outText(" (");
        outText(reason);
        outText(")");
    }
    if (!toStandardError) {
        outText("\n\n");
        return endRun(exitCode);
    }
    writeError("Error: ");
    writeError(outPendingBytes(), outPending());
    writeError("\n");
    outReset();
    return exitCode;
}

// What the files of a run come to: the failure that ended it, else the
// first failure in file order, else 16 when a file was not proven.
struct RunCodes {
    int firstFailure;
    bool unproven;
};

int runExitCode(const RunCodes& codes) {
    return codes.firstFailure != ExitOk ? codes.firstFailure : codes.unproven ? ExitUnproven : ExitOk;
}

// Why a run stopped before its last file.
enum class Stop { None, FileFailed, OutputFailed, LibraryFailed, Interrupted };

// The files of a run, loaded on the pool's threads and reported on this
// one, in the order of the arguments and the walks in their places.
struct RunFiles {
    FileSource source;
    FileItem* items;     // by pool slot: the file's name, or a walk's failure
    LoadedFile* loaded;  // by pool slot
    bool flushEachFile;
    RunCodes codes;
    Tally tally;
    Stop stop;
    char reason[OsCryptoReasonRoom];  // the library's, when it failed
};

bool nextFile(void* context, int, int slot) {
    auto* files = static_cast<RunFiles*>(context);
    return nextFileItem(&files->source, &files->items[slot]);
}

void loadFile(void* context, int, int slot, OsTurn* turn) {
    auto* files = static_cast<RunFiles*>(context);
    LoadedFile& file = files->loaded[slot];
    file = LoadedFile{};
    const FileItem& item = files->items[slot];
    const PathChar* name = item.name;
    if (item.failure != Failure::None) {
        file.title.osError = item.osError;
        file.failure = item.failure;
    } else if (name[0] != 0) {
        file.failure = loadTitle(&file.title, name, runOptions.verify ? &keySet : nullptr, turn);
    } else if (!isBlankedOption(name) && runOptions.verify) {
        // Under /v exit 0 says every file named was proven: an empty name
        // names no file that could be, as it names none to sha1sum.
        file.title.osError = ENOENT;
        file.failure = Failure::SystemError;
    }
}

void waitForFile(void*) {
    progressTick();
}

void discardFile(void* context, int, int slot) {
    releaseTitle(&static_cast<RunFiles*>(context)->loaded[slot].title);
}

// Reports one loaded file, or its failure; false when the run ends here.
bool reportFile(void* context, int, int slot) {
    auto* files = static_cast<RunFiles*>(context);
    currentFileName = files->items[slot].name;
    LoadedFile& file = files->loaded[slot];
    if (file.failure == Failure::Stopped) {
        files->stop = Stop::Interrupted;  // an interrupt: the run ends without this file
        return false;
    }
    if (currentFileName[0] == 0 && file.failure == Failure::None)
        return true;  // a blanked option, or an empty argument: no file
    LoadFailure failure{};
    Failure status = loadAndReport(&file, &failure);
    RunCodes& codes = files->codes;
    if (status == Failure::Library) {
        // The library, not the file: the run cannot go on.
        std::memcpy(files->reason, failure.reason, sizeof files->reason);
        files->stop = Stop::LibraryFailed;
        return false;
    }
    countFile(&files->tally, status != Failure::None, failure.verdict, failure.contentsLacking);
    progressReported(currentFileName);
    if (status != Failure::None) {
        outputForm->failure(failure);
        if (codes.firstFailure == ExitOk || !runOptions.keepGoing)
            codes.firstFailure = failureRow(status).failureClass->exitCode;  // without /k, the one that ended the run
    } else if (failure.verdict == Verdict::Failed && codes.firstFailure == ExitOk) {
        // Reported, and the run goes on; the exit code tells.
        codes.firstFailure = ExitNotGenuine;
    }
    codes.unproven = codes.unproven || failure.verdict == Verdict::Unproven;
    if (files->flushEachFile)
        outFlush();
    // No further file is reported after a failed write, or without /k
    // after a file that failed.
    files->stop = outFailed()                                          ? Stop::OutputFailed
                  : status != Failure::None && !runOptions.keepGoing ? Stop::FileFailed
                                                                       : Stop::None;
    progressTick();
    return files->stop == Stop::None;
}

// Under /v files are verified on as many threads as the run may use (at
// most OsMostThreads), each in a few MiB, with two more files in hand than
// threads; reports alone are at the I/O floor on one. Under /v each report
// is written out once it is made, as is each on a terminal: a verdict
// costs far more than a write, and an interrupt must not lose one.
int reportFiles(int argc, PathChar** argv) {
    int threads = jobCount < OsMostThreads ? jobCount : OsMostThreads;
    int slots = threads > 1 ? threads + 2 : 1;
    LoadedFile one;
    FileItem oneItem{};
    bool flushEachFile = osStdoutIsTerminal() || runOptions.verify != 0;
    RunFiles files{{}, &oneItem, &one, flushEachFile, {ExitOk, false}, {}, Stop::None, {}};
    startFileSource(&files.source, argv + 1, argc - 1, runOptions.recursive != 0, runOptions.verify != 0);
    auto count = static_cast<std::size_t>(slots);
    if (slots > 1) {
        files.loaded = static_cast<LoadedFile*>(osAlloc(sizeof(LoadedFile) * count));
        files.items = static_cast<FileItem*>(osAlloc(sizeof(FileItem) * count));
        if (files.loaded == nullptr || files.items == nullptr) {
            osFree(files.loaded);
            osFree(files.items);
            return runError("Not enough working memory!", nullptr, "", nullptr, ExitOutOfMemory);
        }
        for (std::size_t i = 0; i < count; ++i)
            files.items[i] = FileItem{};
    }
    startProgress(runOptions.verify && osStderrIsTerminal(), argv + 1, argc - 1, runOptions.recursive != 0);
    // A walk may find any number of files; the arguments are as many as they are.
    osRunInOrder({&files, nextFile, loadFile, reportFile, discardFile, waitForFile},
                 runOptions.recursive ? INT_MAX : argc - 1, threads, slots);
    endProgress();
    for (std::size_t i = 0; i < count; ++i)
        releaseFileItem(&files.items[i]);
    endFileSource(&files.source);
    files.tally.count[TalliedSkipped] = files.source.skipped;
    files.tally.walked = files.source.walkedFolders > 0;
    if (slots > 1) {
        osFree(files.loaded);
        osFree(files.items);
    }
    // The threads have ended: the run ends as the files made it. At an
    // interrupt the reports made so far are written out, and the process
    // ends as the interrupt would have ended it.
    if (osInterrupted()) {
        outFlush();
        osEndByInterrupt();
    }
    switch (files.stop) {
    case Stop::LibraryFailed:
        outFlush();
        return runError(LibraryFailed.message, nullptr, "", files.reason, LibraryFailed.exitCode);
    case Stop::OutputFailed:
        return failOutput();
    case Stop::FileFailed:
    case Stop::Interrupted:  // not reached: a stop without an interrupt stops no load
        printTally(files.tally, true);
        return endRun(runExitCode(files.codes));
    case Stop::None:
        break;
    }
    outText(outputForm->runEnd);
    printTally(files.tally, false);
    return endRun(runExitCode(files.codes));
}

// Names the argument that could not be read, on standard error:
// "Tessarlumen: unknown parameter '/x'".
void nameUnknownArgument() {
    if (unknownArgument == nullptr)
        return;
    outToStderr(true);
    outText("Tessarlumen: unknown parameter '");
    writeName(unknownArgument);
    outText("'\n");
    outToStderr(false);
}

// Argument errors go to standard output, except under /j and /l, whose
// standard output holds their lines only.
int argumentError(const char* message, int exitCode, bool toStandardError) {
    if (toStandardError) {
        writeError("Error: ");
        writeError(message);
        writeError("  ('/?' for help)\n");
        nameUnknownArgument();
        return exitCode;
    }
    outText("\nError: ");
    outText(message);
    outText("  ('/?' for help)\n\n");
    nameUnknownArgument();
    return endRun(exitCode);
}

// The key folder's and the library's errors end the run before any file
// is opened.
int readKeys() {
    KeyProblem problem;
    KeyStatus status = loadKeys(keyFolder, &keySet, &problem);
    const char* reason = problem.osError != 0 ? osErrorText(problem.osError) : nullptr;
    int code = ExitOk;
    switch (status) {
    case KeyStatus::Ok:
        break;
    case KeyStatus::FolderUnreadable:
        code = runError("Cannot read the key folder '", problem.where, "' !", reason, ExitBadKeys);
        break;
    case KeyStatus::FileUnreadable:
        code = runError("Cannot read the key file '", problem.where, "' !", reason, ExitBadKeys);
        break;
    case KeyStatus::FileUnusable:
        code = runError("Unusable key file '", problem.where, "' !",
                        problem.rootKey ? "a 512-byte RSA-4096 modulus, perhaps followed by a 4-byte odd exponent "
                                          "of 3 or more; bytes or hexadecimal digits"
                                        : "16 bytes or 32 hexadecimal digits",
                        ExitBadKeys);
        break;
    case KeyStatus::NoCryptography:
        code = runError("Cannot load the cryptography library!", nullptr, "", problem.reason, ExitLibraryFailed);
        break;
    case KeyStatus::UntrustedCryptography:
        code = runError("The cryptography library failed its self-test!", nullptr, "", problem.reason,
                        ExitLibraryFailed);
        break;
    case KeyStatus::NoMemory:
        code = runError("Not enough working memory!", nullptr, "", nullptr, ExitOutOfMemory);
        break;
    }
    osFree(problem.where);
    return code;
}

}  // namespace

Failure loadAndReport(LoadedFile* file, LoadFailure* failure) {
    LoadedTitle* title = &file->title;
    *failure = {file->failure, title->osError, title->verify.verdict, 0, {}};
    std::memcpy(failure->reason, title->reason, sizeof failure->reason);
    if (file->failure != Failure::None)
        return file->failure;
    TitleFacts facts;
    decodeTitle(*title, &facts);
    failure->contentsLacking = facts.contentsLacking;
    outputForm->title(facts);
    releaseTitle(title);
    return Failure::None;
}

bool walksFolders(int argc, PathChar* const* argv) {
    return optionGiven(argc, argv, nullptr, OptionEffect::Recursive);
}

int runMain(int argc, PathChar** argv, const bool* expanded) {
    bool json = linesRequested(argc, argv, expanded);
    ArgStatus status = parseArguments(argc, argv, expanded);
    outputForm = runOptions.jsonOutput ? &JsonForm : runOptions.lineOutput ? &LineForm : &TextForm;
    switch (status) {
    case ArgsMissing:
        return argumentError("Not enough parameter!", ExitNoParameters, json);
    case ArgsUnknown:
        return argumentError("Unknown parameter!", ExitUnknownParameter, json);
    case ArgsKeysNeedValue:
        return argumentError("--keys needs =DIR!", ExitUnknownParameter, json);
    case ArgsJobsNeedValue:
        return argumentError("--jobs needs =N!", ExitUnknownParameter, json);
    case ArgsOk:
        break;
    }
    bool filesToReport = !runOptions.helpRequested && !runOptions.versionRequested;
    if (runOptions.jsonOutput && runOptions.lineOutput)
        return argumentError("/l and /j cannot go together!", ExitUnknownParameter, json);
    if (keyFolder != nullptr && !runOptions.verify && filesToReport)
        return argumentError("--keys=DIR needs /v!", ExitUnknownParameter, json);
    if (jobsValue != nullptr && !runOptions.verify && filesToReport)
        return argumentError("--jobs=N needs /v!", ExitUnknownParameter, json);
    // Only a verifying run has work for more than one thread: the others
    // do not even ask how many processors there are.
    jobCount = jobsValue != nullptr ? jobsOf(jobsValue) : runOptions.verify ? osProcessorCount() : 1;
    if (jobCount == 0 && filesToReport)
        return argumentError("--jobs=N needs a number from 1 up!", ExitUnknownParameter, json);
    if (runOptions.verify && filesToReport)
        if (int code = readKeys(); code != ExitOk)
            return code;
    if (runOptions.versionRequested) {
        outText("Tessarlumen " TESSARLUMEN_VERSION "\n");
        outFlush();
        return outFailed() ? failOutput() : ExitOk;
    }
    if (!runOptions.helpRequested)
        return reportFiles(argc, argv);
    printHelp();
    outText("\n");
    return endRun(ExitOk);
}
