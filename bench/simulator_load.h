/* SPDX-License-Identifier: Apache-2.0 */
// The simulator's own capacity: a fleet of printers in one simulator process
// driven as hard as the client threads can, with a window of requests in
// flight spread over every printer, and the process's resident size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace snmphelper::bench {

struct LoadFigures {
    std::uint64_t answered = 0;   // replies that carried an outstanding request-id
    std::uint64_t resent = 0;     // requests given up on and sent again
    double seconds = 0;
    double ExchangesPerSecond() const { return seconds > 0 ? static_cast<double>(answered) / seconds : 0; }
};

// Sends get-next requests of four hrDevice columns round-robin to `printers`
// consecutive addresses from `firstAddress` (port 161), keeping `window` of
// them outstanding, for `seconds`, from `clients` threads (a socket and a
// share of the window each). A request unanswered for 200 ms is sent again
// (to the next printer), so a lost datagram costs little.
LoadFigures DriveFleet(const std::string &firstAddress, std::size_t printers, std::size_t window, double seconds,
                       std::size_t clients);

// Starts a simulator serving `printers` printers from 127.8.0.1 on (no log),
// drives it and prints its exchanges per second and resident size.
void RunSimulatorCapacity(std::size_t printers);

}  // namespace snmphelper::bench
