// SPDX-License-Identifier: MIT
// The calls of the OS layer that are the same on every system, for the
// per-system tables in os_posix.cpp and os_win.cpp.
#pragma once

#include "platform/os.h"

std::int64_t osCommonFileLength(const OsFile* file);
void* osCommonAlloc(std::size_t n);
void osCommonFree(void* block);
const char* osCommonErrorText(int error);
