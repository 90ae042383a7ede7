#include "cli/driver.h"

#include <cstdio>

#include "cli/options.h"
#include "cli/wait.h"
#include "common/runstate.h"
#include "report/identity.h"
#include "titlefiles/loader.h"

namespace {

enum ExitCode {
    ExitOk = 0,
    ExitNoParameters = 1,
    ExitUnknownParameter = 2,
    ExitLoadFailureBase = 10,  // plus the loader's status: 11, 13 or 14
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
    std::fputs("\n", stdout);
    printRule();
    std::printf("\n\n%-78s\n\n", Banner);
    for (std::size_t i = 0; i < sizeof UsageLines / sizeof UsageLines[0]; ++i)
        std::printf(i == 0 ? "%-78s" : "\n%-78s", UsageLines[i]);
    std::fputs("\n", stdout);
    printRule();
}

int endRun(int exitCode) {
    waitForKeyIfEnabled();
    return exitCode;
}

int reportLoadFailure(LoadStatus status) {
    switch (status) {
    case LoadReadFailed:
        std::fputs("\nError: Cannot read file '", stdout);
        osWriteName(currentFileName);
        std::fputs("' !\n\n", stdout);
        break;
    case LoadOutOfMemory:
        std::fputs("\nError: Not enough working memory!\n\n", stdout);
        break;
    case LoadUnknownStructure:
        std::fputs("\nError: Unknown file structure! (", stdout);
        osWriteName(currentFileName);
        std::fputs(")\n\n", stdout);
        break;
    case LoadOk:
        break;
    }
    return endRun(ExitLoadFailureBase + static_cast<int>(status));
}

}  // namespace

int runMain(int argc, PathChar** argv) {
    switch (parseArguments(argc, argv)) {
    case ArgsMissing:
        std::fputs("\nError: Not enough parameter!  ('/?' for help)\n\n", stdout);
        return endRun(ExitNoParameters);
    case ArgsUnknown:
        std::fputs("\nError: Unknown parameter!  ('/?' for help)\n\n", stdout);
        return endRun(ExitUnknownParameter);
    case ArgsOk:
        break;
    }
    if (runOptions.helpRequested) {
        printHelp();
    } else {
        for (int i = 1; i < argc; ++i) {
            currentFileName = argv[i];
            if (currentFileName[0] == 0)
                continue;  // a blanked option or an empty argument
            if (LoadStatus status = loadAndReport(); status != LoadOk)
                return reportLoadFailure(status);
        }
    }
    std::fputs("\n", stdout);
    return endRun(ExitOk);
}
