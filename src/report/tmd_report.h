// SPDX-License-Identifier: MIT
// The report for a TMD, bare or inside a WAD package.
#pragma once

#include "titlefiles/facts.h"

void printTmdInfo(const TitleFacts& tmd);
