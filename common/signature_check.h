// Detached Ed25519 signatures of downloaded files.
#pragma once

#include <string>

namespace tessvale {

// Bytes of a raw Ed25519 signature, the form a `<file>.sig` beside a download holds.
inline constexpr std::size_t kEd25519SignatureBytes = 64;

// True when `signature` (the raw 64 bytes) is a valid Ed25519 signature of the whole
// content of the file at `path` under the public key `publicKeyPem` (PEM,
// "BEGIN PUBLIC KEY"). False for anything else: another key type, a malformed key or
// signature, an empty or unreadable file.
bool VerifyFileSignature(const std::string& path, const std::string& signature, const std::string& publicKeyPem);

// The public key the program was built with (PEM): the only key an installer from the
// update service is checked against.
const std::string& BuiltInUpdatePublicKey();

} // namespace tessvale
