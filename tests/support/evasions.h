// SPDX-License-Identifier: MIT
// A title, signed and whole, and the ways someone who replaced its
// contents (their hashes updated in the TMD) could try to pass it off as
// genuine: each must come out failed or unproven, never genuine.
#pragma once

#include <string>
#include <vector>

#include "signing.h"

namespace evasion {

using titlecraft::Bytes;

// The title every case is built from: three contents, one shared.
extern const titlecraft::Tmd Title;
extern const titlecraft::Ticket TitleTicket;
// The seed of contents other than those the title was signed with.
constexpr std::uint32_t Replaced = 9;

titlecraft::TitleParts parts(titlecraft::GenuineOptions options = {}, titlecraft::Ticket ticket = TitleTicket,
                             const titlecraft::Tmd& tmd = Title);
Bytes wad(const titlecraft::TitleParts& p, const Bytes& certs = titlecraft::syntheticCertChain());
Bytes genuine(titlecraft::Ticket ticket = TitleTicket, titlecraft::GenuineOptions options = {});

// Where the genuine title's sections lie.
const titlecraft::WadPlaces& places();

struct Evasion {
    std::string name;
    Bytes file;
    const char* verdict;  // with the made-up root key
    int exitCode;
};

// 1 a home-made chain; 2 a certificate of exponent 1; 3 the signature type
// changed; 4 no chain, and an issuer the file lacks; 5 the TMD signed by
// the ticket signer; 6 fakesigned.
std::vector<Evasion> evasions();

}  // namespace evasion
