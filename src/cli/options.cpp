#include "cli/options.h"

#include "common/runstate.h"

ArgStatus parseArguments(int argc, PathChar** argv) {
    for (int i = 1; i < argc; ++i) {
        PathChar* arg = argv[i];
        if (arg[0] != '/' && arg[0] != '-') {
            runOptions.filesGiven = 1;  // an empty argument counts too
            continue;
        }
        switch (arg[1]) {
        case '?':
        case 'H':
        case 'h':
            runOptions.helpRequested = 1;
            break;
        case 'N':
        case 'n':
            runOptions.waitForKey = 0;
            break;
        default:
            return ArgsUnknown;
        }
        arg[0] = 0;
    }
    return runOptions.helpRequested || runOptions.filesGiven ? ArgsOk : ArgsMissing;
}
