// SPDX-License-Identifier: MIT
// The JSON check of the fuzzing target, in a file of its own so that the
// parser is built without the sanitizers and coverage: it is not the tool's
// code, and its branches would only steer the fuzzer away from the tool's
// own. The line is validated as it streams past, without building a
// document; only the file name is parsed into a value.
#include "json_check.h"

#include <nlohmann/json.hpp>

namespace {

const std::string FileKey = "{\"file\":";

// Where the JSON string starting at `from` ends (just past its quote).
std::size_t stringEnd(const std::string& text, std::size_t from) {
    for (std::size_t at = from + 1; at < text.size(); ++at) {
        if (text[at] == '\\')
            ++at;
        else if (text[at] == '"')
            return at + 1;
    }
    return std::string::npos;
}

}  // namespace

bool isOneJsonLine(const std::string& text, const std::string& file) {
    if (text.size() < 2 || text.back() != '\n' || text.find('\n') != text.size() - 1 ||
        text.compare(0, FileKey.size(), FileKey) != 0 || !nlohmann::json::accept(text))
        return false;
    std::size_t end = stringEnd(text, FileKey.size());
    return end != std::string::npos &&
           nlohmann::json::parse(text.substr(FileKey.size(), end - FileKey.size())).get<std::string>() == file;
}
