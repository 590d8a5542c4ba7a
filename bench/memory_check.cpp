// SPDX-License-Identifier: Apache-2.0
#include "bench/memory_check.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

#include "bench/malloc_counter.h"
#include "bench/messages.h"
#include "bench/netsnmp_side.h"
#include "bench/simulated_printers.h"
#include "platform/heap.h"
#include "snmphelper.h"

namespace snmphelper::bench {
namespace {

struct PerOperation {
    double heapAllocations;
    double mallocAllocations;
};

PerOperation Measure(std::uint64_t operations, const std::function<bool()> &operation) {
    const std::uint64_t heapBefore = platform::HeapAllocationCount();
    const MallocCounts mallocBefore = CurrentMallocCounts();
    for (std::uint64_t i = 0; i < operations; ++i) {
        if (!operation()) return {-1, -1};
    }
    const std::uint64_t heapAfter = platform::HeapAllocationCount();
    const MallocCounts mallocAfter = CurrentMallocCounts();
    const auto n = static_cast<double>(operations);
    return {static_cast<double>(heapAfter - heapBefore) / n,
            static_cast<double>(mallocAfter.allocations - mallocBefore.allocations) / n};
}

bool EncodeOnce(int count) {
    std::uint8_t buffer[4096];
    std::uint16_t length = sizeof buffer;
    return HelperSnmpEncodePdu(&RequestOf(count).record, buffer, &length) == SNMP_ENCODE_OK;
}

bool DecodeOnce(int count) {
    const std::vector<std::uint8_t> &message = ResponseOf(count);
    SnmpReqParam *reply = HelperSnmpDecodePdu(message.data(), static_cast<std::uint32_t>(message.size()));
    if (reply == nullptr) return false;
    HelperFreeReqParam(reply);
    return true;
}

bool TransactOnce(const std::string &printer, int count) {
    std::string list = RequestOf(count).oidList;
    char oids[2048];
    char values[4096];
    std::memcpy(oids, list.c_str(), list.size() + 1);
    std::uint32_t valueSize = sizeof values;
    return HelperSNMPTransact(printer.c_str(), SNMP_REQUEST_GET, oids, sizeof oids, values, &valueSize,
                              static_cast<std::uint32_t>(count)) == SNMP_RESULT_OK;
}

long PeakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::int64_t LiveMallocBlocks() {
    const MallocCounts counts = CurrentMallocCounts();
    return static_cast<std::int64_t>(counts.allocations) - static_cast<std::int64_t>(counts.releases);
}

void PrintRow(const char *what, PerOperation ours, double theirs) {
    std::printf("  %-28s %12.1f %14.1f %14.1f\n", what, ours.heapAllocations, ours.mallocAllocations, theirs);
}

struct Snapshot {
    std::int64_t heapLive;
    std::int64_t mallocLive;
    long residentKiB;
};

Snapshot Take() { return {platform::HeapLiveBlocks(), LiveMallocBlocks(), ResidentKiB()}; }

void PrintGrowth(const char *what, const Snapshot &before, const Snapshot &after, double seconds) {
    std::printf("  %-34s heap live %lld -> %lld, malloc live %lld -> %lld, RSS %ld -> %ld KiB (%.1f s)\n", what,
                static_cast<long long>(before.heapLive), static_cast<long long>(after.heapLive),
                static_cast<long long>(before.mallocLive), static_cast<long long>(after.mallocLive),
                before.residentKiB, after.residentKiB, seconds);
}

// Growth allowed for things outside the library's control (stdio buffers,
// the allocator's arenas): none in blocks, 1 MiB in resident size.
constexpr long kResidentSlackKiB = 1024;

bool Grew(const Snapshot &before, const Snapshot &after) {
    return after.heapLive > before.heapLive || after.mallocLive > before.mallocLive ||
           after.residentKiB > before.residentKiB + kResidentSlackKiB;
}

}  // namespace

void PrintAllocationFigures() {
    netsnmp::Initialise();
    std::printf("\nAllocations per operation (ours: heap seam / all malloc; net-snmp: all malloc)\n");
    std::printf("  %-28s %12s %14s %14s\n", "operation", "ours heap", "ours malloc", "net-snmp malloc");
    for (int count : {1, 7, 31}) {
        netsnmp::Encoder encoder(count);
        const PerOperation theirs = Measure(1000, [&] {
            const std::uint8_t *message = nullptr;
            std::size_t length = 0;
            return encoder.Encode(message, length);
        });
        PrintRow(("encode_get_" + std::to_string(count)).c_str(), Measure(1000, [&] { return EncodeOnce(count); }),
                 theirs.mallocAllocations);
    }
    for (int count : {1, 7, 31}) {
        netsnmp::Decoder decoder;
        const PerOperation theirs =
            Measure(1000, [&] { return decoder.Decode(ResponseOf(count), static_cast<std::size_t>(count)); });
        PrintRow(("decode_response_" + std::to_string(count)).c_str(),
                 Measure(1000, [&] { return DecodeOnce(count); }), theirs.mallocAllocations);
    }
    if (SimulatedPrinters *printers = SimulatedPrinters::Get(); printers != nullptr) {
        for (int count : {1, 7}) {
            netsnmp::Session session(printers->Address(0) + ":161");
            const PerOperation theirs = Measure(500, [&] { return session.Get(count); });
            const std::string printer = printers->PrinterName(0);
            PrintRow(("round_trip_get_" + std::to_string(count)).c_str(),
                     Measure(500, [&] { return TransactOnce(printer, count); }), theirs.mallocAllocations);
        }
    }
    std::printf("  peak resident size of this process (both sides, all cases): %ld KiB\n", PeakResidentKiB());
}

int RunSoak(std::uint64_t codecRounds, std::uint64_t transactions) {
    std::printf("Soak: %llu codec round trips (encode GetRequest + decode GetResponse of 7 variables), "
                "%llu transactions (get of 1 variable)\n",
                static_cast<unsigned long long>(codecRounds), static_cast<unsigned long long>(transactions));
    bool grew = false;
    using Clock = std::chrono::steady_clock;

    // Warm up first, so that the allocator's arenas and stdio are settled.
    for (int i = 0; i < 10000; ++i) EncodeOnce(7), DecodeOnce(7);
    Snapshot before = Take();
    auto start = Clock::now();
    for (std::uint64_t i = 0; i < codecRounds; ++i) {
        if (!EncodeOnce(7) || !DecodeOnce(7)) {
            std::printf("  codec round trip %llu failed\n", static_cast<unsigned long long>(i));
            return 1;
        }
    }
    Snapshot after = Take();
    PrintGrowth("codec round trips:", before, after, std::chrono::duration<double>(Clock::now() - start).count());
    grew = grew || Grew(before, after);

    SimulatedPrinters *printers = SimulatedPrinters::Get();
    if (printers == nullptr) {
        std::printf("  no printer simulator: run inside a network namespace (tests/support/in_netns.sh)\n");
        return 1;
    }
    const std::string printer = printers->PrinterName(0);
    for (int i = 0; i < 1000; ++i) TransactOnce(printer, 1);
    before = Take();
    start = Clock::now();
    std::uint64_t failed = 0;
    for (std::uint64_t i = 0; i < transactions; ++i) {
        if (!TransactOnce(printer, 1)) ++failed;
    }
    after = Take();
    PrintGrowth("transactions:", before, after, std::chrono::duration<double>(Clock::now() - start).count());
    std::printf("  failed transactions: %llu\n", static_cast<unsigned long long>(failed));
    grew = grew || Grew(before, after) || failed != 0;
    std::printf("Soak %s\n", grew ? "FAILED: something grew or failed" : "passed: no growth");
    return grew ? 1 : 0;
}

}  // namespace snmphelper::bench
