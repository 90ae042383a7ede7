// SPDX-License-Identifier: MIT
// The JSON check of the fuzzing target, in a file of its own so that the
// parser is built without the sanitizers and coverage: it is not the tool's
// code, its branches would only steer the fuzzer away from the tool's own,
// and a title with 65,535 records makes a line of 8 MB that an instrumented
// parser takes seconds to read.
#include "json_check.h"

#include <nlohmann/json.hpp>

bool isOneJsonLine(const std::string& text) {
    return text.size() > 1 && text.back() == '\n' && text.find('\n') == text.size() - 1 &&
           nlohmann::json::accept(text);
}
