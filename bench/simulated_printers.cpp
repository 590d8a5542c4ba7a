// SPDX-License-Identifier: Apache-2.0
#include "bench/simulated_printers.h"

#include <fstream>
#include <mutex>
#include <set>

namespace snmphelper::bench {
namespace {

constexpr char kIpxPrinterName[] = "bench-printer-ipx";
constexpr char kDlcPrinterName[] = "bench-printer-dlc";
// The IPX simulator's end of the veth pair, and its node on network 0.
constexpr char kIpxHostInterface[] = "bench-host";
constexpr char kIpxPrinterInterface[] = "bench-printer";
constexpr test::MacAddress kIpxHostNode = {0x02, 0x00, 0x00, 0x00, 0xBE, 0x01};
constexpr test::MacAddress kIpxPrinterNode = {0x02, 0x00, 0x00, 0x00, 0xBE, 0x02};
constexpr char kIpxPrinterAddress[] = "0000000002000000BE02";

// The veth pair the IPX and DLC printers are reached over, made before the
// library is loaded (it opens the DLC adapter then).
std::unique_ptr<test::VethPair> links;

// Short timeouts: a lost datagram on loopback should cost little, and every
// figure stays a measurement of the exchange, not of waiting.
std::string Hive(int printers) {
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    for (int i = 0; i < printers; ++i) {
        hive += test::PrinterKey("bench-printer-" + std::to_string(i),
                                 "\"cProtocols\"=dword:00000002\n"
                                 "\"pProtocol\"=dword:00000002\n"
                                 "\"IP Address\"=\"127.0.0." + std::to_string(i + 1) + "\"\n"
                                 "\"MAC Address\"=\"00C0FFEE0001\"\n");
    }
    hive += test::PrinterKey(kDlcPrinterName, "\"cProtocols\"=dword:00000004\n"
                                              "\"pProtocol\"=dword:00000004\n"
                                              "\"MAC Address\"=\"02000000BE02\"\n");
    hive += test::PrinterKey(kIpxPrinterName, std::string("\"cProtocols\"=dword:00000001\n"
                                                          "\"pProtocol\"=dword:00000001\n"
                                                          "\"IPX Address\"=\"") +
                                                  kIpxPrinterAddress + "\"\n\"MAC Address\"=\"00C0FFEE0001\"\n");
    hive += "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n"
            "\"UdpTimeOutInterval\"=dword:00000002\n"
            "\"UdpTotalRetries\"=dword:00000001\n\n";
    return hive;
}

// The value that names the field `id=` holds in a log line, or "".
std::string Field(const std::string &line, const std::string &name) {
    const std::size_t at = line.find(" " + name + "=");
    if (at == std::string::npos) return "";
    const std::size_t start = at + name.size() + 2;
    return line.substr(start, line.find(' ', start) - start);
}

}  // namespace

std::string ThreadObject(int thread) { return "1.3.6.1.4.1.99.1." + std::to_string(thread) + ".0"; }

std::string ThreadValue(int thread) { return "thread-" + std::to_string(thread); }

SimulatedPrinters::SimulatedPrinters() : folder_(test::MakeTempFolder("snmphelper-bench")) {
    registry_ = std::make_unique<test::TempRegistry>(Hive(kSimulatorCount));
    const std::string objects = folder_ + "/objects.txt";
    {
        std::ofstream file(objects);
        for (int t = 0; t < kThreadObjects; ++t) {
            file << ThreadObject(t) << " STRING " << ThreadValue(t) << "\n";
        }
    }
    for (int i = 0; i < kSimulatorCount; ++i) {
        simulators_.push_back(
            std::make_unique<test::PrinterSimulator>(std::vector<std::string>{"--objects", objects}, Address(i)));
    }
    // One more simulator answering over IPX and LLC across the veth pair.
    if (links != nullptr && links->Ready()) {
        linkSimulator_ = std::make_unique<test::PrinterSimulator>(
            std::vector<std::string>{"--objects", objects, "--ipx-interface", kIpxPrinterInterface,
                                     "--dlc-interface", kIpxPrinterInterface},
            "127.0.0.10");
        if (!linkSimulator_->Ready()) linkSimulator_.reset();
    }
}

void SimulatedPrinters::PrepareLinks() {
    links = std::make_unique<test::VethPair>(kIpxHostInterface, kIpxPrinterInterface, kIpxHostNode, kIpxPrinterNode);
    if (!links->Ready()) return;
    setenv("SNMPHELPER_IPX_INTERFACE", kIpxHostInterface, 1);
    setenv("SNMPHELPER_DLC_INTERFACE", kIpxHostInterface, 1);
    setenv("SNMPHELPER_PLATFORM_PATH", test::BuildTreePath("snmphelper").c_str(), 0);
}

std::string SimulatedPrinters::IpxPrinterName() const { return linkSimulator_ ? kIpxPrinterName : ""; }

std::string SimulatedPrinters::DlcPrinterName() const { return linkSimulator_ ? kDlcPrinterName : ""; }

bool SimulatedPrinters::Ready() {
    for (auto &simulator : simulators_) {
        if (!simulator->Ready()) return false;
    }
    return true;
}

namespace {

std::mutex printersLock;
std::unique_ptr<SimulatedPrinters> startedPrinters;
bool startTried = false;

}  // namespace

SimulatedPrinters *SimulatedPrinters::Get() {
    std::lock_guard<std::mutex> hold(printersLock);
    if (!startTried) {
        startTried = true;
        startedPrinters.reset(new SimulatedPrinters);
        if (!startedPrinters->Ready()) startedPrinters.reset();
    }
    return startedPrinters.get();
}

void SimulatedPrinters::StopAll() {
    std::lock_guard<std::mutex> hold(printersLock);
    startedPrinters.reset();
}

std::string SimulatedPrinters::PrinterName(int index) const {
    return "bench-printer-" + std::to_string(index % kSimulatorCount);
}

std::string SimulatedPrinters::Address(int index) const {
    return "127.0.0." + std::to_string(index % kSimulatorCount + 1);
}

std::size_t SimulatedPrinters::LoggedRequests() const {
    std::size_t count = 0;
    for (const auto &simulator : simulators_) count += simulator->LogLines().size();
    return count;
}

std::size_t SimulatedPrinters::DistinctAnsweredIds() const {
    std::set<std::string> ids;
    for (std::size_t i = 0; i < simulators_.size(); ++i) {
        for (const std::string &line : simulators_[i]->LogLines()) {
            if (Field(line, "outcome") == "answered") ids.insert(std::to_string(i) + ":" + Field(line, "id"));
        }
    }
    return ids.size();
}

}  // namespace snmphelper::bench
