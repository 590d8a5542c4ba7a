/* SPDX-License-Identifier: Apache-2.0 */
// The floor of one UDP get: the system calls every HelperSNMPTransact must
// make (the configuration read anew, a fresh non-blocking bound socket, one
// exchange), written directly on the system, no library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace snmphelper::bench {

// Nanoseconds one get spent in each group of calls.
struct FloorPhases {
    std::uint64_t hive = 0;      // open, fstat, read, close of the hive file
    std::uint64_t socket = 0;    // socket, IP_RECVERR, FIONBIO, bind
    std::uint64_t exchange = 0;  // sendto, poll, recvfrom
    std::uint64_t close = 0;     // close of the socket
};

class FloorGet {
public:
    // A get of sysDescr to `agent` (dotted IPv4, port 161), reading the hive
    // at `hivePath` first, as a transaction does.
    FloorGet(std::string hivePath, const std::string &agent);

    // One get with a fresh request-id; true when the reply carried it.
    // `phases` (may be null) receives the time of each group of calls.
    bool Once(FloorPhases *phases);

private:
    std::string hivePath_;
    std::vector<char> hive_;
    std::uint32_t agentAddress_ = 0;  // network order
    std::vector<std::uint8_t> request_;
    std::size_t requestIdAt_ = 0;  // the 4 contents octets of the request-id
};

}  // namespace snmphelper::bench
