// SPDX-License-Identifier: MIT
// libFuzzer target: the whole run over one file (loader, decoding, both
// output forms, messages) on any bytes, any length and any file name.
// Every JSON line must parse and name the file as it is, the text must
// never carry a control or format character, and the one-line form must be
// one line of six fields. A fourth run verifies the file (/v) with a
// made-up standard key.
//
// Input layout: byte 0 holds flags. Bit 0: bytes 1 to 8 are the length the
// file claims (big-endian, signed); otherwise it is the size of the
// contents. Bit 1: the file is sparse (zeros up to that length, as far as
// the zeros' reach). Bit 2: the file is a stream, handed out in reads of
// the next byte's value (0 as 256). Bit 3: a name follows, its length in
// the next byte; otherwise the name is "fuzz.bin". Bit 4: the verifying
// run writes text rather than JSON. The rest is the file's contents.
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "cli/driver.h"
#include "common/output.h"
#include "common/runstate.h"
#include "common/unicode.h"
#include "json_check.h"
#include "os_memory.h"
#include "signing.h"

namespace {

constexpr std::uint8_t ExplicitLength = 1;
constexpr std::uint8_t Sparse = 2;
constexpr std::uint8_t Stream = 4;
constexpr std::uint8_t Named = 8;
constexpr std::uint8_t VerifyAsText = 16;
constexpr std::uint8_t TitleFolder = 32;
constexpr std::uint8_t DecryptedContents = 64;
constexpr std::uint8_t TwoThreads = 128;
constexpr std::size_t LengthBytes = 8;

// Stops the fuzzer at the first check that fails, saying which.
void check(bool ok, int line = __builtin_LINE()) {
    if (ok)
        return;
    std::fprintf(stderr, "fuzz_loader.cpp:%d: check failed\n", line);
    std::abort();
}

// Takes `n` bytes from the front of the input, if it has them.
const std::uint8_t* take(const std::uint8_t** data, std::size_t* size, std::size_t n) {
    if (*size < n)
        return nullptr;
    const std::uint8_t* taken = *data;
    *data += n;
    *size -= n;
    return taken;
}

// One whole run; returns its exit code and leaves its output in *out.
// Verifying runs on one thread unless told to use two: starting threads
// costs more than a small input's whole run.
int runOnce(const char* option, std::string name, std::string* out, bool verify = false, bool threads = false) {
    runOptions = DefaultRunOptions;
    keyFolder = nullptr;
    jobsValue = nullptr;
    unknownArgument = nullptr;
    outReset();
    clearMemoryOutput();
    std::string words[] = {"Tessarlumen", option, verify ? "/v" : "/n", verify ? "--keys=k" : "/n",
                           threads ? "--jobs=2" : verify ? "--jobs=1" : "/n", "--", name};
    char* argv[] = {words[0].data(), words[1].data(), words[2].data(), words[3].data(), words[4].data(),
                    words[5].data(), words[6].data(), nullptr};
    int exitCode = runMain(7, argv);
    *out = memoryOutput();
    // Every path must close the file and release its buffers.
    check(memoryFilesOpen() == 0 && memoryBlocksLive() == 0 && memoryCryptoStatesLive() == 0);
    return exitCode;
}

// The text is UTF-8 and shows no control or format character but its line breaks.
void checkText(const std::string& text) {
    std::mbstate_t state{};
    for (std::size_t at = 0; at < text.size();) {
        wchar_t c = 0;
        std::size_t n = std::mbrtowc(&c, text.data() + at, text.size() - at, &state);
        check(n != 0 && n <= text.size() - at);
        check(c == L'\n' || !isHiddenCodePoint(static_cast<char32_t>(c)));
        at += n;
    }
}

// The name as JSON must give it: UTF-8, with U+FFFD for each byte that the
// C library's decoder finds no character in.
std::string expectedJsonName(const std::string& name) {
    std::string expected;
    std::mbstate_t state{};
    for (std::size_t at = 0; at < name.size();) {
        wchar_t c = 0;
        std::size_t n = std::mbrtowc(&c, name.data() + at, name.size() - at, &state);
        bool character = n != 0 && n <= name.size() - at && static_cast<unsigned long>(c) <= 0x10FFFF;
        char bytes[4];
        expected.append(bytes, encodeUtf8(character ? static_cast<char32_t>(c) : ReplacementCharacter, bytes));
        at += character ? n : 1;
        if (!character)
            state = {};
    }
    return expected;
}

// One line of `fields` fields between tabs, each shown as the text is.
bool isOneLineOfFields(const std::string& line, std::size_t fields) {
    if (line.empty() || line.back() != '\n' || std::count(line.begin(), line.end(), '\n') != 1)
        return false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < fields; ++i) {
        std::size_t end = i + 1 < fields ? line.find('\t', start) : line.size() - 1;
        if (end == std::string::npos)
            return false;
        checkText(line.substr(start, end - start));
        start = end + 1;
    }
    return start == line.size();
}

const bool localeSet = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;

bool keysSet() {
    static const titlecraft::Bytes root = titlecraft::rootKeyBytes();
    const std::uint8_t* standard = titlecraft::SyntheticCommonKeys[0];
    const MemoryKeyFile files[] = {{"standard.key", standard, 16}, {"root.key", root.data(), root.size()}};
    setMemoryKeyFiles(files, 2);
    return true;
}
const bool keysReady = keysSet();

std::uint64_t readField(const std::uint8_t* bytes, std::size_t n) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < n; ++i)
        value = value << 8 | bytes[i];
    return value;
}

// Lays the input out as a title folder: its TMD, its ticket, and a file
// for each content its TMD's records name, as far as the bytes go.
void setFolder(const std::uint8_t* data, std::size_t size, bool decrypted) {
    constexpr std::size_t CountAt = 0x1DE;
    constexpr std::size_t RecordsAt = 0x1E4;
    constexpr std::size_t RecordLength = 0x24;
    constexpr std::size_t MostContents = 30;
    static std::string names[MostContents];
    std::vector<MemoryFolderFile> files;
    const std::uint8_t* lengths = take(&data, &size, 4);
    std::size_t tmdLength = lengths != nullptr ? std::min<std::size_t>(readField(lengths, 2), size) : 0;
    const std::uint8_t* tmd = take(&data, &size, tmdLength);
    std::size_t ticketLength = lengths != nullptr ? std::min<std::size_t>(readField(lengths + 2, 2), size) : 0;
    const std::uint8_t* ticket = take(&data, &size, ticketLength);
    files.push_back({"tmd", tmd, tmdLength});
    if (ticketLength > 0)
        files.push_back({"cetk", ticket, ticketLength});
    std::size_t count = tmdLength >= RecordsAt ? std::size_t{readField(tmd + CountAt, 2)} : 0;
    for (std::size_t i = 0; i < count && i < MostContents && RecordsAt + (i + 1) * RecordLength <= tmdLength; ++i) {
        const std::uint8_t* record = tmd + RecordsAt + i * RecordLength;
        std::uint64_t want = readField(record + 8, 8);
        want = decrypted ? want : (want + 15) / 16 * 16;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(want, size));
        char name[16];
        std::snprintf(name, sizeof name, decrypted ? "%08X.app" : "%08x", static_cast<unsigned>(readField(record, 4)));
        names[i] = name;
        files.push_back({names[i].c_str(), take(&data, &size, n), n});
    }
    setMemoryFolder("title", files.data(), files.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    check(localeSet);
    const std::uint8_t* flagByte = take(&data, &size, 1);
    std::uint8_t flags = flagByte != nullptr ? *flagByte : 0;
    std::int64_t length = -1;
    if ((flags & ExplicitLength) != 0) {
        if (const std::uint8_t* b = take(&data, &size, LengthBytes)) {
            std::uint64_t value = 0;
            for (std::size_t i = 0; i < LengthBytes; ++i)
                value = value << 8 | b[i];
            length = static_cast<std::int64_t>(value);
        }
    }
    std::size_t chunk = 0;
    if ((flags & Stream) != 0)
        if (const std::uint8_t* b = take(&data, &size, 1))
            chunk = *b != 0 ? *b : 256;
    std::string name = "fuzz.bin";
    if ((flags & Named) != 0) {
        const std::uint8_t* n = take(&data, &size, 1);
        const std::uint8_t* bytes = n != nullptr ? take(&data, &size, *n) : nullptr;
        if (bytes != nullptr)
            name.assign(reinterpret_cast<const char*>(bytes), strnlen(reinterpret_cast<const char*>(bytes), *n));
    }
    setMemoryFolder(nullptr, nullptr, 0);
    if ((flags & TitleFolder) != 0) {
        name = "title";
        setMemoryFile(nullptr, 0, 0, false);
        setFolder(data, size, (flags & DecryptedContents) != 0);
    } else if (chunk != 0) {
        setMemoryStream(data, size, chunk);
    } else {
        setMemoryFile(data, size, length >= 0 || (flags & ExplicitLength) != 0 ? length : std::int64_t(size),
                      (flags & Sparse) != 0);
    }

    std::string text;
    std::string json;
    int exitCode = runOnce("/n", name, &text);
    check(exitCode == 0 || exitCode == 11 || exitCode == 13 || exitCode == 14);
    checkText(text);
    check(runOnce("/j", name, &json) == exitCode);
    // An empty name is no file: nothing to report.
    check(name.empty() ? json.empty() : isOneJsonLine(json, expectedJsonName(name)));
    std::string line;
    check(runOnce("/l", name, &line) == exitCode);
    check(name.empty() ? line.empty() : isOneLineOfFields(line, 6));
    // Verifying may find the file failed (15) or unproven (16), and reads
    // more of it, which may fail where the report's reads did not; no file
    // makes the cryptography library fail (2).
    bool asText = (flags & VerifyAsText) != 0;
    std::string verified;
    int verifyCode = runOnce(asText ? "/n" : "/j", name, &verified, true, (flags & TwoThreads) != 0);
    check(keysReady);
    check(verifyCode == exitCode || verifyCode == 11 || verifyCode == 13 ||
          (exitCode == 0 && (verifyCode == 15 || verifyCode == 16)));
    // An empty name under /v is a file that cannot be read, as it is to sha1sum.
    check(!name.empty() || verifyCode == 11);
    if (asText)
        checkText(verified);
    else
        check(isOneJsonLine(verified, expectedJsonName(name)));
    // Run over a corpus with FUZZ_ECHO set, the target prints what each
    // input gave: two builds must print the same.
    static const bool echo = std::getenv("FUZZ_ECHO") != nullptr;
    if (echo)
        std::printf("%d %d %d\n%s%s%s%s\n", exitCode, verifyCode, static_cast<int>(verified.size()), text.c_str(),
                    json.c_str(), line.c_str(), verified.c_str());
    return 0;
}
