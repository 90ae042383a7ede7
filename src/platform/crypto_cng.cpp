// SPDX-License-Identifier: MIT
// The cryptography of the Windows build: CNG (bcrypt.dll), which uses the
// processor's SHA and AES instructions.
#include "platform/crypto.h"

#include <cstring>
#include <cstdlib>

#include <windows.h>

#include <bcrypt.h>

struct OsSha1State {
    BCRYPT_HASH_HANDLE hash;
};

struct OsAesState {
    BCRYPT_KEY_HANDLE key;
    UCHAR iv[OsAesBlockLength];  // CNG carries the chain on in here
};

namespace {

bool succeeded(NTSTATUS status) {
    return status >= 0;
}

// The providers, opened once for the run.
BCRYPT_ALG_HANDLE provider(const wchar_t* algorithm, bool cbc) {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!succeeded(BCryptOpenAlgorithmProvider(&handle, algorithm, nullptr, 0)))
        return nullptr;
    if (cbc && !succeeded(BCryptSetProperty(handle, BCRYPT_CHAINING_MODE,
                                            reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_CBC)),
                                            sizeof BCRYPT_CHAIN_MODE_CBC, 0)))
        return nullptr;
    return handle;
}

BCRYPT_ALG_HANDLE sha1Provider() {
    static BCRYPT_ALG_HANDLE handle = provider(BCRYPT_SHA1_ALGORITHM, false);
    return handle;
}

BCRYPT_ALG_HANDLE aesProvider() {
    static BCRYPT_ALG_HANDLE handle = provider(BCRYPT_AES_ALGORITHM, true);
    return handle;
}

BCRYPT_ALG_HANDLE rsaProvider() {
    static BCRYPT_ALG_HANDLE handle = provider(BCRYPT_RSA_ALGORITHM, false);
    return handle;
}

}  // namespace

bool osCryptoReady() {
    return sha1Provider() != nullptr && aesProvider() != nullptr && rsaProvider() != nullptr;
}

OsSha1State* osSha1Begin() {
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (sha1Provider() == nullptr || !succeeded(BCryptCreateHash(sha1Provider(), &hash, nullptr, 0, nullptr, 0, 0)))
        return nullptr;
    auto* state = static_cast<OsSha1State*>(std::malloc(sizeof(OsSha1State)));
    if (state == nullptr)
        BCryptDestroyHash(hash);
    else
        state->hash = hash;
    return state;
}

void osSha1Update(OsSha1State* state, const void* bytes, std::size_t n) {
    auto* p = static_cast<PUCHAR>(const_cast<void*>(bytes));
    while (n > 0) {
        ULONG part = n > 0x40000000 ? 0x40000000u : static_cast<ULONG>(n);
        BCryptHashData(state->hash, p, part, 0);
        p += part;
        n -= part;
    }
}

void osSha1End(OsSha1State* state, std::uint8_t digest[OsSha1Length]) {
    BCryptFinishHash(state->hash, digest, OsSha1Length, 0);
    BCryptDestroyHash(state->hash);
    std::free(state);
}

void osSha1(const void* bytes, std::size_t n, std::uint8_t digest[OsSha1Length]) {
    std::memset(digest, 0, OsSha1Length);
    if (OsSha1State* state = osSha1Begin()) {
        osSha1Update(state, bytes, n);
        osSha1End(state, digest);
    }
}

OsAesState* osAesCbcBegin(const std::uint8_t key[OsAesKeyLength], const std::uint8_t iv[OsAesBlockLength]) {
    BCRYPT_KEY_HANDLE handle = nullptr;
    if (aesProvider() == nullptr ||
        !succeeded(BCryptGenerateSymmetricKey(aesProvider(), &handle, nullptr, 0, const_cast<PUCHAR>(key),
                                              OsAesKeyLength, 0)))
        return nullptr;
    auto* state = static_cast<OsAesState*>(std::malloc(sizeof(OsAesState)));
    if (state == nullptr) {
        BCryptDestroyKey(handle);
        return nullptr;
    }
    state->key = handle;
    std::memcpy(state->iv, iv, OsAesBlockLength);
    return state;
}

bool osAesCbcDecrypt(OsAesState* state, const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    while (n > 0) {
        ULONG part = n > 0x40000000 ? 0x40000000u : static_cast<ULONG>(n);
        ULONG written = 0;
        if (!succeeded(BCryptDecrypt(state->key, const_cast<PUCHAR>(in), part, nullptr, state->iv, OsAesBlockLength,
                                     out, part, &written, 0)) ||
            written != part)
            return false;
        in += part;
        out += part;
        n -= part;
    }
    return true;
}

void osAesCbcEnd(OsAesState* state) {
    BCryptDestroyKey(state->key);
    std::free(state);
}

bool osRsaVerifySha1(const std::uint8_t* modulus, std::size_t modulusLength, std::uint32_t exponent,
                     const std::uint8_t digest[OsSha1Length], const std::uint8_t* signature,
                     std::size_t signatureLength) {
    // A public-key blob: the header, then the exponent and the modulus, both big-endian.
    constexpr std::size_t ExponentLength = 4;
    constexpr std::size_t LongestModulus = 512;
    if (rsaProvider() == nullptr || modulusLength > LongestModulus)
        return false;
    UCHAR blob[sizeof(BCRYPT_RSAKEY_BLOB) + ExponentLength + LongestModulus];
    BCRYPT_RSAKEY_BLOB header{};
    header.Magic = BCRYPT_RSAPUBLIC_MAGIC;
    header.BitLength = static_cast<ULONG>(modulusLength * 8);
    header.cbPublicExp = ExponentLength;
    header.cbModulus = static_cast<ULONG>(modulusLength);
    std::memcpy(blob, &header, sizeof header);
    UCHAR* at = blob + sizeof header;
    for (int shift = 24; shift >= 0; shift -= 8)
        *at++ = static_cast<UCHAR>(exponent >> shift);
    std::memcpy(at, modulus, modulusLength);
    BCRYPT_KEY_HANDLE key = nullptr;
    ULONG blobLength = static_cast<ULONG>(sizeof header + ExponentLength + modulusLength);
    if (!succeeded(BCryptImportKeyPair(rsaProvider(), nullptr, BCRYPT_RSAPUBLIC_BLOB, &key, blob, blobLength, 0)))
        return false;
    BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA1_ALGORITHM};
    bool valid = succeeded(BCryptVerifySignature(key, &padding, const_cast<PUCHAR>(digest), OsSha1Length,
                                                 const_cast<PUCHAR>(signature),
                                                 static_cast<ULONG>(signatureLength), BCRYPT_PAD_PKCS1));
    BCryptDestroyKey(key);
    return valid;
}
