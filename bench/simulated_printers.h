/* SPDX-License-Identifier: Apache-2.0 */
// The printers the round-trip benchmarks talk to: printer simulators on
// 127.0.0.1, 127.0.0.2, ... port 161 (so the benchmark runs inside a private
// network namespace), one more answering over IPX and DLC on a veth pair, and a
// registry naming each of them for the library.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"
#include "tests/support/veth_pair.h"

namespace snmphelper::bench {

// Threads of the concurrency cases share this many simulators, thread t
// using printer t mod kSimulatorCount.
inline constexpr int kSimulatorCount = 4;
// Objects the concurrency cases read: thread t reads ThreadObject(t), whose
// value ThreadValue(t) no other thread's object has.
inline constexpr int kThreadObjects = 64;

std::string ThreadObject(int thread);
std::string ThreadValue(int thread);

class SimulatedPrinters {
public:
    // Started on first use, kept for the process. Null when a simulator did
    // not come up (not in a network namespace, or not built).
    static SimulatedPrinters *Get();
    // Stops every simulator (they would outlive the benchmark otherwise).
    static void StopAll();

    std::string PrinterName(int index) const;
    std::string Address(int index) const;  // "127.0.0.N"
    // Makes the veth pair for the IPX and DLC printers and points the
    // library at it; call before the library is loaded.
    static void PrepareLinks();
    // The printers reached over IPX and DLC; empty when no veth pair could be made.
    std::string IpxPrinterName() const;
    std::string DlcPrinterName() const;
    // Datagrams the simulators have logged ("request=" lines), and how many
    // distinct request-ids answered among them.
    std::size_t LoggedRequests() const;
    std::size_t DistinctAnsweredIds() const;

private:
    SimulatedPrinters();
    bool Ready();

    std::string folder_;
    std::unique_ptr<test::TempRegistry> registry_;
    std::vector<std::unique_ptr<test::PrinterSimulator>> simulators_;
    std::unique_ptr<test::PrinterSimulator> linkSimulator_;
};

}  // namespace snmphelper::bench
