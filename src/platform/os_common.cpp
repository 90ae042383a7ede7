// SPDX-License-Identifier: MIT
// The parts of the OS layer that are the same on every system: the length
// each open recorded, heap blocks from the C run-time's malloc and free,
// and the C run-time's error messages.
#include "platform/os_common.h"

#include <cstdlib>
#include <cstring>

// Constant-initialised, so a table put in front of it by a test build's
// static initialiser always finds it set.
const OsMethods* osMethods = &osSystemMethods;

std::int64_t osCommonFileLength(const OsFile* file) {
    return file->length;
}

void* osCommonAlloc(std::size_t n) {
    return std::malloc(n);
}

void osCommonFree(void* block) {
    std::free(block);
}

const char* osCommonErrorText(int error) {
    if (error == OsStopped)
        return "The run stopped";
    return error == OsNotRegularFile ? "Not a regular file" : std::strerror(error);
}

PathChar* osPathJoin(const PathChar* folder, const PathChar* name) {
    std::size_t n = 0;
    while (folder[n] != 0)
        ++n;
    std::size_t length = 0;
    while (name[length] != 0)
        ++length;
    auto* path = static_cast<PathChar*>(osAlloc((n + 1 + length + 1) * sizeof(PathChar)));
    if (path == nullptr)
        return nullptr;
    std::memcpy(path, folder, n * sizeof(PathChar));
    if (n > 0 && path[n - 1] != '/' && path[n - 1] != OsPathSeparator)
        path[n++] = OsPathSeparator;
    std::memcpy(path + n, name, (length + 1) * sizeof(PathChar));
    return path;
}

PathChar* osPathInFolder(const PathChar* folder, const char* name) {
    // The names looked for in a folder are short ASCII ones.
    constexpr std::size_t Longest = 32;
    PathChar wide[Longest + 1];
    std::size_t i = 0;
    for (; name[i] != 0 && i < Longest; ++i)
        wide[i] = static_cast<PathChar>(name[i]);
    wide[i] = 0;
    return osPathJoin(folder, wide);
}
