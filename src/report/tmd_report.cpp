#include "report/tmd_report.h"

#include <cstdio>

#include "report/identity.h"
#include "titlefiles/formats.h"

// The last entry, "Unknown", also stands for every region number above it.
const char RegionNames[RegionCount][12] = {"Japan", "USA", "Europe", "Region Free", "Unknown"};

namespace {

// An installed title also holds one TMD header and one ticket.
constexpr std::uint64_t InstallOverhead = TmdHeaderLength + TicketLength;
constexpr unsigned BlockShift = 17;  // 128 KiB blocks

std::uint64_t addClamped(std::uint64_t a, std::uint64_t b) {
    return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}

// Counts whole blocks plus one, so 131072 bytes are 2 blocks.
unsigned long long blocks(std::uint64_t bytes) {
    return (bytes >> BlockShift) + 1;
}

void printSizes(ByteSpan contents, std::uint16_t count) {
    // Sizes use the whole 64-bit field and 64-bit totals, so contents of
    // 4 GiB and more, and titles adding up past that, show their true size.
    std::uint64_t total = 0;
    std::uint64_t shared = 0;
    for (std::size_t i = 0; i < count; ++i) {
        std::size_t record = i * ContentRecordLength;
        std::uint64_t size = std::uint64_t{readBe32(contents, record + ContentSizeHighOffset)} << 32 |
                             readBe32(contents, record + ContentSizeLowOffset);
        total = addClamped(total, size);
        if (readBe16(contents, record + ContentTypeOffset) > SharedContentTypeLimit)
            shared = addClamped(shared, size);
    }
    total = addClamped(total, count * ContentRecordLength + InstallOverhead);
    auto own = static_cast<unsigned long long>(total - shared);
    auto all = static_cast<unsigned long long>(total);
    if (shared != 0)
        std::printf("Size: %llu - %llu byte (%llu - %llu blocks)\n", own, all, blocks(own), blocks(all));
    else
        std::printf("Size: %llu byte (%llu blocks)\n", all, blocks(all));
}

}  // namespace

void printTmdInfo(ByteSpan tmd, ByteSpan contents, std::uint16_t count) {
    char code[TitleCodeLength + 1];
    char maker[MakerCodeLength + 1];
    makePrintableCodeAt(tmd, TmdTitleIdLowOffset, TitleCodeLength, code);
    makePrintableCodeAt(tmd, TmdMakerCodeOffset, MakerCodeLength, maker);
    printHeading("TMD");
    std::uint32_t high = readBe32(tmd, TmdTitleIdHighOffset);
    bool isIos = printTitleIdentity(high, readBe32(tmd, TmdTitleIdLowOffset), code);
    bool systemTitle = high == SystemTitleHigh;
    if (std::uint16_t version = readBe16(tmd, TmdTitleVersionOffset); version != 0)
        std::printf("    Version: %u", unsigned{version});
    if (systemTitle)
        std::fputs("\n", stdout);
    else
        std::printf("    ManufacturerID: %s\n", maker);
    std::uint16_t ios = readBe16(tmd, TmdIosOffset);
    if (!isIos && ios >= FirstIosNumber && ios <= LastIosNumber)
        std::printf("IOS Flag: IOS%u    ", unsigned{ios});
    if (systemTitle) {
        std::fputs("\n", stdout);
    } else {
        std::uint16_t region = readBe16(tmd, TmdRegionOffset);
        std::printf("Region Flag: %s\n", RegionNames[region < RegionCount ? region : RegionCount - 1]);
    }
    std::printf("Data files: %u\n", unsigned{count});
    printSizes(contents, count);
    printRule();
    std::fputs("\n", stdout);
}
