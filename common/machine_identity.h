// Machine identity sent to the update service, and the digest and encoding helpers
// it is built from.
#pragma once

#include <string>
#include <string_view>

namespace tessvale {

enum class MachineIdKind
{
    Processor = 0,
    Volume = 1,
    Combined = 3,
};

// 16 lower-case hexadecimal digits, computed fresh on every call.
std::string MachineId(MachineIdKind kind);

// The texts the identities are hashed from (exposed for tests).
std::string ProcessorSourceText();
std::string VolumeSourceText();

// MD5 (RFC 1321) of the text's bytes in the locale encoding, 32 lower-case hex digits.
std::string Md5Hex(std::string_view utf8);

// Query-value encoding: A-Z a-z 0-9 - . _ pass, blank becomes '+', every other byte of
// the UTF-8 form becomes %XX with upper-case digits.
std::string UrlEncode(std::string_view utf8);

} // namespace tessvale
