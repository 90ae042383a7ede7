// SPDX-License-Identifier: MIT
// The cryptography verification needs, from the platform's own library:
// OpenSSL's libcrypto on POSIX systems (crypto_openssl.cpp), CNG on Windows
// (crypto_cng.cpp). Nothing here is hand-written; each call answers true
// or false, or a state that is null when the library refused.
#pragma once

#include <cstddef>
#include <cstdint>

// Whether the library is there (loaded on first use where it is a shared
// library); verification cannot run without it.
bool osCryptoReady();

inline constexpr std::size_t OsSha1Length = 20;
inline constexpr std::size_t OsAesKeyLength = 16;
inline constexpr std::size_t OsAesBlockLength = 16;

// SHA-1 over bytes given in pieces. osSha1End writes the digest and frees
// the state.
struct OsSha1State;
OsSha1State* osSha1Begin();
void osSha1Update(OsSha1State* state, const void* bytes, std::size_t n);
void osSha1End(OsSha1State* state, std::uint8_t digest[OsSha1Length]);

// SHA-1 of one piece.
void osSha1(const void* bytes, std::size_t n, std::uint8_t digest[OsSha1Length]);

// AES-128-CBC decryption without padding, over pieces of whole blocks:
// each piece goes on from where the one before it ended.
struct OsAesState;
OsAesState* osAesCbcBegin(const std::uint8_t key[OsAesKeyLength], const std::uint8_t iv[OsAesBlockLength]);
bool osAesCbcDecrypt(OsAesState* state, const std::uint8_t* in, std::uint8_t* out, std::size_t n);
void osAesCbcEnd(OsAesState* state);

// Whether `signature` is an RSASSA-PKCS1-v1_5 signature of the SHA-1
// digest under the public key (big-endian modulus, exponent).
bool osRsaVerifySha1(const std::uint8_t* modulus, std::size_t modulusLength, std::uint32_t exponent,
                     const std::uint8_t digest[OsSha1Length], const std::uint8_t* signature,
                     std::size_t signatureLength);
