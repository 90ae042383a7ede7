// SPDX-License-Identifier: MIT
#include "titlecraft.h"

#include <cstdio>
#include <filesystem>

#include "signing.h"

namespace titlecraft {

namespace {

// The writer's own view of the layouts, kept apart from the tool's so that a
// wrong offset on one side shows up as a failing test.
constexpr std::size_t SignatureTypeAt = 0x000;
constexpr std::size_t SignatureAt = 0x004;
constexpr std::size_t SignatureLength = 0x100;
constexpr std::size_t IssuerAt = 0x140;
constexpr std::uint32_t Rsa2048 = 0x00010001;

constexpr std::size_t TmdHeaderSize = 0x1E4;
constexpr std::size_t TmdSystemVersionAt = 0x184;
constexpr std::size_t TmdTitleIdAt = 0x18C;
constexpr std::size_t TmdTitleTypeAt = 0x194;
constexpr std::size_t TmdGroupIdAt = 0x198;
constexpr std::size_t TmdRegionAt = 0x19C;
constexpr std::size_t TmdTitleVersionAt = 0x1DC;
constexpr std::size_t TmdContentCountAt = 0x1DE;
constexpr std::size_t RecordSize = 0x24;
constexpr std::size_t RecordIdAt = 0;
constexpr std::size_t RecordIndexAt = 4;
constexpr std::size_t RecordTypeAt = 6;
constexpr std::size_t RecordSizeAt = 8;
constexpr std::size_t RecordHashAt = 16;
constexpr std::size_t HashLength = 20;

constexpr std::size_t TicketSize = 0x2A4;
constexpr std::size_t TicketKeyExchangeAt = 0x180;
constexpr std::size_t TicketKeyExchangeLength = 0x3C;
constexpr std::size_t TicketTitleKeyAt = 0x1BF;
constexpr std::size_t TicketIdAt = 0x1D0;
constexpr std::size_t TicketConsoleIdAt = 0x1D8;
constexpr std::size_t TicketTitleIdAt = 0x1DC;
constexpr std::size_t TicketUnknownAt = 0x1E4;
constexpr std::size_t TicketTitleVersionAt = 0x1E6;
constexpr std::size_t TicketCommonKeyAt = 0x1F1;
constexpr std::size_t TicketAccessAt = 0x222;
constexpr std::size_t TicketAccessLength = 0x40;

constexpr std::size_t WadHeaderSize = 0x20;
constexpr std::size_t WadTypeAt = 0x04;
constexpr std::size_t WadCertLengthAt = 0x08;
constexpr std::size_t WadCrlLengthAt = 0x0C;
constexpr std::size_t WadTicketLengthAt = 0x10;
constexpr std::size_t WadTmdLengthAt = 0x14;
constexpr std::size_t WadDataLengthAt = 0x18;
constexpr std::size_t WadFooterLengthAt = 0x1C;
constexpr std::uint32_t WadCertLength = 0xA00;  // what the accepted header prefixes say
constexpr std::size_t WadAlign = 0x40;

std::size_t alignUp(std::size_t n) {
    return (n + WadAlign - 1) / WadAlign * WadAlign;
}

// A repeatable byte pattern standing in for signatures, keys and hashes.
void fillPattern(Bytes& b, std::size_t off, std::size_t n, std::uint32_t seed) {
    for (std::size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        b[off + i] = static_cast<std::uint8_t>(seed >> 16);
    }
}

void signAndIssue(Bytes& b, std::string_view issuer, std::uint32_t seed) {
    putBe32(b, SignatureTypeAt, Rsa2048);
    fillPattern(b, SignatureAt, SignatureLength, seed);
    putText(b, IssuerAt, issuer);
}

}  // namespace

void putBe16(Bytes& b, std::size_t off, std::uint16_t v) {
    b.at(off) = static_cast<std::uint8_t>(v >> 8);
    b.at(off + 1) = static_cast<std::uint8_t>(v);
}

void putBe32(Bytes& b, std::size_t off, std::uint32_t v) {
    putBe16(b, off, static_cast<std::uint16_t>(v >> 16));
    putBe16(b, off + 2, static_cast<std::uint16_t>(v));
}

void putBe64(Bytes& b, std::size_t off, std::uint64_t v) {
    putBe32(b, off, static_cast<std::uint32_t>(v >> 32));
    putBe32(b, off + 4, static_cast<std::uint32_t>(v));
}

void putText(Bytes& b, std::size_t off, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i)
        b.at(off + i) = static_cast<std::uint8_t>(text[i]);
}

std::uint32_t codeValue(std::string_view code) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i)
        v = v << 8 | (i < code.size() ? static_cast<std::uint8_t>(code[i]) : 0);
    return v;
}

Bytes tmdBytes(const Tmd& tmd) {
    Bytes b(TmdHeaderSize + tmd.contents.size() * RecordSize);
    signAndIssue(b, "Root-CA00000001-CP00000004", tmd.low ^ tmd.high);
    if (tmd.ios != 0)
        putBe64(b, TmdSystemVersionAt, 0x0000000100000000ull | tmd.ios);
    putBe32(b, TmdTitleIdAt, tmd.high);
    putBe32(b, TmdTitleIdAt + 4, tmd.low);
    putBe32(b, TmdTitleTypeAt, 1);
    putText(b, TmdGroupIdAt, tmd.maker.substr(0, 2));
    putBe16(b, TmdRegionAt, tmd.region);
    putBe16(b, TmdTitleVersionAt, tmd.version);
    putBe16(b, TmdContentCountAt, tmd.countField.value_or(static_cast<std::uint16_t>(tmd.contents.size())));
    for (std::size_t i = 0; i < tmd.contents.size(); ++i) {
        std::size_t at = TmdHeaderSize + i * RecordSize;
        putBe32(b, at + RecordIdAt, tmd.contents[i].id.value_or(static_cast<std::uint32_t>(i)));
        putBe16(b, at + RecordIndexAt, tmd.contents[i].index.value_or(static_cast<std::uint16_t>(i)));
        putBe16(b, at + RecordTypeAt, tmd.contents[i].type);
        putBe64(b, at + RecordSizeAt, tmd.contents[i].size);
        fillPattern(b, at + RecordHashAt, HashLength, static_cast<std::uint32_t>(i + 1));
    }
    return b;
}

Bytes ticketBytes(const Ticket& ticket) {
    Bytes b(TicketSize);
    signAndIssue(b, "Root-CA00000001-XS00000003", ticket.low + ticket.high);
    fillPattern(b, TicketTitleKeyAt, 16, ticket.low);
    fillPattern(b, TicketIdAt, 8, ticket.high);
    putBe32(b, TicketTitleIdAt, ticket.high);
    putBe32(b, TicketTitleIdAt + 4, ticket.low);
    putBe16(b, TicketUnknownAt, 0xFFFF);
    putBe16(b, TicketTitleVersionAt, ticket.version);
    putBe32(b, TicketConsoleIdAt, ticket.consoleId);
    b[TicketCommonKeyAt] = ticket.commonKey;
    if (ticket.keyExchange)
        fillPattern(b, TicketKeyExchangeAt, TicketKeyExchangeLength, ticket.consoleId);
    for (std::size_t i = 0; i < TicketAccessLength; ++i)
        b[TicketAccessAt + i] = 0xFF;
    return b;
}

Bytes certChain(std::size_t length) {
    Bytes b(length);
    fillPattern(b, 0, length, 0x5EED);
    return b;
}

Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes wadBytes(const Tmd& tmd, const Ticket& ticket, const WadLayout& layout) {
    Bytes ticketPart = ticketBytes(ticket);
    ticketPart.resize(layout.ticketLength);
    std::size_t dataLength = 0;
    if (layout.withData)
        for (const Content& c : tmd.contents)
            dataLength += alignUp(static_cast<std::size_t>(c.size));
    Bytes data(dataLength);
    fillPattern(data, 0, dataLength, 0xDA7A);
    return assembleWad(certChain(WadCertLength), ticketPart, tmdBytes(tmd), data, layout);
}

Bytes assembleWad(const Bytes& certs, const Bytes& ticket, const Bytes& tmd, const Bytes& data,
                  const WadLayout& layout) {
    Bytes b(WadAlign);
    putBe32(b, 0, WadHeaderSize);
    putText(b, WadTypeAt, layout.type);
    putBe32(b, WadCertLengthAt, static_cast<std::uint32_t>(certs.size()));
    putBe32(b, WadCrlLengthAt, layout.crlLength);
    putBe32(b, WadTicketLengthAt, static_cast<std::uint32_t>(ticket.size()));
    // The TMD section holds as many records as the TMD claims, unless told otherwise.
    std::size_t claimed = std::size_t{tmd.at(TmdContentCountAt)} << 8 | tmd.at(TmdContentCountAt + 1);
    putBe32(b, WadTmdLengthAt, layout.tmdLength.value_or(static_cast<std::uint32_t>(TmdHeaderSize + claimed * RecordSize)));
    putBe32(b, WadDataLengthAt, static_cast<std::uint32_t>(data.size()));
    putBe32(b, WadFooterLengthAt, layout.footerLength);
    auto section = [&b](const Bytes& part) {
        b = concat(std::move(b), part);
        b.resize(alignUp(b.size()));
    };
    section(certs);
    section(Bytes(layout.crlLength, 0xC5));
    section(ticket);
    section(tmd);
    section(data);
    Bytes footer(layout.footerLength, 0xF0);
    return concat(std::move(b), footer);
}

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::size_t folder = path.rfind('/');
    if (folder != std::string::npos && folder > 0) {
        std::error_code ignored;
        std::filesystem::create_directories(path.substr(0, folder), ignored);
    }
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<SampleFile> sampleFiles() {
    const std::uint32_t channel = codeValue("TLCE");
    Tmd channelTmd{.high = 0x00010001, .low = channel, .maker = "TL", .region = 2, .version = 3, .ios = 58,
                   .contents = {{0x0001, 1984}, {0x0001, 46080}, {0x8001, 2560}}};
    Tmd ios{.high = 1, .low = 58, .maker = "", .region = 3, .version = 6176, .ios = 0, .contents = {}};
    for (std::uint16_t i = 0; i < 20; ++i)
        ios.contents.push_back({static_cast<std::uint16_t>(i % 4 == 0 ? 0x8001 : 0x0001), 4096u + i * 9000u});
    Tmd dlc{.high = 0x00010005, .low = codeValue("TLCD"), .maker = "TL", .region = 1, .version = 2, .ios = 57,
            .contents = {{0x4001, 832}, {0x4001, 65536}, {0x4001, 131072}, {0x4001, 700000}}};
    Tmd boot2{.high = 1, .low = 1, .maker = "", .region = 0, .version = 4, .ios = 0,
              .contents = {{0x0001, 3072}, {0x0001, 16384}, {0x0001, 9216}}};
    // A Korean channel bought for one console: region 4, a personal ticket
    // and the Korean common key.
    const std::uint32_t korean = codeValue("TLCK");
    Tmd koreanTmd{.high = 0x00010001, .low = korean, .maker = "TL", .region = 4, .version = 1, .ios = 61,
                  .contents = {{0x0001, 2048}, {0x0001, 12288}}};
    Ticket koreanTicket{.high = 0x00010001, .low = korean, .version = 1, .consoleId = 0x0BADCAFE, .commonKey = 1,
                        .keyExchange = true};
    // A download that stopped in the middle of its contents' data.
    const std::uint32_t partial = codeValue("TLCP");
    Tmd partialTmd{.high = 0x00010001, .low = partial, .maker = "TL", .region = 1, .version = 2, .ios = 58,
                   .contents = {{0x0001, 1024}, {0x0001, 32768}, {0x0001, 8192}}};
    Bytes partialWad = wadBytes(partialTmd, Ticket{.high = 0x00010001, .low = partial, .version = 2});
    partialWad.resize(20000);
    // Signed with the generator's made-up keys and encrypted under its
    // made-up standard common key (samples/keys), and a homebrew channel
    // in the fakesigned form.
    const std::uint32_t signedCode = codeValue("TLCS");
    Tmd signedTmd{.high = 0x00010001, .low = signedCode, .maker = "TL", .region = 2, .version = 5, .ios = 58,
                  .contents = {{0x0001, 5000}, {0x0001, 70000}, {0x8001, 1234}}};
    const std::uint32_t homebrew = codeValue("TLHB");
    Tmd homebrewTmd{.high = 0x00010001, .low = homebrew, .maker = "TL", .region = 3, .version = 1, .ios = 58,
                    .contents = {{0x0001, 3000}}};
    // Its banner names the signed channel in four languages.
    GenuineOptions named{.banner = {0x40, {u"\u30b5\u30f3\u30d7\u30eb\u30c1\u30e3\u30f3\u30cd\u30eb", u"Sample Channel",
                                             u"Beispielkanal", u"Cha\u00eene d'exemple"}}};
    // A title kept as the loose files it is delivered in: its TMD and
    // ticket with their chains, and each content encrypted, named by its ID.
    const std::uint32_t folderCode = codeValue("TLCF");
    Tmd folderTmd{.high = 0x00010001, .low = folderCode, .maker = "TL", .region = 1, .version = 4, .ios = 58,
                  .contents = {{0x0001, 2000}, {0x0001, 24000}}};
    TitleParts folderParts = genuineParts(folderTmd, Ticket{.high = 0x00010001, .low = folderCode, .version = 4},
                                          {.banner = {0x80, {{}, u"Sample Folder"}}});
    return {
        {"boot2.wad", wadBytes(boot2, Ticket{.high = 1, .low = 1, .version = 4}, WadLayout{.type = "ib"})},
        {"channel.wad", wadBytes(channelTmd, Ticket{.high = 0x00010001, .low = channel, .version = 3})},
        {"dlc.tmd", tmdBytes(dlc)},
        {"download.tik", concat(ticketBytes(Ticket{.high = 0x00010001, .low = channel, .version = 3}), certChain(0x700))},
        {"homebrew.wad", genuineWad(homebrewTmd, Ticket{.high = 0x00010001, .low = homebrew, .version = 1},
                                    {.fakesignTmd = true, .fakesignTicket = true})},
        {"ios58.tmd", concat(tmdBytes(ios), certChain(0x700))},
        {"korea.wad", wadBytes(koreanTmd, koreanTicket, WadLayout{.footerLength = 0x40})},
        {"partial.wad", partialWad},
        {"signed.wad", genuineWad(signedTmd, Ticket{.high = 0x00010001, .low = signedCode, .version = 5}, named)},
        {"sysmenu.tik", ticketBytes(Ticket{.high = 1, .low = 2, .version = 450})},
        {"tlcf.title/tmd", concat(folderParts.tmd, syntheticCertChain())},
        {"tlcf.title/cetk", concat(folderParts.ticket, syntheticCertChain())},
        {"tlcf.title/00000000", encryptContent(folderParts, 0)},
        {"tlcf.title/00000001", encryptContent(folderParts, 1)},
    };
}

std::vector<std::string> sampleNames() {
    std::vector<std::string> names;
    for (const SampleFile& file : sampleFiles()) {
        std::string name = file.name.substr(0, file.name.find('/'));
        if (names.empty() || names.back() != name)
            names.push_back(name);
    }
    return names;
}

}  // namespace titlecraft
