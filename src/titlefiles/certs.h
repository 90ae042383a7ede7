// SPDX-License-Identifier: MIT
// Certificates and signatures: parsing the certificates a file carries and
// checking a ticket's or TMD's signature along its chain, link by link, up
// to the root key the user supplied.
//
// A TMD is signed by a CP certificate and a ticket by an XS certificate,
// each issued by a CA certificate, which the root issues: the TMD's issuer
// reads "Root-CA00000001-CP00000004". Each link must be of the right kind:
// the signer's key is the signature's type (RSA-2048 for the TMD, ticket,
// CP and XS; RSA-4096, the root's, for the CA), and every RSA exponent is
// odd and at least 3.
#pragma once

#include <cstddef>
#include <cstdint>

#include "titlefiles/endian.h"
#include "titlefiles/facts.h"
#include "titlefiles/formats.h"
#include "titlefiles/keyset.h"

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
// The same after the certificates the set holds already.
void addCertificates(ByteSpan chain, CertificateSet* set);

// Who signs a structure: the CP certificate a TMD, the XS one a ticket.
enum class Signer { Cp, Xs };

// The status of the signature of a ticket or TMD: `structure` runs from its
// signature type to the end of its signed part. `*rootRefused` tells an
// invalid signature whose every link verifies but the CA's under the root
// key: a wrong root.key looks so, as does a forged CA. False when the
// cryptography library failed, which says nothing about the file.
bool checkSignature(ByteSpan structure, Signer signer, const CertificateSet& certs, const KeySet& keys,
                    SignatureStatus* status, bool* rootRefused);
