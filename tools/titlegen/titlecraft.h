// SPDX-License-Identifier: MIT
// Builds synthetic Wii title files (tickets, TMDs, WAD packages) byte by
// byte, for the samples, the tests and other generated inputs. Signatures,
// keys and hashes are filler patterns: nothing comes from a real title.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace titlecraft {

using Bytes = std::vector<std::uint8_t>;

void putBe16(Bytes& b, std::size_t off, std::uint16_t v);
void putBe32(Bytes& b, std::size_t off, std::uint32_t v);
void putBe64(Bytes& b, std::size_t off, std::uint64_t v);
void putText(Bytes& b, std::size_t off, std::string_view text);

// The title ID low half whose four bytes spell `code`.
std::uint32_t codeValue(std::string_view code);

struct Content {
    std::uint16_t type;
    std::uint64_t size;
    std::optional<std::uint16_t> index;  // the record's index field, when not its place
    std::optional<std::uint32_t> id;     // the content ID, when not its place
};

struct Tmd {
    std::uint32_t high = 0x00010001;
    std::uint32_t low = 0x54534C41;  // "TSLA"
    std::string maker = "TL";
    std::uint16_t region = 1;
    std::uint16_t version = 0;
    std::uint16_t ios = 36;  // 0 for the IOSes and BOOT2, which run on none
    std::vector<Content> contents;
    std::optional<std::uint16_t> countField;  // a count that disagrees with `contents`
};

struct Ticket {
    std::uint32_t high = 0x00010001;
    std::uint32_t low = 0x54534C41;
    std::uint16_t version = 0;
    std::uint32_t consoleId = 0;  // not 0: a personal ticket, bound to one console
    std::uint8_t commonKey = 0;   // 0 the usual common key, 1 Korea's, 2 vWii's
    bool keyExchange = false;     // the key-exchange data set, as a ticket bought for one console has it
};

// Where a WAD's sections fall: its type letters and the section lengths
// its header gives.
struct WadLayout {
    std::string_view type = "Is";
    std::uint32_t crlLength = 0;
    std::uint32_t ticketLength = 0x2A4;
    bool withData = true;  // append the contents' bytes (off for huge sizes)
    // The TMD section's length in the header, when not what the TMD claims.
    std::optional<std::uint32_t> tmdLength;
    std::uint32_t footerLength = 0;
};

Bytes tmdBytes(const Tmd& tmd);           // header and content records
Bytes ticketBytes(const Ticket& ticket);  // 676 bytes
Bytes certChain(std::size_t length);      // filler for an appended chain
Bytes wadBytes(const Tmd& tmd, const Ticket& ticket, const WadLayout& layout = {});
// A WAD of the sections given, each padded to 64 bytes, with the header's
// type, revocation list and footer from `layout`.
Bytes assembleWad(const Bytes& certs, const Bytes& ticket, const Bytes& tmd, const Bytes& data,
                  const WadLayout& layout);
Bytes concat(Bytes a, const Bytes& b);

bool writeFile(const std::string& path, const Bytes& bytes);

// The fixed set of sample files: name and contents.
struct SampleFile {
    std::string name;
    Bytes bytes;
};
std::vector<SampleFile> sampleFiles();
// The names a run over the samples is given: each file, and a title
// folder's once, in the order of sampleFiles.
std::vector<std::string> sampleNames();

}  // namespace titlecraft
