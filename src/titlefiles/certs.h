// SPDX-License-Identifier: MIT
// Certificates and signatures: parsing the certificates a file carries and
// checking a ticket's or TMD's signature up to the CA certificate among
// them. The root's key is in no file and the tool has none, so the CA
// certificate itself is taken as it is.
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/endian.h"
#include "titlefiles/formats.h"

struct Certificate {
    std::uint32_t signatureType;
    ByteSpan signature;
    ByteSpan signedPart;  // from its issuer to its end
    char issuer[IssuerLength + 1];
    char name[CertNameLength + 1];
    std::uint32_t keyType;
    ByteSpan modulus;  // empty for an ECC key
    std::uint32_t exponent;
};

inline constexpr int CertificateLimit = 16;

struct CertificateSet {
    int count;
    Certificate certs[CertificateLimit];
};

// Parses the certificates that stand back to back in `chain`, stopping at
// the first that is not whole or of a type not known. The set refers to
// `chain`'s bytes.
void parseCertificates(ByteSpan chain, CertificateSet* set);

enum class SignatureStatus { None = 0, Valid, Invalid, Fakesigned, Unverifiable, Unsupported };

// The status of the signature of a ticket or TMD: `structure` runs from its
// signature type to the end of its signed part.
SignatureStatus checkSignature(ByteSpan structure, const CertificateSet& certs);
