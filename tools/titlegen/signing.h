// SPDX-License-Identifier: MIT
// Signed and encrypted title files, as the console's tools would make them,
// with the generator's own made-up keys: a certificate chain of its root,
// CA, CP and XS keys, RSA signatures or the "fakesigned" form, and contents
// encrypted under a title key that a made-up common key protects. Nothing
// here is a real key or comes from one.
#pragma once

#include <cstdint>

#include "titlecraft.h"

namespace titlecraft {

// Made-up stand-ins for the standard, Korean and vWii common keys.
extern const std::uint8_t SyntheticCommonKeys[3][16];

// The CA, CP and XS certificates back to back: 0xA00 bytes.
Bytes syntheticCertChain();

// Signs a TMD (header and records) with the CP key, or a ticket with the
// XS key; or fakesigns it: an all-zero signature, and an unused field
// changed until the SHA-1 of the signed part starts with a zero byte.
void signTmd(Bytes& tmd);
void signTicket(Bytes& ticket);
void fakesignTmd(Bytes& tmd);
void fakesignTicket(Bytes& ticket);

struct GenuineOptions {
    bool fakesignTmd = false;
    bool fakesignTicket = false;
    bool consoleBound = false;  // the ticket's key-exchange data set
};

// A WAD whose contents are real: made-up bytes of each content's size,
// hashed into the TMD's records and encrypted with the title key, which
// the ticket holds encrypted with the synthetic common key its index
// selects. The ticket's title ID may be another title's.
Bytes genuineWad(const Tmd& tmd, const Ticket& ticket, const GenuineOptions& options = {});

// Where a genuine WAD's sections and contents lie, for tests that change them.
struct WadPlaces {
    std::size_t certs, ticket, tmd, data;
};
WadPlaces wadPlaces(const Bytes& wad);

}  // namespace titlecraft
