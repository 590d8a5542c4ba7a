// SPDX-License-Identifier: Apache-2.0
#include "bench/netsnmp_side.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

#include "bench/messages.h"

namespace snmphelper::bench::netsnmp {
namespace {

struct ParsedOid {
    oid arcs[MAX_OID_LEN];
    std::size_t count = 0;
};

ParsedOid ParseOid(const std::string &text) {
    ParsedOid parsed;
    const char *c = text.c_str();
    while (*c != '\0' && parsed.count < MAX_OID_LEN) {
        char *end = nullptr;
        parsed.arcs[parsed.count++] = std::strtoul(c, &end, 10);
        c = (*end == '.') ? end + 1 : end;
    }
    return parsed;
}

std::vector<ParsedOid> ParseOids(int count) {
    std::vector<ParsedOid> oids;
    for (const std::string &text : GroupIdentifiers(count)) oids.push_back(ParseOid(text));
    return oids;
}

void InitV1Session(netsnmp_session &session) {
    snmp_sess_init(&session);
    session.version = SNMP_VERSION_1;
    session.community = reinterpret_cast<u_char *>(const_cast<char *>(kCommunity));
    session.community_len = std::strlen(kCommunity);
}

netsnmp_pdu *GetPdu(const std::vector<ParsedOid> &oids) {
    netsnmp_pdu *pdu = snmp_pdu_create(SNMP_MSG_GET);
    if (pdu == nullptr) return nullptr;
    for (const ParsedOid &name : oids) snmp_add_null_var(pdu, name.arcs, name.count);
    return pdu;
}

}  // namespace

void Initialise() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Nothing of the host's: no MIB files, no snmp.conf, no state written.
        setenv("MIBS", "", 1);
        setenv("MIBDIRS", "/nonexistent", 1);
        setenv("SNMPCONFPATH", "/nonexistent", 1);
        setenv("SNMP_PERSISTENT_DIR", "/tmp", 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
        netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_PERSIST_STATE, 1);
        netsnmp_ds_set_int(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_MIB_WARNINGS, 0);
        init_snmp("snmphelper-bench");
    });
}

struct Encoder::State {
    netsnmp_session session{};
    std::vector<ParsedOid> oids;
    u_char buffer[4096];
};

Encoder::Encoder(int count) : state(new State) {
    InitV1Session(state->session);
    state->oids = ParseOids(count);
}

Encoder::~Encoder() { delete state; }

bool Encoder::Encode(const std::uint8_t *&message, std::size_t &length) {
    netsnmp_pdu *pdu = GetPdu(state->oids);
    if (pdu == nullptr) return false;
    pdu->reqid = kBenchRequestId;
    pdu->version = SNMP_VERSION_1;
    u_char *packet = state->buffer;
    std::size_t packetLength = sizeof state->buffer;
    std::size_t offset = 0;
    const int built = snmp_build(&packet, &packetLength, &offset, &state->session, pdu);
    snmp_free_pdu(pdu);
    if (built != 0) return false;
#ifdef NETSNMP_USE_REVERSE_ASNENCODING
    // The reverse encoder builds from the end of the buffer backwards.
    message = packet + packetLength - offset;
#else
    message = packet;
#endif
    length = offset;
    return true;
}

struct Decoder::State {
    netsnmp_session session{};
    std::vector<u_char> copy;
};

Decoder::Decoder() : state(new State) { InitV1Session(state->session); }

Decoder::~Decoder() { delete state; }

bool Decoder::Decode(const std::vector<std::uint8_t> &message, std::size_t expectedVariables) {
    // As net-snmp's receive path does: a fresh PDU, parsed from the datagram.
    auto *pdu = static_cast<netsnmp_pdu *>(std::calloc(1, sizeof(netsnmp_pdu)));
    if (pdu == nullptr) return false;
    state->copy.assign(message.begin(), message.end());
    const int parsed = snmp_parse(nullptr, &state->session, pdu, state->copy.data(), state->copy.size());
    std::size_t variables = 0;
    for (netsnmp_variable_list *v = pdu->variables; v != nullptr; v = v->next_variable) ++variables;
    const bool ok = parsed == 0 && pdu->command == SNMP_MSG_RESPONSE && variables == expectedVariables;
    snmp_free_pdu(pdu);
    return ok;
}

struct TextLayer::State {
    netsnmp_session session{};
    std::vector<std::string> texts;
    u_char buffer[4096];
    std::vector<u_char> copy;
};

TextLayer::TextLayer(int count) : state(new State) {
    InitV1Session(state->session);
    // A leading dot: a numeric identifier, with no MIB module to look it up in.
    for (const std::string &text : GroupIdentifiers(count)) state->texts.push_back("." + text);
}

TextLayer::~TextLayer() { delete state; }

bool TextLayer::FormAndExtract(const std::vector<std::uint8_t> &response, std::string &oidText,
                               std::string &valueText) {
    netsnmp_pdu *pdu = snmp_pdu_create(SNMP_MSG_GET);
    if (pdu == nullptr) return false;
    for (const std::string &text : state->texts) {
        oid arcs[MAX_OID_LEN];
        std::size_t count = MAX_OID_LEN;
        if (read_objid(text.c_str(), arcs, &count) == 0) {
            snmp_free_pdu(pdu);
            return false;
        }
        snmp_add_null_var(pdu, arcs, count);
    }
    pdu->reqid = kBenchRequestId;
    u_char *packet = state->buffer;
    std::size_t packetLength = sizeof state->buffer;
    std::size_t offset = 0;
    const int built = snmp_build(&packet, &packetLength, &offset, &state->session, pdu);
    snmp_free_pdu(pdu);
    if (built != 0) return false;

    auto *reply = static_cast<netsnmp_pdu *>(std::calloc(1, sizeof(netsnmp_pdu)));
    if (reply == nullptr) return false;
    state->copy.assign(response.begin(), response.end());
    bool ok = snmp_parse(nullptr, &state->session, reply, state->copy.data(), state->copy.size()) == 0;
    oidText.clear();
    valueText.clear();
    char line[1024];
    for (netsnmp_variable_list *v = reply->variables; ok && v != nullptr; v = v->next_variable) {
        if (!oidText.empty()) oidText += ',';
        snprint_objid(line, sizeof line, v->name, v->name_length);
        oidText += line;
        snprint_value(line, sizeof line, v->name, v->name_length, v);
        valueText += line;
        valueText += ',';
    }
    snmp_free_pdu(reply);
    return ok;
}

struct Session::State {
    void *handle = nullptr;
    std::vector<ParsedOid> oids[3];
    std::string peer;
};

namespace {

// The library's timing: two seconds, one retry.
void *OpenSession(std::string &peer) {
    netsnmp_session session;
    InitV1Session(session);
    session.peername = peer.data();
    session.timeout = 2000000;  // microseconds
    session.retries = 1;
    return snmp_sess_open(&session);
}

}  // namespace

Session::Session(const std::string &peer) : state(new State) {
    state->peer = peer;
    state->handle = OpenSession(state->peer);
    state->oids[0] = ParseOids(1);
    state->oids[1] = ParseOids(7);
    state->oids[2] = ParseOids(31);
}

Session::~Session() {
    if (state->handle != nullptr) snmp_sess_close(state->handle);
    delete state;
}

bool Session::Open() const { return state->handle != nullptr; }

namespace {

bool Exchange(void *handle, netsnmp_pdu *pdu, std::size_t expected, std::string *value) {
    netsnmp_pdu *response = nullptr;
    const int status = snmp_sess_synch_response(handle, pdu, &response);
    bool ok = status == STAT_SUCCESS && response != nullptr && response->errstat == SNMP_ERR_NOERROR;
    std::size_t variables = 0;
    if (ok) {
        for (netsnmp_variable_list *v = response->variables; v != nullptr; v = v->next_variable) {
            if (variables == 0 && value != nullptr && v->type == ASN_OCTET_STR) {
                value->assign(reinterpret_cast<const char *>(v->val.string), v->val_len);
            }
            ++variables;
        }
    }
    if (response != nullptr) snmp_free_pdu(response);
    return ok && variables == expected;
}

}  // namespace

bool Session::Get(int count, std::string *value) {
    const std::vector<ParsedOid> &oids = state->oids[count == 1 ? 0 : count == 7 ? 1 : 2];
    netsnmp_pdu *pdu = GetPdu(oids);
    if (pdu == nullptr) return false;
    return Exchange(state->handle, pdu, oids.size(), value);
}

bool Session::GetOne(const std::string &oidText, std::string *value) {
    const ParsedOid name = ParseOid(oidText);
    netsnmp_pdu *pdu = snmp_pdu_create(SNMP_MSG_GET);
    if (pdu == nullptr) return false;
    snmp_add_null_var(pdu, name.arcs, name.count);
    return Exchange(state->handle, pdu, 1, value);
}

bool OneShotGet(const std::string &peer, int count) {
    static const std::vector<ParsedOid> oids[] = {ParseOids(1), ParseOids(7), ParseOids(31)};
    const std::vector<ParsedOid> &names = oids[count == 1 ? 0 : count == 7 ? 1 : 2];
    std::string peerName = peer;
    void *handle = OpenSession(peerName);
    if (handle == nullptr) return false;
    netsnmp_pdu *pdu = GetPdu(names);
    const bool ok = pdu != nullptr && Exchange(handle, pdu, names.size(), nullptr);
    snmp_sess_close(handle);
    return ok;
}

}  // namespace snmphelper::bench::netsnmp
