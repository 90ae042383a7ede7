// SPDX-License-Identifier: MIT
// The console's common keys for verification, read from the user's key
// folder before any title file is opened. They are not part of the tool.
#pragma once

#include "platform/os.h"
#include "titlefiles/verify.h"

enum class KeyStatus {
    Ok = 0,
    FolderUnreadable,  // the folder --keys names cannot be read
    FileUnreadable,    // a key file is there but cannot be read
    FileUnusable,      // a key file is neither 16 bytes nor 32 hexadecimal digits
    NoCryptography,    // the cryptography library cannot be loaded
};

// Reads standard.key, korean.key and vwii.key from `folder`, or from the
// default folder when `folder` is null (which need not exist). A key file
// that is missing is no error: that key is then absent. On an error,
// `where` is the folder or file that caused it (room for `room` characters).
KeyStatus loadCommonKeys(const PathChar* folder, CommonKeys* keys, PathChar* where, std::size_t room);
