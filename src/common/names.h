// SPDX-License-Identifier: MIT
// File names, and the names titles give themselves, in the text output:
// the one place where a name is cleaned before people see it.
#pragma once

#include "platform/os.h"

// Writes `name` to the output. Printable ASCII is written as is; other
// characters are written as the output's encoding carries them, when it
// can. Control characters, invisible format characters, bytes that decode
// to no character and anything the output cannot carry become '?', one per
// character or undecodable byte, so a name can neither inject terminal
// control sequences nor disguise itself.
void writeName(const PathChar* name);

// Writes text a file holds (a title's name) on one line: a line break as a
// space, every other character the output cannot show as '?'.
void writeShownText(const char32_t* text, std::size_t n);
