// SPDX-License-Identifier: MIT
// Writes synthetic Wii title files.
//   titlegen samples DIR   the bundled sample set
//   titlegen corpus DIR    seed inputs for the fuzzer, one per accepted layout
//   titlegen bench DIR N   N files for the benchmark: WADs, TMDs with their
//                          certificate chains and tickets, 1 to 30 contents
//   titlegen signed DIR N MIB
//                          N signed WADs of about MIB MiB each, their
//                          contents encrypted (the verification benchmark),
//                          and the key folder DIR/keys
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "signing.h"
#include "titlecraft.h"

namespace {

using namespace titlecraft;

// How a seed hands the fuzzer its file: the length it claims (-1: its
// size), sparse or not, as a stream read `chunk` bytes at a time (0: a
// regular file), and under which name (empty: the fuzzer's default).
struct SeedForm {
    std::int64_t claimedLength = -1;
    bool sparse = false;
    std::uint8_t chunk = 0;
    std::string name;
};

// The fuzzer's input: a flags byte, the claimed length, the stream's read
// size and the name where the form has them, then the contents.
Bytes seed(const Bytes& contents, const SeedForm& form = {}) {
    Bytes b(1, 0);
    if (form.claimedLength >= 0) {
        b[0] |= static_cast<std::uint8_t>(1 | (form.sparse ? 2 : 0));
        b.resize(9);
        putBe64(b, 1, static_cast<std::uint64_t>(form.claimedLength));
    }
    if (form.chunk != 0) {
        b[0] |= 4;
        b.push_back(form.chunk);
    }
    if (!form.name.empty()) {
        b[0] |= 8;
        b.push_back(static_cast<std::uint8_t>(form.name.size()));
        b.insert(b.end(), form.name.begin(), form.name.end());
    }
    return concat(b, contents);
}

// A title folder as the fuzzer takes it: its TMD and ticket files with
// their certificates, then every content's file, encrypted or not.
Bytes folderSeed(const Tmd& tmd, bool decrypted, bool withTicket) {
    TitleParts parts = genuineParts(tmd, Ticket{.low = tmd.low, .version = tmd.version});
    Bytes chain = syntheticCertChain();
    Bytes tmdFile = concat(parts.tmd, chain);
    Bytes ticketFile = withTicket ? concat(parts.ticket, chain) : Bytes{};
    Bytes b = {static_cast<std::uint8_t>(decrypted ? 32 | 64 : 32), 0, 0, 0, 0};
    putBe16(b, 1, static_cast<std::uint16_t>(tmdFile.size()));
    putBe16(b, 3, static_cast<std::uint16_t>(ticketFile.size()));
    b = concat(concat(b, tmdFile), ticketFile);
    for (std::size_t i = 0; i < parts.plain.size(); ++i)
        b = concat(b, decrypted ? parts.plain[i] : encryptContent(parts, i));
    return b;
}

Tmd tmdWith(std::size_t contents) {
    Tmd tmd{.version = 3};
    for (std::size_t i = 0; i < contents; ++i)
        tmd.contents.push_back({static_cast<std::uint16_t>(i % 3 == 2 ? 0x8001 : 0x0001), 1000 + i * 777});
    return tmd;
}

Bytes signedTmd(const Tmd& tmd) {
    Bytes b = tmdBytes(tmd);
    signTmd(b);
    return b;
}

Bytes resized(Bytes b, std::size_t length) {
    b.resize(length);
    return b;
}

std::vector<SampleFile> corpusFiles() {
    Ticket ticket{.version = 5};
    Bytes chain = certChain(0x700);
    std::vector<SampleFile> seeds = {
        {"wad-is", seed(wadBytes(tmdWith(3), ticket))},
        {"wad-ib", seed(wadBytes(tmdWith(3), ticket, {.type = "ib"}))},
        {"wad-crl", seed(wadBytes(tmdWith(2), ticket, {.crlLength = 0x100}))},
        {"wad-long-ticket", seed(wadBytes(tmdWith(2), ticket, {.ticketLength = 0x2C1}))},
        {"wad-no-ticket", seed(resized(wadBytes(tmdWith(1), ticket, {.ticketLength = 0}), 4000))},
        {"wad-sparse-8g", seed(wadBytes(tmdWith(2), ticket, {.withData = false}), {8LL << 30, true})},
        {"wad-cut", seed(wadBytes(tmdWith(4), ticket, {.withData = false}), {1 << 20, false})},
        {"wad-stream", seed(wadBytes(tmdWith(3), ticket, {.crlLength = 0x40}), {.chunk = 7})},
        {"tmd-stream", seed(tmdBytes(tmdWith(100)), {.chunk = 255})},
        {"ticket-stream", seed(concat(ticketBytes(ticket), chain), {.chunk = 1})},
        {"named-wad", seed(wadBytes(tmdWith(1), ticket), {.name = "\xe2\x80\xae%s\x1b[0m\xf8\x90\x80\x80.wad"})},
        {"named-missing", seed({}, {.name = "\xc3\xa9\xed\xa0\x80\n-"})},
        {"wad-signed", seed(genuineWad(tmdWith(3), ticket))},
        {"wad-fakesigned", seed(genuineWad(tmdWith(2), ticket, {.fakesignTmd = true, .fakesignTicket = true}))},
        {"wad-signed-stream", seed(genuineWad(tmdWith(2), ticket), {.chunk = 13})},
        {"wad-console-bound", seed(genuineWad(tmdWith(1), ticket, {.consoleBound = true}))},
        {"wad-banner", seed(genuineWad(tmdWith(2), ticket, {.banner = {0x40, {u"\u65e5", u"Two\nLines", u"\xd800x"}}}))},
        {"wad-banner-late", seed(genuineWad(tmdWith(1), ticket, {.banner = {0x80, {{}, {}, u"Sp\u00e4t"}}}))},
        {"tmd-signed-chain", seed(concat(signedTmd(tmdWith(2)), syntheticCertChain()))},
        {"ticket-676", seed(ticketBytes(ticket))},
        {"tmd-676", seed(resized(tmdBytes(tmdWith(5)), 676))},
        {"tmd-0", seed(tmdBytes(tmdWith(0)))},
        {"tmd-1", seed(tmdBytes(tmdWith(1)))},
        {"tmd-92", seed(tmdBytes(tmdWith(92)))},
        {"tmd-2-chain", seed(concat(tmdBytes(tmdWith(2)), chain))},
        {"tmd-system", seed(tmdBytes(Tmd{.high = 1, .low = 2, .version = 513, .ios = 80}))},
        {"tmd-ios", seed(concat(tmdBytes(Tmd{.high = 1, .low = 58, .ios = 0, .contents = {{0x8001, 5}}}), chain))},
        {"length-fails", seed(tmdBytes(tmdWith(1)), {0x7FFFFFFFFFFFFFFF, false})},
        {"folder-delivered", folderSeed(tmdWith(3), false, true)},
        {"folder-unpacked", folderSeed(tmdWith(2), true, true)},
        {"folder-no-ticket", folderSeed(tmdWith(2), true, false)},
    };
    for (std::size_t length : {484, 487, 488, 1000, 2468, 3811})
        seeds.push_back({"ticket-" + std::to_string(length), seed(resized(concat(ticketBytes(ticket), chain), length))});
    return seeds;
}

std::vector<SampleFile> benchFiles(long count) {
    std::vector<SampleFile> files;
    for (long i = 0; i < count; ++i) {
        Tmd tmd = tmdWith(static_cast<std::size_t>(i * 7 % 30 + 1));
        tmd.low = codeValue("B000") + static_cast<std::uint32_t>(i % 10);
        char name[32];
        switch (i % 3) {
        case 0:
            std::snprintf(name, sizeof name, "t%05ld.wad", i);
            files.push_back({name, wadBytes(tmd, Ticket{.low = tmd.low}, {.withData = false})});
            break;
        case 1:
            std::snprintf(name, sizeof name, "t%05ld.tmd", i);
            files.push_back({name, concat(tmdBytes(tmd), certChain(0x700))});
            break;
        default:
            std::snprintf(name, sizeof name, "t%05ld.tik", i);
            files.push_back({name, concat(ticketBytes(Ticket{.low = tmd.low, .version = 3}), certChain(0x700))});
            break;
        }
    }
    return files;
}

bool writeAll(const std::vector<SampleFile>& files, const std::string& dir) {
    for (const SampleFile& file : files) {
        std::string path = dir + "/" + file.name;
        if (!writeFile(path, file.bytes)) {
            std::printf("titlegen: cannot write %s\n", path.c_str());
            return false;
        }
    }
    return true;
}

// Bytes as a key folder holds them: hexadecimal digits and a line end.
Bytes hexText(const std::uint8_t* bytes, std::size_t n) {
    Bytes text;
    for (std::size_t i = 0; i < n; ++i)
        for (int shift : {4, 0})
            text.push_back(static_cast<std::uint8_t>("0123456789abcdef"[(bytes[i] >> shift) & 15]));
    text.push_back('\n');
    return text;
}

// The made-up standard common key the signed samples are encrypted under,
// and the made-up root their chain leads to.
bool writeSampleKeys(const std::string& dir) {
    std::string folder = dir + "/keys";
    std::filesystem::create_directories(folder);
    Bytes root = rootKeyBytes();
    return writeAll({{"standard.key", hexText(SyntheticCommonKeys[0], 16)}, {"root.key", hexText(root.data(), root.size())}},
                    folder);
}

// Signed WADs of four contents each, `mib` MiB in all, one at a time.
bool writeSignedWads(const std::string& dir, long count, long mib) {
    for (long i = 0; i < count; ++i) {
        Tmd tmd{.low = codeValue("V000") + static_cast<std::uint32_t>(i), .version = 1};
        std::uint64_t quarter = static_cast<std::uint64_t>(mib) << 18;
        for (std::uint16_t c = 0; c < 4; ++c)
            tmd.contents.push_back({0x0001, quarter - c * 1000});
        char name[32];
        std::snprintf(name, sizeof name, "v%03ld.wad", i);
        if (!writeFile(dir + "/" + name, genuineWad(tmd, Ticket{.low = tmd.low})))
            return false;
    }
    return writeSampleKeys(dir);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "samples") == 0)
        return writeAll(sampleFiles(), argv[2]) && writeSampleKeys(argv[2]) ? 0 : 1;
    if (argc == 3 && std::strcmp(argv[1], "corpus") == 0)
        return writeAll(corpusFiles(), argv[2]) ? 0 : 1;
    if (argc == 4 && std::strcmp(argv[1], "bench") == 0)
        return writeAll(benchFiles(std::atol(argv[3])), argv[2]) ? 0 : 1;
    if (argc == 5 && std::strcmp(argv[1], "signed") == 0)
        return writeSignedWads(argv[2], std::atol(argv[3]), std::atol(argv[4])) ? 0 : 1;
    std::printf("usage: titlegen samples|corpus DIR | titlegen bench DIR N | titlegen signed DIR N MIB\n");
    return 2;
}
