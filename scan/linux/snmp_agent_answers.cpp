#include "scan/linux/snmp_agent_answers.h"

#include <algorithm>
#include <string_view>

#include "scan/linux/inventory_child.h"

namespace tessvale {

namespace {

// The text cut to at most kMaxAgentValueText bytes, not inside a UTF-8 sequence.
std::string_view CutValue(std::string_view text)
{
    if (text.size() <= kMaxAgentValueText) {
        return text;
    }
    std::size_t size = kMaxAgentValueText;
    while (size > 0 && (static_cast<unsigned char>(text[size]) & 0xC0U) == 0x80U) {
        --size;
    }
    return text.substr(0, size);
}

} // namespace

// The child's message: per answer whether it succeeded, the number of its values, and
// per value whether it is present and its text.
bool SendAgentAnswers(const AgentAnswers& answers, int out)
{
    ChildMessageWriter writer(out);
    bool ok = true;
    for (const AgentAnswer& answer : answers) {
        const std::size_t count = std::min(answer.objects.size(), kMaxAgentAnswerObjects);
        ok = ok && writer.Number(answer.ok ? 1 : 0) && writer.Number(static_cast<std::uint32_t>(count));
        for (std::size_t i = 0; ok && i < count; ++i) {
            const std::optional<std::string>& value = answer.objects[i];
            ok = writer.Number(value ? 1 : 0) && writer.Text(value ? CutValue(*value) : std::string_view());
        }
    }
    return ok;
}

std::optional<AgentAnswers> ReadAgentAnswers(const std::vector<std::uint8_t>& message)
{
    ChildMessageReader reader(message);
    AgentAnswers answers;
    for (AgentAnswer& answer : answers) {
        const std::optional<std::uint32_t> ok = reader.Number();
        const std::optional<std::uint32_t> count = reader.Number();
        if (!ok || !count || *ok > 1 || *count > kMaxAgentAnswerObjects) {
            return std::nullopt;
        }
        answer.ok = *ok == 1;
        for (std::uint32_t i = 0; i < *count; ++i) {
            const std::optional<std::uint32_t> present = reader.Number();
            std::optional<std::string> text = reader.Text(kMaxAgentValueText);
            if (!present || *present > 1 || !text) {
                return std::nullopt;
            }
            answer.objects.push_back(*present == 1 ? std::move(text) : std::nullopt);
        }
    }
    if (!reader.AtEnd()) {
        return std::nullopt;
    }
    return answers;
}

} // namespace tessvale
