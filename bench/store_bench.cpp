// SPDX-License-Identifier: Apache-2.0
// snmphelper-store-bench: what the configuration store costs at 100, 1,000
// and 10,000 printers. A transaction's read of its printer and settings in
// this process, as the library makes it; and the tool's `printer add`,
// `registry import` and `printer list`, each a process of its own as an
// administrator runs them (process start included).
//
//   snmphelper-store-bench [benchmark options]
//
// Needs no network namespace and no net-snmp.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "hive/hive_file.h"
#include "platform/registry.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"
#include "transact/printer_config.h"

namespace snmphelper::bench {
namespace {

constexpr int kSizes[] = {100, 1000, 10000};

// The library trusts a store's identity alone once its times are whole
// seconds older than kSettledSeconds; a running system's store is older.
constexpr auto kSettled = std::chrono::seconds(platform::hive::kSettledSeconds + 1) + std::chrono::milliseconds(100);

std::string PrinterName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "printer%05d", index);
    return name;
}

// The .reg text of a store of `printers` printers and the `Snmp` settings.
std::string StoreText(int printers) {
    std::string text =
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n"
        "\"UdpTimeOutInterval\"=dword:00000002\n"
        "\"UdpTotalRetries\"=dword:00000001\n\n";
    for (int i = 0; i < printers; ++i) {
        char values[160];
        std::snprintf(values, sizeof values,
                      "\"cProtocols\"=dword:00000002\n\"pProtocol\"=dword:00000002\n\"MAC Address\"=\"\"\n"
                      "\"IP Address\"=\"10.%d.%d.%d\"\n",
                      (i >> 16) & 255, (i >> 8) & 255, i & 255);
        text += test::PrinterKey(PrinterName(i), values);
    }
    return text;
}

void WriteFile(const std::string &path, const std::string &bytes) {
    if (FILE *file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
}

// One folder for every case: the stores' text, and the store the cases use.
class StoreFolder {
public:
    StoreFolder() : registry_() {}
    const std::string &Store() const { return registry_.Path(); }
    // The text of a store of `printers`, written once, as a file to import.
    const std::string &TextFile(int printers) {
        std::string &path = textFiles_[printers];
        if (path.empty()) {
            path = registry_.Folder() + "/printers-" + std::to_string(printers) + ".reg";
            WriteFile(path, StoreText(printers));
        }
        return path;
    }
    // Makes the store that of `printers` printers (a few more after the
    // cases that add), as old as a settled one.
    void Fill(int printers) {
        if (filled_ == printers) return;
        std::filesystem::copy_file(TextFile(printers), Store(), std::filesystem::copy_options::overwrite_existing);
        std::this_thread::sleep_for(kSettled);
        filled_ = printers;
    }
    // The store is gone or replaced.
    void Empty() {
        unlink(Store().c_str());
        filled_ = 0;
    }

private:
    test::TempRegistry registry_;
    std::map<int, std::string> textFiles_;
    int filled_ = 0;
};

StoreFolder &Folder() {
    static StoreFolder *const folder = new StoreFolder;
    return *folder;
}

// The processor time the tool's processes took, which the machine's load
// moves less than their wall-clock time: milliseconds per run.
class ToolTime {
public:
    ToolTime() : start_(ChildrenSeconds()) {}
    void Report(benchmark::State &state) const {
        if (state.iterations() == 0) return;
        state.counters["tool_cpu_ms"] =
            1000 * (ChildrenSeconds() - start_) / static_cast<double>(state.iterations());
    }

private:
    static double ChildrenSeconds() {
        rusage usage{};
        getrusage(RUSAGE_CHILDREN, &usage);
        return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    double start_;
};

// One transaction's reading of the store: its printer's key and the
// settings, sharing one reading as the transaction engine does.
void TransactionRead(benchmark::State &state) {
    const int printers = static_cast<int>(state.range(0));
    Folder().Fill(printers);
    const std::string name = PrinterName(printers / 2);
    // The first read after the store changed parses it: not what every
    // transaction costs.
    PrinterAddressRecord first;
    InitPrinterAddressRecord(&first);
    ReadPrinterSettings(name.c_str(), &first, nullptr);
    for (auto _ : state) {
        platform::RegistryReading reading;
        PrinterAddressRecord record;
        InitPrinterAddressRecord(&record);
        PrinterExtras extras;
        std::int32_t timeout = 0;
        std::int32_t retries = 0;
        std::uint32_t checks = 0;
        if (ReadPrinterSettings(name.c_str(), &record, &extras) != 0) {
            state.SkipWithError("the printer cannot be read");
            break;
        }
        GetTransactionSettings(&timeout, &retries, &checks);
        benchmark::DoNotOptimize(record);
        benchmark::DoNotOptimize(retries);
    }
    state.SetItemsProcessed(state.iterations());
}

// Runs the tool with `arguments`; false, the case marked failed, when it fails.
bool RunTool(benchmark::State &state, const std::vector<std::string> &arguments) {
    const test::ProgramRun run = test::RunSnmphelper(arguments);
    if (run.exitCode == 0) return true;
    state.SkipWithError((arguments[0] + " " + arguments[1] + " failed: " + run.out).c_str());
    return false;
}

// `snmphelper printer add` of a new printer each time.
void ToolPrinterAdd(benchmark::State &state) {
    Folder().Fill(static_cast<int>(state.range(0)));
    static int added = 0;  // over every run of the case: each adds a new name
    const ToolTime tool;
    for (auto _ : state) {
        if (!RunTool(state, {"printer", "add", "added" + std::to_string(++added), "--ip", "10.200.0.1"})) break;
    }
    tool.Report(state);
}

// `snmphelper registry import` of that many printers into an empty store.
void ToolRegistryImport(benchmark::State &state) {
    const std::string file = Folder().TextFile(static_cast<int>(state.range(0)));
    const ToolTime tool;
    for (auto _ : state) {
        state.PauseTiming();
        Folder().Empty();
        state.ResumeTiming();
        if (!RunTool(state, {"registry", "import", file})) break;
    }
    tool.Report(state);
}

// `snmphelper printer list` (its output collected through a pipe).
void ToolPrinterList(benchmark::State &state) {
    Folder().Fill(static_cast<int>(state.range(0)));
    const ToolTime tool;
    for (auto _ : state) {
        if (!RunTool(state, {"printer", "list"})) break;
    }
    tool.Report(state);
}

void AllSizes(benchmark::internal::Benchmark *benchmark) {
    for (int size : kSizes) benchmark->Arg(size);
    benchmark->Unit(benchmark::kMicrosecond);
}

BENCHMARK(TransactionRead)->Name("store:transaction_read")->Apply(AllSizes);
BENCHMARK(ToolPrinterAdd)->Name("store:printer_add")->Apply(AllSizes)->UseRealTime();
BENCHMARK(ToolRegistryImport)->Name("store:registry_import")->Apply(AllSizes)->UseRealTime();
BENCHMARK(ToolPrinterList)->Name("store:printer_list")->Apply(AllSizes)->UseRealTime();

}  // namespace
}  // namespace snmphelper::bench

BENCHMARK_MAIN();
