// SPDX-License-Identifier: Apache-2.0
#include "bench/messages.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "codec/ber_encode.h"
#include "groups/object_groups.h"
#include "tests/support/ber_build.h"

namespace snmphelper::bench {
namespace {

using test::Bytes;

std::mutex builtLock;

Bytes OidContents(const std::string &text) {
    std::uint8_t octets[256];
    const int n = OidTextToBer(octets, sizeof octets, text.c_str());
    return Bytes(octets, octets + (n > 0 ? n : 0));
}

Bytes Unsigned(std::uint8_t identifier, std::uint32_t v) {
    Bytes contents;
    for (std::uint32_t rest = v;; rest >>= 8) {
        contents.insert(contents.begin(), static_cast<std::uint8_t>(rest & 0xFF));
        if (rest < 0x100) break;
    }
    if ((contents.front() & 0x80) != 0) contents.insert(contents.begin(), 0x00);
    return test::Tlv(identifier, contents);
}

// The value of the i-th binding: one of seven types in turn.
Bytes ValueItem(std::size_t i) {
    switch (i % 7) {
    case 0: {
        const std::string text = "PALIMAR-4100 object " + std::to_string(i);
        return test::Tlv(0x04, Bytes(text.begin(), text.end()));
    }
    case 1: return test::Tlv(0x02, {0xFF, 0x85});  // INTEGER -123
    case 2: return Unsigned(0x43, 123456789);      // TimeTicks
    case 3: return test::Tlv(0x06, OidContents("1.3.6.1.4.1.236.11.5.1"));
    case 4: return test::Tlv(0x40, {192, 168, 1, 20});  // IpAddress
    case 5: return Unsigned(0x41, 4000000000u);          // Counter
    default: return Unsigned(0x42, 65535);               // Gauge
    }
}

}  // namespace

std::vector<std::string> GroupIdentifiers(int count) {
    if (count == 1) return {"1.3.6.1.2.1.1.1.0"};
    const ObjectGroup group = GetObjectGroup(count == 7 ? 0 : 18);
    return std::vector<std::string>(group.identifiers, group.identifiers + group.count);
}

const GetRequest &RequestOf(int count) {
    static std::map<int, std::unique_ptr<GetRequest>> built;
    std::lock_guard<std::mutex> hold(builtLock);
    std::unique_ptr<GetRequest> &request = built[count];
    if (request) return *request;
    request = std::make_unique<GetRequest>();
    request->oids = GroupIdentifiers(count);
    for (const std::string &oid : request->oids) {
        SnmpVarBind binding{};
        binding.oid = const_cast<char *>(oid.c_str());
        binding.oidLength = static_cast<std::uint16_t>(oid.size());
        request->bindings.push_back(binding);
        request->oidList += (request->oidList.empty() ? "" : ",") + oid;
    }
    SnmpReqParam &record = request->record;
    record.community = const_cast<char *>(kCommunity);
    record.communityLength = static_cast<std::uint16_t>(std::strlen(kCommunity));
    record.pduType = SNMP_PDU_GET_REQUEST;
    record.requestId = kBenchRequestId;
    record.varBindCount = static_cast<std::uint16_t>(request->bindings.size());
    record.varBinds = request->bindings.data();
    return *request;
}

const std::vector<std::uint8_t> &ResponseOf(int count) {
    static std::map<int, Bytes> built;
    std::lock_guard<std::mutex> hold(builtLock);
    Bytes &message = built[count];
    if (!message.empty()) return message;
    const std::vector<std::string> oids = GroupIdentifiers(count);
    std::vector<Bytes> varBinds;
    for (std::size_t i = 0; i < oids.size(); ++i) {
        varBinds.push_back(test::VarBind(OidContents(oids[i]), ValueItem(i)));
    }
    const Bytes community(kCommunity, kCommunity + std::strlen(kCommunity));
    message = test::Message(community, test::ResponsePdu(Unsigned(0x02, kBenchRequestId),
                                                         {0x02, 0x01, 0x00}, {0x02, 0x01, 0x00},
                                                         varBinds));
    return message;
}

}  // namespace snmphelper::bench
