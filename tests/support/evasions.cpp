// SPDX-License-Identifier: MIT
#include "evasions.h"

namespace evasion {

using titlecraft::SyntheticKey;
using titlecraft::TitleParts;

const titlecraft::Tmd Title{.version = 3, .contents = {{0x0001, 5000}, {0x0001, 40000}, {0x8001, 17}}};
const titlecraft::Ticket TitleTicket{.version = 3};

namespace {

constexpr std::size_t CaCertLength = 0x400;
constexpr std::size_t IssuerSignerAt = 0x140 + 16;  // "CP00000004" in "Root-CA00000001-CP00000004"

Bytes withSigner(const char* signer, SyntheticKey key) {
    TitleParts p = parts({.contentSeed = Replaced});
    titlecraft::putText(p.tmd, IssuerSignerAt, signer);
    titlecraft::signTmd(p.tmd, key);
    return wad(p);
}

Bytes exponentOne() {
    TitleParts p = parts({.contentSeed = Replaced});
    Bytes block = titlecraft::paddedTmdDigest(p.tmd);
    std::copy(block.begin(), block.end(), p.tmd.begin() + 4);
    titlecraft::CertFields cp{"Root-CA00000001", "CP00000004", SyntheticKey::Cp, SyntheticKey::Ca};
    cp.exponent = 1;
    Bytes chain = titlecraft::syntheticCertChain();
    Bytes certificate = titlecraft::certificate(cp);
    std::copy(certificate.begin(), certificate.end(), chain.begin() + static_cast<long>(CaCertLength));
    return wad(p, chain);
}

}  // namespace

TitleParts parts(titlecraft::GenuineOptions options, titlecraft::Ticket ticket, const titlecraft::Tmd& tmd) {
    return titlecraft::genuineParts(tmd, ticket, options);
}

Bytes wad(const TitleParts& p, const Bytes& certs) {
    return titlecraft::wadOfParts(p, certs);
}

Bytes genuine(titlecraft::Ticket ticket, titlecraft::GenuineOptions options) {
    return wad(parts(options, ticket));
}

const titlecraft::WadPlaces& places() {
    static const titlecraft::WadPlaces p = titlecraft::wadPlaces(genuine());
    return p;
}

std::vector<Evasion> evasions() {
    Bytes typeChanged = wad(parts({.contentSeed = Replaced}));
    typeChanged.at(places().tmd + 3) ^= 1;
    Bytes noChain = wad(parts({.contentSeed = Replaced}));
    std::fill(noChain.begin() + static_cast<long>(places().certs),
              noChain.begin() + static_cast<long>(places().certs + 0xA00), 0);
    return {
        {"1 a home-made chain", wad(parts({.contentSeed = Replaced}), titlecraft::syntheticCertChain(SyntheticKey::OtherRoot)),
         "failed", 15},
        {"2 a CP certificate of exponent 1", exponentOne(), "failed", 15},
        {"3 the signature type changed", typeChanged, "failed", 15},
        {"4 no chain", noChain, "unproven", 16},
        {"4 an issuer the file lacks", withSigner("CP00000005", SyntheticKey::Cp), "unproven", 16},
        {"5 signed by the ticket signer", withSigner("XS00000003", SyntheticKey::Xs), "failed", 15},
        {"6 fakesigned", genuine(TitleTicket, {.fakesignTmd = true, .fakesignTicket = true, .contentSeed = Replaced}),
         "unproven", 16},
    };
}

}  // namespace evasion
