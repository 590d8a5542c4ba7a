// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/trap_text.h"

#include "codec/trap_decoder.h"
#include "tools/cli/transaction_text.h"
#include "tools/cli/value_text.h"

namespace snmphelper::cli {
namespace {

// The trap decoder counts only 16 bits of length.
constexpr std::uint32_t kMaxTrapMessage = 0xFFFF;

std::string CommunityText(const SnmpTrapParam &trap) {
    return OctetsText(reinterpret_cast<const std::uint8_t *>(trap.community), trap.communityLength);
}

std::string AgentText(const SnmpTrapParam &trap) {
    return DescribeValue(SNMP_VALUE_IP_ADDRESS, trap.agentAddress, trap.agentAddressLength).text;
}

}  // namespace

std::string GenericTrapName(std::uint8_t genericTrap) {
    static const char *const names[] = {
        "coldStart",       "warmStart",         "linkDown", "linkUp", "authenticationFailure",
        "egpNeighborLoss", "enterpriseSpecific"};
    if (genericTrap < sizeof names / sizeof names[0]) return names[genericTrap];
    return "unknown";
}

std::string TrapText(const SnmpTrapParam &trap) {
    const ValueDisplay timeStamp = DescribeValue(
        SNMP_VALUE_TIME_TICKS, reinterpret_cast<const std::uint8_t *>(&trap.timeStamp), sizeof trap.timeStamp);
    std::string text = "Trap-PDU\n";
    text += "  community:     " + CommunityText(trap) + '\n';
    text += "  enterprise:    " + std::string(trap.enterprise) + '\n';
    text += "  agent-addr:    " + AgentText(trap) + '\n';
    text += "  generic-trap:  " + GenericTrapName(trap.genericTrap) + " (" + std::to_string(trap.genericTrap) +
            ")\n";
    text += "  specific-trap: " + std::to_string(trap.specificTrap) + '\n';
    text += "  time-stamp:    " + timeStamp.text + '\n';
    text += "  variable-bindings: " + std::to_string(trap.varBindCount) + '\n';
    for (std::uint16_t i = 0; i < trap.varBindCount; ++i) text += "    " + BindingLine(trap.varBinds[i]) + '\n';
    return text;
}

std::string TrapJson(const SnmpTrapParam &trap) {
    // The community as its characters when printable, else as hex, like an OCTET STRING value.
    ReplyVariable community;
    community.type = SNMP_VALUE_OCTET_STRING;
    community.value.assign(trap.community, trap.community + trap.communityLength);
    const std::string communityJson = VariableJson(community);
    const std::size_t valueAt = communityJson.find("\"value\":") + 8;
    std::string json = "{\"community\":" + communityJson.substr(valueAt, communityJson.size() - valueAt - 1) +
                       ",\"enterprise\":" + JsonString(trap.enterprise) +
                       ",\"agentAddress\":" + JsonString(AgentText(trap)) +
                       ",\"genericTrap\":" + std::to_string(trap.genericTrap) +
                       ",\"genericTrapName\":" + JsonString(GenericTrapName(trap.genericTrap)) +
                       ",\"specificTrap\":" + std::to_string(trap.specificTrap) +
                       ",\"timeStamp\":" + std::to_string(trap.timeStamp) + ",\"variables\":";
    std::vector<ReplyVariable> variables;
    for (std::uint16_t i = 0; i < trap.varBindCount; ++i) variables.push_back(VariableOf(trap.varBinds[i]));
    return json + VariablesJson(variables) + "}";
}

std::string DatagramText(const std::uint8_t *data, std::uint32_t length, const std::string &from, bool json,
                         bool &isTrap) {
    SnmpTrapParam *trap = length <= kMaxTrapMessage ? HelperSnmpDecodeTrapPdu(data, length) : nullptr;
    isTrap = trap != nullptr;
    const std::string octets = std::to_string(length);
    if (trap == nullptr) {
        const std::string hex = HexOctets(data, length);
        if (json) {
            return "{\"from\":" + JsonString(from) + ",\"length\":" + octets +
                   ",\"error\":\"not an SNMPv1 Trap message\",\"hex\":" + JsonString(hex) + "}\n";
        }
        return "from " + from + ": " + octets + " octets that are not an SNMPv1 Trap message, skipped:\n  " + hex +
               "\n";
    }
    std::string text;
    if (json) {
        // The trap's own fields follow the sender's.
        text = "{\"from\":" + JsonString(from) + ",\"length\":" + octets + "," + TrapJson(*trap).substr(1) + "\n";
    } else {
        text = "from " + from + " (" + octets + " octets):\n" + TrapText(*trap);
    }
    FreeTrapParam(trap);
    return text;
}

}  // namespace snmphelper::cli
