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

PathChar* osPathInFolder(const PathChar* folder, const char* name) {
    std::size_t n = 0;
    while (folder[n] != 0)
        ++n;
    std::size_t length = std::strlen(name);
    auto* path = static_cast<PathChar*>(osAlloc((n + 1 + length + 1) * sizeof(PathChar)));
    if (path == nullptr)
        return nullptr;
    std::memcpy(path, folder, n * sizeof(PathChar));
    if (n > 0 && path[n - 1] != '/' && path[n - 1] != OsPathSeparator)
        path[n++] = OsPathSeparator;
    for (std::size_t i = 0; i <= length; ++i)
        path[n + i] = static_cast<PathChar>(name[i]);
    return path;
}
