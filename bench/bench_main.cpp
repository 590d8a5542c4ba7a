// SPDX-License-Identifier: Apache-2.0
// snmphelper-bench: our library against net-snmp's on the same messages and
// the same agent, in one run, with a summary table of both figures and their
// ratio per case.
//
//   snmphelper-bench [benchmark options]   every case, then the summary
//   snmphelper-bench --soak [--codec-rounds N] [--transactions N]
//   snmphelper-bench --fleet                 only the fleet poll against net-snmp's asynchronous API
//                                            and the simulator's capacity
//   snmphelper-bench --capacity [PRINTERS]   only the simulator's capacity (10,000 printers)
//
// The round trips talk to printer simulators on 127.0.0.N port 161, so run it
// inside a private network namespace: tests/support/in_netns.sh.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_checks.h"
#include "bench/fleet_poll_bench.h"
#include "bench/memory_check.h"
#include "bench/netsnmp_side.h"
#include "bench/round_trip_counts.h"
#include "bench/simulator_load.h"
#include "bench/simulated_printers.h"
#include "bench/system_call_count.h"
#include "library/library_entry.h"

namespace snmphelper::bench {
namespace {

// One finished case: nanoseconds per operation and operations per second
// (for the threaded cases, of all threads together).
struct Figure {
    double nanoseconds = 0;
    double perSecond = 0;
    bool failed = false;
};

// Console output as usual, and every run kept for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.run_type != Run::RT_Iteration) continue;
            Figure figure;
            figure.failed = run.error_occurred;
            figure.nanoseconds = run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                                 benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (auto it = run.counters.find("items_per_second"); it != run.counters.end()) {
                figure.perSecond = it->second.value;
            }
            figures[run.benchmark_name()] = figure;
        }
    }

    std::map<std::string, Figure> figures;
};

// "ours:encode_get_7" -> side "ours", case "encode_get_7"; the threaded runs
// keep their "/threads:N/real_time" suffix in the case.
bool SplitName(const std::string &name, std::string &side, std::string &caseName) {
    const std::size_t colon = name.find(':');
    if (colon == std::string::npos) return false;
    side = name.substr(0, colon);
    caseName = name.substr(colon + 1);
    return true;
}

// Time per operation as the summary writes it.
void FormatTime(const Figure *figure, bool threaded, char (&out)[32]) {
    if (figure == nullptr) return;
    if (figure->failed) {
        std::snprintf(out, sizeof out, "failed");
    } else if (threaded) {
        std::snprintf(out, sizeof out, "%.0f tx/s", figure->perSecond);
    } else if (figure->nanoseconds >= 100000) {
        std::snprintf(out, sizeof out, "%.1f us", figure->nanoseconds / 1000);
    } else {
        std::snprintf(out, sizeof out, "%.0f ns", figure->nanoseconds);
    }
}

bool Usable(const Figure *figure) { return figure != nullptr && !figure->failed; }

// How the floor of one get compares with ours and with net-snmp's one-shot
// and persistent-session gets: times as many as the floor takes.
void PrintFloorComparison(const std::map<std::string, Figure> &figures) {
    auto find = [&](const char *name) -> const Figure * {
        const auto it = figures.find(name);
        return it == figures.end() || it->second.failed ? nullptr : &it->second;
    };
    const Figure *floor = find("floor:one_shot_get_1/real_time");
    if (floor == nullptr || floor->nanoseconds <= 0) return;
    std::printf("\nFloor of one get (only the mandated system calls, no library): %.1f us. Times the floor:\n",
                floor->nanoseconds / 1000);
    const std::pair<const char *, const char *> rows[] = {
        {"ours: HelperSNMPTransact", "ours:one_shot_get_1/real_time"},
        {"net-snmp: open, get, close", "netsnmp:one_shot_get_1/real_time"},
        {"net-snmp: get on an open session", "netsnmp:round_trip_get_1/real_time"},
    };
    for (const auto &[label, name] : rows) {
        if (const Figure *figure = find(name)) {
            std::printf("  %-34s %8.1f us  %5.2fx\n", label, figure->nanoseconds / 1000,
                        figure->nanoseconds / floor->nanoseconds);
        }
    }
}

void PrintSummary(const std::map<std::string, Figure> &figures) {
    struct Sides {
        const Figure *ours = nullptr;
        const Figure *theirs = nullptr;
        const Figure *floor = nullptr;
    };
    std::map<std::string, Sides> cases;
    for (const auto &[name, figure] : figures) {
        std::string side;
        std::string caseName;
        if (!SplitName(name, side, caseName)) continue;
        Sides &sides = cases[caseName];
        (side == "ours" ? sides.ours : side == "floor" ? sides.floor : sides.theirs) = &figure;
    }
    std::printf("\nSummary (same binary, same run). Codec and single round trips: time per operation;\n"
                "concurrent: transactions per second of all threads. Ratio: how many times faster ours is.\n"
                "Floor: the mandated system calls of the get alone, without a library.\n");
    std::printf("  %-40s %16s %16s %8s %12s\n", "case", "ours", "net-snmp", "ratio", "floor");
    for (const auto &[caseName, sides] : cases) {
        const bool threaded = caseName.find("threads:") != std::string::npos;
        char oursText[32] = "-";
        char theirsText[32] = "-";
        char floorText[32] = "-";
        char ratioText[16] = "-";
        FormatTime(sides.ours, threaded, oursText);
        FormatTime(sides.theirs, threaded, theirsText);
        FormatTime(sides.floor, threaded, floorText);
        if (Usable(sides.ours) && Usable(sides.theirs)) {
            const double ratio = threaded ? sides.ours->perSecond / sides.theirs->perSecond
                                          : sides.theirs->nanoseconds / sides.ours->nanoseconds;
            std::snprintf(ratioText, sizeof ratioText, "%.2fx", ratio);
        }
        std::printf("  %-40s %16s %16s %8s %12s\n", caseName.c_str(), oursText, theirsText, ratioText, floorText);
    }
    PrintFloorComparison(figures);
}

void PrintRequestIdCheck() {
    SimulatedPrinters *printers = SimulatedPrinters::Get();
    if (printers == nullptr) return;
    const RoundTripCounts counts = CurrentRoundTripCounts();
    const std::size_t logged = printers->LoggedRequests();
    const std::size_t distinct = printers->DistinctAnsweredIds();
    std::printf("\nRequest-id check over every round trip of the run (both sides): %llu exchanges, "
                "%zu requests logged by the simulators, %zu distinct request-ids answered, "
                "%llu replies failed or carried another thread's value\n",
                static_cast<unsigned long long>(counts.transactions), logged, distinct,
                static_cast<unsigned long long>(counts.wrongReplies));
}

std::uint64_t NumberAfter(int &i, int argc, char **argv, std::uint64_t otherwise) {
    if (i + 1 >= argc) return otherwise;
    return std::strtoull(argv[++i], nullptr, 10);
}

}  // namespace
}  // namespace snmphelper::bench

int main(int argc, char **argv) {
    using namespace snmphelper;
    using namespace snmphelper::bench;
    // The net-snmp side of the fleet poll, started by the comparison as a process of its own.
    if (argc > 1 && std::strcmp(argv[1], "--fleet-netsnmp") == 0) return RunNetSnmpFleetProcess(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--capacity") == 0) {
        RunSimulatorCapacity(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 10000);
        return 0;
    }
    static int moduleToken = 0;
    SimulatedPrinters::PrepareLinks();
    LibraryEntry(&moduleToken, kProcessAttach);

    bool soak = false;
    bool fleetOnly = false;
    std::uint64_t codecRounds = 1000000;
    std::uint64_t transactions = 100000;
    std::vector<char *> rest{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--soak") == 0) {
            soak = true;
        } else if (std::strcmp(argv[i], "--fleet") == 0) {
            fleetOnly = true;
        } else if (std::strcmp(argv[i], "--codec-rounds") == 0) {
            codecRounds = NumberAfter(i, argc, argv, codecRounds);
        } else if (std::strcmp(argv[i], "--transactions") == 0) {
            transactions = NumberAfter(i, argc, argv, transactions);
        } else {
            rest.push_back(argv[i]);
        }
    }
    if (!CheckEncodingsAgree()) return 1;
    if (soak) {
        const int soakResult = RunSoak(codecRounds, transactions);
        SimulatedPrinters::StopAll();
        return soakResult;
    }

    if (fleetOnly) {
        const bool ran = RunFleetPollComparison();
        SimulatedPrinters::StopAll();
        return ran ? 0 : 1;
    }

    int benchmarkArgc = static_cast<int>(rest.size());
    benchmark::Initialize(&benchmarkArgc, rest.data());
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(reporter.figures);
    PrintRequestIdCheck();
    PrintSystemCallCounts();
    PrintAllocationFigures();
    RunFleetPollComparison();
    SimulatedPrinters::StopAll();
    benchmark::Shutdown();
    return 0;
}
