#include "scan/inventory_provider.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <iterator>
#include <utility>

#include "common/text_util.h"

namespace tessvale {
namespace {

constexpr std::uint64_t kBytesPerMiB = 1048576;
constexpr std::uint64_t kBitsPerMbit = 1000000;

// Where the host keeps an item's text, and how long that text may be.
struct InventorySlot
{
    std::string HostInventory::*field;
    std::size_t capacity;
};

constexpr std::pair<InventoryItem, InventorySlot> kSlots[] = {
    {InventoryItem::SystemVersion, {&HostInventory::systemVersion, HostInventory::kSystemVersionCapacity}},
    {InventoryItem::Processor, {&HostInventory::cpu, HostInventory::kCpuCapacity}},
    {InventoryItem::Memory, {&HostInventory::memoryMb, HostInventory::kMemoryCapacity}},
    {InventoryItem::Shares, {&HostInventory::shares, HostInventory::kSharesCapacity}},
    {InventoryItem::AdapterSpeed, {&HostInventory::adapterSpeed, HostInventory::kAdapterSpeedCapacity}},
};

const InventorySlot& SlotOf(InventoryItem item)
{
    // The last, the adapter speed, when the item is none of the others.
    const auto* found =
        std::find_if(std::begin(kSlots), std::end(kSlots) - 1, [item](const auto& each) { return each.first == item; });
    return found->second;
}

std::optional<std::uint64_t> ParseCount(const std::optional<std::string>& value)
{
    if (!value) {
        return std::nullopt;
    }
    const std::string text = Trim(*value);
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return number;
}

std::string FirstCountDividedBy(const InventoryObjects& objects, std::uint64_t divisor)
{
    if (objects.empty()) {
        return {};
    }
    const std::optional<std::uint64_t> count = ParseCount(objects.front());
    return count ? std::to_string(*count / divisor) : std::string();
}

} // namespace

std::string InventoryResultText(InventoryItem item, const InventoryObjects& objects)
{
    switch (item) {
    case InventoryItem::SystemVersion:
    case InventoryItem::Processor:
        return !objects.empty() && objects.front() ? *objects.front() : std::string();
    case InventoryItem::Memory:
        return FirstCountDividedBy(objects, kBytesPerMiB);
    case InventoryItem::AdapterSpeed:
        return FirstCountDividedBy(objects, kBitsPerMbit);
    case InventoryItem::Shares: {
        std::string list;
        for (const std::optional<std::string>& name : objects) {
            if (name) {
                list += *name;
                list += ';';
            }
        }
        return list;
    }
    }
    return {};
}

void StoreInventoryField(HostInventory& inventory, InventoryItem item, std::string_view text)
{
    const InventorySlot& slot = SlotOf(item);
    SetField(inventory.*slot.field, text, slot.capacity);
}

const std::string& InventoryField(const HostInventory& inventory, InventoryItem item)
{
    return inventory.*SlotOf(item).field;
}

std::string CellText(std::string_view bytes)
{
    while (!bytes.empty() && bytes.back() == '\0') {
        bytes.remove_suffix(1);
    }
    std::string text;
    if (IsValidUtf8(bytes)) {
        text.assign(bytes);
    } else {
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x80) {
                text += c;
            } else {
                text += static_cast<char>(0xC0 | (byte >> 6));
                text += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
    }
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            c = ' ';
        }
    }
    return Trim(text);
}

} // namespace tessvale
