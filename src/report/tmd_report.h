// The report for a TMD, bare or inside a WAD package.
#pragma once

#include <cstdint>

#include "titlefiles/endian.h"

inline constexpr int RegionCount = 5;
extern const char RegionNames[RegionCount][12];

// `tmd` is the TMD header; `contents` holds `count` content records.
void printTmdInfo(ByteSpan tmd, ByteSpan contents, std::uint16_t count);
