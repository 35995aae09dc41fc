// The host inventory behind one seam: a provider answers the five inventory queries
// (system version, processor, memory, shares, adapter speed) for a host, and the result
// rules turn each answer into the text of its field.
//
// A provider connects once per host and then runs the queries it answers. Each query
// yields the queried property of every object the host returned, in the host's order,
// as text (numbers in decimal: memory in bytes, speed in bit/s); a property the host
// left without a value is nullopt.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "scan/host_record.h"

namespace tessvale {

enum class InventoryItem
{
    SystemVersion,
    Processor,
    Memory,
    Shares,
    AdapterSpeed,
};

// The order in which the queries run.
inline constexpr std::array<InventoryItem, 5> kInventoryItems = {InventoryItem::SystemVersion, InventoryItem::Processor,
                                                                 InventoryItem::Memory, InventoryItem::Shares,
                                                                 InventoryItem::AdapterSpeed};

using InventoryObjects = std::vector<std::optional<std::string>>;

// Who asks a remote host: the scanning computer's workgroup, the login and the password.
struct InventoryIdentity
{
    std::string domain;
    std::string user;
    std::string password;
};

// One connected host.
class InventorySession
{
public:
    virtual ~InventorySession() = default;
    // Runs one query. False when it failed; then objects is empty.
    virtual bool Query(InventoryItem item, InventoryObjects& objects) = 0;
};

// A session whose answers were all read when it was made, per item; a query for an
// item without an answer fails.
class AnsweredSession : public InventorySession
{
public:
    explicit AnsweredSession(std::map<InventoryItem, InventoryObjects> answers) : m_answers(std::move(answers)) {}

    bool Query(InventoryItem item, InventoryObjects& objects) override
    {
        const auto found = m_answers.find(item);
        if (found == m_answers.end()) {
            objects.clear();
            return false;
        }
        objects = found->second;
        return true;
    }

private:
    std::map<InventoryItem, InventoryObjects> m_answers;
};

class InventoryProvider
{
public:
    virtual ~InventoryProvider() = default;
    // Whether this provider answers the query at all.
    virtual bool Answers(InventoryItem item) const = 0;
    // Connects to the host and authenticates. identity null: the scanning computer
    // itself, asked without user and password. Null when the host cannot be reached
    // or refuses the identity, within the provider's time bound.
    virtual std::unique_ptr<InventorySession> Connect(const std::string& address,
                                                      const InventoryIdentity* identity) = 0;
};

// The result rule of one query: the first object's text (system version, processor);
// the first object's number divided by 1,048,576 (memory) or by 1,000,000 (speed);
// every share name followed by ';'. Null properties and unreadable numbers add nothing.
std::string InventoryResultText(InventoryItem item, const InventoryObjects& objects);

// Stores text in the item's field, cut to the field's capacity.
void StoreInventoryField(HostInventory& inventory, InventoryItem item, std::string_view text);
const std::string& InventoryField(const HostInventory& inventory, InventoryItem item);

// Makes text that a host sent fit for a list cell: invalid UTF-8 is read as Latin-1,
// control characters become blanks, trailing zero bytes and blanks at both ends are
// dropped.
std::string CellText(std::string_view bytes);

} // namespace tessvale
