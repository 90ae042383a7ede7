// SPDX-License-Identifier: MIT
// The keys for verification, read from the user's key folder before any
// title file is opened: the console's common keys and the root's public
// key. They are not part of the tool.
#pragma once

#include "platform/crypto.h"
#include "platform/os.h"
#include "titlefiles/keyset.h"

enum class KeyStatus {
    Ok = 0,
    FolderUnreadable,   // the folder --keys names cannot be read
    FileUnreadable,     // a key file is there but cannot be read, or is no regular file
    FileUnusable,       // a key file is of another size or content
    NoCryptography,     // the cryptography library cannot be loaded
    UntrustedCryptography,  // the library failed its self-test
    NoMemory,               // memory ran out
};

// Why the keys could not be read: the folder or file (from osAlloc, or
// null), the system's error number, whether the file is the root's, and
// the library's reason.
struct KeyProblem {
    PathChar* where;
    int osError;
    bool rootKey;
    char reason[OsCryptoReasonRoom];
};

// Starts the cryptography library, then reads standard.key, korean.key,
// vwii.key and root.key from `folder`, or from the default folder when
// `folder` is null (which need not exist). A key file that is missing is
// no error: that key is then absent. Release the problem's `where`.
KeyStatus loadKeys(const PathChar* folder, KeySet* keys, KeyProblem* problem);
