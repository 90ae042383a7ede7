#include "cli/wait.h"

#include <cstdio>

#include "common/runstate.h"
#include "platform/os.h"

void waitForKeyIfEnabled() {
    if (!runOptions.waitForKey)
        return;
    std::fputs("\nPress a key to continue...", stdout);
    std::fflush(stdout);  // the prompt must be visible before the wait
    osReadKey();
    std::fputs("\n", stdout);
}
