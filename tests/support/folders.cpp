// SPDX-License-Identifier: MIT
#include "folders.h"

namespace folders {

const titlecraft::Tmd Title{
    .version = 7, .contents = {{0x0001, 3000, {}, 0x1A}, {0x0001, 20000, {}, 0x2B}, {0x8001, 32, {}, 0xC3}}};
const titlecraft::Ticket TitleTicket{.version = 7};
const char* const Encrypted[3] = {"0000001a", "0000002b", "000000c3"};
const char* const Decrypted[3] = {"0000001A.app", "0000002B.app", "000000C3.app"};

// The title with an empty content, last, for a folder without its file.
const titlecraft::Tmd WithEmpty{.version = 7,
                                .contents = {{0x0001, 3000, {}, 0x1A}, {0x0001, 20000, {}, 0x2B},
                                             {0x8001, 32, {}, 0xC3}, {0x0001, 0, {}, 0xD4}}};

std::vector<File> files(const Layout& layout) {
    titlecraft::TitleParts parts =
        titlecraft::genuineParts(layout.copy == Copy::AbsentEmpty ? WithEmpty : Title, layout.ticketOf,
                                 {.banner = layout.banner});
    // The TMD's and the ticket's files carry the certificates they are
    // delivered with: CP and CA after the TMD, XS and CA after the ticket.
    Bytes chain = titlecraft::syntheticCertChain();
    Bytes ca(chain.begin(), chain.begin() + 0x400);
    Bytes cp(chain.begin() + 0x400, chain.begin() + 0x700);
    Bytes xs(chain.begin() + 0x700, chain.end());
    std::vector<File> out = {{layout.tmdName, titlecraft::concat(titlecraft::concat(parts.tmd, cp), ca)}};
    if (layout.ticket)
        out.push_back({"cetk", titlecraft::concat(titlecraft::concat(parts.ticket, xs), ca)});
    for (int i = 0; i < static_cast<int>(parts.plain.size()); ++i) {
        if (i == layout.missing)
            continue;
        bool encrypted = (layout.form == Form::Encrypted) != (i == layout.otherForm);
        Bytes content = encrypted ? titlecraft::encryptContent(parts, i) : parts.plain[i];
        if (i == layout.damaged)
            content.at(content.size() / 2) ^= 1;
        if (i == layout.shortened)
            content.resize(content.size() - 40);
        out.push_back({encrypted ? Encrypted[i] : Decrypted[i], content});
    }
    Bytes damaged = parts.plain[0];
    damaged.at(10) ^= 1;
    if (layout.copy == Copy::DamagedDecrypted)
        out.push_back({"0000001a.app", damaged});
    if (layout.copy == Copy::UpperCase)
        out.push_back({"0000001A", titlecraft::encryptContent(parts, 0)});
    if (layout.copy == Copy::OtherTicket) {
        titlecraft::TitleParts other = titlecraft::genuineParts(Title, {.low = 0x41424344, .version = 7});
        out.push_back({"title.tik", titlecraft::concat(titlecraft::concat(other.ticket, xs), ca)});
    }
    return out;
}

const std::vector<Case> Cases = {
    {"as delivered", {},
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"ok","verdict":"genuine"})",
     R"(["ok","ok","ok"])", 0, "genuine"},
    {"unpacked", {.form = Form::Decrypted},
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"ok","verdict":"genuine"})",
     R"(["ok","ok","ok"])", 0, "genuine"},
    {"a content missing", {.missing = 1},
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"incomplete","verdict":"failed"})",
     R"(["ok","missing","ok"])", 15, "failed: 1 of 3 contents missing"},
    {"a content damaged", {.damaged = 0},
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"damaged","verdict":"failed"})",
     R"(["mismatch","ok","ok"])", 15, "failed: 1 of 3 contents damaged"},
    {"a decrypted content damaged", {.form = Form::Decrypted, .damaged = 2},
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"damaged","verdict":"failed"})",
     R"(["ok","ok","mismatch"])", 15, "failed: 1 of 3 contents damaged"},
    {"a content cut short", {.shortened = 1},
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"incomplete","verdict":"failed"})",
     R"(["ok","missing","ok"])", 15, "failed: 1 of 3 contents missing"},
    // Without a ticket, encrypted contents cannot be checked; decrypted ones can.
    {"no ticket", {.ticket = false},
     R"({"tmdSignature":"valid","ticketSignature":"missing","ticketMatches":null,"contents":null,"verdict":"unproven"})",
     R"([null,null,null])", 16, "unproven: ticket missing"},
    {"no ticket, unpacked", {.form = Form::Decrypted, .ticket = false},
     R"({"tmdSignature":"valid","ticketSignature":"missing","ticketMatches":null,"contents":"ok","verdict":"unproven"})",
     R"(["ok","ok","ok"])", 16, "unproven: ticket missing"},
    // One content that needed the key it could not have: the contents are not proven.
    {"no ticket, one content encrypted", {.form = Form::Decrypted, .ticket = false, .otherForm = 1},
     R"({"tmdSignature":"valid","ticketSignature":"missing","ticketMatches":null,"contents":null,"verdict":"unproven"})",
     R"(["ok",null,"ok"])", 16, "unproven: ticket missing"},
    {"another title's ticket", {.ticketOf = {.low = 0x41424344, .version = 7}},
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":false,"contents":"ok","verdict":"failed"})",
     R"(["ok","ok","ok"])", 15, "failed: another title's ticket"},
    {"a numbered TMD", {.tmdName = "tmd.7"},
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"ok","verdict":"genuine"})",
     R"(["ok","ok","ok"])", 0, "genuine"},
    // Every file that names a part is checked: the first read is reported.
    {"a second file of a content, damaged", {.copy = Copy::DamagedDecrypted},
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"damaged","verdict":"failed"})",
     R"(["ok","ok","ok"])", 15, "failed: 1 of 3 contents damaged", R"([{"part":"content","id":"0000001A","file":"0000001a.app","result":"mismatch"}])"},
    {"a second file of a content, its name in upper case", {.copy = Copy::UpperCase},
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"ok","verdict":"genuine"})",
     R"(["ok","ok","ok"])", 0, "genuine", R"([{"part":"content","id":"0000001A","file":"0000001A","result":"ok"}])"},
    {"title.tik beside cetk, another title's", {.copy = Copy::OtherTicket},
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"ok","verdict":"failed"})",
     R"(["ok","ok","ok"])", 15, "failed: title.tik differs", R"([{"part":"ticket","id":null,"file":"title.tik","result":"differs"}])"},
    {"an empty content without its file", {.missing = 3, .copy = Copy::AbsentEmpty},
     R"({"tmdSignature":"valid","ticketSignature":"valid","ticketMatches":true,"contents":"ok","verdict":"genuine"})",
     R"(["ok","ok","ok","ok"])", 0, "genuine"},
};

}  // namespace folders
