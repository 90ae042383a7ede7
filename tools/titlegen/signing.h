// SPDX-License-Identifier: MIT
// Signed and encrypted title files, as the console's tools would make them,
// with the generator's own made-up keys: a certificate chain of its root,
// CA, CP and XS keys, RSA signatures or the "fakesigned" form, and contents
// encrypted under a title key that a made-up common key protects. Nothing
// here is a real key or comes from one. Tests also build what an attacker
// would: chains of another root, certificates of odd kinds, TMDs signed by
// the wrong signer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "titlecraft.h"

namespace titlecraft {

// Made-up stand-ins for the standard, Korean and vWii common keys.
extern const std::uint8_t SyntheticCommonKeys[3][16];

// The made-up keys: the root (RSA-4096), the CA, CP and XS (RSA-2048),
// another root (RSA-4096) that no genuine CA certificate leads to, and an
// RSA-2048 key of exponent 3.
enum class SyntheticKey { Root, Ca, Cp, Xs, OtherRoot, SmallExponent };

// A root's public key as root.key holds it: its 512-byte modulus.
Bytes rootKeyBytes(SyntheticKey root = SyntheticKey::Root);

// A certificate named `name`, issued by `issuer`, holding `subject`'s
// public key, signed with `signer`'s. The key-type field, the exponent and
// the signature-type field are the key's own unless given.
struct CertFields {
    std::string issuer;
    std::string name;
    SyntheticKey subject;
    SyntheticKey signer;
    std::optional<std::uint32_t> keyType;  // RSA-4096 (0) over a 2048-bit key: its modulus after 256 zero bytes
    std::optional<std::uint32_t> exponent;
    std::optional<std::uint32_t> signatureType;
};
Bytes certificate(const CertFields& fields);

// The CA, CP and XS certificates back to back: 0xA00 bytes. The CA's is
// signed by `root`.
Bytes syntheticCertChain(SyntheticKey root = SyntheticKey::Root);

// Signs a TMD (header and records) with the CP key, or a ticket with the
// XS key, or with `key`; or fakesigns it: an all-zero signature, and an
// unused field changed until the SHA-1 of the signed part starts with a
// zero byte.
void signTmd(Bytes& tmd, SyntheticKey key = SyntheticKey::Cp);
void signTicket(Bytes& ticket, SyntheticKey key = SyntheticKey::Xs);
void fakesignTmd(Bytes& tmd);
void fakesignTicket(Bytes& ticket);

// What an RSA-2048 signature of a TMD is before the private key's power:
// the PKCS#1 v1.5 block of its digest. Under an exponent of 1 it verifies.
Bytes paddedTmdDigest(const Bytes& tmd);

// The length of a TMD's header and records, by its count field.
std::size_t tmdLength(const Bytes& tmd);

// A banner at the start of content 0: its magic at `at` and the names, by
// language (Japanese, English, German, ... Korean), as UTF-16 units; an
// empty name leaves its slot all zero.
struct Banner {
    std::size_t at = 0x40;
    std::vector<std::u16string> names;
};

struct GenuineOptions {
    bool fakesignTmd = false;
    bool fakesignTicket = false;
    bool consoleBound = false;   // the ticket's key-exchange data set
    std::uint32_t contentSeed = 3;  // another seed: other contents, hashed into the TMD all the same
    Banner banner;                  // none without names
};

// Writes `banner` into a content's plain bytes (as long as it needs).
void putBanner(Bytes& plain, const Banner& banner);

// A WAD whose contents are real: made-up bytes of each content's size,
// hashed into the TMD's records and encrypted with the title key, which
// the ticket holds encrypted with the synthetic common key its index
// selects. The ticket's title ID may be another title's.
Bytes genuineWad(const Tmd& tmd, const Ticket& ticket, const GenuineOptions& options = {});

// The parts of a genuine title apart: the ticket, the TMD and each
// content's plain bytes, with the title key; for tests that assemble their
// own forms.
struct TitleParts {
    Bytes ticket;
    Bytes tmd;
    std::vector<Bytes> plain;
    Bytes titleKey;
};
TitleParts genuineParts(const Tmd& tmd, const Ticket& ticket, const GenuineOptions& options = {});
// A content's bytes as a WAD stores them: encrypted with the title key.
Bytes encryptContent(const TitleParts& parts, std::size_t index);
// A WAD of the parts, with the certificate chain given.
Bytes wadOfParts(const TitleParts& parts, const Bytes& certs);

// Where a genuine WAD's sections and contents lie, for tests that change them.
struct WadPlaces {
    std::size_t certs, ticket, tmd, data;
};
WadPlaces wadPlaces(const Bytes& wad);

}  // namespace titlecraft
