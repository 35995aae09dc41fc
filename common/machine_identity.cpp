#include "common/machine_identity.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include <openssl/evp.h>
#include <sys/statvfs.h>

#include "common/checked_output.h"
#include "common/linux/cpu_identity.h"
#include "common/text_util.h"

namespace tessvale {

namespace {

std::string HexDigits16(const std::string& text)
{
    return Md5Hex(text).substr(0, 16);
}

std::string Hex32(std::uint32_t value)
{
    char buffer[9];
    IgnoreResult(std::snprintf(buffer, sizeof buffer, "%08X", value));
    return buffer;
}

} // namespace

std::string ProcessorSourceText()
{
    const CpuIdentity cpu = ReadCpuIdentity();
    return cpu.vendor + "-" + Hex32(cpu.leaf1Edx) + Hex32(cpu.leaf1Eax) + Hex32(cpu.leaf3Edx) + Hex32(cpu.leaf3Eax);
}

std::string VolumeSourceText()
{
    // The Windows volume serial is 32 bits; the file-system id of "/" is 64 on Linux,
    // so both halves are folded into one serial. A failing call gives serial 0.
    struct statvfs info
    {};
    std::uint32_t serial = 0;
    if (statvfs("/", &info) == 0) {
        const auto fsid = static_cast<std::uint64_t>(info.f_fsid);
        serial = static_cast<std::uint32_t>(fsid) ^ static_cast<std::uint32_t>(fsid >> 32);
    }
    return Hex32(serial);
}

std::string MachineId(MachineIdKind kind)
{
    switch (kind) {
    case MachineIdKind::Processor:
        return HexDigits16(ProcessorSourceText());
    case MachineIdKind::Combined:
        return HexDigits16(HexDigits16(ProcessorSourceText()) + HexDigits16(VolumeSourceText()));
    default:
        return HexDigits16(VolumeSourceText());
    }
}

std::string Md5Hex(std::string_view utf8)
{
    const std::string bytes = Utf8ToAnsi(utf8);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest, &digestLength) != 1) {
        return {};
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(std::size_t{digestLength} * 2);
    for (unsigned int i = 0; i < digestLength; ++i) {
        hex.push_back(kDigits[digest[i] >> 4]);
        hex.push_back(kDigits[digest[i] & 0x0F]);
    }
    return hex;
}

std::string UrlEncode(std::string_view utf8)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(utf8.size() * 3);
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
            byte == '-' || byte == '.' || byte == '_') {
            encoded.push_back(c);
        } else if (byte == ' ') {
            encoded.push_back('+');
        } else {
            encoded.push_back('%');
            encoded.push_back(kDigits[byte >> 4]);
            encoded.push_back(kDigits[byte & 0x0F]);
        }
    }
    return encoded;
}

} // namespace tessvale
