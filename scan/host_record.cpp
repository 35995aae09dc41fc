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
    // Host texts come from the network or from stored results: a tab, a line break or
    // an escape sequence in them would split rows and columns wherever they are shown
    // or written, so every control character becomes a blank.
    field = BlankControlCharacters(CutToCapacity(text, capacity));
}

} // namespace tessvale
