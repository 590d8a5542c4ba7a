/* SPDX-License-Identifier: Apache-2.0 */
// The messages every benchmark works on, built once: the request records of
// object groups 0 and 18, and GetResponse messages with values of mixed types.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "snmphelper.h"

namespace snmphelper::bench {

// The community every request of the library carries.
inline constexpr char kCommunity[] = "t*o&r^e~l+d";
// A fixed request-id, so both encoders write the same INTEGER.
inline constexpr std::int32_t kBenchRequestId = 0x1234567;

// A GetRequest of `count` identifiers: 1 (sysDescr), 7 (group 0, the MIB-II
// system group) or 31 (group 18, printer private objects).
struct GetRequest {
    std::vector<std::string> oids;
    std::vector<SnmpVarBind> bindings;
    SnmpReqParam record{};
    // The identifiers comma-joined, as callers of the text layer pass them.
    std::string oidList;
};

// Built on first use and kept for the whole run; `count` is 1, 7 or 31.
const GetRequest &RequestOf(int count);

// A GetResponse to RequestOf(count): the same names, values cycling through
// OCTET STRING, INTEGER, TimeTicks, OBJECT IDENTIFIER, IpAddress, Counter and
// Gauge, all of which the text layer can write.
const std::vector<std::uint8_t> &ResponseOf(int count);

// The identifiers of the object group as dotted text.
std::vector<std::string> GroupIdentifiers(int count);

}  // namespace snmphelper::bench
