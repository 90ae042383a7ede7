// SPDX-License-Identifier: MIT
// Failure injection for the test build of the tool (Tessarlumen_faults), as
// a table of OS calls put in front of the system's own. Reads
// TESSARLUMEN_FAULT=point:N to fail the Nth call at one point (alloc,
// open, length, read or write: one write of standard output), and at exit
// writes what the run left behind (descriptors other than 0 to 2 still
// open, heap blocks not released) and how many calls each point saw to the
// file named by TESSARLUMEN_FAULT_REPORT, so the tests can check every
// failure path.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "platform/os.h"

namespace {

enum Point { Alloc, Open, Length, Read, Write, PointCount };
const char* const PointNames[PointCount] = {"alloc", "open", "length", "read", "write"};

int failingPoint = -1;
long failingCall = 0;
long calls[PointCount];
long liveBlocks = 0;

bool failNow(Point point) {
    return ++calls[point] == failingCall && point == failingPoint;
}

OsResult faultyOpen(const PathChar* name, OsFile* file) {
    if (failNow(Open)) {
        file->error = ENOENT;
        return OsError;
    }
    return osSystemMethods.open(name, file);
}

OsResult faultyOpenStandardInput(OsFile* file) {
    if (failNow(Open)) {
        file->error = EBADF;
        return OsError;
    }
    return osSystemMethods.openStandardInput(file);
}

std::int64_t faultyFileLength(const OsFile* file) {
    return failNow(Length) ? -1 : osSystemMethods.fileLength(file);
}

OsResult faultyReadAt(OsFile* file, std::uint64_t offset, void* buf, std::size_t n) {
    if (failNow(Read)) {
        file->error = EIO;
        return OsError;
    }
    return osSystemMethods.readAt(file, offset, buf, n);
}

OsResult faultyReadNext(OsFile* file, void* buf, std::size_t n, std::size_t* got) {
    if (failNow(Read)) {
        file->error = EIO;
        return OsError;
    }
    return osSystemMethods.readNext(file, buf, n, got);
}

void* faultyAlloc(std::size_t n) {
    void* block = failNow(Alloc) ? nullptr : osSystemMethods.alloc(n);
    liveBlocks += block != nullptr ? 1 : 0;
    return block;
}

void countedFree(void* block) {
    liveBlocks -= block != nullptr ? 1 : 0;
    osSystemMethods.free(block);
}

OsResult faultyWriteStdout(const void* bytes, std::size_t n, int* error) {
    if (failNow(Write)) {
        *error = EIO;
        return OsError;
    }
    return osSystemMethods.writeStdout(bytes, n, error);
}

const OsMethods faultyMethods = {
    faultyOpen,         faultyOpenStandardInput,         faultyFileLength,
    faultyReadAt,       faultyReadNext,                  osSystemMethods.close,
    faultyAlloc,        countedFree,                     faultyWriteStdout,
    osSystemMethods.stdoutIsTerminal, osSystemMethods.encodeForOutput, osSystemMethods.errorText,
    osSystemMethods.isReadableFolder, osSystemMethods.readKey,
};

int openDescriptorsAboveStd() {
    int open = 0;
    for (int fd = 3; fd < 1024; ++fd)
        if (fcntl(fd, F_GETFD) != -1)
            ++open;
    return open;
}

void writeReport() {
    const char* path = std::getenv("TESSARLUMEN_FAULT_REPORT");
    if (path == nullptr)
        return;
    int descriptors = openDescriptorsAboveStd();
    if (std::FILE* f = std::fopen(path, "w")) {
        std::fprintf(f, "open-descriptors=%d live-blocks=%ld\n", descriptors, liveBlocks);
        for (int i = 0; i < PointCount; ++i)
            std::fprintf(f, "%s%s=%ld", i == 0 ? "" : " ", PointNames[i], calls[i]);
        std::fprintf(f, "\n");
        std::fclose(f);
    }
}

void install() {
    osMethods = &faultyMethods;
    std::atexit(writeReport);
    const char* request = std::getenv("TESSARLUMEN_FAULT");
    if (request == nullptr)
        return;
    for (int i = 0; i < PointCount; ++i) {
        std::size_t n = std::strlen(PointNames[i]);
        if (std::strncmp(request, PointNames[i], n) == 0 && request[n] == ':') {
            failingPoint = i;
            failingCall = std::strtol(request + n + 1, nullptr, 10);
        }
    }
}

// Put in front before main, so that even a run that opens nothing reports.
const bool installedAtStart = (install(), true);

}  // namespace
