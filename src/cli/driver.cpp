// SPDX-License-Identifier: MIT
#include "cli/driver.h"

#include <cstdio>
#include <cstring>

#include "cli/options.h"
#include "cli/wait.h"
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
    ExitCannotRead = 11,
    ExitCannotWrite = 12,
    ExitOutOfMemory = 13,
    ExitUnknownStructure = 14,
};

const char Banner[] = "  Tessarlumen " TESSARLUMEN_VERSION "  -  shows the identity of Wii title files";

const char* const UsageLines[] = {
    "  USAGE:  Tessarlumen [input file(s)]",
    "  MEANINGS:",
    "             /n  -- no wait for a user key before the program exits",
    "             /h  -- display this help message",
    "             /?  -- display this help message",
    "             input files -- any .wad, .tik or .tmd files",
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

// What a failed file ends the run with, and how JSON names the failure.
struct FailureKind {
    LoadStatus status;
    int exitCode;
    const char* jsonError;
};

const FailureKind FailureKinds[] = {
    {LoadReadFailed, ExitCannotRead, "cannot-read"},
    {LoadOutOfMemory, ExitOutOfMemory, "out-of-memory"},
    {LoadUnknownStructure, ExitUnknownStructure, "unknown-structure"},
};

const FailureKind& failureKind(LoadStatus status) {
    for (const FailureKind& kind : FailureKinds)
        if (kind.status == status)
            return kind;
    return FailureKinds[0];  // not reached: the loader returns no other failure
}

void printLoadFailure(LoadStatus status) {
    if (runOptions.jsonOutput) {
        printFailureJson(failureKind(status).jsonError);
        return;
    }
    switch (status) {
    case LoadReadFailed:
        outText("\nError: Cannot read file '");
        osWriteName(currentFileName);
        outText("' !\n\n");
        break;
    case LoadOutOfMemory:
        outText("\nError: Not enough working memory!\n\n");
        break;
    case LoadUnknownStructure:
        outText("\nError: Unknown file structure! (");
        osWriteName(currentFileName);
        outText(")\n\n");
        break;
    case LoadOk:
        break;
    }
}

// Standard output itself failed, so the reason goes to standard error.
int failOutput() {
    std::fprintf(stderr, "Error: Cannot write the output! (%s)\n", std::strerror(outError()));
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
    LoadStatus firstFailure = LoadOk;
    for (int i = 1; i < argc; ++i) {
        currentFileName = argv[i];
        if (currentFileName[0] == 0)
            continue;  // a blanked option or an empty argument
        LoadStatus status = loadAndReport();
        if (status != LoadOk) {
            printLoadFailure(status);
            if (firstFailure == LoadOk)
                firstFailure = status;
        }
        if (flushEachFile)
            outFlush();
        if (outFailed())
            return failOutput();  // no further file is opened
        if (status != LoadOk && !runOptions.keepGoing)
            return endRun(failureKind(status).exitCode);
    }
    if (!runOptions.jsonOutput)
        outText("\n");
    return endRun(firstFailure == LoadOk ? ExitOk : failureKind(firstFailure).exitCode);
}

}  // namespace

LoadStatus loadAndReport() {
    LoadedTitle title{};
    LoadStatus status = loadTitle(&title);
    if (status != LoadOk)
        return status;
    TitleFacts facts;
    decodeTitle(title, &facts);
    if (runOptions.jsonOutput)
        printTitleJson(facts);
    else if (facts.kind == FileKind::Ticket)
        printTicketInfo(facts);
    else
        printTmdInfo(facts);
    releaseTitle(&title);
    return LoadOk;
}

int runMain(int argc, PathChar** argv, const bool* expanded) {
    switch (parseArguments(argc, argv, expanded)) {
    case ArgsMissing:
        outText("\nError: Not enough parameter!  ('/?' for help)\n\n");
        return endRun(ExitNoParameters);
    case ArgsUnknown:
        outText("\nError: Unknown parameter!  ('/?' for help)\n\n");
        return endRun(ExitUnknownParameter);
    case ArgsOk:
        break;
    }
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
