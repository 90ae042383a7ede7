// SPDX-License-Identifier: MIT
// Test builds only. Reads TESSARLUMEN_FAULT=point:N to fail the Nth call at
// one point, and at exit writes what the run left behind (descriptors other
// than 0 to 2 still open, heap blocks not released) to the file named by
// TESSARLUMEN_FAULT_REPORT, so the tests can check every failure path. A
// second line counts the calls made at each point.
#include "platform/fault_injection.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

const char* const PointNames[] = {"alloc", "open", "length", "read", "write"};
constexpr int PointCount = 5;

int failingPoint = -1;
long failingCall = 0;
long calls[PointCount];
long liveBlocks = 0;

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

void configure() {
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

// Set up before main, so that even a run that opens nothing reports.
const bool configuredAtStart = (configure(), true);

}  // namespace

bool osFaultNow(FaultPoint point) {
    return ++calls[point] == failingCall && point == failingPoint;
}

void osFaultCountBlock(int delta) {
    liveBlocks += delta;
}
