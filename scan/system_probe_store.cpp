// The system probe over the configuration document's settings.
#include "common/text_util.h"
#include "scan/host_probe.h"
#include "scan/system_probe.h"
#include "store/config_store.h"

namespace tessvale {

std::unique_ptr<HostProbe> MakeSystemProbe(ConfigStore& store)
{
    // The settings are read again for every query, so a changed timeout applies to
    // the next address.
    return MakeSystemProbe([&store] {
        const long long timeout = ParseDecimal(store.LoadSettings().Value(kNetbiosTimeoutMSeconds));
        return static_cast<int>(timeout < 0 ? 0 : timeout > 600000 ? 600000 : timeout);
    });
}

} // namespace tessvale
