// libFuzzer target: the loader and the reports on any bytes and any length.
//
// Input layout: byte 0 holds flags, bit 0 "an explicit length follows" and
// bit 1 "sparse"; with bit 0, bytes 1 to 8 are the length the file claims
// (big-endian, signed). The rest is the file's contents. Without bit 0 the
// length is the size of the contents.
#include <cstdio>
#include <cstdlib>

#include "common/runstate.h"
#include "os_memory.h"
#include "titlefiles/loader.h"

namespace {

constexpr std::uint8_t ExplicitLength = 1;
constexpr std::uint8_t Sparse = 2;
constexpr std::size_t LengthBytes = 8;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The reports go nowhere; libFuzzer reports on standard error.
    if (std::freopen("/dev/null", "w", stdout) == nullptr)
        std::abort();
    return 0;
}

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
    LoadStatus status = loadAndReport();
    if (status != LoadOk && status != LoadReadFailed && status != LoadOutOfMemory && status != LoadUnknownStructure)
        std::abort();
    if (memoryFilesOpen() != 0 || memoryBlocksLive() != 0)
        std::abort();  // every path must close the file and release its buffers
    return 0;
}
