// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Whether `text` is one line, ended by a line break, that parses as JSON.
bool isOneJsonLine(const std::string& text);
