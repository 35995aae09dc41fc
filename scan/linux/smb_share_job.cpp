// The child's side of the SMB share inventory (scan/linux/smb_share_provider.cpp): the
// share list a host's server service gives an authenticated client, read through
// libsmbclient in this child process of its own per host.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <libsmbclient.h>

#include "scan/host_inventory_query.h"
#include "scan/linux/inventory_child.h"
#include "scan/linux/inventory_jobs.h"

namespace tessvale {
namespace {

constexpr std::uint16_t kSmbPort = 445;

void CopyOut(const std::string& text, char* buffer, int size)
{
    if (size <= 0) {
        return;
    }
    const std::size_t count = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, text.data(), count);
    buffer[count] = '\0';
}

void SupplyIdentity(SMBCCTX* context, const char*, const char*, char* workgroup, int workgroupSize, char* user,
                    int userSize, char* password, int passwordSize)
{
    const auto* identity = static_cast<const InventoryIdentity*>(smbc_getOptionUserData(context));
    CopyOut(identity->domain, workgroup, workgroupSize);
    CopyOut(identity->user, user, userSize);
    CopyOut(identity->password, password, passwordSize);
}

// One client context, freed with its connections.
class SmbContext
{
public:
    SmbContext(const InventoryIdentity& identity, std::chrono::milliseconds bound) : m_context(smbc_new_context())
    {
        if (!m_context) {
            return;
        }
        smbc_setDebug(m_context, 0);
        smbc_setTimeout(m_context, static_cast<int>(bound.count()));
        smbc_setPort(m_context, kSmbPort);
        smbc_setOptionUserData(m_context, const_cast<InventoryIdentity*>(&identity));
        smbc_setFunctionAuthDataWithContext(m_context, SupplyIdentity);
        smbc_setOptionNoAutoAnonymousLogin(m_context, 1);
        smbc_setOptionUseKerberos(m_context, 0);
        smbc_setOptionFallbackAfterKerberos(m_context, 1);
        if (!smbc_init_context(m_context)) {
            smbc_free_context(m_context, 1);
            m_context = nullptr;
        }
    }
    ~SmbContext()
    {
        if (m_context) {
            smbc_free_context(m_context, 1);
        }
    }
    SmbContext(const SmbContext&) = delete;
    SmbContext& operator=(const SmbContext&) = delete;

    SMBCCTX* Get() const { return m_context; }

private:
    SMBCCTX* m_context;
};

// Runs in the child only.
bool ListShares(const std::string& address, const InventoryIdentity& identity, std::chrono::milliseconds bound,
                std::vector<std::string>& shares)
{
    const SmbContext context(identity, bound);
    if (!context.Get()) {
        return false;
    }
    const std::string url = "smb://" + address + "/";
    SMBCFILE* folder = smbc_getFunctionOpendir(context.Get())(context.Get(), url.c_str());
    if (!folder) {
        return false;
    }
    const smbc_readdir_fn readFolder = smbc_getFunctionReaddir(context.Get());
    while (const smbc_dirent* entry = readFolder(context.Get(), folder)) {
        const bool isShare = entry->smbc_type == SMBC_FILE_SHARE || entry->smbc_type == SMBC_PRINTER_SHARE ||
                             entry->smbc_type == SMBC_COMMS_SHARE || entry->smbc_type == SMBC_IPC_SHARE;
        if (isShare && shares.size() < kMaxShares) {
            shares.emplace_back(entry->name, ::strnlen(entry->name, kMaxShareName));
        }
    }
    smbc_getFunctionClosedir(context.Get())(context.Get(), folder);
    return true;
}

} // namespace

// The child's side of ListSharesInChild.
ChildJobResult ShareListingJob(ChildMessageReader& request, int out)
{
    const std::optional<HostJobRequest> asked = ReadHostJobRequest(request);
    if (!asked) {
        return ChildJobResult::BadRequest;
    }
    std::vector<std::string> names;
    bool ok = ListShares(asked->address, asked->identity, asked->bound, names);
    ChildMessageWriter writer(out);
    for (const std::string& name : names) {
        ok = ok && writer.Text(name);
    }
    return ok ? ChildJobResult::Done : ChildJobResult::Failed;
}

} // namespace tessvale
