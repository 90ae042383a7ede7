// SPDX-License-Identifier: MIT
// Process entry on POSIX systems: the arguments are already the bytes the
// user typed, which is what the tool opens and prints.
#include "cli/driver.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#ifdef __GLIBC__
    // Blocks from 256 KiB up (a large TMD's records, the read blocks) are
    // mapped apart and go back to the system when freed. Left to itself,
    // glibc raises this threshold after the first such free, and a run
    // on many threads then keeps freed blocks in each thread's arena: its
    // memory grew with the number of files.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
    osCatchInterrupts();
    return runMain(argc, argv);
}
