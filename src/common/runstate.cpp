#include "common/runstate.h"

RunOptions runOptions = DefaultRunOptions;
const PathChar* currentFileName = nullptr;
