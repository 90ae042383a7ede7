// SPDX-License-Identifier: MIT
// The process-wide run state's storage.
#include "common/runstate.h"

RunOptions runOptions = DefaultRunOptions;
const PathChar* currentFileName = nullptr;
const PathChar* keyFolder = nullptr;
const PathChar* jobsValue = nullptr;
const PathChar* unknownArgument = nullptr;
