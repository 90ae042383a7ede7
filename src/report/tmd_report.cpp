// SPDX-License-Identifier: MIT
// The text report of a TMD, a WAD or a title folder.
#include "report/tmd_report.h"

#include "common/output.h"
#include "report/identity.h"
#include "report/verify_report.h"

namespace {

// The longest report after its heading, every number at its widest.
constexpr std::size_t ReportLongest = 640;
static_assert(18 + 23 + 20 + 26 + 18 + 108 + sizeof ReportRule + 1 <= ReportLongest &&
              ReportLongest <= OutReserveLimit);

char* putSizes(char* at, const TitleSizes& sizes) {
    at = putLiteral(at, "Size: ");
    if (sizes.shared != 0) {
        at = putLiteral(putDecimal(at, sizes.own), " - ");
        at = putLiteral(putDecimal(at, sizes.total), " byte (");
        at = putLiteral(putDecimal(at, sizes.ownBlocks), " - ");
    } else {
        at = putLiteral(putDecimal(at, sizes.total), " byte (");
    }
    return putLiteral(putDecimal(at, sizes.totalBlocks), " blocks)\n");
}

}  // namespace

void printTmdInfo(const TitleFacts& tmd) {
    char code[TitleCodeLength + 1];
    char maker[MakerCodeLength + 1];
    makePrintableCode(tmd.code, TitleCodeLength, code);
    makePrintableCode(tmd.maker, MakerCodeLength, maker);
    printHeading("TMD");
    bool iosTitle = printTitleIdentity(tmd.titleHigh, tmd.titleLow, code);
    char* start = outReserve(ReportLongest);
    char* at = start;
    bool systemTitle = isSystemTitle(tmd.titleHigh);
    if (tmd.version != 0)
        at = putDecimal(putLiteral(at, "    Version: "), tmd.version);
    if (systemTitle)
        at = putLiteral(at, "\n");
    else
        at = putLiteral(putText(putLiteral(at, "    ManufacturerID: "), maker), "\n");
    if (!iosTitle && tmd.ios >= FirstIosNumber && tmd.ios <= LastIosNumber)
        at = putLiteral(putDecimal(putLiteral(at, "IOS Flag: IOS"), tmd.ios), "    ");
    if (systemTitle)
        at = putLiteral(at, "\n");
    else
        at = putLiteral(putText(putLiteral(at, "Region Flag: "), regionName(tmd.region)), "\n");
    at = putLiteral(putDecimal(putLiteral(at, "Data files: "), tmd.contentCount), "\n");
    at = putSizes(at, tmd.sizes);
    if (tmd.verify != nullptr) {
        outCommit(static_cast<std::size_t>(at - start));
        printVerifyLines(tmd);
        start = at = outReserve(sizeof ReportRule + 1);
    }
    at = putLiteral(putLiteral(at, ReportRule), "\n");
    outCommit(static_cast<std::size_t>(at - start));
}
