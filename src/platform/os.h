// SPDX-License-Identifier: MIT
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

// Whether absolute paths start with '/', so that an argument such as
// /home/me/a.wad can be told from an option by the '/' inside it.
#ifdef _WIN32
inline constexpr bool OsSlashStartsPaths = false;
#else
inline constexpr bool OsSlashStartsPaths = true;
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
OsResult osOpen(const PathChar* name, OsFile* file);

// The length of a regular file in bytes, or -1 when the file has no length
// (a FIFO, socket or device) or it cannot be taken.
std::int64_t osFileLength(const OsFile* file);

// Reads exactly `n` bytes at byte `offset` into `buf`. Interrupted and
// partial reads are retried; OsOk means all `n` bytes arrived. End of file
// before `n` bytes, or any read error, is OsError: a short read.
OsResult osReadAt(const OsFile* file, std::uint64_t offset, void* buf, std::size_t n);

void osClose(OsFile* file);

// Heap blocks for the loader's buffers; osAlloc returns null when memory is
// exhausted. osFree accepts null.
void* osAlloc(std::size_t n);
void osFree(void* block);

// Writes all `n` bytes to standard output (in text mode on Windows, so each
// "\n" becomes CR LF). Interrupted and partial writes are retried. OsOk, or
// OsError with the system's error number in `*error`.
OsResult osWriteStdout(const void* bytes, std::size_t n, int* error);

// Whether standard output is a terminal (a console on Windows).
bool osStdoutIsTerminal();

// Writes a file name to the tool's output (common/output.h). Printable
// ASCII is written as is; other characters are written when the output's
// encoding can carry them. Control characters, invisible format characters
// and anything that cannot be represented become '?', one per character or
// undecodable byte, so a name can neither inject terminal control sequences
// nor disguise itself.
void osWriteName(const PathChar* name);

// Waits for one key press on the console itself (not standard input),
// without echo and without waiting for Enter, and consumes the whole key.
// Returns at once unless someone can see the prompt and answer it: standard
// output must be that console and, on POSIX, the process must be in its
// foreground.
void osReadKey();
