// SPDX-License-Identifier: MIT
// Process entry on POSIX systems: the arguments are already the bytes the
// user typed, which is what the tool opens and prints.
#include "cli/driver.h"

int main(int argc, char** argv) {
    osCatchInterrupts();
    return runMain(argc, argv);
}
