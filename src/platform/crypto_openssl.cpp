// SPDX-License-Identifier: MIT
// The cryptography of POSIX builds: OpenSSL's libcrypto (3.x), through its
// EVP interface, which uses the processor's SHA and AES instructions.
#include "platform/crypto.h"

#include <new>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

struct OsSha1State {
    EVP_MD_CTX* context;
};

struct OsAesState {
    EVP_CIPHER_CTX* context;
};

OsSha1State* osSha1Begin() {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (context == nullptr || EVP_DigestInit_ex(context, EVP_sha1(), nullptr) != 1) {
        EVP_MD_CTX_free(context);
        return nullptr;
    }
    OsSha1State* state = new (std::nothrow) OsSha1State{context};
    if (state == nullptr)
        EVP_MD_CTX_free(context);
    return state;
}

void osSha1Update(OsSha1State* state, const void* bytes, std::size_t n) {
    EVP_DigestUpdate(state->context, bytes, n);
}

void osSha1End(OsSha1State* state, std::uint8_t digest[OsSha1Length]) {
    unsigned length = 0;
    EVP_DigestFinal_ex(state->context, digest, &length);
    EVP_MD_CTX_free(state->context);
    delete state;
}

void osSha1(const void* bytes, std::size_t n, std::uint8_t digest[OsSha1Length]) {
    unsigned length = 0;
    EVP_Digest(bytes, n, digest, &length, EVP_sha1(), nullptr);
}

OsAesState* osAesCbcBegin(const std::uint8_t key[OsAesKeyLength], const std::uint8_t iv[OsAesBlockLength]) {
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    if (context == nullptr || EVP_DecryptInit_ex(context, EVP_aes_128_cbc(), nullptr, key, iv) != 1 ||
        EVP_CIPHER_CTX_set_padding(context, 0) != 1) {
        EVP_CIPHER_CTX_free(context);
        return nullptr;
    }
    OsAesState* state = new (std::nothrow) OsAesState{context};
    if (state == nullptr)
        EVP_CIPHER_CTX_free(context);
    return state;
}

bool osAesCbcDecrypt(OsAesState* state, const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    // The whole blocks given come out at once: without padding, OpenSSL
    // holds nothing back.
    while (n > 0) {
        int part = n > 0x40000000 ? 0x40000000 : static_cast<int>(n);
        int written = 0;
        if (EVP_DecryptUpdate(state->context, out, &written, in, part) != 1 || written != part)
            return false;
        in += part;
        out += part;
        n -= static_cast<std::size_t>(part);
    }
    return true;
}

void osAesCbcEnd(OsAesState* state) {
    EVP_CIPHER_CTX_free(state->context);
    delete state;
}

namespace {

EVP_PKEY* rsaPublicKey(const std::uint8_t* modulus, std::size_t modulusLength, std::uint32_t exponent) {
    BIGNUM* n = BN_bin2bn(modulus, static_cast<int>(modulusLength), nullptr);
    BIGNUM* e = BN_new();
    OSSL_PARAM_BLD* build = OSSL_PARAM_BLD_new();
    OSSL_PARAM* params = nullptr;
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* key = nullptr;
    if (n != nullptr && e != nullptr && build != nullptr && context != nullptr && BN_set_word(e, exponent) == 1 &&
        OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_N, n) == 1 &&
        OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_E, e) == 1 &&
        (params = OSSL_PARAM_BLD_to_param(build)) != nullptr && EVP_PKEY_fromdata_init(context) == 1)
        EVP_PKEY_fromdata(context, &key, EVP_PKEY_PUBLIC_KEY, params);
    EVP_PKEY_CTX_free(context);
    OSSL_PARAM_free(params);
    OSSL_PARAM_BLD_free(build);
    BN_free(e);
    BN_free(n);
    return key;
}

}  // namespace

bool osRsaVerifySha1(const std::uint8_t* modulus, std::size_t modulusLength, std::uint32_t exponent,
                     const std::uint8_t digest[OsSha1Length], const std::uint8_t* signature,
                     std::size_t signatureLength) {
    EVP_PKEY* key = rsaPublicKey(modulus, modulusLength, exponent);
    if (key == nullptr)
        return false;
    EVP_PKEY_CTX* context = EVP_PKEY_CTX_new(key, nullptr);
    bool valid = context != nullptr && EVP_PKEY_verify_init(context) == 1 &&
                 EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) == 1 &&
                 EVP_PKEY_CTX_set_signature_md(context, EVP_sha1()) == 1 &&
                 EVP_PKEY_verify(context, signature, signatureLength, digest, OsSha1Length) == 1;
    EVP_PKEY_CTX_free(context);
    EVP_PKEY_free(key);
    return valid;
}
