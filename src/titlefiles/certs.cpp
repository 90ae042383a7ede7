// SPDX-License-Identifier: MIT
// Certificate chains: parsing the certificates, and checking a signature
// link by link up to the root key.
#include "titlefiles/certs.h"

#include <cstring>

#include "platform/crypto.h"

namespace {

// The names along a chain: "Root-CA00000001-CP00000004".
constexpr char RootName[] = "Root";
constexpr char CaPrefix[] = "CA";
constexpr char CpPrefix[] = "CP";
constexpr char XsPrefix[] = "XS";
constexpr char NameSeparator = '-';
constexpr std::uint32_t LeastExponent = 3;

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

bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The first certificate, in the file's order, named `name` and issued by
// `issuer` (its first `issuerLength` characters).
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

// Where the names of a structure's issuer start: "Root", the CA's and the
// signer's. False unless it is a path of exactly these three, the CA's
// name starting "CA" and the signer's the prefix its role calls for.
bool splitIssuer(const char* issuer, const char* signerPrefix, const char** ca, const char** signer) {
    const char* first = std::strchr(issuer, NameSeparator);
    const char* second = first != nullptr ? std::strchr(first + 1, NameSeparator) : nullptr;
    if (second == nullptr || std::strchr(second + 1, NameSeparator) != nullptr)
        return false;
    *ca = first + 1;
    *signer = second + 1;
    return static_cast<std::size_t>(first - issuer) == std::strlen(RootName) &&
           std::strncmp(issuer, RootName, std::strlen(RootName)) == 0 && startsWith(*ca, CaPrefix) &&
           startsWith(*signer, signerPrefix);
}

// Whether a certificate's key may sign with `signatureType`: of that kind,
// RSA, with an exponent no signature can be forged under without the key.
bool fitsSignature(const Certificate& signer, std::uint32_t signatureType) {
    std::uint32_t keyType = signatureType == SignatureRsa4096 ? CertKeyRsa4096 : CertKeyRsa2048;
    return signer.keyType == keyType && signer.exponent % 2 == 1 && signer.exponent >= LeastExponent;
}

// One link: `signature` over `signedPart`, by a key. Invalid for a key of
// the wrong kind; false when the library failed.
bool checkLink(ByteSpan modulus, std::uint32_t exponent, ByteSpan signature, ByteSpan signedPart,
               SignatureStatus* status) {
    std::uint8_t digest[OsSha1Length];
    if (osSha1(signedPart.data(), signedPart.size(), digest) != OsOk)
        return false;
    OsCheck check = osRsaVerifySha1(modulus.data(), modulus.size(), exponent, digest, signature.data(),
                                    signature.size());
    if (check == OsCheckFailed)
        return false;
    *status = check == OsCheckValid ? SignatureStatus::Valid : SignatureStatus::Invalid;
    return true;
}

// A certificate's link: its key must fit the signature's type, and the
// signature must verify under it.
bool checkCertificateLink(const Certificate& signer, ByteSpan signature, std::uint32_t signatureType,
                          ByteSpan signedPart, SignatureStatus* status) {
    *status = SignatureStatus::Invalid;
    return !fitsSignature(signer, signatureType) ||
           checkLink(signer.modulus, signer.exponent, signature, signedPart, status);
}

// The links from the structure's signer up, once its own signature is
// known to be of the right type and not zero. Each link is checked as far
// as the file holds its certificates: one that fails makes the signature
// invalid, one whose certificate is missing unverifiable.
bool checkChain(ByteSpan structure, const char* issuer, Signer role, const CertificateSet& certs,
                const KeySet& keys, SignatureStatus* status, bool* rootRefused) {
    const char* caName = nullptr;
    const char* signerName = nullptr;
    *status = SignatureStatus::Invalid;
    if (!splitIssuer(issuer, role == Signer::Cp ? CpPrefix : XsPrefix, &caName, &signerName))
        return true;
    const auto signerIssuerLength = static_cast<std::size_t>(signerName - 1 - issuer);
    const Certificate* signer = findCertificate(certs, issuer, signerIssuerLength, signerName);
    *status = SignatureStatus::Unverifiable;
    if (signer == nullptr)
        return true;
    ByteSpan signature = structure.subspan(SignatureOffset, Rsa2048Length);
    if (!checkCertificateLink(*signer, signature, SignatureRsa2048, structure.subspan(SignedPartOffset), status))
        return false;
    if (*status != SignatureStatus::Valid)
        return true;
    char ca[CertNameLength + 1] = {};
    std::memcpy(ca, caName, static_cast<std::size_t>(signerName - 1 - caName));
    const Certificate* authority = findCertificate(certs, RootName, std::strlen(RootName), ca);
    *status = SignatureStatus::Unverifiable;
    if (authority == nullptr)
        return true;
    *status = SignatureStatus::Invalid;
    if (signer->signatureType != SignatureRsa2048)
        return true;
    if (!checkCertificateLink(*authority, signer->signature, SignatureRsa2048, signer->signedPart, status))
        return false;
    if (*status != SignatureStatus::Valid)
        return true;
    *status = SignatureStatus::Invalid;
    if (authority->signatureType != SignatureRsa4096)
        return true;
    *status = SignatureStatus::Unanchored;
    if (!keys.rootPresent)
        return true;
    bool checked = checkLink(ByteSpan(keys.rootModulus, RootModulusLength), keys.rootExponent,
                             authority->signature, authority->signedPart, status);
    *rootRefused = *status == SignatureStatus::Invalid;
    return checked;
}

}  // namespace

void parseCertificates(ByteSpan chain, CertificateSet* set) {
    set->count = 0;
    addCertificates(chain, set);
}

void addCertificates(ByteSpan chain, CertificateSet* set) {
    while (set->count < CertificateLimit) {
        std::size_t length = parseOne(chain, &set->certs[set->count]);
        if (length == 0)
            return;
        ++set->count;
        chain = chain.subspan(length);
    }
}

bool checkSignature(ByteSpan structure, Signer signer, const CertificateSet& certs, const KeySet& keys,
                    SignatureStatus* status, bool* rootRefused) {
    *status = SignatureStatus::Invalid;
    *rootRefused = false;
    // The layout has room for an RSA-2048 signature alone: its signed part
    // starts where that signature's padding ends.
    if (readBe32(structure, SignatureTypeOffset) != SignatureRsa2048)
        return true;
    *status = SignatureStatus::Missing;
    if (!holds(structure, SignedPartOffset, IssuerLength))
        return true;
    // Consoles with a flaw in their check take any digest starting with a
    // zero byte for an all-zero signature: homebrew titles are signed so.
    if (allZero(structure.subspan(SignatureOffset, Rsa2048Length))) {
        std::uint8_t digest[OsSha1Length];
        ByteSpan signedPart = structure.subspan(SignedPartOffset);
        if (osSha1(signedPart.data(), signedPart.size(), digest) != OsOk)
            return false;
        *status = digest[0] == 0 ? SignatureStatus::Fakesigned : SignatureStatus::Invalid;
        return true;
    }
    char issuer[IssuerLength + 1];
    copyText(structure, SignedPartOffset, IssuerLength, issuer);
    return checkChain(structure, issuer, signer, certs, keys, status, rootRefused);
}
