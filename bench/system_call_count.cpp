// SPDX-License-Identifier: Apache-2.0
// strace -c attached to the running benchmark (-p, -f for every thread) while
// one thread runs N transactions of one kind: strace, not a count kept by the
// library, so that both sides are counted the same way, including whatever
// their C libraries call underneath. The timed cases run without it.
#include "bench/system_call_count.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/floor_bench.h"
#include "bench/messages.h"
#include "bench/netsnmp_side.h"
#include "bench/round_trip_counts.h"
#include "bench/simulated_printers.h"
#include "tests/support/child_process.h"

namespace snmphelper::bench {
namespace {

constexpr int kTransactions = 1000;

// TracerPid of /proc/self/status: non-zero once strace has attached.
bool Traced() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("TracerPid:", 0) == 0) return std::stol(line.substr(10)) != 0;
    }
    return false;
}

struct CallCount {
    std::string name;
    unsigned long calls = 0;
};

// The per-call rows and the total of strace -c's table.
bool ParseSummary(const std::string &path, std::vector<CallCount> &rows, unsigned long &total) {
    std::ifstream file(path);
    std::string line;
    bool sawTotal = false;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::vector<std::string> fields;
        for (std::string word; words >> word;) fields.push_back(word);
        // "% time  seconds  usecs/call  calls  [errors]  syscall"
        if (fields.size() < 5 || fields[0].find_first_not_of("0123456789.") != std::string::npos) continue;
        CallCount row{fields.back(), std::stoul(fields[3])};
        if (row.name == "total") {
            total = row.calls;
            sawTotal = true;
        } else {
            rows.push_back(row);
        }
    }
    return sawTotal;
}

// Runs `transaction` kTransactions times under strace; false when strace
// could not attach or a transaction failed.
bool Count(const std::function<bool()> &transaction, std::vector<CallCount> &rows, unsigned long &total) {
    // Whatever the first use sets up (net-snmp's initialisation, the
    // simulators) stays out of the count.
    if (!transaction()) return false;
    const std::string path = test::MakeTempFolder("snmphelper-bench-strace") + "/summary";
    test::ChildProcess strace(
        {"strace", "-q", "-f", "-c", "-o", path, "-p", std::to_string(static_cast<long>(getpid()))});
    if (!strace.Started()) return false;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Traced()) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    bool ok = true;
    for (int i = 0; i < kTransactions && ok; ++i) ok = transaction();
    strace.Stop();  // strace detaches and writes its table on SIGTERM
    return ok && ParseSummary(path, rows, total);
}

void PrintCounts(const char *label, const std::function<bool()> &transaction) {
    std::vector<CallCount> rows;
    unsigned long total = 0;
    if (!Count(transaction, rows, total)) {
        std::printf("  %-34s not counted (strace missing, not allowed to attach, or a get failed)\n", label);
        return;
    }
    std::string byCall;
    for (const CallCount &row : rows) {
        // strace's own attaching and detaching (kill, restart_syscall) and
        // one-off work show up once in the whole run: not per transaction.
        if (row.calls * 100 < kTransactions) continue;
        char item[64];
        std::snprintf(item, sizeof item, "%s%s %.3g", byCall.empty() ? "" : ", ", row.name.c_str(),
                      static_cast<double>(row.calls) / kTransactions);
        byCall += item;
    }
    std::printf("  %-34s %6.2f  (%s)\n", label, static_cast<double>(total) / kTransactions, byCall.c_str());
}

}  // namespace

void PrintSystemCallCounts() {
    SimulatedPrinters *printers = SimulatedPrinters::Get();
    if (printers == nullptr) return;
    netsnmp::Initialise();
    std::printf("\nSystem calls per get of 1 object (strace -f -c over %d gets, same agent):\n", kTransactions);
    const std::string printer = printers->PrinterName(0);
    const std::string oidList = RequestOf(1).oidList;
    const std::string peer = printers->Address(0) + ":161";
    PrintCounts("ours: HelperSNMPTransact", [&] { return TransactOurs(printer, oidList, 1, nullptr); });
    PrintCounts("net-snmp: open, get, close", [&] { return netsnmp::OneShotGet(peer, 1); });
    if (const char *hive = std::getenv("SNMPHELPER_REGISTRY")) {
        FloorGet floor(hive, printers->Address(0));
        PrintCounts("floor: the mandated calls alone", [&] { return floor.Once(nullptr); });
    }
    netsnmp::Session session(peer);
    PrintCounts("net-snmp: get on an open session", [&] { return session.Open() && session.Get(1); });
}

}  // namespace snmphelper::bench
