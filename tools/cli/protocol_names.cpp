// SPDX-License-Identifier: Apache-2.0
#include "tools/cli/protocol_names.h"

#include "transact/printer_config.h"

namespace snmphelper::cli {
namespace {

struct ProtocolName {
    std::uint8_t code;
    const char *name;
};
// In the order the channel prefers when `pProtocol` is unset.
constexpr ProtocolName kProtocolNames[] = {{kProtocolDlc, "dlc"}, {kProtocolIp, "ip"}, {kProtocolIpx, "ipx"}};

}  // namespace

std::optional<std::uint8_t> ProtocolCode(const std::string &name) {
    for (const ProtocolName &protocol : kProtocolNames) {
        if (name == protocol.name) return protocol.code;
    }
    return std::nullopt;
}

bool ParseProtocolList(const std::string &names, std::uint32_t &bits, std::string &problem) {
    std::size_t at = 0;
    for (;;) {
        const std::size_t comma = names.find(',', at);
        const std::string name = names.substr(at, comma == std::string::npos ? comma : comma - at);
        const auto code = ProtocolCode(name);
        if (!code) {
            problem = "unknown protocol \"" + name + "\"; the protocols are ip, ipx and dlc";
            return false;
        }
        bits |= *code;
        if (comma == std::string::npos) return true;
        at = comma + 1;
    }
}

std::string ProtocolList(std::uint32_t bits) {
    std::string list;
    for (const ProtocolName &protocol : kProtocolNames) {
        if ((bits & protocol.code) == 0) continue;
        if (!list.empty()) list += ',';
        list += protocol.name;
    }
    return list.empty() ? "none" : list;
}

std::string ProtocolNameOf(std::uint32_t code) {
    for (const ProtocolName &protocol : kProtocolNames) {
        if (code == protocol.code) return protocol.name;
    }
    return code == 0 ? "unset" : "invalid";
}

}  // namespace snmphelper::cli
