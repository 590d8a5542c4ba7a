// snmphelper-bench: our library against net-snmp's on the same messages and
// the same agent, in one run, with a summary table of both figures and their
// ratio per case.
//
//   snmphelper-bench [benchmark options]   every case, then the summary
//   snmphelper-bench --soak [--codec-rounds N] [--transactions N]
//   snmphelper-bench --fleet                 only the fleet poll against snmpget
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
#include "bench/simulated_printers.h"
#include "bench/system_call_count.h"
#include "groups/library_entry.h"

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

void PrintSummary(const std::map<std::string, Figure> &figures) {
    std::map<std::string, std::pair<const Figure *, const Figure *>> cases;
    std::vector<std::string> order;
    for (const auto &[name, figure] : figures) {
        std::string side;
        std::string caseName;
        if (!SplitName(name, side, caseName)) continue;
        auto &pair = cases[caseName];
        (side == "ours" ? pair.first : pair.second) = &figure;
    }
    std::printf("\nSummary (same binary, same run). Codec and single round trips: time per operation;\n"
                "concurrent: transactions per second of all threads. Ratio: how many times faster ours is.\n");
    std::printf("  %-40s %16s %16s %8s\n", "case", "ours", "net-snmp", "ratio");
    for (const auto &[caseName, pair] : cases) {
        const Figure *ours = pair.first;
        const Figure *theirs = pair.second;
        const bool threaded = caseName.find("threads:") != std::string::npos;
        char oursText[32] = "-";
        char theirsText[32] = "-";
        char ratioText[16] = "-";
        auto format = [&](const Figure *f, char *out) {
            if (f == nullptr) return;
            if (f->failed) {
                std::snprintf(out, 32, "failed");
            } else if (threaded) {
                std::snprintf(out, 32, "%.0f tx/s", f->perSecond);
            } else if (f->nanoseconds >= 100000) {
                std::snprintf(out, 32, "%.1f us", f->nanoseconds / 1000);
            } else {
                std::snprintf(out, 32, "%.0f ns", f->nanoseconds);
            }
        };
        format(ours, oursText);
        format(theirs, theirsText);
        if (ours != nullptr && theirs != nullptr && !ours->failed && !theirs->failed) {
            const double ratio =
                threaded ? ours->perSecond / theirs->perSecond : theirs->nanoseconds / ours->nanoseconds;
            std::snprintf(ratioText, sizeof ratioText, "%.2fx", ratio);
        }
        std::printf("  %-40s %16s %16s %8s\n", caseName.c_str(), oursText, theirsText, ratioText);
    }
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
