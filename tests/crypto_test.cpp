// SPDX-License-Identifier: MIT
// The cryptography library's answers: what a file's keys and signatures
// make of it is a finding (invalid), never the library's own failure,
// which would end a run with 2 whatever file caused it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/crypto.h"

namespace {

std::vector<std::uint8_t> filled(std::size_t n, std::uint8_t value) {
    return std::vector<std::uint8_t>(n, value);
}

TEST(Crypto, MalformedKeysAndSignaturesAreFindings) {
    char reason[OsCryptoReasonRoom];
    ASSERT_EQ(osCryptoStart(reason, sizeof reason), OsCryptoReady) << reason;
    std::uint8_t digest[OsSha1Length] = {1, 2, 3};
    std::vector<std::uint8_t> odd = filled(256, 0xC3);
    std::vector<std::uint8_t> even = filled(256, 0xC2);
    std::vector<std::uint8_t> leadingZeros = filled(256, 0xC3);
    std::memset(leadingZeros.data(), 0, 200);
    const struct {
        const char* name;
        std::vector<std::uint8_t> modulus;
        std::uint32_t exponent;
        std::vector<std::uint8_t> signature;
    } cases[] = {
        {"zero modulus", filled(256, 0), 65537, filled(256, 1)},
        {"modulus 1", [] { auto m = filled(256, 0); m.back() = 1; return m; }(), 65537, filled(256, 0)},
        {"even modulus", even, 65537, filled(256, 1)},
        {"signature above the modulus", odd, 65537, filled(256, 0xFF)},
        {"signature longer than the modulus", leadingZeros, 65537, filled(256, 1)},
        {"signature shorter than the modulus", odd, 65537, filled(100, 1)},
        {"exponent 1", odd, 1, filled(256, 1)},
        {"exponent 0", odd, 0, filled(256, 1)},
        {"even exponent", odd, 65536, filled(256, 1)},
        {"largest exponent", odd, 0xFFFFFFFF, filled(256, 1)},
        {"RSA-4096 key, RSA-2048 signature", filled(512, 0xC3), 65537, filled(256, 1)},
        {"empty signature", odd, 3, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint8_t* signature = c.signature.empty() ? digest : c.signature.data();
        EXPECT_EQ(osRsaVerifySha1(c.modulus.data(), c.modulus.size(), c.exponent, digest, signature,
                                  c.signature.size()),
                  OsCheckInvalid);
    }
}

}  // namespace
