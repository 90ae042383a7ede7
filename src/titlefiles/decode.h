// SPDX-License-Identifier: MIT
// The facts of a title, read from the loader's bytes in this one place.
// The text report and the JSON writer only render them.
#pragma once

#include "titlefiles/facts.h"
#include "titlefiles/loader.h"

// Reads the facts of a successfully loaded title. `facts` refers to the
// title's buffers, so it is valid until releaseTitle.
void decodeTitle(const LoadedTitle& title, TitleFacts* facts);
