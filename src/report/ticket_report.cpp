// SPDX-License-Identifier: MIT
#include "report/ticket_report.h"

#include "common/output.h"
#include "report/identity.h"

void printTicketInfo(const TitleFacts& ticket) {
    printHeading("Ticket");
    char code[TitleCodeLength + 1];
    makePrintableCode(ticket.code, TitleCodeLength, code);
    printTitleIdentity(ticket.titleHigh, ticket.titleLow, code);
    // A ticket file too short to hold its title version has none to show.
    if (ticket.hasVersion && ticket.version != 0)
        outFormat("    Version: %u\n", unsigned{ticket.version});
    else
        outText("\n");
    printRule();
    outText("\n");
}
