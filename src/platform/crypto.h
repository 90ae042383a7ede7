// SPDX-License-Identifier: MIT
// The cryptography verification needs, from the platform's own library:
// OpenSSL's libcrypto on POSIX systems (crypto_openssl.cpp), CNG on Windows
// (crypto_cng.cpp). Nothing here is hand-written. Like the OS layer's
// calls, these are a table (OsCryptoMethods), so that the test build can
// put failures in front of them.
//
// A failure of the library is never an answer about a file: every call
// says whether the library did its work, apart from what it found, and
// failureText gives the library's reason.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/os.h"

inline constexpr std::size_t OsSha1Length = 20;
inline constexpr std::size_t OsAesKeyLength = 16;
inline constexpr std::size_t OsAesBlockLength = 16;

// Room for the library's reasons, terminator included.
inline constexpr std::size_t OsCryptoReasonRoom = 256;

// What an RSA verification found, or that the library failed to find out.
enum OsCheck { OsCheckValid = 0, OsCheckInvalid = 1, OsCheckFailed = 2 };

struct OsSha1State;
struct OsAesState;

struct OsCryptoMethods {
    // Loads the library where it is a shared library (by its stable name)
    // and makes it ready. OsError with the reason, naming the library, in
    // `reason`. Called once, before any other call; the calls below may be
    // made from several threads at once afterwards.
    OsResult (*load)(char* reason, std::size_t room);
    // SHA-1 over bytes given in pieces; null when the library refused.
    // sha1End writes the digest and frees the state, whatever it returns.
    OsSha1State* (*sha1Begin)();
    OsResult (*sha1Update)(OsSha1State* state, const void* bytes, std::size_t n);
    OsResult (*sha1End)(OsSha1State* state, std::uint8_t digest[OsSha1Length]);
    // AES-128-CBC decryption without padding, over pieces of whole blocks,
    // each going on from where the one before it ended.
    OsAesState* (*aesBegin)(const std::uint8_t key[OsAesKeyLength], const std::uint8_t iv[OsAesBlockLength]);
    OsResult (*aesDecrypt)(OsAesState* state, const std::uint8_t* in, std::uint8_t* out, std::size_t n);
    void (*aesEnd)(OsAesState* state);
    // Whether `signature` is an RSASSA-PKCS1-v1_5 signature of the SHA-1
    // digest under the public key (big-endian modulus, exponent). A key or
    // signature the library finds malformed is OsCheckInvalid; only the
    // library's own failure (memory, a missing algorithm) is OsCheckFailed.
    OsCheck (*rsaVerify)(const std::uint8_t* modulus, std::size_t modulusLength, std::uint32_t exponent,
                         const std::uint8_t digest[OsSha1Length], const std::uint8_t* signature,
                         std::size_t signatureLength);
    // The library's reason for its last failure in this thread.
    void (*failureText)(char* out, std::size_t room);
};

// The system's own table, and the table in use.
extern const OsCryptoMethods osSystemCrypto;
extern const OsCryptoMethods* osCrypto;

// Loads the library and runs its known-answer self-test (SHA-1, AES-128-CBC
// in two pieces, an RSA-2048 verification that must pass and one that must
// not), once a run; when either fails, the reason is in `reason`.
enum OsCryptoState { OsCryptoReady = 0, OsCryptoNotLoaded, OsCryptoUntrusted };
OsCryptoState osCryptoStart(char* reason, std::size_t room);

// SHA-1 of one piece.
OsResult osSha1(const void* bytes, std::size_t n, std::uint8_t digest[OsSha1Length]);

inline OsSha1State* osSha1Begin() {
    return osCrypto->sha1Begin();
}
inline OsResult osSha1Update(OsSha1State* state, const void* bytes, std::size_t n) {
    return osCrypto->sha1Update(state, bytes, n);
}
inline OsResult osSha1End(OsSha1State* state, std::uint8_t digest[OsSha1Length]) {
    return osCrypto->sha1End(state, digest);
}
inline OsAesState* osAesCbcBegin(const std::uint8_t key[OsAesKeyLength], const std::uint8_t iv[OsAesBlockLength]) {
    return osCrypto->aesBegin(key, iv);
}
inline OsResult osAesCbcDecrypt(OsAesState* state, const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    return osCrypto->aesDecrypt(state, in, out, n);
}
inline void osAesCbcEnd(OsAesState* state) {
    osCrypto->aesEnd(state);
}
inline OsCheck osRsaVerifySha1(const std::uint8_t* modulus, std::size_t modulusLength, std::uint32_t exponent,
                               const std::uint8_t digest[OsSha1Length], const std::uint8_t* signature,
                               std::size_t signatureLength) {
    return osCrypto->rsaVerify(modulus, modulusLength, exponent, digest, signature, signatureLength);
}
inline void osCryptoFailureText(char* out, std::size_t room) {
    osCrypto->failureText(out, room);
}
