// The file loader: opens the file named by currentFileName, classifies it,
// reads what its report needs, closes it and hands the bytes to the report.
#pragma once

enum LoadStatus {
    LoadOk = 0,
    LoadReadFailed = 1,        // the file would not open, or a read came back short
    LoadOutOfMemory = 3,       // a buffer could not be allocated
    LoadUnknownStructure = 4,  // no accepted layout has this length and these signatures
};

// Never prints anything itself except through the report, and only once the
// file is closed; releases every buffer on every path.
LoadStatus loadAndReport();
