// SPDX-License-Identifier: MIT
#include "cli/driver.h"

#include <cerrno>
#include <cstdio>

#include "cli/keys.h"
#include "cli/options.h"
#include "cli/wait.h"
#include "common/names.h"
#include "common/output.h"
#include "common/runstate.h"
#include "report/identity.h"
#include "report/json_report.h"
#include "report/ticket_report.h"
#include "report/tmd_report.h"
#include "titlefiles/decode.h"

namespace {

enum ExitCode {
    ExitOk = 0,
    ExitNoParameters = 1,
    ExitUnknownParameter = 2,
    ExitCannotWrite = 12,
    ExitNotGenuine = 15,
};

const char Banner[] = "  Tessarlumen " TESSARLUMEN_VERSION "  -  shows the identity of Wii title files";

const char* const UsageLines[] = {
    "  USAGE:  Tessarlumen [options] [input file(s)]",
    "  MEANINGS:",
    "             /n  -- no wait for a user key before the program exits",
    "             /h  -- display this help message",
    "             /?  -- display this help message",
    "             /k  -- keep going after a file that fails",
    "             /j  -- JSON Lines: one object per file (implies /k and /n)",
    "             /v  -- verify signatures, the ticket and every content's hash",
    "             --keys=DIR  -- the folder of the common keys /v uses",
    "             --  -- end of the options: every later argument is a file",
    "             --help  -- display this help message",
    "             --version  -- show the version and process no file",
    "             input files -- any .wad, .tik or .tmd files, - for standard input",
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

// What a failed file ends the run with, how JSON names the failure, and the
// message the text output gives, around the file name where it has one.
struct FailureKind {
    LoadStatus status;
    int exitCode;
    const char* jsonError;
    const char* message;
    bool namesFile;
    const char* messageEnd;
};

const FailureKind FailureKinds[] = {
    {LoadReadFailed, 11, "cannot-read", "\nError: Cannot read file '", true, "' !\n\n"},
    {LoadOutOfMemory, 13, "out-of-memory", "\nError: Not enough working memory!\n\n", false, ""},
    {LoadUnknownStructure, 14, "unknown-structure", "\nError: Unknown file structure! (", true, ")\n\n"},
};

const FailureKind& failureKind(LoadStatus status) {
    for (const FailureKind& kind : FailureKinds)
        if (kind.status == status)
            return kind;
    return FailureKinds[0];  // not reached: the loader returns no other failure
}

// The cause of a failure in words, for the JSON reason.
const char* const CauseTexts[] = {
    "",  // none
    "",  // the system's message instead
    "the file ended while it was read",
    "the file ends before its TMD",
    "the file ends before its records",
    "its length cannot be taken",
    "shorter than any title file",
    "no WAD, ticket or TMD signature",
    "the TMD claims more records than its section holds",
    "not enough memory",
};
static_assert(sizeof CauseTexts / sizeof CauseTexts[0] == static_cast<int>(LoadCause::NoMemory) + 1);

const char* causeText(const LoadFailure& failure) {
    if (failure.cause == LoadCause::SystemError)
        return osErrorText(failure.osError != 0 ? failure.osError : EIO);
    return CauseTexts[static_cast<int>(failure.cause)];
}

void printTextFailure(const FailureKind& kind, const LoadFailure&) {
    outText(kind.message);
    if (kind.namesFile) {
        writeName(currentFileName);
        outText(kind.messageEnd);
    }
}

void printJsonFailure(const FailureKind& kind, const LoadFailure& failure) {
    printFailureJson(kind.jsonError, causeText(failure));
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
    void (*failure)(const FailureKind& kind, const LoadFailure& failure);
    const char* runEnd;  // after the last file
};

const OutputForm TextForm = {printTextTitle, printTextFailure, "\n"};
const OutputForm JsonForm = {printTitleJson, printJsonFailure, ""};

const OutputForm* outputForm = &TextForm;

// The common keys, read once before any file when /v asks for them.
CommonKeys commonKeys;

// Standard output itself failed, so the reason goes to standard error.
int failOutput() {
    std::fprintf(stderr, "Error: Cannot write the output! (%s)\n", osErrorText(outError()));
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

int reportFiles(int argc, PathChar** argv) {
    // On a terminal each report shows as soon as it is made; elsewhere the
    // buffer fills first, which saves writes over a large folder.
    bool flushEachFile = osStdoutIsTerminal();
    int firstFailure = ExitOk;
    for (int i = 1; i < argc; ++i) {
        currentFileName = argv[i];
        if (currentFileName[0] == 0)
            continue;  // a blanked option or an empty argument
        LoadFailure failure{};
        LoadStatus status = loadAndReport(&failure);
        if (status != LoadOk) {
            const FailureKind& kind = failureKind(status);
            outputForm->failure(kind, failure);
            if (firstFailure == ExitOk)
                firstFailure = kind.exitCode;
        } else if (failure.notGenuine && firstFailure == ExitOk) {
            // Reported, and the run goes on; the exit code tells.
            firstFailure = ExitNotGenuine;
        }
        if (flushEachFile)
            outFlush();
        if (outFailed())
            return failOutput();  // no further file is opened
        if (status != LoadOk && !runOptions.keepGoing)
            return endRun(firstFailure);
    }
    outText(outputForm->runEnd);
    return endRun(firstFailure);
}

// Argument errors go to standard output, except under /j, whose standard
// output holds JSON Lines only.
int argumentError(const char* message, int exitCode, bool toStandardError) {
    if (toStandardError) {
        std::fprintf(stderr, "Error: %s  ('/?' for help)\n", message);
        return exitCode;
    }
    outText("\nError: ");
    outText(message);
    outText("  ('/?' for help)\n\n");
    return endRun(exitCode);
}

// The key folder's errors end the run before any file is opened.
int readKeys(bool toStandardError) {
    static const char* const Messages[] = {"", "Cannot read the key folder '", "Cannot read the key file '",
                                           "Unusable key file '", "Cannot load the cryptography library"};
    PathChar where[1024] = {};
    KeyStatus status = loadCommonKeys(keyFolder, &commonKeys, where, sizeof where / sizeof where[0]);
    if (status == KeyStatus::Ok)
        return ExitOk;
    const char* message = Messages[static_cast<int>(status)];
    const char* after = status == KeyStatus::FileUnusable     ? "' ! (16 bytes or 32 hexadecimal digits)"
                        : status == KeyStatus::NoCryptography ? "!"
                                                              : "' !";
    if (toStandardError) {
        outReset();
        writeName(where);  // cleaned as on standard output, then moved to standard error
        std::fprintf(stderr, "Error: %s%.*s%s\n", message, static_cast<int>(outPending()), outPendingBytes(), after);
        outReset();
        return ExitUnknownParameter;
    }
    outText("\nError: ");
    outText(message);
    writeName(where);
    outText(after);
    outText("\n\n");
    return endRun(ExitUnknownParameter);
}

}  // namespace

LoadStatus loadAndReport(LoadFailure* failure) {
    LoadedTitle title{};
    LoadStatus status = loadTitle(&title, runOptions.verify ? &commonKeys : nullptr);
    if (failure != nullptr)
        *failure = {title.cause, title.osError, false};
    if (status != LoadOk)
        return status;
    TitleFacts facts;
    decodeTitle(title, &facts);
    outputForm->title(facts);
    if (failure != nullptr)
        failure->notGenuine = verificationFailed(title.verify);
    releaseTitle(&title);
    return LoadOk;
}

int runMain(int argc, PathChar** argv, const bool* expanded) {
    bool json = jsonRequested(argc, argv, expanded);
    ArgStatus status = parseArguments(argc, argv, expanded);
    outputForm = runOptions.jsonOutput ? &JsonForm : &TextForm;
    switch (status) {
    case ArgsMissing:
        return argumentError("Not enough parameter!", ExitNoParameters, json);
    case ArgsUnknown:
        return argumentError("Unknown parameter!", ExitUnknownParameter, json);
    case ArgsOk:
        break;
    }
    if (runOptions.verify && !runOptions.helpRequested && !runOptions.versionRequested)
        if (int code = readKeys(json); code != ExitOk)
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
