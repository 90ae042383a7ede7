// SPDX-License-Identifier: MIT
// Reports byte for byte: the worked examples, then one case per branch of
// the identification lines, the ticket report and the TMD report.
#include <gtest/gtest.h>

#include <unistd.h>

#include "tool_run.h"

namespace {

using titlecraft::Bytes;
using titlecraft::Content;
using titlecraft::Tmd;

TEST(Reports, WorkedTmdExample) {
    // Laid out field by field at the documented offsets, apart from any helper.
    Bytes b(556);
    titlecraft::putText(b, 0x150, "CP00000004");
    titlecraft::putBe16(b, 0x18A, 36);
    titlecraft::putBe32(b, 0x18C, 0x00010001);
    titlecraft::putText(b, 0x190, "HABA");
    titlecraft::putText(b, 0x198, "01");
    titlecraft::putBe16(b, 0x19C, 1);
    titlecraft::putBe16(b, 0x1DC, 2);
    titlecraft::putBe16(b, 0x1DE, 2);
    titlecraft::putBe16(b, 0x1E4 + 6, 0x0001);
    titlecraft::putBe64(b, 0x1E4 + 8, 2368);
    titlecraft::putBe16(b, 0x1E4 + 36 + 6, 0x8001);
    titlecraft::putBe64(b, 0x1E4 + 36 + 8, 131072);
    TempDir dir;
    dir.write("sample.tmd", b);
    ToolRun run = runTool({"/n", "sample.tmd"}, dir.path);
    EXPECT_EQ(run.out,
              "\nTMD info of \"sample.tmd\" :\n\n"
              "Path: '00010001\\48414241'\n"
              "Type: Channel Title\n"
              "TitleID: 'HABA'    Version: 2    ManufacturerID: 01\n"
              "IOS Flag: IOS36    Region Flag: USA\n"
              "Data files: 2\n"
              "Size: 3600 - 134672 byte (1 - 2 blocks)\n" +
                  Rule + "\n\n");
    EXPECT_EQ(run.exitCode, 0);
}

TEST(Reports, WorkedTicketExample) {
    Bytes b(676);
    titlecraft::putText(b, 0x150, "XS00000003");
    titlecraft::putBe32(b, 0x1DC, 1);
    titlecraft::putBe32(b, 0x1E0, 2);
    titlecraft::putBe16(b, 0x1E6, 521);
    TempDir dir;
    dir.write("sysmenu.tik", b);
    ToolRun run = runTool({"sysmenu.tik"}, dir.path);
    EXPECT_EQ(run.out,
              "\nTicket info of \"sysmenu.tik\" :\n\n"
              "Path: '00000001\\00000002'\n"
              "Type: System Title\n"
              "TitleID: System Menu    Version: 521\n" +
                  Rule + "\n\n\nPress a key to continue...\n");
    EXPECT_EQ(run.exitCode, 0);
}

struct TicketCase {
    std::uint32_t high;
    std::uint32_t low;
    std::uint16_t version;
    std::string lines;  // from the path line to the TitleID line
};

const TicketCase TicketCases[] = {
    {1, 0, 0, "Path: '00000001\\00000000'\nType: System Title\nTitleID: Unknown\n"},
    {1, 1, 1, "Path: '00000001\\00000001'\nType: System Title\nTitleID: BOOT2    Version: 1\n"},
    {1, 3, 0, "Path: '00000001\\00000003'\nType: System Title\nTitleID: IOS3\n"},
    {1, 255, 65535, "Path: '00000001\\000000FF'\nType: System Title\nTitleID: IOS255    Version: 65535\n"},
    {1, 256, 0, "Path: '00000001\\00000100'\nType: System Title\nTitleID: BC\n"},
    {1, 257, 0, "Path: '00000001\\00000101'\nType: System Title\nTitleID: MIOS\n"},
    {1, 258, 0, "Path: '00000001\\00000102'\nType: System Title\nTitleID: Unknown\n"},
    {0x00010000, 0x52534245, 0, "Path: '00010000\\52534245'\nType: Disc Game Title\nTitleID: 'RSBE'\n"},
    {0x00010003, 0x41424344, 2, "Path: '00010003\\41424344'\nType: Unknown\nTitleID: 'ABCD'    Version: 2\n"},
    {0x00010008, 0x00C14B41, 0, "Path: '00010008\\00C14B41'\nType: Hidden Channel\nTitleID: '  KA'\n"},
    {0x00010002, 0x7F204142, 0, "Path: '00010002\\7F204142'\nType: System Channel\nTitleID: '  AB'\n"},
};

TEST(Reports, TicketIdentification) {
    TempDir dir;
    for (const TicketCase& c : TicketCases) {
        SCOPED_TRACE(c.lines);
        dir.write("t.tik", titlecraft::ticketBytes({.high = c.high, .low = c.low, .version = c.version}));
        ToolRun run = runTool({"/n", "t.tik"}, dir.path);
        EXPECT_EQ(run.out, "\nTicket info of \"t.tik\" :\n\n" + c.lines + Rule + "\n\n");
    }
}

struct TmdCase {
    const char* name;
    Tmd tmd;
    std::string lines;  // from the path line to the size line
};

const std::string Channel = "Path: '00010001\\54534C41'\nType: Channel Title\n";
// A channel with the default maker, region and IOS, no version.
const std::string Usual = Channel + "TitleID: 'TSLA'    ManufacturerID: TL\nIOS Flag: IOS36    Region Flag: USA\n";

std::vector<TmdCase> tmdCases() {
    return {
        {"IOS title", {.high = 1, .low = 36, .version = 3351, .ios = 0},
         "Path: '00000001\\00000024'\nType: System Title\nTitleID: IOS36    Version: 3351\n\n"
         "Data files: 0\nSize: 1160 byte (1 blocks)\n"},
        {"IOS title naming an IOS", {.high = 1, .low = 80, .region = 2, .version = 1, .ios = 36},
         "Path: '00000001\\00000050'\nType: System Title\nTitleID: IOS80    Version: 1\n\n"
         "Data files: 0\nSize: 1160 byte (1 blocks)\n"},
        {"system title with IOS flag", {.high = 1, .low = 2, .version = 513, .ios = 80},
         "Path: '00000001\\00000002'\nType: System Title\nTitleID: System Menu    Version: 513\n"
         "IOS Flag: IOS80    \nData files: 0\nSize: 1160 byte (1 blocks)\n"},
        {"system title without IOS flag", {.high = 1, .low = 1, .ios = 0},
         "Path: '00000001\\00000001'\nType: System Title\nTitleID: BOOT2\n\nData files: 0\n"
         "Size: 1160 byte (1 blocks)\n"},
        {"version 0", {.region = 0, .ios = 3},
         Channel + "TitleID: 'TSLA'    ManufacturerID: TL\nIOS Flag: IOS3    Region Flag: Japan\n"
                   "Data files: 0\nSize: 1160 byte (1 blocks)\n"},
        {"IOS 255, Europe", {.region = 2, .version = 9, .ios = 255},
         Channel + "TitleID: 'TSLA'    Version: 9    ManufacturerID: TL\nIOS Flag: IOS255    Region Flag: Europe\n"
                   "Data files: 0\nSize: 1160 byte (1 blocks)\n"},
        {"IOS 2 is no IOS", {.region = 3, .ios = 2},
         Channel + "TitleID: 'TSLA'    ManufacturerID: TL\nRegion Flag: Region Free\n"
                   "Data files: 0\nSize: 1160 byte (1 blocks)\n"},
        {"IOS 256 is no IOS", {.region = 4, .ios = 256},
         Channel + "TitleID: 'TSLA'    ManufacturerID: TL\nRegion Flag: Unknown\n"
                   "Data files: 0\nSize: 1160 byte (1 blocks)\n"},
        {"region 0xFFFF", {.region = 0xFFFF, .ios = 0},
         Channel + "TitleID: 'TSLA'    ManufacturerID: TL\nRegion Flag: Unknown\n"
                   "Data files: 0\nSize: 1160 byte (1 blocks)\n"},
        {"unprintable codes", {.high = 0x00010005, .low = 0x00414BC1, .maker = "\x01Z"},
         "Path: '00010005\\00414BC1'\nType: Downloadable Content (DLC)\nTitleID: ' AK '    ManufacturerID:  Z\n"
         "IOS Flag: IOS36    Region Flag: USA\nData files: 0\nSize: 1160 byte (1 blocks)\n"},
        {"shared content of size 0", {.contents = {{0x0001, 10}, {0x8001, 0}}},
         Usual + "Data files: 2\nSize: 1242 byte (1 blocks)\n"},
        {"type 0x8000 is not shared", {.contents = {{0x8000, 100}}},
         Usual + "Data files: 1\nSize: 1296 byte (1 blocks)\n"},
        {"one byte below two blocks", {.contents = {{0x0001, 131071 - 1160 - 36}}},
         Usual + "Data files: 1\nSize: 131071 byte (1 blocks)\n"},
        {"exactly one block", {.contents = {{0x0001, 131072 - 1160 - 36}}},
         Usual + "Data files: 1\nSize: 131072 byte (2 blocks)\n"},
        {"shared contents", {.contents = {{0x8001, 131072}, {0x0001, 1}, {0xFFFF, 131072}}},
         Usual + "Data files: 3\nSize: 1269 - 263413 byte (1 - 3 blocks)\n"},
        {"a 4 GiB content", {.contents = {{0x0001, 0x100000000}}},
         Usual + "Data files: 1\nSize: 4294968492 byte (32769 blocks)\n"},
        {"contents adding up past 4 GiB", {.contents = {{0x0001, 0xFFFFFFFF}, {0x8001, 0xFFFFFFFF}}},
         Usual + "Data files: 2\nSize: 4294968527 - 8589935822 byte (32769 - 65537 blocks)\n"},
        // Own and shared sizes saturate apart: neither drops below its true part.
        {"own size stops at the largest size", {.contents = {{0x0001, UINT64_MAX}, {0x8001, 5}}},
         Usual + "Data files: 2\nSize: 18446744073709551615 - 18446744073709551615 byte "
                   "(140737488355328 - 140737488355328 blocks)\n"},
        {"shared size stops at the largest size", {.contents = {{0x0001, 10}, {0x8001, UINT64_MAX}}},
         Usual + "Data files: 2\nSize: 1242 - 18446744073709551615 byte "
                   "(1 - 140737488355328 blocks)\n"},
    };
}

TEST(Reports, TmdBranches) {
    TempDir dir;
    for (const TmdCase& c : tmdCases()) {
        SCOPED_TRACE(c.name);
        dir.write("t.tmd", titlecraft::tmdBytes(c.tmd));
        ToolRun run = runTool({"/n", "t.tmd"}, dir.path);
        EXPECT_EQ(run.out, "\nTMD info of \"t.tmd\" :\n\n" + c.lines + Rule + "\n\n");
        EXPECT_EQ(run.exitCode, 0);
    }
}

TEST(Reports, SparseWadOfEightGiB) {
    TempDir dir;
    Tmd tmd{.contents = {{0x0001, 0x100000000}, {0x8001, 0x100000000}}};
    std::string path = dir.write("big.wad", titlecraft::wadBytes(tmd, {}, {.withData = false}));
    ASSERT_EQ(truncate(path.c_str(), 8LL << 30), 0);
    ToolRun run = runTool({"/n", "big.wad"}, dir.path);
    EXPECT_EQ(run.out, "\nTMD info of \"big.wad\" :\n\n" + Usual +
                           "Data files: 2\nSize: 4294968528 - 8589935824 byte (32769 - 65537 blocks)\n" +
                           Rule + "\n\n");
}

}  // namespace
