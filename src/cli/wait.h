// SPDX-License-Identifier: MIT
// The key wait that ends a run, so a console window opened for the run
// stays readable.
#pragma once

// Unless /n was given: prints the prompt, waits for one key, ends the line.
void waitForKeyIfEnabled();
