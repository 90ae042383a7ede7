// The run driver: options, help text, the file loop, error messages and
// the exit code.
#pragma once

#include "platform/os.h"

// Runs the tool once over argv; returns the process exit code. Options in
// argv are blanked in place.
int runMain(int argc, PathChar** argv);
