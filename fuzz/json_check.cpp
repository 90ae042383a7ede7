// SPDX-License-Identifier: MIT
// The JSON check of the fuzzing target, in a file of its own so that the
// parser is not instrumented for coverage: its branches would only steer
// the fuzzer away from the tool's own, and slow every input down.
#include "json_check.h"

#include <nlohmann/json.hpp>

bool isOneJsonLine(const std::string& text) {
    return text.size() > 1 && text.back() == '\n' && text.find('\n') == text.size() - 1 &&
           nlohmann::json::accept(text);
}
