#include "bench/fleet_poll_bench.h"

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench/netsnmp_side.h"
#include "snmphelper.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_registry.h"

extern char **environ;

namespace snmphelper::bench {
namespace {

constexpr char kCommunity[] = "t*o&r^e~l+d";
// Printers one simulator serves, below its limit.
constexpr int kPrintersPerSimulator = 4000;
// Above this many printers, snmpget is not started once per printer.
constexpr int kMostSnmpgets = 200;

// 127.0.3.1 onwards, across the third octet.
std::string Address(int index) {
    const int host = 3 * 256 + 1 + index;
    return "127.0." + std::to_string(host / 256) + "." + std::to_string(host % 256);
}

// What a poll line shows (device and printer status, the error bits, the
// four toner levels and their capacities), the indices known beforehand so
// that one get does it.
std::vector<std::string> LineObjects() {
    std::vector<std::string> objects = {"1.3.6.1.2.1.25.3.2.1.5.1", "1.3.6.1.2.1.25.3.5.1.1.1",
                                        "1.3.6.1.2.1.25.3.5.1.2.1"};
    for (int supply = 1; supply <= 4; ++supply) {
        objects.push_back("1.3.6.1.2.1.43.11.1.1.8.1." + std::to_string(supply));
        objects.push_back("1.3.6.1.2.1.43.11.1.1.9.1." + std::to_string(supply));
    }
    return objects;
}

std::vector<std::string> SnmpgetArguments(int index, const char *retries) {
    std::vector<std::string> argv = {"snmpget", "-v1", "-c", kCommunity, "-t", "1", "-r", retries, "-On", Address(index)};
    for (const std::string &object : LineObjects()) argv.push_back(object);
    return argv;
}

// CPU seconds (user and system) of this process, or of its children waited for.
double CpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Starts one snmpget per printer at once and waits for them all; the
// number that exited 0.
int RunSnmpgets(int fleetSize, const char *retries) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 0x1 /* O_WRONLY */, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0x1, 0);
    std::vector<pid_t> children;
    for (int i = 0; i < fleetSize; ++i) {
        std::vector<std::string> arguments = SnmpgetArguments(i, retries);
        std::vector<char *> argv;
        for (std::string &argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) children.push_back(pid);
    }
    posix_spawn_file_actions_destroy(&actions);
    int succeeded = 0;
    for (pid_t pid : children) {
        int status = 0;
        if (waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0) ++succeeded;
    }
    return succeeded;
}

// The library's engine doing what AsyncFleetGet does: one get of the line's
// objects per printer, all submitted at once, the engine run until every
// one has ended. The number answered without an error-status.
int EngineFleetGet(int fleetSize) {
    std::vector<std::string> objects = LineObjects();
    std::vector<SnmpVarBind> bindings(objects.size());
    for (std::size_t i = 0; i < objects.size(); ++i) {
        bindings[i].oid = objects[i].data();
        bindings[i].oidLength = static_cast<std::uint16_t>(objects[i].size());
    }
    SnmpEngine *engine = HelperSNMPEngineCreate(0);
    if (engine == nullptr) return 0;
    std::vector<std::string> names;
    for (int i = 0; i < fleetSize; ++i) names.push_back("fleet" + std::to_string(i + 1));
    for (const std::string &name : names) {
        SnmpEngineRequest request{};
        request.recordSize = sizeof request;
        request.requestType = SNMP_REQUEST_GET;
        request.timeoutSeconds = SNMP_TRANSACTION_CONFIGURED;
        request.retries = SNMP_TRANSACTION_CONFIGURED;
        request.varBindCount = static_cast<std::uint32_t>(bindings.size());
        request.printerName = name.c_str();
        request.varBinds = bindings.data();
        HelperSNMPEngineSubmit(engine, &request);
    }
    int answered = 0;
    std::uint32_t inFlight = 1;
    while (inFlight != 0) {
        HelperSNMPEngineRun(
            engine, 1000,
            [](void *context, const SnmpEngineCompletion *completion) {
                if (completion->result == 0) ++*static_cast<int *>(context);
                HelperFreeReqParam(completion->reply);
            },
            &answered, &inFlight);
    }
    HelperSNMPEngineDestroy(engine);
    return answered;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

bool RunFleetPollComparison(int fleetSize, int silentEvery) {
    const std::string folder = test::MakeTempFolder("fleet-bench");
    // net-snmp's tools read no MIB files and keep no state of the host's.
    setenv("SNMP_PERSISTENT_DIR", folder.c_str(), 1);
    setenv("MIBS", "", 1);
    setenv("MIBDIRS", folder.c_str(), 1);
    std::string hive = "Windows Registry Editor Version 5.00\n\n";
    std::vector<std::vector<std::string>> simulators;
    std::vector<std::string> peers;
    for (int i = 0; i < fleetSize; ++i) {
        if (i % kPrintersPerSimulator == 0) {
            const int last = std::min(fleetSize, i + kPrintersPerSimulator) - 1;
            simulators.push_back({"--addresses", Address(i) + "-" + Address(last)});
        }
        hive += test::PrinterKey("fleet" + std::to_string(i + 1),
                                 "\"cProtocols\"=dword:00000002\n\"pProtocol\"=dword:00000002\n\"IP Address\"=\"" +
                                     Address(i) + "\"\n\"MAC Address\"=\"000000000000\"\n");
        if (silentEvery != 0 && i % silentEvery == 0) {
            simulators.back().insert(simulators.back().end(), {"--fault-at", Address(i) + "=silent"});
        }
        peers.push_back(Address(i) + ":161");
    }
    hive += "[HKEY_LOCAL_MACHINE\\Software\\Brelvin\\Palimar\\Snmp]\n\"UdpTimeOutInterval\"=dword:00000001\n"
            "\"UdpTotalRetries\"=dword:00000000\n\n";
    test::TempRegistry registry(hive);
    std::vector<std::unique_ptr<test::PrinterSimulator>> fleet;
    for (const std::vector<std::string> &arguments : simulators) {
        fleet.push_back(std::make_unique<test::PrinterSimulator>(arguments));
        if (!fleet.back()->Ready()) {
            std::printf("\nFleet poll: the simulator did not start (not in a network namespace?)\n");
            return false;
        }
    }
    // A session per printer: as many descriptors as the system allows.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    const int silent = silentEvery == 0 ? 0 : (fleetSize + silentEvery - 1) / silentEvery;
    std::printf("\nFleet poll: %d simulated printers (%d silent), timeout 1 s\n", fleetSize, silent);

    double cpu = CpuSeconds(RUSAGE_CHILDREN);
    auto start = std::chrono::steady_clock::now();
    const test::ProgramRun poll = test::RunSnmphelper({"poll", "--threads", "1"});
    const double ours = SecondsSince(start);
    const double oursCpu = CpuSeconds(RUSAGE_CHILDREN) - cpu;
    // The poll's own summary, its last line.
    std::string summary = poll.out.substr(0, poll.out.find_last_not_of('\n') + 1);
    summary = summary.substr(summary.find_last_of('\n') + 1);
    std::printf("  ours:     snmphelper poll --threads 1 (the whole status view)      %6.2f s wall %6.2f s CPU  %s\n",
                ours, oursCpu, summary.c_str());

    cpu = CpuSeconds(RUSAGE_SELF);
    start = std::chrono::steady_clock::now();
    const int engineAnswered = EngineFleetGet(fleetSize);
    const double engine = SecondsSince(start);
    const double engineCpu = CpuSeconds(RUSAGE_SELF) - cpu;
    std::printf("  ours:     HelperSNMPEngine*, one get of 11 objects each               %6.2f s wall %6.2f s CPU  "
                "%d of %d answered\n",
                engine, engineCpu, engineAnswered, fleetSize);

    netsnmp::Initialise();
    cpu = CpuSeconds(RUSAGE_SELF);
    start = std::chrono::steady_clock::now();
    const int asyncAnswered = netsnmp::AsyncFleetGet(peers, LineObjects(), 1, 1);
    const double async = SecondsSince(start);
    const double asyncCpu = CpuSeconds(RUSAGE_SELF) - cpu;
    std::printf("  net-snmp: asynchronous API, one get of 11 objects each, -r 1      %6.2f s wall %6.2f s CPU  "
                "%d of %d answered; against the engine %.2fx wall, %.2fx CPU\n",
                async, asyncCpu, asyncAnswered, fleetSize, async / engine, asyncCpu / engineCpu);
    if (fleetSize > kMostSnmpgets) return true;

    start = std::chrono::steady_clock::now();
    const int gotNoRetry = RunSnmpgets(fleetSize, "0");
    const double theirsNoRetry = SecondsSince(start);
    start = std::chrono::steady_clock::now();
    const int gotOneRetry = RunSnmpgets(fleetSize, "1");
    const double theirsOneRetry = SecondsSince(start);
    std::printf("  net-snmp: %d snmpget -r 0 at once (one get of 11 objects each) %6.2f s  %d of %d answered; "
                "ratio %.2fx\n",
                fleetSize, theirsNoRetry, gotNoRetry, fleetSize, theirsNoRetry / ours);
    std::printf("  net-snmp: %d snmpget -r 1 at once (waits twice, as the library does) %6.2f s  %d of %d answered; "
                "ratio %.2fx\n",
                fleetSize, theirsOneRetry, gotOneRetry, fleetSize, theirsOneRetry / ours);
    return true;
}

}  // namespace snmphelper::bench
