// Environment variables changed for one test, and put back as they were when the guard
// ends. The tests change the environment only while none of their own threads runs.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tessvale::test {

class EnvironmentGuard
{
public:
    EnvironmentGuard() = default;
    EnvironmentGuard(const EnvironmentGuard&) = delete;
    EnvironmentGuard& operator=(const EnvironmentGuard&) = delete;
    ~EnvironmentGuard()
    {
        for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
            Apply(it->first, it->second);
        }
    }

    // Sets the variable; a null value removes it.
    void Set(const char* name, const char* value)
    {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        Apply(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
    }
    void Unset(const char* name) { Set(name, nullptr); }

private:
    static void Apply(const std::string& name, const std::optional<std::string>& value)
    {
        if (value) {
            setenv(name.c_str(), value->c_str(), 1); // NOLINT(concurrency-mt-unsafe): no other test thread runs
        } else {
            unsetenv(name.c_str()); // NOLINT(concurrency-mt-unsafe): no other test thread runs
        }
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

} // namespace tessvale::test
