// SPDX-License-Identifier: MIT
// The operating-system layer: everything Tessarlumen needs from the OS, as
// a handful of calls with integer results. One implementation file per OS
// (os_posix.cpp, os_win.cpp, with os_common.cpp shared by both) fills in a
// table of them; nothing outside this folder opens files, talks to the
// terminal or uses OS-specific calls, and this folder includes nothing from
// the rest of the program but for the entry points (main_posix.cpp,
// main_win.cpp), which call the run driver.
//
// The table is how tests reach the layer: a test build or the fuzzer puts a
// table of its own in front (failure injection, files in memory), whose
// calls may pass on to the system's, so the real implementations carry no
// test hooks.
#pragma once

#include <cstddef>
#include <cstdint>

// A file name as the OS hands it over: wide on Windows, where names are
// UTF-16, and the exact bytes of argv everywhere else (UTF-8 by custom).
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

// OsAbsent: nothing exists by the name asked for (where a call says so).
enum OsResult { OsOk = 0, OsError = 1, OsAbsent = 2 };

// The error number of a file that is not a regular file where one is
// needed (a FIFO, a device); osErrorText names it.
inline constexpr int OsNotRegularFile = -2;
// The error number of a read that was given up because the run is
// stopping (osStopRequested).
inline constexpr int OsStopped = -3;

// An open file. `handle` is the implementation's own (a descriptor or a
// stream). `error` holds the system's error number of the last failed call
// on it, or 0 when a read failed only because the file ended first.
struct OsFile {
    std::intptr_t handle;
    std::int64_t length;  // -1 when the file has none (a stream)
    bool stream;          // read in order to its end: a pipe, FIFO, device or terminal
    int error;
};

// What a folder's entry is, as a walk over folders needs it: a regular
// file or a link to one; a folder itself (not a link to one, so that a
// walk never goes round in a loop); or anything else (a FIFO, a device, a
// link to a folder or to nothing).
enum OsEntryKind { OsEntryFile = 0, OsEntryFolder = 1, OsEntryOther = 2 };

// The most bytes osEncodeForOutput writes for one character.
inline constexpr std::size_t OsMaxEncodedChar = 16;

struct OsMethods {
    // Opens `name`, exactly as given, for reading only, without waiting:
    // a FIFO opens at once, with or without a writer. A directory is
    // refused. A file that is not a regular file (FIFO, character device)
    // opens as a stream. OsOk, or OsError with file->error set and nothing
    // to close.
    OsResult (*open)(const PathChar* name, OsFile* file);
    // Standard input as a file (in binary mode on Windows): a stream, or a
    // regular file when it was redirected from one.
    OsResult (*openStandardInput)(OsFile* file);
    // The length of a regular file in bytes, or -1 when it has none or it
    // cannot be taken.
    std::int64_t (*fileLength)(const OsFile* file);
    // Reads exactly `n` bytes at byte `offset` of a regular file. Interrupted
    // and partial reads are retried; OsOk means all `n` bytes arrived. End of
    // file before `n` bytes, or any read error, is OsError: a short read.
    OsResult (*readAt)(OsFile* file, std::uint64_t offset, void* buf, std::size_t n);
    // Reads the next bytes of a stream, at most `n`, waiting for them (a
    // FIFO's for its writer, when none has come yet); *got is 0 only at its
    // end. OsError on a read error, or with OsStopped when the run began to
    // stop while it waited.
    OsResult (*readNext)(OsFile* file, void* buf, std::size_t n, std::size_t* got);
    void (*close)(OsFile* file);
    // Heap blocks for the loader's buffers; null when memory is exhausted.
    // free accepts null.
    void* (*alloc)(std::size_t n);
    void (*free)(void* block);
    // Writes all `n` bytes to standard output (in text mode on Windows, so
    // each "\n" becomes CR LF). Interrupted and partial writes are retried,
    // and an output that cannot take more yet is waited for. OsOk, or
    // OsError with the system's error number in `*error`.
    OsResult (*writeStdout)(const void* bytes, std::size_t n, int* error);
    // The same for standard error, which carries only what the run says
    // outside its reports: a failed write, argument errors, a failed
    // file's reason, and the tally at the end of a run.
    OsResult (*writeStderr)(const void* bytes, std::size_t n, int* error);
    // Whether standard output is a terminal (a console on Windows).
    bool (*stdoutIsTerminal)();
    // The same for standard error.
    bool (*stderrIsTerminal)();
    // How many columns wide the terminal standard error is; 0 when it is
    // none or does not say.
    int (*stderrColumns)();
    // Milliseconds on a clock that only goes forward, from any start.
    std::uint64_t (*clockMillis)();
    // The length of the regular file `name`, or -1 when it is none.
    std::int64_t (*lengthOf)(const PathChar* name);
    // Writes code point `c` into `out` (OsMaxEncodedChar bytes of room) as
    // the output shows text: the locale's encoding, or the console's code
    // page. Returns the byte count, or 0 when the output cannot carry it.
    std::size_t (*encodeForOutput)(char32_t c, char* out);
    // The system's message for an error number.
    const char* (*errorText)(int error);
    // 0 when `name` is a folder the tool may read (the key folder), else
    // the system's error number (ENOTDIR for a file that is no folder).
    int (*folderError)(const PathChar* name);
    // Opens `name` for reading if it is a regular file, without waiting
    // (a FIFO without a writer is refused, not waited for). OsOk; OsAbsent
    // when nothing is there by that name (a symbolic link that leads
    // nowhere is there: OsError, ENOENT); OsError with file->error, which
    // is OsNotRegularFile for a FIFO or device, EISDIR for a folder.
    OsResult (*openRegular)(const PathChar* name, OsFile* file);
    // Calls `each` with the name and kind of every entry of `folder` (not
    // "." or ".."), in no order, until it returns false. OsError with the
    // system's error number in `*error` when the folder cannot be read.
    OsResult (*readFolder)(const PathChar* folder, bool (*each)(void* context, const PathChar* entry, OsEntryKind kind),
                           void* context, int* error);
    // Waits for one key press on the console itself (not standard input),
    // without echo and without waiting for Enter, and consumes the whole
    // key. Returns at once unless someone can see the prompt and answer
    // it: standard output must be that console and, on POSIX, the process
    // must be in its foreground.
    void (*readKey)();
};

// The system's own table, and the table in use (the system's unless a test
// build or the fuzzer put its own in front).
extern const OsMethods osSystemMethods;
extern const OsMethods* osMethods;

inline OsResult osOpen(const PathChar* name, OsFile* file) {
    return osMethods->open(name, file);
}
inline OsResult osOpenStandardInput(OsFile* file) {
    return osMethods->openStandardInput(file);
}
inline std::int64_t osFileLength(const OsFile* file) {
    return osMethods->fileLength(file);
}
inline OsResult osReadAt(OsFile* file, std::uint64_t offset, void* buf, std::size_t n) {
    return osMethods->readAt(file, offset, buf, n);
}
inline OsResult osReadNext(OsFile* file, void* buf, std::size_t n, std::size_t* got) {
    return osMethods->readNext(file, buf, n, got);
}
inline void osClose(OsFile* file) {
    osMethods->close(file);
}
inline void* osAlloc(std::size_t n) {
    return osMethods->alloc(n);
}
inline void osFree(void* block) {
    osMethods->free(block);
}
inline OsResult osWriteStdout(const void* bytes, std::size_t n, int* error) {
    return osMethods->writeStdout(bytes, n, error);
}
inline OsResult osWriteStderr(const void* bytes, std::size_t n, int* error) {
    return osMethods->writeStderr(bytes, n, error);
}
inline bool osStdoutIsTerminal() {
    return osMethods->stdoutIsTerminal();
}
inline bool osStderrIsTerminal() {
    return osMethods->stderrIsTerminal();
}
inline int osStderrColumns() {
    return osMethods->stderrColumns();
}
inline std::uint64_t osClockMillis() {
    return osMethods->clockMillis();
}
inline std::int64_t osLengthOf(const PathChar* name) {
    return osMethods->lengthOf(name);
}
inline std::size_t osEncodeForOutput(char32_t c, char* out) {
    return osMethods->encodeForOutput(c, out);
}
inline const char* osErrorText(int error) {
    return osMethods->errorText(error);
}
inline int osFolderError(const PathChar* name) {
    return osMethods->folderError(name);
}
inline OsResult osOpenRegular(const PathChar* name, OsFile* file) {
    return osMethods->openRegular(name, file);
}
inline OsResult osReadFolder(const PathChar* folder, bool (*each)(void* context, const PathChar* entry, OsEntryKind kind),
                             void* context, int* error) {
    return osMethods->readFolder(folder, each, context, error);
}
inline void osReadKey() {
    osMethods->readKey();
}

// ---- Outside the table: interrupts ----

// From here on an interrupt (Ctrl-C: SIGINT, or SIGTERM, on POSIX; Ctrl-C
// or Ctrl-Break on Windows) does not end the process at once: it is
// noted, so that the run stops within moments and writes out the reports
// already made, then ends the process with osEndByInterrupt. Called by
// the entry code alone, so a test that runs the tool in its own process
// keeps its own handling.
void osCatchInterrupts();
// Whether an interrupt has come since osCatchInterrupts.
bool osInterrupted();
// Ends the process as the interrupt that came would have ended it.
[[noreturn]] void osEndByInterrupt();

// ---- Outside the table: the key folder of verification ----

// The folder the user's keys are kept in unless --keys names another:
// $XDG_CONFIG_HOME/tessarlumen or ~/.config/tessarlumen on POSIX systems,
// %APPDATA%\Tessarlumen on Windows. Returns its length, 0 when there is
// none; when that is below `room`, it is written, terminated, into `out`.
std::size_t osDefaultKeyFolder(PathChar* out, std::size_t room);

// The separator between a folder and a name inside it.
inline constexpr PathChar OsPathSeparator = OsSlashStartsPaths ? '/' : '\\';

// `folder`, a separator unless it ends in one, and `name`, in a block
// from osAlloc; null when memory ran out.
PathChar* osPathJoin(const PathChar* folder, const PathChar* name);
// The same for a short ASCII name (at most 32 characters).
PathChar* osPathInFolder(const PathChar* folder, const char* name);

