// The child's side of the SNMP inventory (scan/linux/snmp_inventory_provider.cpp):
// system version, processor, memory and adapter speed over SNMPv3 (RFC 3414 user-based
// security, SHA authentication with AES privacy or without privacy), read from the
// standard MIBs: sysDescr (RFC 3418), hrDeviceDescr and hrMemorySize (RFC 2790),
// ifOperStatus, ifType, ifSpeed and ifHighSpeed (RFC 2863).
//
// net-snmp keeps its users and engine ids in process-wide lists that it does not lock
// (its notes on threads say its SNMPv3 support was never made thread-safe, and this
// build has no reentrant locking), so no two threads may be inside the library at once.
// Instead of one lock that every worker waits for, each host is asked from a child
// process of its own (scan/linux/inventory_child.h): workers never wait for each other,
// and an agent that stalls costs only its own child. Before a child is started, a
// discovery request on a socket of our own tells within the bound whether an agent
// answers at all; hosts without an agent cost no child.

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include "scan/host_inventory_query.h"
#include "scan/linux/inventory_child.h"
#include "scan/linux/inventory_jobs.h"
#include "scan/linux/snmp_agent_answers.h"

namespace tessvale {
namespace {

constexpr std::uint16_t kSnmpPort = 161;
constexpr int kMaxWalkRows = 1024;
// OIDs of the objects read.
const oid kSysDescr[] = {1, 3, 6, 1, 2, 1, 1, 1, 0};
const oid kHrMemorySize[] = {1, 3, 6, 1, 2, 1, 25, 2, 2, 0};
const oid kHrDeviceType[] = {1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 2};
const oid kHrDeviceDescr[] = {1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 3};
const oid kHrDeviceProcessor[] = {1, 3, 6, 1, 2, 1, 25, 3, 1, 3};
const oid kIfType[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 3};
const oid kIfSpeed[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 5};
const oid kIfOperStatus[] = {1, 3, 6, 1, 2, 1, 2, 2, 1, 8};
const oid kIfHighSpeed[] = {1, 3, 6, 1, 2, 1, 31, 1, 1, 1, 15};
constexpr long kOperStatusUp = 1;
constexpr long kSoftwareLoopback = 24;

using Oid = std::vector<oid>;

template <std::size_t N> Oid MakeOid(const oid (&parts)[N])
{
    return Oid(parts, parts + N);
}

Oid Child(Oid base, oid index)
{
    base.push_back(index);
    return base;
}

// Called once in each child, before any other library call.
void InitLibrary()
{
    // No configuration files, no persistent state on disk, no MIB files, no messages on
    // the terminal: the inventory uses numeric OIDs and keys it derives itself.
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_MIBDIRS, "");
    netsnmp_register_loghandler(NETSNMP_LOGHANDLER_NONE, LOG_DEBUG);
    init_snmp("tessvale");
}

enum class Reply
{
    Value,    // the agent answered with a value
    NoValue,  // the agent answered without one (no such object, end of the MIB, error)
    NoAnswer, // timed out: the agent stalls
    Refused,  // the library or the agent refused the request (authentication, security level)
};

struct Binding
{
    Oid name;
    u_char type = 0;
    std::string text;
    long long number = 0;
    Oid objectId;
};

// One open library session (in a child).
class AgentSession
{
public:
    AgentSession() = default;
    ~AgentSession() { Close(); }
    AgentSession(const AgentSession&) = delete;
    AgentSession& operator=(const AgentSession&) = delete;

    bool Open(const std::string& address, const InventoryIdentity& identity, int level,
              std::chrono::milliseconds perTry)
    {
        Close();
        netsnmp_session settings;
        snmp_sess_init(&settings);
        std::string peer = "udp:" + address + ":" + std::to_string(kSnmpPort);
        std::string user = identity.user;
        settings.version = SNMP_VERSION_3;
        settings.peername = peer.data();
        settings.securityName = user.data();
        settings.securityNameLen = user.size();
        settings.securityLevel = level;
        settings.securityAuthProto = usmHMACSHA1AuthProtocol;
        settings.securityAuthProtoLen = USM_AUTH_PROTO_SHA_LEN;
        settings.securityAuthKeyLen = USM_AUTH_KU_LEN;
        auto* password = reinterpret_cast<u_char*>(const_cast<char*>(identity.password.data()));
        if (generate_Ku(settings.securityAuthProto, settings.securityAuthProtoLen, password, identity.password.size(),
                        settings.securityAuthKey, &settings.securityAuthKeyLen) != SNMPERR_SUCCESS) {
            return false;
        }
        if (level == SNMP_SEC_LEVEL_AUTHPRIV) {
            settings.securityPrivProto = usmAESPrivProtocol;
            settings.securityPrivProtoLen = USM_PRIV_PROTO_AES_LEN;
            settings.securityPrivKeyLen = USM_PRIV_KU_LEN;
            if (generate_Ku(settings.securityAuthProto, settings.securityAuthProtoLen, password,
                            identity.password.size(), settings.securityPrivKey,
                            &settings.securityPrivKeyLen) != SNMPERR_SUCCESS) {
                return false;
            }
        }
        settings.timeout = std::chrono::duration_cast<std::chrono::microseconds>(perTry).count();
        settings.retries = 1;
        m_handle = snmp_sess_open(&settings);
        std::memset(settings.securityAuthKey, 0, sizeof settings.securityAuthKey);
        std::memset(settings.securityPrivKey, 0, sizeof settings.securityPrivKey);
        return m_handle != nullptr;
    }

    Reply Request(int command, const Oid& name, Binding& binding)
    {
        netsnmp_pdu* pdu = snmp_pdu_create(command);
        if (!pdu) {
            return Reply::Refused;
        }
        snmp_add_null_var(pdu, name.data(), name.size());
        netsnmp_pdu* response = nullptr;
        const int status = snmp_sess_synch_response(m_handle, pdu, &response); // takes pdu
        const std::unique_ptr<netsnmp_pdu, void (*)(netsnmp_pdu*)> owned(response, snmp_free_pdu);
        if (status == STAT_TIMEOUT) {
            return Reply::NoAnswer;
        }
        if (status != STAT_SUCCESS || !response) {
            return Reply::Refused;
        }
        const netsnmp_variable_list* variable = response->variables;
        if (response->errstat != SNMP_ERR_NOERROR || !variable || variable->type == SNMP_NOSUCHOBJECT ||
            variable->type == SNMP_NOSUCHINSTANCE || variable->type == SNMP_ENDOFMIBVIEW) {
            return Reply::NoValue;
        }
        binding = Binding();
        binding.name.assign(variable->name, variable->name + variable->name_length);
        binding.type = variable->type;
        switch (variable->type) {
        case ASN_OCTET_STR:
            binding.text.assign(reinterpret_cast<const char*>(variable->val.string), variable->val_len);
            break;
        case ASN_INTEGER:
            binding.number = *variable->val.integer;
            break;
        case ASN_GAUGE:
        case ASN_COUNTER:
        case ASN_TIMETICKS:
        case ASN_UINTEGER:
            binding.number = static_cast<long long>(static_cast<unsigned long>(*variable->val.integer) & 0xFFFFFFFFu);
            break;
        case ASN_OBJECT_ID:
            binding.objectId.assign(variable->val.objid, variable->val.objid + variable->val_len / sizeof(oid));
            break;
        default:
            break;
        }
        return Reply::Value;
    }

private:
    void Close()
    {
        if (!m_handle) {
            return;
        }
        // The library keeps a user entry per engine id and name, keys included, and
        // would reuse it for the next session even after the password changed.
        std::vector<u_char> engineId;
        std::string user;
        if (const netsnmp_session* open = snmp_sess_session(m_handle)) {
            if (open->securityEngineID) {
                engineId.assign(open->securityEngineID, open->securityEngineID + open->securityEngineIDLen);
            }
            if (open->securityName) {
                user.assign(open->securityName, open->securityNameLen);
            }
        }
        snmp_sess_close(m_handle);
        m_handle = nullptr;
        if (!engineId.empty()) {
            if (usmUser* entry = usm_get_user(engineId.data(), engineId.size(), user.data())) {
                usm_remove_user(entry);
                usm_free_user(entry);
            }
        }
    }

    void* m_handle = nullptr;
};

bool HasPrefix(const Oid& name, const Oid& prefix)
{
    return name.size() > prefix.size() && std::equal(prefix.begin(), prefix.end(), name.begin());
}

using Answer = AgentAnswer;

// Reads the inventory from an agent whose session is open; stops at the first request
// the agent leaves unanswered.
class InventoryReader
{
public:
    explicit InventoryReader(AgentSession& session) : m_session(session) {}

    bool Stalled() const { return m_stalled; }

    Answer Processor()
    {
        Answer answer;
        std::optional<oid> processor;
        answer.ok = Walk(MakeOid(kHrDeviceType), [&](oid index, const Binding& binding) {
            if (binding.objectId == MakeOid(kHrDeviceProcessor)) {
                processor = index;
                return false;
            }
            return true;
        });
        if (answer.ok && processor) {
            Binding binding;
            answer.ok = Get(Child(MakeOid(kHrDeviceDescr), *processor), binding) && binding.type == ASN_OCTET_STR;
            if (answer.ok) {
                answer.objects.emplace_back(CellText(binding.text));
            }
        }
        return answer;
    }

    Answer Memory()
    {
        Binding binding;
        Answer answer;
        answer.ok = Get(MakeOid(kHrMemorySize), binding) && binding.type == ASN_INTEGER && binding.number >= 0;
        if (answer.ok) {
            answer.objects.emplace_back(std::to_string(static_cast<unsigned long long>(binding.number) * 1024));
        }
        return answer;
    }

    Answer AdapterSpeed()
    {
        Answer answer;
        std::vector<oid> up;
        answer.ok = Walk(MakeOid(kIfOperStatus), [&](oid index, const Binding& binding) {
            if (binding.type == ASN_INTEGER && binding.number == kOperStatusUp) {
                up.push_back(index);
            }
            return true;
        });
        for (std::size_t i = 0; answer.ok && i < up.size() && !m_stalled; ++i) {
            Binding binding;
            if (Get(Child(MakeOid(kIfType), up[i]), binding) && binding.number == kSoftwareLoopback) {
                continue;
            }
            unsigned long long bits = 0;
            if (Get(Child(MakeOid(kIfHighSpeed), up[i]), binding) && binding.number > 0) {
                bits = static_cast<unsigned long long>(binding.number) * 1000000;
            } else if (Get(Child(MakeOid(kIfSpeed), up[i]), binding) && binding.number > 0) {
                bits = static_cast<unsigned long long>(binding.number);
            }
            if (bits > 0) {
                answer.objects.emplace_back(std::to_string(bits));
                break;
            }
        }
        answer.ok = answer.ok && !m_stalled;
        return answer;
    }

private:
    bool Get(const Oid& name, Binding& binding)
    {
        if (m_stalled) {
            return false;
        }
        const Reply reply = m_session.Request(SNMP_MSG_GET, name, binding);
        m_stalled = reply == Reply::NoAnswer;
        return reply == Reply::Value;
    }

    // Visits the rows of one table column in index order while visit returns true.
    // False when the agent failed to answer.
    template <typename Visit> bool Walk(const Oid& column, Visit visit)
    {
        Oid next = column;
        for (int row = 0; row < kMaxWalkRows && !m_stalled; ++row) {
            Binding binding;
            const Reply reply = m_session.Request(SNMP_MSG_GETNEXT, next, binding);
            m_stalled = reply == Reply::NoAnswer;
            if (reply == Reply::NoValue) {
                return true;
            }
            if (reply != Reply::Value) {
                return false;
            }
            if (binding.name.size() != column.size() + 1 || !HasPrefix(binding.name, column) || binding.name <= next) {
                return true; // left the column (or an agent that does not advance)
            }
            next = binding.name;
            if (!visit(binding.name.back(), binding)) {
                return true;
            }
        }
        return !m_stalled;
    }

    AgentSession& m_session;
    bool m_stalled = false;
};

// Runs in the child only. Nullopt when no session could be opened, the agent stalled
// on the first request or refused the user at both security levels.
std::optional<AgentAnswers> AskAgent(const std::string& address, const InventoryIdentity& identity,
                                     std::chrono::milliseconds bound)
{
    InitLibrary();
    // The agent decides which security level the user has: privacy first, then
    // authentication alone when the agent refused the first.
    const auto perTry = bound / 3;
    for (const int level : {SNMP_SEC_LEVEL_AUTHPRIV, SNMP_SEC_LEVEL_AUTHNOPRIV}) {
        AgentSession session;
        if (!session.Open(address, identity, level, perTry)) {
            return std::nullopt; // no engine id within the bound, or a password the library rejects
        }
        Binding probe;
        const Reply reply = session.Request(SNMP_MSG_GET, MakeOid(kSysDescr), probe);
        if (reply == Reply::NoAnswer) {
            return std::nullopt;
        }
        if (reply == Reply::Refused) {
            continue;
        }
        AgentAnswers answers;
        answers[0].ok = reply == Reply::Value && probe.type == ASN_OCTET_STR;
        if (answers[0].ok) {
            answers[0].objects.emplace_back(CellText(probe.text));
        }
        InventoryReader reader(session);
        answers[1] = reader.Processor();
        answers[2] = reader.Memory();
        answers[3] = reader.AdapterSpeed();
        return answers;
    }
    return std::nullopt;
}

} // namespace

// The child's side of SnmpInventoryProvider::Connect.
ChildJobResult AgentQueryJob(ChildMessageReader& request, int out)
{
    const std::optional<HostJobRequest> asked = ReadHostJobRequest(request);
    if (!asked) {
        return ChildJobResult::BadRequest;
    }
    const std::optional<AgentAnswers> answers = AskAgent(asked->address, asked->identity, asked->bound);
    return answers && SendAgentAnswers(*answers, out) ? ChildJobResult::Done : ChildJobResult::Failed;
}

} // namespace tessvale
