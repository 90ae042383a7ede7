// SPDX-License-Identifier: MIT
// libFuzzer target: the loader, the decoding and both output forms on any
// bytes and any length. Every JSON line must parse.
//
// Input layout: byte 0 holds flags, bit 0 "an explicit length follows" and
// bit 1 "sparse"; with bit 0, bytes 1 to 8 are the length the file claims
// (big-endian, signed). The rest is the file's contents. Without bit 0 the
// length is the size of the contents.
#include <cstdlib>

#include "cli/driver.h"
#include "common/output.h"
#include "common/runstate.h"
#include "json_check.h"
#include "os_memory.h"

namespace {

constexpr std::uint8_t ExplicitLength = 1;
constexpr std::uint8_t Sparse = 2;
constexpr std::size_t LengthBytes = 8;

void check(bool ok) {
    if (!ok)
        std::abort();
}

// One run of the loader in the chosen output form; returns what it wrote.
LoadStatus loadOnce(bool json, std::string* out) {
    runOptions.jsonOutput = json ? 1 : 0;
    clearMemoryOutput();
    LoadStatus status = loadAndReport();
    outFlush();
    *out = memoryOutput();
    check(status == LoadOk || status == LoadReadFailed || status == LoadOutOfMemory ||
          status == LoadUnknownStructure);
    // Every path must close the file and release its buffers.
    check(memoryFilesOpen() == 0 && memoryBlocksLive() == 0);
    return status;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::uint8_t flags = size > 0 ? data[0] : 0;
    std::size_t skip = size > 0 ? 1 : 0;
    std::int64_t length = 0;
    bool explicitLength = (flags & ExplicitLength) != 0 && size >= 1 + LengthBytes;
    if (explicitLength) {
        std::uint64_t value = 0;
        for (std::size_t i = 1; i <= LengthBytes; ++i)
            value = value << 8 | data[i];
        length = static_cast<std::int64_t>(value);
        skip += LengthBytes;
    }
    if (!explicitLength)
        length = static_cast<std::int64_t>(size - skip);
    setMemoryFile(data + skip, size - skip, length, (flags & Sparse) != 0);

    static char name[] = "fuzz.bin";
    currentFileName = name;
    std::string text;
    std::string json;
    LoadStatus status = loadOnce(false, &text);
    check(loadOnce(true, &json) == status);
    // A title gives one object on one line; a failure prints nothing here
    // (the driver writes its message or object).
    check(status != LoadOk ? json.empty() && text.empty() : !text.empty());
    if (status == LoadOk)
        check(isOneJsonLine(json));
    return 0;
}
