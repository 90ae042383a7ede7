// Heap blocks for the loader, the same on every system: the C run-time's
// malloc and free, with the test builds' failure injection in front.
#include <cstdlib>

#include "platform/fault_injection.h"
#include "platform/os.h"

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
