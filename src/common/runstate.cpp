// SPDX-License-Identifier: MIT
#include "common/runstate.h"

RunOptions runOptions = DefaultRunOptions;
const PathChar* currentFileName = nullptr;
const PathChar* keyFolder = nullptr;
const PathChar* jobsValue = nullptr;
