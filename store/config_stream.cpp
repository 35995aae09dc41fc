#include "store/config_stream.h"

#include <array>
#include <cerrno>
#include <expat.h>
#include <memory>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <unistd.h>

namespace tessvale {

namespace {

// "//config/Item/Item" -> {"config", "Item", "Item"}: the names that end the path of a
// record of the table, wherever the path starts (as the table's XPath finds them).
std::vector<std::string> PathNames(const std::string& tablePath)
{
    std::vector<std::string> names;
    std::string name;
    for (const char c : tablePath) {
        if (c == '/') {
            if (!name.empty()) {
                names.push_back(name);
            }
            name.clear();
        } else {
            name += c;
        }
    }
    if (!name.empty()) {
        names.push_back(name);
    }
    return names;
}

struct ExpatFree
{
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using ParserPtr = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ExpatFree>;

// One pass over the document. The first pass only reads: it finds the ids of the owners
// asked for. The second builds the document and drops the members of other owners.
class Pass
{
public:
    Pass(const RecordSelection& selection, int maxDepth, pugi::xml_document* document,
         const std::unordered_set<std::string>* keptIds)
        : m_selection(selection), m_ownerPath(PathNames(selection.owners.tablePath)),
          m_memberPath(PathNames(selection.members.tablePath)), m_maxDepth(maxDepth), m_document(document),
          m_keptIds(keptIds)
    {}

    StreamOutcome Run(int fd, std::uint64_t cap)
    {
        const ParserPtr parser(XML_ParserCreate(nullptr));
        if (!parser) {
            return {StreamOutcome::Kind::Unreadable, ENOMEM, 0, {}};
        }
        m_parser = parser.get();
        XML_SetUserData(m_parser, this);
        XML_SetElementHandler(m_parser, &Pass::OnStart, &Pass::OnEnd);
        XML_SetEntityDeclHandler(m_parser, &Pass::OnEntity);
        if (::lseek(fd, 0, SEEK_SET) != 0) {
            return {StreamOutcome::Kind::Unreadable, errno, 0, {}};
        }
        std::array<char, 64 * 1024> chunk{};
        std::uint64_t total = 0;
        for (;;) {
            const ssize_t got = ::read(fd, chunk.data(), chunk.size());
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                return {StreamOutcome::Kind::Unreadable, errno, 0, {}};
            }
            total += static_cast<std::uint64_t>(got);
            if (total > cap) {
                return {StreamOutcome::Kind::TooLarge, 0, 0, {}};
            }
            if (got == 0 && total == 0) {
                return {StreamOutcome::Kind::Empty, 0, 0, {}};
            }
            if (XML_Parse(m_parser, chunk.data(), static_cast<int>(got), got == 0 ? XML_TRUE : XML_FALSE) !=
                XML_STATUS_OK) {
                return Failure();
            }
            if (got == 0) {
                break;
            }
        }
        if (m_tooDeep) {
            return {StreamOutcome::Kind::TooDeep, 0, 0, {}};
        }
        return {};
    }

    const std::unordered_set<std::string>& OwnerIds() const { return m_ownerIds; }

private:
    struct Open
    {
        std::string name;
        pugi::xml_node node;
        bool owner = false;
        bool member = false;
    };

    StreamOutcome Failure() const
    {
        StreamOutcome outcome{StreamOutcome::Kind::Malformed, 0, XML_GetCurrentLineNumber(m_parser), {}};
        outcome.status =
            m_entity ? "entity declarations are not accepted" : XML_ErrorString(XML_GetErrorCode(m_parser));
        return outcome;
    }

    // True when the open elements' names end with `path`, the last being `name`.
    bool EndsWith(const std::vector<std::string>& path) const
    {
        if (path.empty() || m_open.size() < path.size()) {
            return false;
        }
        const std::size_t from = m_open.size() - path.size();
        for (std::size_t i = 0; i < path.size(); ++i) {
            if (m_open[from + i].name != path[i]) {
                return false;
            }
        }
        return true;
    }

    // The record (owner or member) that is the parent of the element just opened.
    Open* RecordParent()
    {
        if (m_open.size() < 2) {
            return nullptr;
        }
        Open& parent = m_open[m_open.size() - 2];
        return parent.owner || parent.member ? &parent : nullptr;
    }

    void Start(const char* name, const char** attributes)
    {
        m_open.push_back({name, {}, false, false});
        if (static_cast<int>(m_open.size()) > m_maxDepth) {
            m_tooDeep = true; // the rest is still checked, but nothing more is built
        }
        Open& open = m_open.back();
        open.owner = EndsWith(m_ownerPath);
        open.member = EndsWith(m_memberPath);
        const char* value = nullptr;
        for (const char** attribute = attributes; attribute[0] != nullptr; attribute += 2) {
            if (value == nullptr && std::string_view(attribute[0]) == "value") {
                value = attribute[1];
            }
        }
        if (Open* record = RecordParent(); record != nullptr) {
            Field(*record, name, value != nullptr ? value : "");
        }
        if (m_document == nullptr || m_tooDeep) {
            return;
        }
        pugi::xml_node parent = m_open.size() == 1 ? pugi::xml_node(*m_document) : m_open[m_open.size() - 2].node;
        if (!parent) {
            return; // inside a member already dropped
        }
        open.node = parent.append_child(name);
        for (const char** attribute = attributes; attribute[0] != nullptr; attribute += 2) {
            open.node.append_attribute(attribute[0]).set_value(attribute[1]);
        }
    }

    // A field of an open record, as the store reads it: an owner's first "id" and first
    // owner field; every link field of a member (a member is kept when any one names a
    // kept owner, as the store's query finds it).
    void Field(Open& record, std::string_view name, const char* value)
    {
        if (record.owner && !m_seenId && name == "id") {
            m_seenId = true;
            m_id = value;
        } else if (record.owner && !m_seenOwnerField && name == m_selection.ownerField) {
            m_seenOwnerField = true;
            m_ownerMatches = value == m_selection.ownerValue;
        }
        if (record.member && name == m_selection.link && m_keptIds != nullptr && m_keptIds->count(value) > 0) {
            m_memberKept = true;
        }
    }

    void End()
    {
        Open& open = m_open.back();
        if (open.owner) {
            // A record without the field reads as holding the empty text.
            if (m_seenOwnerField ? m_ownerMatches : m_selection.ownerValue.empty()) {
                m_ownerIds.insert(std::to_string(ParseRecordId(m_id.c_str())));
            }
            m_seenId = m_seenOwnerField = m_ownerMatches = false;
            m_id.clear();
        }
        if (open.member) {
            if (!m_memberKept && m_keptIds != nullptr && open.node) {
                open.node.parent().remove_child(open.node);
            }
            m_memberKept = false;
        }
        m_open.pop_back();
    }

    static void XMLCALL OnStart(void* self, const XML_Char* name, const XML_Char** attributes)
    {
        static_cast<Pass*>(self)->Start(name, attributes);
    }
    static void XMLCALL OnEnd(void* self, const XML_Char* /*name*/) { static_cast<Pass*>(self)->End(); }
    static void XMLCALL OnEntity(void* self, const XML_Char* /*name*/, int /*parameter*/, const XML_Char* /*value*/,
                                 int /*length*/, const XML_Char* /*base*/, const XML_Char* /*systemId*/,
                                 const XML_Char* /*publicId*/, const XML_Char* /*notation*/)
    {
        auto* pass = static_cast<Pass*>(self);
        pass->m_entity = true;
        XML_StopParser(pass->m_parser, XML_FALSE);
    }

    const RecordSelection& m_selection;
    const std::vector<std::string> m_ownerPath;
    const std::vector<std::string> m_memberPath;
    const int m_maxDepth;
    pugi::xml_document* m_document;
    const std::unordered_set<std::string>* m_keptIds;
    XML_Parser m_parser = nullptr;
    std::vector<Open> m_open;
    std::unordered_set<std::string> m_ownerIds;
    std::string m_id;
    bool m_seenId = false;
    bool m_seenOwnerField = false;
    bool m_ownerMatches = false;
    bool m_memberKept = false;
    bool m_tooDeep = false;
    bool m_entity = false;
};

} // namespace

StreamOutcome StreamSelected(int fd, std::uint64_t cap, int maxDepth, const RecordSelection& selection,
                             pugi::xml_document& document)
{
    document.reset();
    Pass find(selection, maxDepth, nullptr, nullptr);
    StreamOutcome outcome = find.Run(fd, cap);
    if (outcome.kind != StreamOutcome::Kind::Loaded) {
        return outcome;
    }
    // The file may have changed since: the second pass is checked as the first was.
    Pass build(selection, maxDepth, &document, &find.OwnerIds());
    outcome = build.Run(fd, cap);
    if (outcome.kind != StreamOutcome::Kind::Loaded) {
        document.reset();
    }
    return outcome;
}

} // namespace tessvale
