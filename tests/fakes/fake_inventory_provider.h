// A scripted inventory provider: answers the items it is given, with the objects it is
// given, and records every connection.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "scan/inventory_provider.h"

namespace tessvale {

class FakeInventoryProvider : public InventoryProvider
{
public:
    struct Connection
    {
        std::string address;
        std::optional<InventoryIdentity> identity; // nullopt: asked without identity
    };

    // What one query yields; ok false makes the query fail.
    struct Result
    {
        bool ok = true;
        InventoryObjects objects;
    };

    bool connects = true;
    std::map<InventoryItem, Result> results; // the items this provider answers
    std::vector<Connection> connections;
    std::vector<InventoryItem> queried;

    bool Answers(InventoryItem item) const override { return results.count(item) != 0; }

    std::unique_ptr<InventorySession> Connect(const std::string& address, const InventoryIdentity* identity) override
    {
        connections.push_back({address, identity ? std::optional<InventoryIdentity>(*identity) : std::nullopt});
        if (!connects) {
            return nullptr;
        }
        return std::make_unique<Session>(*this);
    }

private:
    class Session : public InventorySession
    {
    public:
        explicit Session(FakeInventoryProvider& owner) : m_owner(owner) {}
        bool Query(InventoryItem item, InventoryObjects& objects) override
        {
            m_owner.queried.push_back(item);
            const Result& result = m_owner.results.at(item);
            objects = result.ok ? result.objects : InventoryObjects();
            return result.ok;
        }

    private:
        FakeInventoryProvider& m_owner;
    };
};

} // namespace tessvale
