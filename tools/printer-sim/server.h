/* SPDX-License-Identifier: Apache-2.0 */
// The simulator's serving loop: one UDP socket on the printer's address and,
// when asked, IPX on one Ethernet interface (RFC 1420), the fault plan
// applied to every answer, traps to registered hosts, and a clean stop on
// SIGTERM or SIGINT.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tools/printer-sim/agent.h"
#include "tools/printer-sim/faults.h"

namespace printersim {

struct ServerSettings {
    std::string address = "127.0.0.1";
    std::uint16_t port = 161;         // 0: any free port (the ready file tells which)
    std::uint16_t trapPort = 162;     // where registered hosts receive traps
    std::string readyFile;            // written with the bound port once serving
    std::string logFile;              // one line per datagram received or trap sent
    bool verbose = false;             // the same lines on standard error
    FaultPlan faults;                 // for every request of the run
    std::string ipxInterface;         // serve IPX on this interface too (empty: UDP only)
    std::uint32_t ipxNetwork = 0;     // the simulator's IPX network number
    std::vector<Oid> watched;         // objects (or subtrees) whose change a trap reports
    std::string dlcInterface;         // serve LLC UI frames to SAP 0A on this interface too
    bool logTag = false;              // log lines name the printer's address (at=A), for a fleet
};

// Serves until SIGTERM or SIGINT and returns the process exit code: 0 after
// a signal, 1 when a socket, the ready file or the log cannot be set up.
// SIGUSR1 sends a status trap to every complete trap destination; a start
// with complete rows sends them coldStart, a set that changes a watched
// object an enterprise-specific trap.
int Serve(const ServerSettings &settings, Agent &agent);

// Serves a fleet from one process: printer i on settings[i].address with
// agents[i], UDP only. `threads` threads share the printers out, each
// printer served by one of them alone. The log and the ready file are the
// first entry's (one log for all, each line naming its printer); "ready"
// once every printer's socket is open. Exit codes as Serve's.
int ServeFleet(const std::vector<ServerSettings> &settings, std::vector<std::unique_ptr<Agent>> &agents,
               unsigned threads);

}  // namespace printersim
