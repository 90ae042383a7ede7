// SPDX-License-Identifier: MIT
// The report for a bare ticket.
#pragma once

#include "titlefiles/facts.h"

void printTicketInfo(const TitleFacts& ticket);
