#include "tools/cli/trap_text.h"

#include "tools/cli/transaction_text.h"
#include "tools/cli/value_text.h"

namespace snmphelper::cli {
namespace {

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
    for (std::uint16_t i = 0; i < trap.varBindCount; ++i) text += "    " + VarBindLine(trap.varBinds[i]) + '\n';
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

}  // namespace snmphelper::cli
