// SPDX-License-Identifier: MIT
#include "signing.h"

#include <cstring>
#include <stdexcept>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "synthetic_keys.h"

namespace titlecraft {

const std::uint8_t SyntheticCommonKeys[3][16] = {
    {'T', 'E', 'S', 'S', 'A', 'R', 'L', 'U', 'M', 'E', 'N', '-', 'T', 'E', 'S', 'T'},
    {'T', 'E', 'S', 'S', 'A', 'R', 'L', 'U', 'M', 'E', 'N', '-', 'K', 'O', 'R', 'E'},
    {'T', 'E', 'S', 'S', 'A', 'R', 'L', 'U', 'M', 'E', 'N', '-', 'V', 'W', 'I', 'I'},
};

namespace {

// The layouts, in the generator's own words (see titlecraft.cpp).
constexpr std::size_t SignatureAt = 4;
constexpr std::size_t SignedAt = 0x140;
constexpr std::size_t TmdHeaderSize = 0x1E4;
constexpr std::size_t TmdReservedAt = 0x19E;  // unused: what fakesigning changes
constexpr std::size_t TmdCountAt = 0x1DE;
constexpr std::size_t RecordSize = 0x24;
constexpr std::size_t RecordIndexAt = 4;
constexpr std::size_t RecordHashAt = 16;
constexpr std::size_t TicketSize = 0x2A4;
constexpr std::size_t TicketKeyExchangeAt = 0x180;
constexpr std::size_t TicketTitleKeyAt = 0x1BF;
constexpr std::size_t TicketTitleIdAt = 0x1DC;
constexpr std::size_t TicketReservedAt = 0x1F2;  // unused: what fakesigning changes
constexpr std::size_t TicketCommonKeyAt = 0x1F1;
constexpr std::size_t WadAlign = 0x40;

struct PrivateKey {
    EVP_PKEY* key;
    std::size_t length;  // of its modulus and signatures
};

PrivateKey loadKey(const char* pem) {
    BIO* bio = BIO_new_mem_buf(pem, -1);
    EVP_PKEY* key = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
    BIO_free(bio);
    if (key == nullptr)
        throw std::runtime_error("cannot read a synthetic key");
    return {key, static_cast<std::size_t>(EVP_PKEY_get_size(key))};
}

const PrivateKey& keyOf(SyntheticKey which) {
    static const PrivateKey root = loadKey(SyntheticRootKey), ca = loadKey(SyntheticCaKey),
                            cp = loadKey(SyntheticCpKey), xs = loadKey(SyntheticXsKey),
                            other = loadKey(SyntheticOtherRootKey), small = loadKey(SyntheticSmallExponentKey);
    switch (which) {
    case SyntheticKey::Root:
        return root;
    case SyntheticKey::Ca:
        return ca;
    case SyntheticKey::Cp:
        return cp;
    case SyntheticKey::Xs:
        return xs;
    case SyntheticKey::OtherRoot:
        return other;
    case SyntheticKey::SmallExponent:
        break;
    }
    return small;
}

Bytes sha1(const std::uint8_t* bytes, std::size_t n) {
    Bytes digest(20);
    unsigned length = 0;
    EVP_Digest(bytes, n, digest.data(), &length, EVP_sha1(), nullptr);
    return digest;
}

// RSASSA-PKCS1-v1_5 with SHA-1 of b[from, to), written at b[at].
void sign(Bytes& b, std::size_t at, std::size_t from, std::size_t to, SyntheticKey signer) {
    const PrivateKey& key = keyOf(signer);
    Bytes digest = sha1(b.data() + from, to - from);
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key.key, nullptr);
    std::size_t length = key.length;
    if (context == nullptr || EVP_PKEY_sign_init(context) != 1 ||
        EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) != 1 ||
        EVP_PKEY_CTX_set_signature_md(context, EVP_sha1()) != 1 ||
        EVP_PKEY_sign(context, b.data() + at, &length, digest.data(), digest.size()) != 1)
        throw std::runtime_error("cannot sign");
    EVP_PKEY_CTX_free(context);
}

// The public key's modulus, `length` bytes wide, and its exponent.
Bytes modulusOf(SyntheticKey which, std::size_t length, std::uint32_t* exponent) {
    const PrivateKey& key = keyOf(which);
    BIGNUM* n = nullptr;
    BIGNUM* e = nullptr;
    EVP_PKEY_get_bn_param(key.key, OSSL_PKEY_PARAM_RSA_N, &n);
    EVP_PKEY_get_bn_param(key.key, OSSL_PKEY_PARAM_RSA_E, &e);
    Bytes modulus(length);
    BN_bn2binpad(n, modulus.data(), static_cast<int>(length));
    *exponent = static_cast<std::uint32_t>(BN_get_word(e));
    BN_free(n);
    BN_free(e);
    return modulus;
}

void fakesign(Bytes& b, std::size_t signedEnd, std::size_t varyAt) {
    std::fill(b.begin() + SignatureAt, b.begin() + SignatureAt + 0x100, 0);
    for (std::uint32_t v = 0; v < 0x10000; ++v) {
        putBe16(b, varyAt, static_cast<std::uint16_t>(v));
        if (sha1(b.data() + SignedAt, signedEnd - SignedAt)[0] == 0)
            return;
    }
    throw std::runtime_error("cannot fakesign");
}

Bytes aesCbcEncrypt(const std::uint8_t* key, const std::uint8_t* iv, Bytes plain) {
    plain.resize((plain.size() + 15) / 16 * 16);
    Bytes out(plain.size());
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    int written = 0;
    EVP_EncryptInit_ex(context, EVP_aes_128_cbc(), nullptr, key, iv);
    EVP_CIPHER_CTX_set_padding(context, 0);
    if (!plain.empty())
        EVP_EncryptUpdate(context, out.data(), &written, plain.data(), static_cast<int>(plain.size()));
    EVP_CIPHER_CTX_free(context);
    return out;
}

Bytes patterned(std::size_t n, std::uint32_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        b[i] = static_cast<std::uint8_t>(seed >> 16);
    }
    return b;
}

std::size_t alignUp(std::size_t n) {
    return (n + WadAlign - 1) / WadAlign * WadAlign;
}

}  // namespace

Bytes rootKeyBytes(SyntheticKey root) {
    std::uint32_t exponent = 0;
    return modulusOf(root, 0x200, &exponent);
}

Bytes certificate(const CertFields& fields) {
    std::size_t sigLength = keyOf(fields.signer).length;
    std::size_t keyLength = keyOf(fields.subject).length;
    std::uint32_t keyType = fields.keyType.value_or(keyLength == 0x200 ? 0 : 1);
    std::size_t modulusLength = keyType == 0 ? 0x200 : keyLength;
    std::size_t body = 4 + sigLength + 0x3C;
    Bytes b(body + 0x88 + modulusLength + 4 + 0x34);
    putBe32(b, 0, fields.signatureType.value_or(sigLength == 0x200 ? 0x00010000 : 0x00010001));
    putText(b, body, fields.issuer);
    putBe32(b, body + 0x40, keyType);
    putText(b, body + 0x44, fields.name);
    std::uint32_t exponent = 0;
    Bytes modulus = modulusOf(fields.subject, modulusLength, &exponent);
    std::copy(modulus.begin(), modulus.end(), b.begin() + static_cast<long>(body + 0x88));
    putBe32(b, body + 0x88 + modulusLength, fields.exponent.value_or(exponent));
    sign(b, SignatureAt, body, b.size(), fields.signer);
    return b;
}

Bytes syntheticCertChain(SyntheticKey root) {
    Bytes chain = certificate({"Root", "CA00000001", SyntheticKey::Ca, root});
    chain = concat(chain, certificate({"Root-CA00000001", "CP00000004", SyntheticKey::Cp, SyntheticKey::Ca}));
    return concat(chain, certificate({"Root-CA00000001", "XS00000003", SyntheticKey::Xs, SyntheticKey::Ca}));
}

std::size_t tmdLength(const Bytes& tmd) {
    return TmdHeaderSize + (std::size_t{tmd.at(TmdCountAt)} << 8 | tmd.at(TmdCountAt + 1)) * RecordSize;
}

void signTmd(Bytes& tmd, SyntheticKey key) {
    sign(tmd, SignatureAt, SignedAt, tmdLength(tmd), key);
}

void signTicket(Bytes& ticket, SyntheticKey key) {
    sign(ticket, SignatureAt, SignedAt, TicketSize, key);
}

void fakesignTmd(Bytes& tmd) {
    fakesign(tmd, tmdLength(tmd), TmdReservedAt);
}

void fakesignTicket(Bytes& ticket) {
    fakesign(ticket, TicketSize, TicketReservedAt);
}

Bytes paddedTmdDigest(const Bytes& tmd) {
    // EMSA-PKCS1-v1_5: 00 01, FF bytes, 00, SHA-1's DigestInfo, the digest.
    static const std::uint8_t DigestInfo[] = {0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E,
                                              0x03, 0x02, 0x1A, 0x05, 0x00, 0x04, 0x14};
    Bytes digest = sha1(tmd.data() + SignedAt, tmdLength(tmd) - SignedAt);
    Bytes block(0x100, 0xFF);
    block[0] = 0x00;
    block[1] = 0x01;
    std::size_t at = block.size() - digest.size() - sizeof DigestInfo - 1;
    block[at++] = 0x00;
    std::copy(std::begin(DigestInfo), std::end(DigestInfo), block.begin() + static_cast<long>(at));
    std::copy(digest.begin(), digest.end(), block.end() - static_cast<long>(digest.size()));
    return block;
}

TitleParts genuineParts(const Tmd& tmd, const Ticket& ticket, const GenuineOptions& options) {
    TitleParts parts;
    parts.titleKey = patterned(16, ticket.low ^ 0x7171);
    parts.ticket = ticketBytes(ticket);
    std::uint8_t iv[16] = {};
    std::memcpy(iv, parts.ticket.data() + TicketTitleIdAt, 8);
    Bytes sealed = aesCbcEncrypt(SyntheticCommonKeys[ticket.commonKey % 3], iv, parts.titleKey);
    std::copy(sealed.begin(), sealed.end(), parts.ticket.begin() + TicketTitleKeyAt);
    parts.ticket[TicketCommonKeyAt] = ticket.commonKey;
    if (options.consoleBound)
        std::fill(parts.ticket.begin() + TicketKeyExchangeAt, parts.ticket.begin() + TicketKeyExchangeAt + 0x3C, 0x5A);
    parts.tmd = tmdBytes(tmd);
    for (std::size_t i = 0; i < tmd.contents.size(); ++i) {
        Bytes plain = patterned(static_cast<std::size_t>(tmd.contents[i].size),
                                static_cast<std::uint32_t>(i) + options.contentSeed);
        if (tmd.contents[i].index.value_or(static_cast<std::uint16_t>(i)) == 0 && !options.banner.names.empty())
            putBanner(plain, options.banner);
        Bytes hash = sha1(plain.data(), plain.size());
        std::copy(hash.begin(), hash.end(), parts.tmd.begin() + static_cast<long>(TmdHeaderSize + i * RecordSize + RecordHashAt));
        parts.plain.push_back(std::move(plain));
    }
    options.fakesignTmd ? fakesignTmd(parts.tmd) : signTmd(parts.tmd);
    options.fakesignTicket ? fakesignTicket(parts.ticket) : signTicket(parts.ticket);
    return parts;
}

void putBanner(Bytes& plain, const Banner& banner) {
    constexpr std::size_t NamesAfterMagic = 0x1C;
    constexpr std::size_t SlotLength = 0x54;
    // As much of it as the content holds.
    auto put = [&plain](std::size_t at, std::uint8_t byte) {
        if (at < plain.size())
            plain[at] = byte;
    };
    const std::uint8_t magic[4] = {'I', 'M', 'E', 'T'};
    for (std::size_t i = 0; i < 4; ++i)
        put(banner.at + i, magic[i]);
    for (std::size_t slot = 0; slot < 10; ++slot) {
        std::size_t at = banner.at + NamesAfterMagic + slot * SlotLength;
        const std::u16string name = slot < banner.names.size() ? banner.names[slot] : std::u16string();
        for (std::size_t i = 0; i < SlotLength / 2; ++i) {
            char16_t unit = i < name.size() ? name[i] : 0;
            put(at + 2 * i, static_cast<std::uint8_t>(unit >> 8));
            put(at + 2 * i + 1, static_cast<std::uint8_t>(unit));
        }
    }
}

Bytes encryptContent(const TitleParts& parts, std::size_t index) {
    std::size_t record = TmdHeaderSize + index * RecordSize;
    std::uint8_t contentIv[16] = {parts.tmd.at(record + RecordIndexAt), parts.tmd.at(record + RecordIndexAt + 1)};
    return aesCbcEncrypt(parts.titleKey.data(), contentIv, parts.plain.at(index));
}

Bytes wadOfParts(const TitleParts& parts, const Bytes& certs) {
    Bytes data;
    for (std::size_t i = 0; i < parts.plain.size(); ++i) {
        data.resize(alignUp(data.size()));
        data = concat(data, encryptContent(parts, i));
    }
    return assembleWad(certs, parts.ticket, parts.tmd, data, {});
}

Bytes genuineWad(const Tmd& tmd, const Ticket& ticket, const GenuineOptions& options) {
    return wadOfParts(genuineParts(tmd, ticket, options), syntheticCertChain());
}

WadPlaces wadPlaces(const Bytes& wad) {
    auto be32 = [&wad](std::size_t at) {
        return std::size_t{wad.at(at)} << 24 | std::size_t{wad.at(at + 1)} << 16 | std::size_t{wad.at(at + 2)} << 8 |
               wad.at(at + 3);
    };
    WadPlaces p{};
    p.certs = WadAlign;
    p.ticket = p.certs + alignUp(be32(0x08)) + alignUp(be32(0x0C));
    p.tmd = p.ticket + alignUp(be32(0x10));
    p.data = p.tmd + alignUp(be32(0x14));
    return p;
}

}  // namespace titlecraft
