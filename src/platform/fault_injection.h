// SPDX-License-Identifier: MIT
// Failure injection for test builds of the OS layer. Test builds define
// TESSARLUMEN_FAULT_INJECTION and link fault_injection.cpp; every other
// build gets the constant below and carries no injection code at all.
#pragma once

#include <cstddef>

enum FaultPoint { FaultAlloc = 0, FaultOpen = 1, FaultLength = 2, FaultRead = 3, FaultWrite = 4 };

#ifdef TESSARLUMEN_FAULT_INJECTION
// Counts a call at `point` and says whether this one is to fail, as set by
// TESSARLUMEN_FAULT=alloc|open|length|read|write:N (the Nth such call
// fails; a write is one write of standard output).
bool osFaultNow(FaultPoint point);
// Bookkeeping of heap blocks handed out and given back, checked at exit.
void osFaultCountBlock(int delta);
#else
constexpr bool osFaultNow(FaultPoint) {
    return false;
}
constexpr void osFaultCountBlock(int) {}
#endif
