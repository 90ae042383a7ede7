// The operating-system layer: everything Tessarlumen needs from the OS, as
// a handful of calls with integer results. One implementation file per OS
// (os_posix.cpp, os_win.cpp, with os_common.cpp shared by both) provides
// them; nothing outside this folder opens files, talks to the terminal or
// uses OS-specific calls.
#pragma once

#include <cstddef>
#include <cstdint>

// A file name as the OS hands it over: wide on Windows, where names are
// UTF-16, and the exact bytes of argv everywhere else.
#ifdef _WIN32
using PathChar = wchar_t;
#else
using PathChar = char;
#endif

enum OsResult { OsOk = 0, OsError = 1 };

// An open title file. `handle` is the implementation's own (a descriptor or a
// stream); `length` is filled in by osOpen when opening learns it anyway.
struct OsFile {
    std::intptr_t handle;
    std::int64_t length;
};

// Opens `name`, exactly as given, for reading only; never blocks, even on a
// FIFO. A directory is refused. Any other file that is not a regular file
// (FIFO, socket, device) opens, even where the OS would refuse it, as a file
// without a length. OsOk or OsError; on OsError there is nothing to close.
int osOpen(const PathChar* name, OsFile* file);

// The length of a regular file in bytes, or -1 when the file has no length
// (a FIFO, socket or device) or it cannot be taken.
std::int64_t osFileLength(const OsFile* file);

// Reads exactly `n` bytes at byte `offset` into `buf`. Interrupted and
// partial reads are retried; OsOk means all `n` bytes arrived. End of file
// before `n` bytes, or any read error, is OsError: a short read.
int osReadAt(const OsFile* file, std::uint64_t offset, void* buf, std::size_t n);

void osClose(OsFile* file);

// Heap blocks for the loader's buffers; osAlloc returns null when memory is
// exhausted. osFree accepts null.
void* osAlloc(std::size_t n);
void osFree(void* block);

// Writes a file name to standard output. Printable ASCII is written as is;
// other characters are written when the output's encoding can carry them.
// Control characters and anything that cannot be represented become '?',
// one per character or undecodable byte, so a name can never inject
// terminal control sequences.
void osWriteName(const PathChar* name);

// Waits for one key press on the console itself (not standard input),
// without echo and without waiting for Enter, and consumes the whole key.
// Returns at once when there is no console to read.
void osReadKey();
