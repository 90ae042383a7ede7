// SPDX-License-Identifier: MIT
// The cryptography of the Windows build: CNG (bcrypt.dll), which uses the
// processor's SHA and AES instructions. bcrypt.dll is part of every
// Windows; its providers read no configuration of the tool's.
#include "platform/crypto.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

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

// CNG's answer to this thread's latest call that failed.
thread_local NTSTATUS lastFailure = 0;
thread_local const char* lastCall = "";

bool succeeded(NTSTATUS status, const char* call) {
    if (status >= 0)
        return true;
    lastFailure = status;
    lastCall = call;
    return false;
}

// Set once by load, before any other call; read-only afterwards.
BCRYPT_ALG_HANDLE sha1Provider;
BCRYPT_ALG_HANDLE aesProvider;
BCRYPT_ALG_HANDLE rsaProvider;

BCRYPT_ALG_HANDLE provider(const wchar_t* algorithm) {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!succeeded(BCryptOpenAlgorithmProvider(&handle, algorithm, nullptr, 0), "BCryptOpenAlgorithmProvider"))
        return nullptr;
    return handle;
}

void cngFailureText(char* out, std::size_t room) {
    if (lastFailure == 0) {
        std::snprintf(out, room, "no reason given");
        return;
    }
    std::snprintf(out, room, "%s: NTSTATUS 0x%08lX", lastCall, static_cast<unsigned long>(lastFailure));
}

OsResult cngLoad(char* reason, std::size_t room) {
    sha1Provider = provider(BCRYPT_SHA1_ALGORITHM);
    aesProvider = sha1Provider != nullptr ? provider(BCRYPT_AES_ALGORITHM) : nullptr;
    rsaProvider = aesProvider != nullptr ? provider(BCRYPT_RSA_ALGORITHM) : nullptr;
    if (aesProvider != nullptr &&
        !succeeded(BCryptSetProperty(aesProvider, BCRYPT_CHAINING_MODE,
                                     reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_CBC)),
                                     sizeof BCRYPT_CHAIN_MODE_CBC, 0),
                   "BCryptSetProperty"))
        rsaProvider = nullptr;
    if (rsaProvider != nullptr)
        return OsOk;
    char why[OsCryptoReasonRoom];
    cngFailureText(why, sizeof why);
    std::snprintf(reason, room, "bcrypt.dll: %s", why);
    return OsError;
}

OsSha1State* cngSha1Begin() {
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!succeeded(BCryptCreateHash(sha1Provider, &hash, nullptr, 0, nullptr, 0, 0), "BCryptCreateHash"))
        return nullptr;
    auto* state = static_cast<OsSha1State*>(std::malloc(sizeof(OsSha1State)));
    if (state == nullptr)
        BCryptDestroyHash(hash);
    else
        state->hash = hash;
    return state;
}

OsResult cngSha1Update(OsSha1State* state, const void* bytes, std::size_t n) {
    auto* p = static_cast<PUCHAR>(const_cast<void*>(bytes));
    while (n > 0) {
        ULONG part = n > 0x40000000 ? 0x40000000u : static_cast<ULONG>(n);
        if (!succeeded(BCryptHashData(state->hash, p, part, 0), "BCryptHashData"))
            return OsError;
        p += part;
        n -= part;
    }
    return OsOk;
}

OsResult cngSha1End(OsSha1State* state, std::uint8_t digest[OsSha1Length]) {
    bool done = succeeded(BCryptFinishHash(state->hash, digest, OsSha1Length, 0), "BCryptFinishHash");
    BCryptDestroyHash(state->hash);
    std::free(state);
    return done ? OsOk : OsError;
}

OsAesState* cngAesBegin(const std::uint8_t key[OsAesKeyLength], const std::uint8_t iv[OsAesBlockLength]) {
    BCRYPT_KEY_HANDLE handle = nullptr;
    if (!succeeded(BCryptGenerateSymmetricKey(aesProvider, &handle, nullptr, 0, const_cast<PUCHAR>(key),
                                              OsAesKeyLength, 0),
                   "BCryptGenerateSymmetricKey"))
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

OsResult cngAesDecrypt(OsAesState* state, const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    while (n > 0) {
        ULONG part = n > 0x40000000 ? 0x40000000u : static_cast<ULONG>(n);
        ULONG written = 0;
        if (!succeeded(BCryptDecrypt(state->key, const_cast<PUCHAR>(in), part, nullptr, state->iv, OsAesBlockLength,
                                     out, part, &written, 0),
                       "BCryptDecrypt") ||
            written != part)
            return OsError;
        in += part;
        out += part;
        n -= part;
    }
    return OsOk;
}

void cngAesEnd(OsAesState* state) {
    BCryptDestroyKey(state->key);
    std::free(state);
}

// Whether CNG's answer is about the key or the signature it was given
// rather than about itself: only running out of memory is its own failure.
bool ownFailure(NTSTATUS status) {
    constexpr auto NoMemory = static_cast<NTSTATUS>(0xC0000017L);
    constexpr auto InsufficientResources = static_cast<NTSTATUS>(0xC000009AL);
    return status == NoMemory || status == InsufficientResources;
}

OsCheck cngRsaVerify(const std::uint8_t* modulus, std::size_t modulusLength, std::uint32_t exponent,
                     const std::uint8_t digest[OsSha1Length], const std::uint8_t* signature,
                     std::size_t signatureLength) {
    // A public-key blob: the header, then the exponent and the modulus, both big-endian.
    constexpr std::size_t ExponentLength = 4;
    constexpr std::size_t LongestModulus = 512;
    if (modulusLength > LongestModulus)
        return OsCheckInvalid;
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
    NTSTATUS imported = BCryptImportKeyPair(rsaProvider, nullptr, BCRYPT_RSAPUBLIC_BLOB, &key, blob, blobLength, 0);
    if (!succeeded(imported, "BCryptImportKeyPair"))
        return ownFailure(imported) ? OsCheckFailed : OsCheckInvalid;
    BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA1_ALGORITHM};
    NTSTATUS verified = BCryptVerifySignature(key, &padding, const_cast<PUCHAR>(digest), OsSha1Length,
                                              const_cast<PUCHAR>(signature), static_cast<ULONG>(signatureLength),
                                              BCRYPT_PAD_PKCS1);
    BCryptDestroyKey(key);
    if (succeeded(verified, "BCryptVerifySignature"))
        return OsCheckValid;
    return ownFailure(verified) ? OsCheckFailed : OsCheckInvalid;
}

}  // namespace

const OsCryptoMethods osSystemCrypto = {
    cngLoad,       cngSha1Begin, cngSha1Update, cngSha1End,     cngAesBegin,
    cngAesDecrypt, cngAesEnd,    cngRsaVerify,  cngFailureText,
};
