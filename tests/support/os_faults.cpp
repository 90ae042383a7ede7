// SPDX-License-Identifier: MIT
// Failure injection for the test build of the tool (Tessarlumen_faults), as
// tables of OS and cryptography calls put in front of the system's own.
// Reads TESSARLUMEN_FAULT=point:N to fail the Nth call at one point (alloc,
// open, length, read, write: one write of standard output, or crypto: a
// call of the cryptography library), and at exit writes what the run left
// behind (descriptors other than 0 to 2 still open, heap blocks not
// released), how many calls each point saw and how many bytes were read
// from files to the file named by TESSARLUMEN_FAULT_REPORT, so the tests
// can check every failure path.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

#include "platform/crypto.h"
#include "platform/os.h"

namespace {

enum Point { Alloc, Open, Length, Read, Write, Crypto, PointCount };
const char* const PointNames[PointCount] = {"alloc", "open", "length", "read", "write", "crypto"};

// Counted from any thread: /v verifies files on several.
int failingPoint = -1;
long failingCall = 0;
std::atomic<long> calls[PointCount];
std::atomic<long> liveBlocks{0};
std::atomic<long long> bytesRead{0};

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

OsResult faultyOpenRegular(const PathChar* name, OsFile* file) {
    if (failNow(Open)) {
        file->error = ENOENT;
        return OsError;
    }
    return osSystemMethods.openRegular(name, file);
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

// A failed read gives ENXIO, not EIO: EIO is what a reason lost on the way shows.
OsResult faultyReadAt(OsFile* file, std::uint64_t offset, void* buf, std::size_t n) {
    if (failNow(Read)) {
        file->error = ENXIO;
        return OsError;
    }
    OsResult result = osSystemMethods.readAt(file, offset, buf, n);
    bytesRead += result == OsOk ? static_cast<long long>(n) : 0;
    return result;
}

OsResult faultyReadNext(OsFile* file, void* buf, std::size_t n, std::size_t* got) {
    if (failNow(Read)) {
        file->error = ENXIO;
        return OsError;
    }
    OsResult result = osSystemMethods.readNext(file, buf, n, got);
    bytesRead += result == OsOk ? static_cast<long long>(*got) : 0;
    return result;
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
    osSystemMethods.writeStderr, osSystemMethods.stdoutIsTerminal, osSystemMethods.stderrIsTerminal, osSystemMethods.stderrColumns,
    osSystemMethods.clockMillis, osSystemMethods.lengthOf, osSystemMethods.encodeForOutput, osSystemMethods.errorText,
    osSystemMethods.folderError, faultyOpenRegular, osSystemMethods.readFolder, osSystemMethods.readKey,
};

// The cryptography library's calls, each of which can fail as the library
// itself might (not as a finding about a file).
OsSha1State* faultySha1Begin() {
    return failNow(Crypto) ? nullptr : osSystemCrypto.sha1Begin();
}

OsResult faultySha1Update(OsSha1State* state, const void* bytes, std::size_t n) {
    return failNow(Crypto) ? OsError : osSystemCrypto.sha1Update(state, bytes, n);
}

OsResult faultySha1End(OsSha1State* state, std::uint8_t digest[OsSha1Length]) {
    OsResult result = osSystemCrypto.sha1End(state, digest);
    return failNow(Crypto) ? OsError : result;
}

OsAesState* faultyAesBegin(const std::uint8_t key[OsAesKeyLength], const std::uint8_t iv[OsAesBlockLength]) {
    return failNow(Crypto) ? nullptr : osSystemCrypto.aesBegin(key, iv);
}

OsResult faultyAesDecrypt(OsAesState* state, const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    return failNow(Crypto) ? OsError : osSystemCrypto.aesDecrypt(state, in, out, n);
}

OsCheck faultyRsaVerify(const std::uint8_t* modulus, std::size_t modulusLength, std::uint32_t exponent,
                        const std::uint8_t digest[OsSha1Length], const std::uint8_t* signature,
                        std::size_t signatureLength) {
    return failNow(Crypto) ? OsCheckFailed
                           : osSystemCrypto.rsaVerify(modulus, modulusLength, exponent, digest, signature,
                                                      signatureLength);
}

void faultyFailureText(char* out, std::size_t room) {
    std::snprintf(out, room, "a failure injected by the test");
}

const OsCryptoMethods faultyCrypto = {
    osSystemCrypto.load, faultySha1Begin, faultySha1Update, faultySha1End,     faultyAesBegin,
    faultyAesDecrypt,    osSystemCrypto.aesEnd, faultyRsaVerify, faultyFailureText,
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
        std::fprintf(f, "open-descriptors=%d live-blocks=%ld\n", descriptors, liveBlocks.load());
        for (int i = 0; i < PointCount; ++i)
            std::fprintf(f, "%s%s=%ld", i == 0 ? "" : " ", PointNames[i], calls[i].load());
        std::fprintf(f, " read-bytes=%lld\n", bytesRead.load());
        std::fclose(f);
    }
}

void install() {
    osMethods = &faultyMethods;
    osCrypto = &faultyCrypto;
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
