// The report for a bare ticket.
#pragma once

#include "titlefiles/endian.h"

// `ticket` holds the ticket's bytes from its start, as many as were read.
void printTicketInfo(ByteSpan ticket);
