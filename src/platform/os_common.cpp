// SPDX-License-Identifier: MIT
// The parts of the OS layer that are the same on every system: the length
// each osOpen recorded, and heap blocks from the C run-time's malloc and
// free, with the test builds' failure injection in front.
#include <cstdlib>

#include "platform/fault_injection.h"
#include "platform/os.h"

std::int64_t osFileLength(const OsFile* file) {
    if (osFaultNow(FaultLength))
        return -1;
    return file->length;
}

void* osAlloc(std::size_t n) {
    if (osFaultNow(FaultAlloc))
        return nullptr;
    void* block = std::malloc(n);
    if (block != nullptr)
        osFaultCountBlock(1);
    return block;
}

void osFree(void* block) {
    if (block != nullptr)
        osFaultCountBlock(-1);
    std::free(block);
}
