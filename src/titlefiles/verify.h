// SPDX-License-Identifier: MIT
// Verification (/v): whether a title is genuine and whole. The loader
// reads each file once, front to back, keeping what the report and the
// signatures need and hashing the contents as their bytes go by; this part
// judges what was kept and hashed.
#pragma once

#include "titlefiles/certs.h"
#include "titlefiles/facts.h"
#include "titlefiles/keyset.h"
#include "titlefiles/loader.h"

// Judges a loaded title from the bytes kept and its contents' results;
// false when the cryptography library failed, which says nothing about
// the file.
bool verifyTitle(LoadedTitle* title, const KeySet& keys, VerifyFacts* facts);
