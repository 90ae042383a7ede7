// Command-line options.
#pragma once

#include "platform/os.h"

enum ArgStatus {
    ArgsOk = 0,
    ArgsMissing = 1,  // neither a file name nor a help option
    ArgsUnknown = 2,  // an unknown option; later arguments were not looked at
};

// Sets runOptions from the options among argv[1..argc-1] and blanks each
// recognised option in place, so the file loop skips it. An argument that
// starts with '/' or '-' is always an option, decided by its second
// character alone.
ArgStatus parseArguments(int argc, PathChar** argv);
