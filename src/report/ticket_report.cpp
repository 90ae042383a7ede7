#include "report/ticket_report.h"

#include <cstdio>

#include "report/identity.h"
#include "titlefiles/formats.h"

void printTicketInfo(ByteSpan ticket) {
    printHeading("Ticket");
    char code[TitleCodeLength + 1];
    makePrintableCodeAt(ticket, TicketTitleIdLowOffset, TitleCodeLength, code);
    printTitleIdentity(readBe32(ticket, TicketTitleIdHighOffset), readBe32(ticket, TicketTitleIdLowOffset), code);
    // A ticket file too short to hold its title version has none to show.
    std::uint16_t version = ticket.size() >= TicketVersionEnd ? readBe16(ticket, TicketTitleVersionOffset) : 0;
    if (version != 0)
        std::printf("    Version: %u\n", unsigned{version});
    else
        std::fputs("\n", stdout);
    printRule();
    std::fputs("\n", stdout);
}
