// SPDX-License-Identifier: Apache-2.0
#include "bench/netsnmp_side.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <arpa/inet.h>
#include <sys/select.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

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

namespace {

// The poll's columns, by their place in its walk (the columns PollFleet is
// given): what the objects it asks after the walk depend on.
constexpr std::size_t kDeviceTypeColumn = 1;
constexpr std::size_t kPrinterStatusColumn = 2, kErrorStateColumn = 3;
constexpr std::size_t kFirstPrinterMibColumn = 4;
constexpr std::size_t kSupplyColorantColumn = 6;
constexpr std::size_t kFirstAlertColumn = 22, kLastAlertColumn = 26;
constexpr oid kPrinterDeviceType[] = {1, 3, 6, 1, 2, 1, 25, 3, 1, 5};
// The poll's gets of known rows take this many objects each.
constexpr std::size_t kObjectsPerGet = 20;

using Row = std::vector<oid>;

// One printer's walk: the columns still going (their last name), sets of
// columns to ask again apart after the printer refused them together, and
// what the walk found that the poll's gets after it ask about.
struct PrinterWalk {
    struct Cursor {
        std::size_t column;
        ParsedOid at;
    };
    std::size_t index = 0;
    netsnmp_session *session = nullptr;
    std::vector<std::vector<Cursor>> pending;
    std::vector<Cursor> asked;
    std::set<oid> devices;
    bool printerMib = false;
    std::map<std::string, Row> colorants;  // by their text, as the poll orders them
    std::set<Row> alerts;
    // The objects to get, in the poll's order, and how many were asked.
    std::vector<ParsedOid> objects;
    std::size_t objectsAsked = 0;
    bool walked = false;
    bool done = false;
    bool failed = false;
};

struct FleetState {
    const std::vector<ParsedOid> *roots = nullptr;
    FleetPoll result;
};

FleetState *fleetState = nullptr;

bool InSubtree(const ParsedOid &root, const oid *name, std::size_t length) {
    return length > root.count && snmp_oid_compare(root.arcs, root.count, name, root.count) == 0;
}

ParsedOid Object(std::initializer_list<oid> column, const Row &row) {
    ParsedOid name;
    for (const oid arc : column) name.arcs[name.count++] = arc;
    for (const oid arc : row) {
        if (name.count < MAX_OID_LEN) name.arcs[name.count++] = arc;
    }
    return name;
}

// What the poll reads from a variable of column `column` at row `row`.
void Note(PrinterWalk &walk, std::size_t column, const Row &row, const netsnmp_variable_list &v) {
    if (column >= kFirstPrinterMibColumn) walk.printerMib = true;
    if (column == kDeviceTypeColumn && row.size() == 1 && v.type == ASN_OBJECT_ID &&
        snmp_oid_compare(v.val.objid, v.val_len / sizeof(oid), kPrinterDeviceType, std::size(kPrinterDeviceType)) ==
            0) {
        walk.devices.insert(row[0]);
    }
    if ((column == kPrinterStatusColumn || column == kErrorStateColumn) && row.size() == 1) walk.devices.insert(row[0]);
    const bool number =
        v.type == ASN_INTEGER || v.type == ASN_COUNTER || v.type == ASN_GAUGE || v.type == ASN_TIMETICKS;
    if (column == kSupplyColorantColumn && number && !row.empty() && *v.val.integer > 0 &&
        *v.val.integer <= INT32_MAX) {
        const Row colorant = {row[0], static_cast<oid>(*v.val.integer)};
        walk.colorants[std::to_string(colorant[0]) + "." + std::to_string(colorant[1])] = colorant;
    }
    if (column >= kFirstAlertColumn && column <= kLastAlertColumn) walk.alerts.insert(row);
}

// The objects the poll gets once its walk has ended, in its order.
void ListObjects(PrinterWalk &walk) {
    for (const oid device : walk.devices) {
        walk.objects.push_back(Object({1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 3}, {device}));
        walk.objects.push_back(Object({1, 3, 6, 1, 2, 1, 25, 3, 2, 1, 5}, {device}));
        if (!walk.printerMib) continue;
        walk.objects.push_back(Object({1, 3, 6, 1, 2, 1, 43, 5, 1, 1, 2}, {device}));
        for (const oid column : {oid{3}, oid{4}, oid{5}}) {
            walk.objects.push_back(Object({1, 3, 6, 1, 2, 1, 43, 10, 2, 1, column}, {device, 1}));
        }
    }
    for (const auto &[text, row] : walk.colorants) {
        walk.objects.push_back(Object({1, 3, 6, 1, 2, 1, 43, 12, 1, 1, 4}, row));
    }
    for (const Row &row : walk.alerts) {
        for (const oid column : {oid{3}, oid{6}, oid{9}}) {
            walk.objects.push_back(Object({1, 3, 6, 1, 2, 1, 43, 18, 1, 1, column}, row));
        }
    }
}

int OnFleetReply(int operation, netsnmp_session *, int, netsnmp_pdu *pdu, void *magic);

// Sends the walk's next request, or ends the printer.
void SendNext(PrinterWalk &walk) {
    while (!walk.pending.empty() && walk.pending.back().empty()) walk.pending.pop_back();
    netsnmp_pdu *pdu = nullptr;
    if (!walk.pending.empty()) {
        walk.asked = std::move(walk.pending.back());
        walk.pending.pop_back();
        pdu = snmp_pdu_create(SNMP_MSG_GETNEXT);
        for (const auto &cursor : walk.asked) snmp_add_null_var(pdu, cursor.at.arcs, cursor.at.count);
    } else {
        if (!walk.walked) {
            walk.walked = true;
            ListObjects(walk);
        }
        if (walk.objectsAsked == walk.objects.size()) {
            walk.done = true;
            return;
        }
        walk.asked.clear();
        pdu = snmp_pdu_create(SNMP_MSG_GET);
        const std::size_t end = std::min(walk.objects.size(), walk.objectsAsked + kObjectsPerGet);
        for (; walk.objectsAsked < end; ++walk.objectsAsked) {
            const ParsedOid &name = walk.objects[walk.objectsAsked];
            snmp_add_null_var(pdu, name.arcs, name.count);
        }
    }
    if (snmp_async_send(walk.session, pdu, OnFleetReply, &walk) == 0) {
        snmp_free_pdu(pdu);
        walk.done = walk.failed = true;
    }
}

int OnFleetReply(int operation, netsnmp_session *, int, netsnmp_pdu *pdu, void *magic) {
    PrinterWalk &walk = *static_cast<PrinterWalk *>(magic);
    if (operation != NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE || pdu == nullptr) {
        walk.done = walk.failed = true;  // silent: one timeout, as the poll's
        return 1;
    }
    ++fleetState->result.exchanges;
    if (walk.asked.empty()) {  // a get of known rows: the values are not kept
        SendNext(walk);
        return 1;
    }
    if (pdu->errstat != SNMP_ERR_NOERROR) {
        // Refused together: asked again in halves; a single column has ended.
        if (walk.asked.size() > 1) {
            const auto half = walk.asked.begin() + static_cast<std::ptrdiff_t>(walk.asked.size() / 2);
            walk.pending.emplace_back(half, walk.asked.end());
            walk.pending.emplace_back(walk.asked.begin(), half);
        }
        SendNext(walk);
        return 1;
    }
    std::vector<PrinterWalk::Cursor> next;
    std::size_t i = 0;
    for (netsnmp_variable_list *v = pdu->variables; v != nullptr && i < walk.asked.size(); v = v->next_variable, ++i) {
        const PrinterWalk::Cursor &cursor = walk.asked[i];
        const ParsedOid &root = (*fleetState->roots)[cursor.column];
        if (!InSubtree(root, v->name, v->name_length) || v->name_length > MAX_OID_LEN ||
            snmp_oid_compare(cursor.at.arcs, cursor.at.count, v->name, v->name_length) >= 0)
            continue;
        Note(walk, cursor.column, Row(v->name + root.count, v->name + v->name_length), *v);
        PrinterWalk::Cursor moved{cursor.column, {}};
        std::copy(v->name, v->name + v->name_length, moved.at.arcs);
        moved.at.count = v->name_length;
        next.push_back(moved);
    }
    walk.pending.push_back(std::move(next));
    SendNext(walk);
    return 1;
}

}  // namespace

FleetPoll PollFleet(const std::string &firstAddress, std::size_t count, std::size_t window,
                    const std::vector<std::string> &columns) {
    Initialise();
    std::vector<ParsedOid> roots;
    for (const std::string &column : columns) roots.push_back(ParseOid(column));
    FleetState state;
    state.roots = &roots;
    fleetState = &state;
    in_addr first{};
    inet_pton(AF_INET, firstAddress.c_str(), &first);
    std::vector<std::unique_ptr<PrinterWalk>> running;  // at most `window`
    std::size_t started = 0;
    const auto start = [&] {
        auto walk = std::make_unique<PrinterWalk>();
        walk->index = started++;
        in_addr address{};
        address.s_addr = htonl(ntohl(first.s_addr) + static_cast<std::uint32_t>(walk->index));
        char peer[INET_ADDRSTRLEN + 4] = {};
        inet_ntop(AF_INET, &address, peer, INET_ADDRSTRLEN);
        netsnmp_session session;
        InitV1Session(session);
        session.peername = peer;
        session.timeout = 1000000;  // microseconds
        session.retries = 0;
        walk->session = snmp_open(&session);
        std::vector<PrinterWalk::Cursor> all;
        for (std::size_t c = 0; c < roots.size(); ++c) all.push_back({c, roots[c]});
        walk->pending.push_back(std::move(all));
        if (walk->session == nullptr) {
            walk->done = walk->failed = true;
        } else {
            SendNext(*walk);
        }
        running.push_back(std::move(walk));
    };
    while (started < count || !running.empty()) {
        while (started < count && running.size() < window) start();
        // Printers that ended: their sessions closed, their places given to the next.
        for (std::size_t i = 0; i < running.size();) {
            PrinterWalk &walk = *running[i];
            if (!walk.done) {
                ++i;
                continue;
            }
            if (!walk.failed) ++state.result.reached;
            if (walk.session != nullptr) snmp_close(walk.session);
            running[i] = std::move(running.back());
            running.pop_back();
        }
        if (running.empty()) continue;
        int fds = 0;
        int block = 1;
        fd_set readable;
        FD_ZERO(&readable);
        timeval timeout{};
        snmp_select_info(&fds, &readable, &timeout, &block);
        const int ready = select(fds, &readable, nullptr, nullptr, block != 0 ? nullptr : &timeout);
        if (ready > 0) {
            snmp_read(&readable);
        } else if (ready == 0) {
            snmp_timeout();
        }
    }
    fleetState = nullptr;
    return state.result;
}

}  // namespace snmphelper::bench::netsnmp
