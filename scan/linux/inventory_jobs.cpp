#include "scan/linux/inventory_jobs.h"

#include <vector>

namespace tessvale {
namespace {

constexpr std::size_t kMaxAddress = 64;
constexpr std::size_t kMaxIdentityText = 4096; // per domain, user and password

} // namespace

std::vector<std::uint8_t> HostJobMessage(const std::string& address, const InventoryIdentity& identity,
                                         std::chrono::milliseconds bound)
{
    ChildMessageBuilder message;
    message.Text(address)
        .Text(identity.domain)
        .Text(identity.user)
        .Text(identity.password)
        .Number(static_cast<std::uint32_t>(bound.count()));
    return message.Bytes();
}

std::optional<HostJobRequest> ReadHostJobRequest(ChildMessageReader& request)
{
    std::optional<std::string> address = request.Text(kMaxAddress);
    std::optional<std::string> domain = request.Text(kMaxIdentityText);
    std::optional<std::string> user = request.Text(kMaxIdentityText);
    std::optional<std::string> password = request.Text(kMaxIdentityText);
    const std::optional<std::uint32_t> bound = request.Number();
    if (!address || address->empty() || !domain || !user || !password || !bound || !request.AtEnd()) {
        return std::nullopt;
    }
    HostJobRequest read;
    read.address = std::move(*address);
    read.identity = InventoryIdentity{std::move(*domain), std::move(*user), std::move(*password)};
    read.bound = std::chrono::milliseconds(*bound);
    return read;
}

} // namespace tessvale
