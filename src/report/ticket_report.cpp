// SPDX-License-Identifier: MIT
// The text report of a ticket.
#include "report/ticket_report.h"

#include "common/output.h"
#include "report/identity.h"
#include "report/verify_report.h"

void printTicketInfo(const TitleFacts& ticket) {
    char code[TitleCodeLength + 1];
    makePrintableCode(ticket.code, TitleCodeLength, code);
    printHeading("Ticket");
    printTitleIdentity(ticket.titleHigh, ticket.titleLow, code);
    char* start = outReserve(20 + sizeof ReportRule + 1);
    char* at = start;
    // A ticket file too short to hold its title version has none to show.
    if (ticket.hasVersion && ticket.version != 0)
        at = putDecimal(putLiteral(at, "    Version: "), ticket.version);
    at = putLiteral(at, "\n");
    if (ticket.verify != nullptr) {
        outCommit(static_cast<std::size_t>(at - start));
        printVerifyLines(ticket);
        start = at = outReserve(sizeof ReportRule + 1);
    }
    at = putLiteral(putLiteral(at, ReportRule), "\n");
    outCommit(static_cast<std::size_t>(at - start));
}
