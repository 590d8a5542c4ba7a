// SPDX-License-Identifier: Apache-2.0
#include "bench/fleet_poll_bench.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/netsnmp_side.h"
#include "bench/simulator_load.h"
#include "hive/hive_file.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"

extern char **environ;

namespace snmphelper::bench {
namespace {

constexpr char kFirstAddress[] = "127.3.0.1";
constexpr int kSilentEvery = 20;  // 5% of the printers
constexpr std::size_t kWindow = 256;  // net-snmp's printers at once
// The poll's threads: each drives an engine with its share of the fleet in
// flight, so one is enough.
constexpr std::size_t kPollThreads = 1;
constexpr std::size_t kCapacityPrinters = 10000;
// Timed runs of each side per case (an odd number: the median is one of them).
constexpr std::size_t kRunsEach = 5;

// What `snmphelper poll` walks, in its order: the status view's 27 columns
// (net-snmp's side asks the same, and after them the same objects of the
// rows they found).
const std::vector<std::string> &StatusColumns() {
    static const std::vector<std::string> kColumns = {
        "1.3.6.1.2.1.1.5",         "1.3.6.1.2.1.25.3.2.1.2",  "1.3.6.1.2.1.25.3.5.1.1",  "1.3.6.1.2.1.25.3.5.1.2",
        "1.3.6.1.2.1.43.7.1.1.4",  "1.3.6.1.2.1.43.16.5.1.2", "1.3.6.1.2.1.43.11.1.1.3", "1.3.6.1.2.1.43.11.1.1.4",
        "1.3.6.1.2.1.43.11.1.1.5", "1.3.6.1.2.1.43.11.1.1.6", "1.3.6.1.2.1.43.11.1.1.7", "1.3.6.1.2.1.43.11.1.1.8",
        "1.3.6.1.2.1.43.11.1.1.9", "1.3.6.1.2.1.43.8.2.1.8",  "1.3.6.1.2.1.43.8.2.1.9",  "1.3.6.1.2.1.43.8.2.1.10",
        "1.3.6.1.2.1.43.8.2.1.12", "1.3.6.1.2.1.43.8.2.1.13", "1.3.6.1.2.1.43.9.2.1.3",  "1.3.6.1.2.1.43.9.2.1.4",
        "1.3.6.1.2.1.43.9.2.1.5",  "1.3.6.1.2.1.43.9.2.1.7",  "1.3.6.1.2.1.43.18.1.1.2", "1.3.6.1.2.1.43.18.1.1.4",
        "1.3.6.1.2.1.43.18.1.1.5", "1.3.6.1.2.1.43.18.1.1.7", "1.3.6.1.2.1.43.18.1.1.8",
    };
    return kColumns;
}

std::string Address(std::size_t index) {
    in_addr address{};
    inet_pton(AF_INET, kFirstAddress, &address);
    address.s_addr = htonl(ntohl(address.s_addr) + static_cast<std::uint32_t>(index));
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

// One side's run, measured from outside as a child process.
struct SideFigures {
    bool ran = false;
    double wallSeconds = 0;
    double cpuSeconds = 0;   // user and system, every thread
    double peakMegabytes = 0;
    std::uint64_t systemCalls = 0;
    std::size_t reached = 0;
    std::uint64_t exchanges = 0;
    double ExchangesPerSecond() const { return wallSeconds > 0 ? static_cast<double>(exchanges) / wallSeconds : 0; }
};

// Runs argv with its standard output into `outPath`; false when it could not
// be started or did not exit 0 or 1 (a poll with silent printers exits 1).
//
// The peak is GNU time's report, not wait4's: a child spawned from this
// process is charged this process's own peak (the kernel keeps the larger
// of the two across the exec), and this one has grown past the sides'.
bool RunChild(const std::vector<std::string> &arguments, const std::string &outPath, SideFigures *figures) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const std::string peakPath = outPath + ".peak";
    std::vector<std::string> copy;
    if (figures != nullptr) copy = {"/usr/bin/time", "--quiet", "-f", "%M", "-o", peakPath};
    copy.insert(copy.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &argument : copy) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const bool spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!spawned) return false;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return false;
    if (figures != nullptr) {
        figures->wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto seconds = [](const timeval &t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
        figures->cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
        std::ifstream peak(peakPath);
        double kilobytes = 0;
        if (!(peak >> kilobytes)) return false;
        figures->peakMegabytes = kilobytes / 1024;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) <= 1;
}

// The system calls of one more run of argv, every thread, counted by strace
// (the count of its "total" line); 0 when strace is missing or may not trace.
std::uint64_t CountSystemCalls(const std::vector<std::string> &arguments, const std::string &folder) {
    const std::string counts = folder + "/strace.txt";
    std::vector<std::string> traced = {"strace", "-f", "-c", "-o", counts};
    traced.insert(traced.end(), arguments.begin(), arguments.end());
    if (!RunChild(traced, folder + "/traced-output.txt", nullptr)) return 0;
    std::ifstream file(counts);
    for (std::string line; std::getline(file, line);) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;) words.push_back(word);
        if (!words.empty() && words.back() == "total" && words.size() >= 4) return std::stoull(words[3]);
    }
    return 0;
}

std::string LastLine(const std::string &path) {
    std::ifstream file(path);
    std::string last;
    for (std::string line; std::getline(file, line);) {
        if (!line.empty()) last = line;
    }
    return last;
}

// Registers the printers for the tool: UDP only, one second, no retries.
std::string FleetHive(std::size_t printers) {
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    for (std::size_t i = 0; i < printers; ++i) {
        hive += test::PrinterKey("site" + std::to_string(i + 1),
                                 "\"cProtocols\"=dword:00000002\n\"pProtocol\"=dword:00000002\n\"IP Address\"=\"" +
                                     Address(i) + "\"\n\"MAC Address\"=\"000000000000\"\n");
    }
    hive += "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n\"UdpTimeOutInterval\"=dword:00000001\n"
            "\"UdpTotalRetries\"=dword:00000000\n\n";
    return hive;
}

// Waits until the store is older than the age at which the library stops
// reading it again and comparing its bytes at every look (a rewrite within
// one tick of the file system's clock is never missed): a site's store is
// not written the moment before a poll, as the bench writes the fleet's.
void WaitUntilSettled(const std::string &hive) {
    struct stat status {};
    if (stat(hive.c_str(), &status) != 0) return;
    const auto written = std::chrono::system_clock::from_time_t(std::max(status.st_mtime, status.st_ctime));
    std::this_thread::sleep_until(written + std::chrono::seconds(platform::hive::kSettledSeconds + 1));
}

// Each figure's median over the runs of one side; ran when every run did.
SideFigures Medians(const std::vector<SideFigures> &runs) {
    const auto median = [&runs](auto figure) {
        std::vector<double> values;
        for (const SideFigures &run : runs) values.push_back(static_cast<double>(figure(run)));
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    SideFigures figures;
    figures.ran = std::all_of(runs.begin(), runs.end(), [](const SideFigures &run) { return run.ran; });
    figures.wallSeconds = median([](const SideFigures &run) { return run.wallSeconds; });
    figures.cpuSeconds = median([](const SideFigures &run) { return run.cpuSeconds; });
    figures.peakMegabytes = median([](const SideFigures &run) { return run.peakMegabytes; });
    figures.reached = static_cast<std::size_t>(median([](const SideFigures &run) { return run.reached; }));
    figures.exchanges = static_cast<std::uint64_t>(median([](const SideFigures &run) { return run.exchanges; }));
    return figures;
}

// This benchmark's own path: strace would read /proc/self/exe as its own.
std::string ThisProgram() {
    char path[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

// Each side once timed, once traced.
struct Comparison {
    SideFigures ours;
    SideFigures theirs;
};

bool Compare(std::size_t printers, bool someSilent, const std::string &folder, Comparison &comparison) {
    std::vector<std::string> simulatorArguments = {test::BuildTreePath("tools/snmphelper-printer-sim"), "--port",
                                                   "161", "--addresses",
                                                   Address(0) + "-" + Address(printers - 1)};
    for (std::size_t i = 0; someSilent && i < printers; i += kSilentEvery) {
        simulatorArguments.insert(simulatorArguments.end(), {"--fault-at", Address(i) + "=silent"});
    }
    test::TempRegistry registry(FleetHive(printers));
    test::ChildProcess simulator(simulatorArguments);
    if (!simulator.WaitForOutput("ready\n")) return false;
    WaitUntilSettled(registry.Path());

    // --retries 0: one send and one wait of the timeout, as net-snmp's side
    // waits; the store's retry count leaves the library's second wait.
    const std::vector<std::string> poll = {test::BuildTreePath("tools/snmphelper"), "poll", "--threads",
                                           std::to_string(kPollThreads), "--retries", "0"};
    const std::string pollOutput = folder + "/poll.txt";
    const std::vector<std::string> theirsProgram = {ThisProgram(), "--fleet-netsnmp", Address(0),
                                                    std::to_string(printers), std::to_string(kWindow)};
    const std::string theirsOutput = folder + "/netsnmp.txt";
    // The sides take turns, so that neither alone meets the simulator cold
    // or the machine's busy moments; each figure is the median of its runs.
    std::vector<SideFigures> oursRuns(kRunsEach), theirsRuns(kRunsEach);
    for (std::size_t run = 0; run < kRunsEach; ++run) {
        SideFigures &ours = oursRuns[run];
        ours.ran = RunChild(poll, pollOutput, &ours);
        // "N printers: R reached, ..."
        const std::string summary = LastLine(pollOutput);
        const std::size_t colon = summary.find(": ");
        ours.reached = colon == std::string::npos ? 0 : std::strtoul(summary.c_str() + colon + 2, nullptr, 10);
        SideFigures &theirs = theirsRuns[run];
        theirs.ran = RunChild(theirsProgram, theirsOutput, &theirs);
        unsigned long long exchanges = 0;
        std::sscanf(LastLine(theirsOutput).c_str(), "reached %zu exchanges %llu", &theirs.reached, &exchanges);
        theirs.exchanges = exchanges;
    }
    SideFigures &ours = comparison.ours;
    SideFigures &theirs = comparison.theirs;
    ours = Medians(oursRuns);
    theirs = Medians(theirsRuns);
    ours.systemCalls = CountSystemCalls(poll, folder);
    theirs.systemCalls = CountSystemCalls(theirsProgram, folder);
    // The poll asks each printer it reaches what net-snmp's program does.
    if (theirs.reached != 0) {
        ours.exchanges = ours.reached * theirs.exchanges / theirs.reached;
    }
    return ours.ran && theirs.ran;
}

double Ratio(double theirs, double ours) { return ours > 0 ? theirs / ours : 0; }

void PrintRow(const char *side, const SideFigures &figures) {
    std::printf("  %-24s %8.2f %8.2f %10.0f %10llu %9.1f %8zu\n", side, figures.wallSeconds, figures.cpuSeconds,
                figures.ExchangesPerSecond(), static_cast<unsigned long long>(figures.systemCalls),
                figures.peakMegabytes, figures.reached);
}

}  // namespace

int RunNetSnmpFleetProcess(int argc, char **argv) {
    if (argc < 5) return 2;
    const netsnmp::FleetPoll poll = netsnmp::PollFleet(argv[2], std::strtoul(argv[3], nullptr, 10),
                                                       std::strtoul(argv[4], nullptr, 10), StatusColumns());
    std::printf("reached %zu exchanges %llu\n", poll.reached, static_cast<unsigned long long>(poll.exchanges));
    return 0;
}

bool RunFleetPollComparison() {
    const std::string folder = test::MakeTempFolder("fleet-bench");
    setenv("SNMP_PERSISTENT_DIR", folder.c_str(), 1);
    std::printf("\nFleet poll: per printer the status view's column walk (get-next of its 27 columns until each "
                "ends) and the gets of the objects of the rows it found, the same requests from both sides; "
                "timeout 1 s, no retries.\n"
                "ours: snmphelper poll --threads %zu --retries 0; net-snmp: its asynchronous API, %zu printers at once, a "
                "session each.\nExchanges: net-snmp's replies counted; ours, its printers reached times net-snmp's "
                "replies per printer reached (the same requests). Wall, CPU: the process, from wait4; peak memory: its "
                "resident peak, from GNU time; each the median of %zu runs of each side taken in turn, once the store "
                "is settled; system calls: one more run under strace -f -c.\n",
                kPollThreads, kWindow, kRunsEach);
    std::printf("  %-24s %8s %8s %10s %10s %9s %8s\n", "", "wall s", "CPU s", "exch/s", "syscalls", "peak MB",
                "reached");
    bool all = true;
    for (const std::size_t printers : {std::size_t{1000}, std::size_t{5000}}) {
        for (const bool someSilent : {false, true}) {
            Comparison comparison;
            const bool ran = Compare(printers, someSilent, folder, comparison);
            std::printf("%zu printers, %s\n", printers, someSilent ? "5% silent" : "all answering");
            if (!ran) {
                std::printf("  the fleet could not be set up or a side failed (not in a network namespace?)\n");
                all = false;
                continue;
            }
            const SideFigures &ours = comparison.ours;
            const SideFigures &theirs = comparison.theirs;
            PrintRow("ours", ours);
            PrintRow("net-snmp", theirs);
            std::printf("  %-24s %8.2f %8.2f %10.2f %10.2f %9.2f\n", "ratio net-snmp/ours",
                        Ratio(theirs.wallSeconds, ours.wallSeconds), Ratio(theirs.cpuSeconds, ours.cpuSeconds),
                        Ratio(theirs.ExchangesPerSecond(), ours.ExchangesPerSecond()),
                        Ratio(static_cast<double>(theirs.systemCalls), static_cast<double>(ours.systemCalls)),
                        Ratio(theirs.peakMegabytes, ours.peakMegabytes));
        }
    }
    RunSimulatorCapacity(kCapacityPrinters);
    return all;
}

}  // namespace snmphelper::bench
