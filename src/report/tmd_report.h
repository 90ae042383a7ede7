// SPDX-License-Identifier: MIT
// The report for a TMD, bare or inside a WAD package.
#pragma once

#include "titlefiles/decode.h"

void printTmdInfo(const TitleFacts& tmd);

// Whole 128 KiB blocks plus one, so 131072 bytes are 2 blocks.
unsigned long long blocksOf(std::uint64_t bytes);
