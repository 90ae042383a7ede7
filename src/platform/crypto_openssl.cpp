// SPDX-License-Identifier: MIT
// The cryptography of POSIX builds: OpenSSL's libcrypto (3.x), through its
// EVP interface, which uses the processor's SHA and AES instructions. The
// library is loaded when verification first needs it, not at start: a run
// without /v starts as fast, and maps as little, as the tool did without it.
#include "platform/crypto.h"

#include <cstring>
#include <cstdlib>

#include <dlfcn.h>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>
#include <openssl/rsa.h>

// The library's calls the tool makes, by name and type.
#define LIBCRYPTO_CALLS(X)                                                                                       \
    X(EVP_MD_CTX_new) X(EVP_MD_CTX_free) X(EVP_DigestInit_ex) X(EVP_DigestUpdate) X(EVP_DigestFinal_ex)         \
    X(EVP_Digest) X(EVP_sha1) X(EVP_CIPHER_CTX_new) X(EVP_CIPHER_CTX_free) X(EVP_DecryptInit_ex)               \
    X(EVP_DecryptUpdate) X(EVP_CIPHER_CTX_set_padding) X(EVP_aes_128_cbc) X(BN_bin2bn) X(BN_new) X(BN_free)     \
    X(BN_set_word) X(OSSL_PARAM_BLD_new) X(OSSL_PARAM_BLD_free) X(OSSL_PARAM_BLD_push_BN)                      \
    X(OSSL_PARAM_BLD_to_param) X(OSSL_PARAM_free) X(EVP_PKEY_CTX_new_from_name) X(EVP_PKEY_CTX_new)            \
    X(EVP_PKEY_CTX_free) X(EVP_PKEY_fromdata_init) X(EVP_PKEY_fromdata) X(EVP_PKEY_free)                       \
    X(EVP_PKEY_verify_init) X(EVP_PKEY_verify) X(EVP_PKEY_CTX_set_rsa_padding) X(EVP_PKEY_CTX_set_signature_md)

namespace {

struct Libcrypto {
#define DECLARE_CALL(name) decltype(&::name) name;
    LIBCRYPTO_CALLS(DECLARE_CALL)
#undef DECLARE_CALL
};

// The library's calls, or null when it cannot be loaded.
const Libcrypto* libcrypto() {
    static Libcrypto calls;
    static int state = 0;  // 0 not tried, 1 loaded, -1 missing
    if (state == 0) {
        void* library = dlopen(TESSARLUMEN_LIBCRYPTO, RTLD_NOW | RTLD_LOCAL);
        state = library != nullptr ? 1 : -1;
#define LOAD_CALL(name)                                                                  \
    if (state == 1 && (calls.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name))) == nullptr) \
        state = -1;
        LIBCRYPTO_CALLS(LOAD_CALL)
#undef LOAD_CALL
    }
    return state == 1 ? &calls : nullptr;
}

}  // namespace

bool osCryptoReady() {
    return libcrypto() != nullptr;
}

struct OsSha1State {
    EVP_MD_CTX* context;
};

struct OsAesState {
    EVP_CIPHER_CTX* context;
};

OsSha1State* osSha1Begin() {
    const Libcrypto* c = libcrypto();
    if (c == nullptr)
        return nullptr;
    EVP_MD_CTX* context = c->EVP_MD_CTX_new();
    if (context == nullptr || c->EVP_DigestInit_ex(context, c->EVP_sha1(), nullptr) != 1) {
        c->EVP_MD_CTX_free(context);
        return nullptr;
    }
    auto* state = static_cast<OsSha1State*>(std::malloc(sizeof(OsSha1State)));
    if (state == nullptr)
        c->EVP_MD_CTX_free(context);
    else
        state->context = context;
    return state;
}

void osSha1Update(OsSha1State* state, const void* bytes, std::size_t n) {
    const Libcrypto* c = libcrypto();  // loaded: the state exists
    c->EVP_DigestUpdate(state->context, bytes, n);
}

void osSha1End(OsSha1State* state, std::uint8_t digest[OsSha1Length]) {
    const Libcrypto* c = libcrypto();
    unsigned length = 0;
    c->EVP_DigestFinal_ex(state->context, digest, &length);
    c->EVP_MD_CTX_free(state->context);
    std::free(state);
}

void osSha1(const void* bytes, std::size_t n, std::uint8_t digest[OsSha1Length]) {
    const Libcrypto* c = libcrypto();
    std::memset(digest, 0, OsSha1Length);
    if (c == nullptr)
        return;
    unsigned length = 0;
    c->EVP_Digest(bytes, n, digest, &length, c->EVP_sha1(), nullptr);
}

OsAesState* osAesCbcBegin(const std::uint8_t key[OsAesKeyLength], const std::uint8_t iv[OsAesBlockLength]) {
    const Libcrypto* c = libcrypto();
    if (c == nullptr)
        return nullptr;
    EVP_CIPHER_CTX* context = c->EVP_CIPHER_CTX_new();
    if (context == nullptr || c->EVP_DecryptInit_ex(context, c->EVP_aes_128_cbc(), nullptr, key, iv) != 1 ||
        c->EVP_CIPHER_CTX_set_padding(context, 0) != 1) {
        c->EVP_CIPHER_CTX_free(context);
        return nullptr;
    }
    auto* state = static_cast<OsAesState*>(std::malloc(sizeof(OsAesState)));
    if (state == nullptr)
        c->EVP_CIPHER_CTX_free(context);
    else
        state->context = context;
    return state;
}

bool osAesCbcDecrypt(OsAesState* state, const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    const Libcrypto* c = libcrypto();
    // The whole blocks given come out at once: without padding, OpenSSL
    // holds nothing back.
    while (n > 0) {
        int part = n > 0x40000000 ? 0x40000000 : static_cast<int>(n);
        int written = 0;
        if (c->EVP_DecryptUpdate(state->context, out, &written, in, part) != 1 || written != part)
            return false;
        in += part;
        out += part;
        n -= static_cast<std::size_t>(part);
    }
    return true;
}

void osAesCbcEnd(OsAesState* state) {
    const Libcrypto* c = libcrypto();
    c->EVP_CIPHER_CTX_free(state->context);
    std::free(state);
}

namespace {

EVP_PKEY* rsaPublicKey(const Libcrypto* c, const std::uint8_t* modulus, std::size_t modulusLength,
                       std::uint32_t exponent) {
    BIGNUM* n = c->BN_bin2bn(modulus, static_cast<int>(modulusLength), nullptr);
    BIGNUM* e = c->BN_new();
    OSSL_PARAM_BLD* build = c->OSSL_PARAM_BLD_new();
    OSSL_PARAM* params = nullptr;
    EVP_PKEY_CTX* context = c->EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr);
    EVP_PKEY* key = nullptr;
    if (n != nullptr && e != nullptr && build != nullptr && context != nullptr && c->BN_set_word(e, exponent) == 1 &&
        c->OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_N, n) == 1 &&
        c->OSSL_PARAM_BLD_push_BN(build, OSSL_PKEY_PARAM_RSA_E, e) == 1 &&
        (params = c->OSSL_PARAM_BLD_to_param(build)) != nullptr && c->EVP_PKEY_fromdata_init(context) == 1)
        c->EVP_PKEY_fromdata(context, &key, EVP_PKEY_PUBLIC_KEY, params);
    c->EVP_PKEY_CTX_free(context);
    c->OSSL_PARAM_free(params);
    c->OSSL_PARAM_BLD_free(build);
    c->BN_free(e);
    c->BN_free(n);
    return key;
}

}  // namespace

bool osRsaVerifySha1(const std::uint8_t* modulus, std::size_t modulusLength, std::uint32_t exponent,
                     const std::uint8_t digest[OsSha1Length], const std::uint8_t* signature,
                     std::size_t signatureLength) {
    const Libcrypto* c = libcrypto();
    EVP_PKEY* key = c != nullptr ? rsaPublicKey(c, modulus, modulusLength, exponent) : nullptr;
    if (key == nullptr)
        return false;
    EVP_PKEY_CTX* context = c->EVP_PKEY_CTX_new(key, nullptr);
    bool valid = context != nullptr && c->EVP_PKEY_verify_init(context) == 1 &&
                 c->EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) == 1 &&
                 c->EVP_PKEY_CTX_set_signature_md(context, c->EVP_sha1()) == 1 &&
                 c->EVP_PKEY_verify(context, signature, signatureLength, digest, OsSha1Length) == 1;
    c->EVP_PKEY_CTX_free(context);
    c->EVP_PKEY_free(key);
    return valid;
}
