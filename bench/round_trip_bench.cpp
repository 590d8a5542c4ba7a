// SPDX-License-Identifier: Apache-2.0
// Round trips over loopback UDP against the printer simulator: one get at a
// time, and many threads at once.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/floor_bench.h"
#include "bench/messages.h"
#include "bench/netsnmp_side.h"
#include "bench/round_trip_counts.h"
#include "bench/simulated_printers.h"
#include "snmphelper.h"

namespace snmphelper::bench {
namespace {

constexpr int kThreadCounts[] = {1, 4, 16, 64};

std::atomic<std::uint64_t> transactionsDone{0};
std::atomic<std::uint64_t> wrongReplies{0};

void RoundTripOurs(benchmark::State &state, int count) {
    SimulatedPrinters *printers = SimulatedPrinters::Get();
    if (printers == nullptr) {
        state.SkipWithError("no printer simulator: run inside a network namespace (tests/support/in_netns.sh)");
        return;
    }
    const std::string oidList = RequestOf(count).oidList;
    const std::string printer = printers->PrinterName(0);
    for (auto _ : state) {
        if (!TransactOurs(printer, oidList, count, nullptr)) {
            state.SkipWithError("transaction failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// The same get to a printer reached over IPX or DLC, beside UDP's figure.
void RoundTripOursOverLink(benchmark::State &state, bool dlc) {
    SimulatedPrinters *printers = SimulatedPrinters::Get();
    const std::string printer =
        printers == nullptr ? "" : dlc ? printers->DlcPrinterName() : printers->IpxPrinterName();
    if (printer.empty()) {
        state.SkipWithError("no IPX or DLC printer: needs a network namespace that allows a veth pair");
        return;
    }
    const std::string oidList = RequestOf(1).oidList;
    for (auto _ : state) {
        if (!TransactOurs(printer, oidList, 1, nullptr)) {
            state.SkipWithError("transaction failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void RoundTripNetSnmp(benchmark::State &state, int count) {
    SimulatedPrinters *printers = SimulatedPrinters::Get();
    if (printers == nullptr) {
        state.SkipWithError("no printer simulator: run inside a network namespace (tests/support/in_netns.sh)");
        return;
    }
    netsnmp::Initialise();
    netsnmp::Session session(printers->Address(0) + ":161");
    if (!session.Open()) {
        state.SkipWithError("snmp_sess_open failed");
        return;
    }
    for (auto _ : state) {
        const bool ok = session.Get(count);
        transactionsDone.fetch_add(1, std::memory_order_relaxed);
        if (!ok) {
            state.SkipWithError("snmp_sess_synch_response failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// What a caller asking about one printer at a time does with net-snmp: a
// session opened, one get, the session closed, every call. Ours is
// RoundTripOurs: every HelperSNMPTransact is one such use.
void OneShotNetSnmp(benchmark::State &state, int count) {
    SimulatedPrinters *printers = SimulatedPrinters::Get();
    if (printers == nullptr) {
        state.SkipWithError("no printer simulator: run inside a network namespace (tests/support/in_netns.sh)");
        return;
    }
    netsnmp::Initialise();
    const std::string peer = printers->Address(0) + ":161";
    for (auto _ : state) {
        const bool ok = netsnmp::OneShotGet(peer, count);
        transactionsDone.fetch_add(1, std::memory_order_relaxed);
        if (!ok) {
            state.SkipWithError("one-shot get failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

// The mandated system calls of one get and nothing else, against the same
// agent and the same hive file, with the time of each group of calls.
void OneShotFloor(benchmark::State &state) {
    SimulatedPrinters *printers = SimulatedPrinters::Get();
    const char *hive = std::getenv("SNMPHELPER_REGISTRY");
    if (printers == nullptr || hive == nullptr) {
        state.SkipWithError("no printer simulator: run inside a network namespace (tests/support/in_netns.sh)");
        return;
    }
    FloorGet floor(hive, printers->Address(0));
    FloorPhases phases;
    FloorPhases total;
    for (auto _ : state) {
        const bool ok = floor.Once(&phases);
        transactionsDone.fetch_add(1, std::memory_order_relaxed);
        if (!ok) {
            state.SkipWithError("floor get failed");
            break;
        }
        total.hive += phases.hive;
        total.socket += phases.socket;
        total.exchange += phases.exchange;
        total.close += phases.close;
    }
    state.SetItemsProcessed(state.iterations());
    const auto perGet = benchmark::Counter::kAvgIterations;
    state.counters["hive_ns"] = benchmark::Counter(static_cast<double>(total.hive), perGet);
    state.counters["socket_ns"] = benchmark::Counter(static_cast<double>(total.socket), perGet);
    state.counters["exchange_ns"] = benchmark::Counter(static_cast<double>(total.exchange), perGet);
    state.counters["close_ns"] = benchmark::Counter(static_cast<double>(total.close), perGet);
}

// Each thread reads its own object from printer (thread mod simulators) and
// checks that the value is its own: a reply handed to the wrong request
// would carry another thread's value.
void ConcurrentOurs(benchmark::State &state) {
    SimulatedPrinters *printers = SimulatedPrinters::Get();
    if (printers == nullptr) {
        state.SkipWithError("no printer simulator: run inside a network namespace (tests/support/in_netns.sh)");
        return;
    }
    const int thread = state.thread_index();
    const std::string printer = printers->PrinterName(thread);
    const std::string object = ThreadObject(thread);
    const std::string value = ThreadValue(thread);
    const std::string expected = "2," + std::to_string(value.size()) + "," + value;
    for (auto _ : state) {
        if (!TransactOurs(printer, object, 1, expected.c_str())) wrongReplies.fetch_add(1);
    }
    state.SetItemsProcessed(state.iterations());
}

void ConcurrentNetSnmp(benchmark::State &state) {
    SimulatedPrinters *printers = SimulatedPrinters::Get();
    if (printers == nullptr) {
        state.SkipWithError("no printer simulator: run inside a network namespace (tests/support/in_netns.sh)");
        return;
    }
    netsnmp::Initialise();
    const int thread = state.thread_index();
    netsnmp::Session session(printers->Address(thread) + ":161");
    const std::string object = ThreadObject(thread);
    const std::string expected = ThreadValue(thread);
    std::string value;
    for (auto _ : state) {
        const bool ok = session.Open() && session.GetOne(object, &value);
        transactionsDone.fetch_add(1, std::memory_order_relaxed);
        if (!ok || value != expected) wrongReplies.fetch_add(1);
    }
    state.SetItemsProcessed(state.iterations());
}

[[maybe_unused]] const bool registered = [] {
    for (int count : {1, 7}) {
        const std::string n = std::to_string(count);
        benchmark::RegisterBenchmark(("ours:round_trip_get_" + n).c_str(), RoundTripOurs, count)->UseRealTime();
        benchmark::RegisterBenchmark(("netsnmp:round_trip_get_" + n).c_str(), RoundTripNetSnmp, count)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("ours:one_shot_get_1", RoundTripOurs, 1)->UseRealTime();
    benchmark::RegisterBenchmark("netsnmp:one_shot_get_1", OneShotNetSnmp, 1)->UseRealTime();
    benchmark::RegisterBenchmark("floor:one_shot_get_1", OneShotFloor)->UseRealTime();
    benchmark::RegisterBenchmark("ours:round_trip_get_1_over_ipx", RoundTripOursOverLink, false)->UseRealTime();
    benchmark::RegisterBenchmark("ours:round_trip_get_1_over_dlc", RoundTripOursOverLink, true)->UseRealTime();
    for (int threads : kThreadCounts) {
        benchmark::RegisterBenchmark("ours:concurrent_get", ConcurrentOurs)->Threads(threads)->UseRealTime();
        benchmark::RegisterBenchmark("netsnmp:concurrent_get", ConcurrentNetSnmp)->Threads(threads)->UseRealTime();
    }
    return true;
}();

}  // namespace

bool TransactOurs(const std::string &printer, const std::string &oidList, int count, const char *expected) {
    char oids[2048];
    char values[4096];
    std::memcpy(oids, oidList.c_str(), oidList.size() + 1);
    std::uint32_t valueSize = sizeof values;
    const std::int32_t result = HelperSNMPTransact(printer.c_str(), SNMP_REQUEST_GET, oids, sizeof oids, values,
                                                   &valueSize, static_cast<std::uint32_t>(count));
    transactionsDone.fetch_add(1, std::memory_order_relaxed);
    return result == SNMP_RESULT_OK && (expected == nullptr || std::strcmp(values, expected) == 0);
}

RoundTripCounts CurrentRoundTripCounts() {
    return {transactionsDone.load(), wrongReplies.load()};
}

}  // namespace snmphelper::bench
