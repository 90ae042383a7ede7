// SPDX-License-Identifier: MIT
// The generator's made-up signing keys, as PEM text (see the .cpp file).
#pragma once

namespace titlecraft {

extern const char* const SyntheticRootKey;  // RSA-4096: signs the CA certificate
extern const char* const SyntheticCaKey;    // RSA-2048: signs the CP and XS certificates
extern const char* const SyntheticCpKey;    // RSA-2048: signs TMDs
extern const char* const SyntheticXsKey;    // RSA-2048: signs tickets
extern const char* const SyntheticOtherRootKey;  // RSA-4096: a root no genuine chain leads to
extern const char* const SyntheticSmallExponentKey;  // RSA-2048 of exponent 3

}  // namespace titlecraft
