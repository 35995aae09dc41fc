#include "scan/host_record.h"

#include "common/text_util.h"

namespace tessvale {

void HostInventory::Clear()
{
    cpu.clear();
    memoryMb.clear();
    systemVersion.clear();
    shares.clear();
    adapterSpeed.clear();
    vendor.clear();
}

void SetField(std::string& field, std::string_view text, std::size_t capacity)
{
    field = CutToCapacity(text, capacity);
}

} // namespace tessvale
