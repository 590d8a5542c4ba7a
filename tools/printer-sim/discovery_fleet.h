/* SPDX-License-Identifier: Apache-2.0 */
// Many printers on one Ethernet segment, as a discovery meets them: each has
// its own IPv4 address and adapter address (its IPX node and DLC station),
// answers a broadcast once, from its own address, over the transports it
// is given, after its own delay, and answers requests sent to it alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/printer-sim/agent.h"
#include "tools/printer-sim/ipx_frame.h"
#include "tools/printer-sim/mib_store.h"

namespace printersim {

// Transports of a fleet printer, as the library numbers them.
constexpr unsigned kAnswerIpx = 1;
constexpr unsigned kAnswerIp = 2;
constexpr unsigned kAnswerDlc = 4;

struct FleetPrinter {
    std::string ip;           // dotted decimal; empty: no IP
    MacAddress mac{};         // its adapter: IPX node, DLC station
    unsigned transports = 0;  // kAnswer* bits it answers on; 0: silent
    unsigned delayMs = 0;     // before each answer
    std::string name;         // its sysName
};

// The fleet file: one printer a line, "ip=A|- mac=HEX12 answer=ip,ipx,dlc|none
// [delay=MS] [name=TEXT]"; # starts a comment. False with `error` naming the
// line for anything else.
bool LoadFleetFile(const std::string &path, std::vector<FleetPrinter> &printers, std::string &error);

struct DiscoveryFleetSettings {
    std::uint16_t port = 161;
    std::string interfaceName;  // where IPX and LLC frames are read and written
    std::uint32_t ipxNetwork = 0;
    std::string logFile;
    std::string readyFile;      // written with the UDP port once serving
};

// Serves until SIGTERM or SIGINT; every printer starts as `base`, with its
// own sysName, serial number and hardware address. Exit codes as Serve's.
int ServeDiscoveryFleet(const DiscoveryFleetSettings &settings, const std::vector<FleetPrinter> &printers,
                        const MibStore &base, const AgentSettings &agentSettings);

}  // namespace printersim
