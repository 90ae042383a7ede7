// SPDX-License-Identifier: MIT
// The keys verification works with, as far as the user supplied them: the
// console's common keys, which decrypt a ticket's title key, and the root's
// public key, which every certificate chain must lead to. None is part of
// the tool.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/crypto.h"

// By the ticket's common-key index: 0 standard, 1 Korean, 2 vWii.
inline constexpr int CommonKeyCount = 3;

// Their names, by that index, as the key files and JSON call them.
extern const char* const CommonKeyNames[CommonKeyCount];

// The root signs with RSA-4096.
inline constexpr std::size_t RootModulusLength = 0x200;
inline constexpr std::uint32_t DefaultRsaExponent = 65537;

struct KeySet {
    bool commonPresent[CommonKeyCount];
    std::uint8_t common[CommonKeyCount][OsAesKeyLength];
    bool rootPresent;
    std::uint8_t rootModulus[RootModulusLength];
    std::uint32_t rootExponent;
};
