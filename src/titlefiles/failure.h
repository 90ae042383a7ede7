// SPDX-License-Identifier: MIT
// Why a title file could not be reported. The loader returns one of these;
// the run driver's table gives each its exit code, its JSON words and its
// text.
#pragma once

#include <cstdint>

enum class Failure : std::uint8_t {
    None = 0,            // loaded
    SystemError,         // the system's error number is in LoadedTitle::osError
    EndsEarly,           // a read came back short without a system error
    EndsBeforeTmd,       // a WAD ends before its TMD header
    EndsBeforeRecords,   // the file ends before the content records
    NoLength,            // the file's length could not be taken
    TooShort,            // shorter than any title file
    NoSignature,         // neither a WAD prefix nor an issuer tail
    RecordsPastSection,  // a WAD's TMD claims more records than its section holds
    FolderTmdNotTmd,     // a title folder's TMD file is no TMD
    NoTitleFiles,        // under /v, a folder walked (/r) holds no title
    NoMemory,            // a buffer could not be allocated
    Library,             // the cryptography library failed; its reason is in LoadedTitle::reason
    Stopped,             // the run began to stop: the file is not reported
    Last = Stopped,
};
