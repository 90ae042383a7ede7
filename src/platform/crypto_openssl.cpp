// SPDX-License-Identifier: MIT
// The cryptography of POSIX builds: OpenSSL's libcrypto (3.x), through its
// EVP interface, which uses the processor's SHA and AES instructions.
//
// The library is loaded when verification first needs it, by the stable
// name its ABI carries (libcrypto.so.3), not at start: a run without /v
// starts as fast, and maps as little, as the tool did without it. Every
// call works in a library context of the tool's own with OpenSSL's default
// provider, so a system-wide configuration (FIPS properties, a policy
// against SHA-1) cannot change what a file is found to be.
#include "platform/crypto.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/opensslv.h>
#include <openssl/param_build.h>
#include <openssl/provider.h>
#include <openssl/rsa.h>

#define TESSARLUMEN_TEXT(x) #x
#define TESSARLUMEN_VALUE_TEXT(x) TESSARLUMEN_TEXT(x)
#ifdef __APPLE__
#define LIBCRYPTO_NAME "libcrypto." TESSARLUMEN_VALUE_TEXT(OPENSSL_SHLIB_VERSION) ".dylib"
#else
#define LIBCRYPTO_NAME "libcrypto.so." TESSARLUMEN_VALUE_TEXT(OPENSSL_SHLIB_VERSION)
#endif

// The library's calls the tool makes, by name and type.
#define LIBCRYPTO_CALLS(X)                                                                                   \
    X(OSSL_LIB_CTX_new) X(OSSL_PROVIDER_load) X(EVP_MD_fetch) X(EVP_CIPHER_fetch) X(EVP_MD_CTX_new)         \
    X(EVP_MD_CTX_free) X(EVP_DigestInit_ex) X(EVP_DigestUpdate) X(EVP_DigestFinal_ex) X(EVP_CIPHER_CTX_new) \
    X(EVP_CIPHER_CTX_free) X(EVP_DecryptInit_ex) X(EVP_DecryptUpdate) X(EVP_CIPHER_CTX_set_padding)         \
    X(BN_bin2bn) X(BN_new) X(BN_free) X(BN_set_word) X(OSSL_PARAM_BLD_new) X(OSSL_PARAM_BLD_free)           \
    X(OSSL_PARAM_BLD_push_BN) X(OSSL_PARAM_BLD_to_param) X(OSSL_PARAM_free) X(EVP_PKEY_CTX_new_from_name)   \
    X(EVP_PKEY_CTX_new_from_pkey) X(EVP_PKEY_CTX_free) X(EVP_PKEY_fromdata_init) X(EVP_PKEY_fromdata)       \
    X(EVP_PKEY_free) X(EVP_PKEY_verify_init) X(EVP_PKEY_verify) X(EVP_PKEY_CTX_set_rsa_padding)             \
    X(EVP_PKEY_CTX_set_signature_md) X(ERR_get_error) X(ERR_error_string_n) X(ERR_clear_error)             \
    X(EVP_MD_free) X(EVP_CIPHER_free) X(OSSL_PROVIDER_unload) X(OSSL_LIB_CTX_free) X(OPENSSL_init_crypto)

namespace {

struct Libcrypto {
#define DECLARE_CALL(name) decltype(&::name) name;
    LIBCRYPTO_CALLS(DECLARE_CALL)
#undef DECLARE_CALL
    OSSL_LIB_CTX* context;
    OSSL_PROVIDER* provider;
    EVP_MD* sha1;
    EVP_CIPHER* aes;
};

// Set once by load, before any other call; read-only afterwards.
Libcrypto calls;

const Libcrypto* lib() {
    return &calls;
}

// The library's own reason for its latest failure in this thread.
void opensslFailureText(char* out, std::size_t room) {
    unsigned long code = calls.ERR_get_error != nullptr ? calls.ERR_get_error() : 0;
    if (code == 0) {
        std::snprintf(out, room, "no reason given");
        return;
    }
    calls.ERR_error_string_n(code, out, room);
    calls.ERR_clear_error();
}

// Returns what the context holds; the library stays loaded.
void opensslUnload() {
    calls.EVP_CIPHER_free(calls.aes);
    calls.EVP_MD_free(calls.sha1);
    if (calls.provider != nullptr)
        calls.OSSL_PROVIDER_unload(calls.provider);
    calls.OSSL_LIB_CTX_free(calls.context);
}

OsResult loadFailed(char* reason, std::size_t room, const char* what) {
    int n = std::snprintf(reason, room, LIBCRYPTO_NAME ": %s: ", what);
    if (n > 0 && static_cast<std::size_t>(n) < room)
        opensslFailureText(reason + n, room - static_cast<std::size_t>(n));
    opensslUnload();
    return OsError;
}

OsResult opensslLoad(char* reason, std::size_t room) {
    void* library = dlopen(LIBCRYPTO_NAME, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        std::snprintf(reason, room, "%s", why != nullptr ? why : LIBCRYPTO_NAME ": cannot be loaded");
        return OsError;
    }
#define LOAD_CALL(name)                                                                          \
    if ((calls.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name))) == nullptr) { \
        std::snprintf(reason, room, LIBCRYPTO_NAME ": has no %s", #name);                        \
        return OsError;                                                                          \
    }
    LIBCRYPTO_CALLS(LOAD_CALL)
#undef LOAD_CALL
    // The library's own start-up would read the system's configuration
    // (OPENSSL_CONF may name a FIFO, or a provider module that would run in
    // this process): it is started with that turned off, before any other
    // call can start it the usual way. A context of the tool's own then
    // reads no configuration file either; the default provider gives it
    // SHA-1, AES and RSA as they are.
    if (calls.OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr) != 1)
        return loadFailed(reason, room, "cannot start");
    calls.context = calls.OSSL_LIB_CTX_new();
    if (calls.context == nullptr)
        return loadFailed(reason, room, "no library context");
    calls.provider = calls.OSSL_PROVIDER_load(calls.context, "default");
    if (calls.provider == nullptr)
        return loadFailed(reason, room, "no default provider");
    calls.sha1 = calls.EVP_MD_fetch(calls.context, "SHA1", "");
    if (calls.sha1 == nullptr)
        return loadFailed(reason, room, "no SHA-1");
    calls.aes = calls.EVP_CIPHER_fetch(calls.context, "AES-128-CBC", "");
    if (calls.aes == nullptr)
        return loadFailed(reason, room, "no AES-128-CBC");
    // The context is the tool's to free, at exit, before the library's own
    // clean-up, which its first calls above registered and so runs later.
    std::atexit(opensslUnload);
    return OsOk;
}

}  // namespace

struct OsSha1State {
    EVP_MD_CTX* context;
};

struct OsAesState {
    EVP_CIPHER_CTX* context;
};

namespace {

OsSha1State* opensslSha1Begin() {
    const Libcrypto* c = lib();
    EVP_MD_CTX* context = c->EVP_MD_CTX_new();
    if (context == nullptr || c->EVP_DigestInit_ex(context, c->sha1, nullptr) != 1) {
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

OsResult opensslSha1Update(OsSha1State* state, const void* bytes, std::size_t n) {
    return lib()->EVP_DigestUpdate(state->context, bytes, n) == 1 ? OsOk : OsError;
}

OsResult opensslSha1End(OsSha1State* state, std::uint8_t digest[OsSha1Length]) {
    const Libcrypto* c = lib();
    unsigned length = 0;
    bool done = c->EVP_DigestFinal_ex(state->context, digest, &length) == 1 && length == OsSha1Length;
    c->EVP_MD_CTX_free(state->context);
    std::free(state);
    return done ? OsOk : OsError;
}

OsAesState* opensslAesBegin(const std::uint8_t key[OsAesKeyLength], const std::uint8_t iv[OsAesBlockLength]) {
    const Libcrypto* c = lib();
    EVP_CIPHER_CTX* context = c->EVP_CIPHER_CTX_new();
    if (context == nullptr || c->EVP_DecryptInit_ex(context, c->aes, nullptr, key, iv) != 1 ||
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

OsResult opensslAesDecrypt(OsAesState* state, const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    const Libcrypto* c = lib();
    // The whole blocks given come out at once: without padding, OpenSSL
    // holds nothing back.
    while (n > 0) {
        int part = n > 0x40000000 ? 0x40000000 : static_cast<int>(n);
        int written = 0;
        if (c->EVP_DecryptUpdate(state->context, out, &written, in, part) != 1 || written != part)
            return OsError;
        in += part;
        out += part;
        n -= static_cast<std::size_t>(part);
    }
    return OsOk;
}

void opensslAesEnd(OsAesState* state) {
    lib()->EVP_CIPHER_CTX_free(state->context);
    std::free(state);
}

EVP_PKEY* rsaPublicKey(const Libcrypto* c, const std::uint8_t* modulus, std::size_t modulusLength,
                       std::uint32_t exponent) {
    BIGNUM* n = c->BN_bin2bn(modulus, static_cast<int>(modulusLength), nullptr);
    BIGNUM* e = c->BN_new();
    OSSL_PARAM_BLD* build = c->OSSL_PARAM_BLD_new();
    OSSL_PARAM* params = nullptr;
    EVP_PKEY_CTX* context = c->EVP_PKEY_CTX_new_from_name(c->context, "RSA", "");
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

// Taking a public key's numbers checks nothing about them, so a key that
// cannot be made is the library's failure (memory, most likely). A key it
// then finds malformed, or a signature that is not the digest's, is a
// verification that answers 0.
OsCheck opensslRsaVerify(const std::uint8_t* modulus, std::size_t modulusLength, std::uint32_t exponent,
                         const std::uint8_t digest[OsSha1Length], const std::uint8_t* signature,
                         std::size_t signatureLength) {
    const Libcrypto* c = lib();
    EVP_PKEY* key = rsaPublicKey(c, modulus, modulusLength, exponent);
    if (key == nullptr)
        return OsCheckFailed;
    EVP_PKEY_CTX* context = c->EVP_PKEY_CTX_new_from_pkey(c->context, key, "");
    OsCheck check = OsCheckFailed;
    if (context != nullptr && c->EVP_PKEY_verify_init(context) == 1 &&
        c->EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) == 1 &&
        c->EVP_PKEY_CTX_set_signature_md(context, c->sha1) == 1) {
        int verified = c->EVP_PKEY_verify(context, signature, signatureLength, digest, OsSha1Length);
        check = verified == 1 ? OsCheckValid : verified == 0 ? OsCheckInvalid : OsCheckFailed;
        if (check == OsCheckInvalid)
            c->ERR_clear_error();  // what it found, not a failure
    }
    c->EVP_PKEY_CTX_free(context);
    c->EVP_PKEY_free(key);
    return check;
}

}  // namespace

const OsCryptoMethods osSystemCrypto = {
    opensslLoad,       opensslSha1Begin,  opensslSha1Update, opensslSha1End,     opensslAesBegin,
    opensslAesDecrypt, opensslAesEnd,     opensslRsaVerify,  opensslFailureText,
};
