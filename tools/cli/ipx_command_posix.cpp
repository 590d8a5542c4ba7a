// SPDX-License-Identifier: Apache-2.0
// snmphelper ipx: what the IPX layer would use (interface, node, network,
// frame type) and whether this process may open the packet sockets it needs.
#include <cstdio>
#include <memory>
#include <string>

#include "wsock32/ipx_socket.h"
#include "tools/cli/commands.h"
#include "tools/cli/ipx_hint.h"
#include "tools/cli/transaction_text.h"

namespace snmphelper::cli {
namespace {

std::string NodeText(const std::array<std::uint8_t, 6> &node) {
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", node[0], node[1], node[2],
                  node[3], node[4], node[5]);
    return text;
}

std::string NetworkText(const std::array<std::uint8_t, 4> &network) {
    char text[9];
    std::snprintf(text, sizeof text, "%02X%02X%02X%02X", network[0], network[1], network[2],
                  network[3]);
    return text;
}

// The host's 20-digit address text, as a printer's IPX Address is written.
std::string AddressText(const ipx::IpxSettings &settings) {
    std::string text = NetworkText(settings.network);
    for (const std::uint8_t octet : settings.node) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", octet);
        text += pair;
    }
    return text;
}

int RunIpx(bool json) {
    ipx::IpxSettings settings;
    std::string problem;
    const bool resolved = ipx::ResolveSettings(settings, problem) == 0;
    const bool allowed = ipx::MayOpenPacketSockets();
    if (json) {
        std::printf("{\"usable\":%s,\"packetSockets\":%s", resolved && allowed ? "true" : "false",
                    allowed ? "true" : "false");
        if (resolved) {
            std::printf(",\"interface\":%s,\"node\":%s,\"network\":%s,\"frame\":%s,\"address\":%s",
                        JsonString(settings.interfaceName).c_str(),
                        JsonString(NodeText(settings.node)).c_str(),
                        JsonString(NetworkText(settings.network)).c_str(),
                        JsonString(ipx::FrameTypeName(settings.sendFrame)).c_str(),
                        JsonString(AddressText(settings)).c_str());
        } else {
            std::printf(",\"problem\":%s", JsonString(problem).c_str());
        }
        std::printf("}\n");
        return resolved && allowed ? 0 : 1;
    }
    if (resolved) {
        std::printf("interface       %s\n", settings.interfaceName.c_str());
        std::printf("node            %s\n", NodeText(settings.node).c_str());
        std::printf("network         %s\n", NetworkText(settings.network).c_str());
        std::printf("frame type      %s (sent; all four frame types are received)\n",
                    ipx::FrameTypeName(settings.sendFrame));
        std::printf("host address    %s\n", AddressText(settings).c_str());
    } else {
        std::printf("interface       none: %s\n", problem.c_str());
    }
    std::printf("packet sockets  %s\n", allowed ? "allowed" : "not allowed");
    if (!allowed) std::printf("%s\n", kIpxCapabilityHint);
    return resolved && allowed ? 0 : 1;
}

}  // namespace

void AddIpxCommand(Command &app, int &exitCode) {
    auto json = std::make_shared<bool>(false);
    Command *command = app.add_subcommand(
        "ipx", "Show the interface, node, network and frame type IPX would use, and whether it may");
    command->add_flag("--json", *json, "Print one JSON object");
    command->footer(
        "Settings: SNMPHELPER_IPX_INTERFACE (default: the first interface that is up, not loopback,\n"
        "with an Ethernet address), SNMPHELPER_IPX_NETWORK (8 hex digits, default 00000000),\n"
        "SNMPHELPER_IPX_FRAME (ethernet_ii, 802.3, 802.2 or snap; default ethernet_ii).");
    command->callback([json, &exitCode] { exitCode = RunIpx(*json); });
}

}  // namespace snmphelper::cli
