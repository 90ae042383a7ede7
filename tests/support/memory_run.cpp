// SPDX-License-Identifier: MIT
#include "memory_run.h"

#include "cli/driver.h"
#include "common/output.h"
#include "common/runstate.h"
#include "os_memory.h"
#include "signing.h"

namespace {

titlecraft::Bytes hexDigits(const titlecraft::Bytes& bytes, const char* lineEnd) {
    titlecraft::Bytes text;
    for (std::uint8_t b : bytes)
        for (int shift : {4, 0})
            text.push_back(static_cast<std::uint8_t>("0123456789abcdef"[(b >> shift) & 15]));
    for (; *lineEnd != 0; ++lineEnd)
        text.push_back(static_cast<std::uint8_t>(*lineEnd));
    return text;
}

}  // namespace

MemoryRun runInMemory(const std::vector<std::string>& args, const titlecraft::Bytes& file, MemoryForm form) {
    if (form.chunk == 0)
        setMemoryFile(file.data(), file.size(), static_cast<std::int64_t>(file.size()), false);
    else
        setMemoryStream(file.data(), file.size(), form.chunk, form.firstChunk);
    runOptions = DefaultRunOptions;
    keyFolder = nullptr;
    jobsValue = nullptr;
    unknownArgument = nullptr;
    outReset();
    clearMemoryOutput();
    std::vector<std::string> words = {"Tessarlumen"};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    int exitCode = runMain(static_cast<int>(words.size()), argv.data());
    return {exitCode, memoryOutput(),
            memoryFilesOpen() == 0 && memoryBlocksLive() == 0 && memoryCryptoStatesLive() == 0};
}

void useMemoryKeys(const MemoryKeys& keys) {
    static titlecraft::Bytes standard, korean, root;
    const std::uint8_t* s = titlecraft::SyntheticCommonKeys[0];
    const std::uint8_t* k = titlecraft::SyntheticCommonKeys[1];
    standard = keys.standardKey.empty() ? hexDigits(titlecraft::Bytes(s, s + 16), "\r\n") : keys.standardKey;
    korean = titlecraft::Bytes(k, k + 16);
    root = keys.rootKey.empty() ? hexDigits(titlecraft::rootKeyBytes(), "\n") : keys.rootKey;
    std::vector<MemoryKeyFile> files;
    if (keys.standard)
        files.push_back({"standard.key", standard.data(), standard.size()});
    if (keys.korean)
        files.push_back({"korean.key", korean.data(), korean.size()});
    if (keys.root)
        files.push_back({"root.key", root.data(), root.size()});
    setMemoryKeyFiles(files.data(), files.size());
}

