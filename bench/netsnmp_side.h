/* SPDX-License-Identifier: Apache-2.0 */
// net-snmp's library doing the same work as ours, behind a small interface so
// that its headers stay out of the rest of the benchmark.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace snmphelper::bench::netsnmp {

// Once per process, before anything below: no MIB files, no configuration or
// persistent state of the host's.
void Initialise();

// Builds a v1 GetRequest of `count` identifiers (as RequestOf(count)) with
// snmp_pdu_create / snmp_add_null_var / snmp_build into `buffer`; returns the
// message (a view into `buffer`), empty on failure.
struct Encoder {
    explicit Encoder(int count);
    ~Encoder();
    Encoder(const Encoder &) = delete;
    Encoder &operator=(const Encoder &) = delete;
    // One whole encode: PDU created, variables added, message built, PDU freed.
    bool Encode(const std::uint8_t *&message, std::size_t &length);

    struct State;
    State *state;
};

// Parses one whole message (header and PDU) as net-snmp does on receipt, and
// frees the result. True when it parsed as a response with its variables.
struct Decoder {
    Decoder();
    ~Decoder();
    Decoder(const Decoder &) = delete;
    Decoder &operator=(const Decoder &) = delete;
    bool Decode(const std::vector<std::uint8_t> &message, std::size_t expectedVariables);

    struct State;
    State *state;
};

// The text layer's work done with net-snmp: the identifiers parsed from
// text (read_objid), the request built, the response parsed, and each
// variable printed as text (snprint_objid / snprint_value).
struct TextLayer {
    explicit TextLayer(int count);
    ~TextLayer();
    TextLayer(const TextLayer &) = delete;
    TextLayer &operator=(const TextLayer &) = delete;
    bool FormAndExtract(const std::vector<std::uint8_t> &response, std::string &oidText,
                        std::string &valueText);

    struct State;
    State *state;
};

// A synchronous session to an agent at `peer` ("127.0.0.1:161") with the
// library's community. Get reads the objects and checks the reply: no error,
// every variable present. `value` receives the first variable's value as text
// when it is an OCTET STRING.
struct Session {
    explicit Session(const std::string &peer);
    ~Session();
    Session(const Session &) = delete;
    Session &operator=(const Session &) = delete;
    bool Open() const;
    bool Get(int count, std::string *value = nullptr);
    // A get of one named object.
    bool GetOne(const std::string &oidText, std::string *value);

    struct State;
    State *state;
};

// What a caller asking about one printer at a time does: a session opened
// to `peer`, one get of RequestOf(count)'s objects, the session closed.
bool OneShotGet(const std::string &peer, int count);

// What a fleet poll did: printers that answered every request, and the
// replies received over all.
struct FleetPoll {
    std::size_t reached = 0;
    std::uint64_t exchanges = 0;
};

// `snmphelper poll`'s work done with net-snmp's asynchronous API: for each of
// `count` printers from `firstAddress` on, a get-next of the `columns` still
// in their subtree until every one has ended (the status view's column walk:
// `columns` are the poll's, in its order), then the gets of the objects the
// poll asks about the rows the walk found (its printer devices, their
// counters, the supplies' colorants, the alerts), 20 to a get, in the poll's
// order. At most `window` printers at once, each in a session of its own
// (timeout 1 s, no retries), all in one select() loop.
FleetPoll PollFleet(const std::string &firstAddress, std::size_t count, std::size_t window,
                    const std::vector<std::string> &columns);

}  // namespace snmphelper::bench::netsnmp
