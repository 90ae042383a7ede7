// SPDX-License-Identifier: MIT
#pragma once

#include <string>

// Whether `text` is one line, ended by a line break, that parses as JSON
// and whose "file" member, its first, is `file`.
bool isOneJsonLine(const std::string& text, const std::string& file);
