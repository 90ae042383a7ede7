// SPDX-License-Identifier: MIT
#include "titlefiles/certs.h"

#include <cstring>

#include "platform/crypto.h"

namespace {

bool holds(ByteSpan buf, std::size_t off, std::size_t n) {
    return off <= buf.size() && n <= buf.size() - off;
}

// A signature type's signature length; 0 for a type not known.
std::size_t signatureLength(std::uint32_t type) {
    switch (type) {
    case SignatureRsa4096:
        return Rsa4096Length;
    case SignatureRsa2048:
        return Rsa2048Length;
    case SignatureEcc:
        return EccSignatureLength;
    default:
        return 0;
    }
}

// A key type's modulus length (0 for ECC) and whole key length; false for
// a type not known.
bool keyLengths(std::uint32_t type, std::size_t* modulus, std::size_t* key) {
    switch (type) {
    case CertKeyRsa4096:
        *modulus = Rsa4096Length;
        break;
    case CertKeyRsa2048:
        *modulus = Rsa2048Length;
        break;
    case CertKeyEcc:
        *modulus = 0;
        *key = CertEccKeyLength;
        return true;
    default:
        return false;
    }
    *key = *modulus + CertExponentLength + CertRsaPaddingLength;
    return true;
}

// A text field: its bytes up to the first NUL.
void copyText(ByteSpan buf, std::size_t off, std::size_t n, char* out) {
    std::size_t i = 0;
    for (; i < n && buf[off + i] != 0; ++i)
        out[i] = static_cast<char>(buf[off + i]);
    out[i] = '\0';
}

// Parses one certificate at the start of `bytes`; returns its length, or 0.
std::size_t parseOne(ByteSpan bytes, Certificate* cert) {
    if (!holds(bytes, 0, SignatureOffset))
        return 0;
    cert->signatureType = readBe32(bytes, SignatureTypeOffset);
    std::size_t sigLength = signatureLength(cert->signatureType);
    std::size_t body = SignatureOffset + sigLength + SignaturePaddingLength;
    std::size_t modulus = 0;
    std::size_t key = 0;
    if (sigLength == 0 || !holds(bytes, body, CertKeyOffset) ||
        !keyLengths(readBe32(bytes, body + CertKeyTypeOffset), &modulus, &key) ||
        !holds(bytes, body + CertKeyOffset, key))
        return 0;
    std::size_t length = body + CertKeyOffset + key;
    cert->signature = bytes.subspan(SignatureOffset, sigLength);
    cert->signedPart = bytes.subspan(body, length - body);
    copyText(bytes, body, IssuerLength, cert->issuer);
    copyText(bytes, body + CertNameOffset, CertNameLength, cert->name);
    cert->keyType = readBe32(bytes, body + CertKeyTypeOffset);
    cert->modulus = bytes.subspan(body + CertKeyOffset, modulus);
    cert->exponent = modulus == 0 ? 0 : readBe32(bytes, body + CertKeyOffset + modulus);
    return length;
}

// The certificate named `name` whose issuer is `issuer`.
const Certificate* findCertificate(const CertificateSet& certs, const char* issuer, std::size_t issuerLength,
                                   const char* name) {
    for (int i = 0; i < certs.count; ++i) {
        const Certificate& c = certs.certs[i];
        if (std::strcmp(c.name, name) == 0 && std::strlen(c.issuer) == issuerLength &&
            std::memcmp(c.issuer, issuer, issuerLength) == 0)
            return &c;
    }
    return nullptr;
}

// The signer an issuer names ("Root-CA00000001-CP00000004": the certificate
// CP00000004 issued by Root-CA00000001).
const Certificate* signerOf(const CertificateSet& certs, const char* issuer) {
    const char* dash = std::strrchr(issuer, '-');
    return dash == nullptr ? nullptr : findCertificate(certs, issuer, static_cast<std::size_t>(dash - issuer), dash + 1);
}

bool allZero(ByteSpan bytes) {
    for (std::uint8_t b : bytes)
        if (b != 0)
            return false;
    return true;
}

// Whether `signature` of `digest` verifies with the key of `signer`, whose
// key must be of the signature's kind.
bool verifiedBy(const Certificate& signer, std::uint32_t signatureType, ByteSpan signature,
                const std::uint8_t digest[OsSha1Length]) {
    bool fits = (signatureType == SignatureRsa2048 && signer.keyType == CertKeyRsa2048) ||
                (signatureType == SignatureRsa4096 && signer.keyType == CertKeyRsa4096);
    return fits && osRsaVerifySha1(signer.modulus.data(), signer.modulus.size(), signer.exponent, digest,
                                   signature.data(), signature.size());
}

}  // namespace

void parseCertificates(ByteSpan chain, CertificateSet* set) {
    set->count = 0;
    while (set->count < CertificateLimit) {
        std::size_t length = parseOne(chain, &set->certs[set->count]);
        if (length == 0)
            return;
        ++set->count;
        chain = chain.subspan(length);
    }
}

SignatureStatus checkSignature(ByteSpan structure, const CertificateSet& certs) {
    if (readBe32(structure, SignatureTypeOffset) != SignatureRsa2048)
        return SignatureStatus::Unsupported;
    if (!holds(structure, SignedPartOffset, IssuerLength))
        return SignatureStatus::None;
    ByteSpan signature = structure.subspan(SignatureOffset, Rsa2048Length);
    ByteSpan signedPart = structure.subspan(SignedPartOffset);
    std::uint8_t digest[OsSha1Length];
    osSha1(signedPart.data(), signedPart.size(), digest);
    // Consoles with a flaw in their check take any digest starting with a
    // zero byte for an all-zero signature: homebrew titles are signed so.
    if (allZero(signature))
        return digest[0] == 0 ? SignatureStatus::Fakesigned : SignatureStatus::Invalid;
    char issuer[IssuerLength + 1];
    copyText(structure, SignedPartOffset, IssuerLength, issuer);
    const Certificate* signer = signerOf(certs, issuer);
    const Certificate* ca = signer != nullptr ? signerOf(certs, signer->issuer) : nullptr;
    if (ca == nullptr)
        return SignatureStatus::Unverifiable;
    std::uint8_t signerDigest[OsSha1Length];
    osSha1(signer->signedPart.data(), signer->signedPart.size(), signerDigest);
    if (!verifiedBy(*signer, SignatureRsa2048, signature, digest) ||
        !verifiedBy(*ca, signer->signatureType, signer->signature, signerDigest))
        return SignatureStatus::Invalid;
    return SignatureStatus::Valid;
}
