// SPDX-License-Identifier: MIT
#include "report/tmd_report.h"

#include "common/output.h"
#include "report/identity.h"

namespace {

constexpr unsigned BlockShift = 17;  // 128 KiB blocks

void printSizes(const TitleSizes& sizes) {
    auto own = static_cast<unsigned long long>(sizes.own);
    auto all = static_cast<unsigned long long>(sizes.total);
    if (sizes.shared != 0)
        outFormat("Size: %llu - %llu byte (%llu - %llu blocks)\n", own, all, blocksOf(own), blocksOf(all));
    else
        outFormat("Size: %llu byte (%llu blocks)\n", all, blocksOf(all));
}

}  // namespace

unsigned long long blocksOf(std::uint64_t bytes) {
    return (bytes >> BlockShift) + 1;
}

void printTmdInfo(const TitleFacts& tmd) {
    char code[TitleCodeLength + 1];
    char maker[MakerCodeLength + 1];
    makePrintableCode(tmd.code, TitleCodeLength, code);
    makePrintableCode(tmd.maker, MakerCodeLength, maker);
    printHeading("TMD");
    bool isIos = printTitleIdentity(tmd.titleHigh, tmd.titleLow, code);
    bool systemTitle = isSystemTitle(tmd.titleHigh);
    if (tmd.version != 0)
        outFormat("    Version: %u", unsigned{tmd.version});
    if (systemTitle)
        outText("\n");
    else
        outFormat("    ManufacturerID: %s\n", maker);
    if (!isIos && tmd.ios >= FirstIosNumber && tmd.ios <= LastIosNumber)
        outFormat("IOS Flag: IOS%u    ", unsigned{tmd.ios});
    if (systemTitle)
        outText("\n");
    else
        outFormat("Region Flag: %s\n", regionName(tmd.region));
    outFormat("Data files: %u\n", unsigned{tmd.contentCount});
    printSizes(tmd.sizes);
    printRule();
    outText("\n");
}
