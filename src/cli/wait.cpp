// SPDX-License-Identifier: MIT
// The prompt and the wait for a key before the program exits, unless /n
// was given.
#include "cli/wait.h"

#include "common/output.h"
#include "common/runstate.h"
#include "platform/os.h"

void waitForKeyIfEnabled() {
    if (!runOptions.waitForKey)
        return;
    outText("\nPress a key to continue...");
    outFlush();  // the prompt must be visible before the wait
    if (outFailed())
        return;  // nobody sees a prompt that could not be written
    osReadKey();
    outText("\n");
}
