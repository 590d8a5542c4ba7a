// The printer simulator against net-snmp's command-line tools, an
// independent SNMPv1 manager, on 127.0.0.1:161 of a private network namespace.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char **environ;

namespace {

const char *const kCommunity = "t*o&r^e~l+d";

struct ToolResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program without a shell and collects its output.
ToolResult RunTool(const std::vector<std::string> &args) {
    int outPipe[2];
    int errPipe[2];
    ToolResult result;
    if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return result;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    std::vector<char *> argv;
    for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (spawned == 0 && open > 0 && poll(fds, 2, 30000) > 0) {
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            } else {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    if (spawned == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}

// The build tree from SNMPHELPER_BINARY_DIR, else from where this test
// program lies (<build>/tests/).
std::string SimulatorPath() {
    if (const char *dir = std::getenv("SNMPHELPER_BINARY_DIR"); dir != nullptr && *dir != '\0')
        return std::string(dir) + "/tools/snmphelper-printer-sim";
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string build = length > 0 ? std::string(self, static_cast<std::size_t>(length)) : "./tests/x";
    build = build.substr(0, build.rfind('/'));
    return build.substr(0, build.rfind('/')) + "/tools/snmphelper-printer-sim";
}

std::string MakeTempDir() {
    char pattern[] = "/tmp/printer-sim-test-XXXXXX";
    const char *dir = mkdtemp(pattern);
    return dir != nullptr ? dir : "/tmp";
}

std::string ReadFile(const std::string &path) {
    std::ifstream file(path);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

// One simulator process for one test, stopped with SIGTERM at the end.
class Simulator {
public:
    explicit Simulator(std::vector<std::string> extra = {}) {
        logPath_ = MakeTempDir() + "/requests.log";
        std::vector<std::string> args = {SimulatorPath(), "--address", "127.0.0.1", "--port", "161", "--log", logPath_};
        args.insert(args.end(), extra.begin(), extra.end());
        int outPipe[2];
        if (pipe(outPipe) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
        posix_spawn_file_actions_addclose(&actions, outPipe[0]);
        std::vector<char *> argv;
        for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(outPipe[1]);
        out_ = outPipe[0];
    }

    ~Simulator() {
        Stop();
        if (out_ >= 0) close(out_);
    }

    // Waits until the simulator says "ready" (or exits).
    bool WaitReady() {
        std::string seen;
        pollfd fd{out_, POLLIN, 0};
        while (seen.find("ready\n") == std::string::npos && poll(&fd, 1, 10000) > 0) {
            char buffer[256];
            const ssize_t n = read(out_, buffer, sizeof buffer);
            if (n <= 0) return false;
            seen.append(buffer, static_cast<std::size_t>(n));
        }
        return seen.find("ready\n") != std::string::npos;
    }

    // Sends SIGTERM and returns the exit code (-1 unless it exited normally).
    int Stop() {
        if (pid_ <= 0) return -1;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string Log() const { return ReadFile(logPath_); }

private:
    std::string logPath_;
    pid_t pid_ = -1;
    int out_ = -1;
};

std::vector<std::string> Tool(const char *tool, const std::string &community = kCommunity,
                              const char *timeout = "1", const char *retries = "0") {
    return {tool, "-v1", "-c", community, "-On", "-t", timeout, "-r", retries, "127.0.0.1"};
}

ToolResult Get(const std::vector<std::string> &oids, const std::string &community = kCommunity) {
    auto args = Tool("snmpget", community);
    args.insert(args.end(), oids.begin(), oids.end());
    return RunTool(args);
}

ToolResult Set(const std::vector<std::string> &assignments) {
    auto args = Tool("snmpset");
    args.insert(args.end(), assignments.begin(), assignments.end());
    return RunTool(args);
}

// The names at the start of each output line ".1.3.6... = TYPE: value".
std::vector<std::string> Names(const std::string &output) {
    std::vector<std::string> names;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find(" = ");
        if (!line.empty() && line[0] == '.' && equals != std::string::npos)
            names.push_back(line.substr(1, equals - 1));
    }
    return names;
}

std::vector<unsigned long> Arcs(const std::string &name) {
    std::vector<unsigned long> arcs;
    std::istringstream parts(name);
    for (std::string arc; std::getline(parts, arc, '.');) arcs.push_back(std::stoul(arc));
    return arcs;
}

// prefix + each arc + suffix, the way the object groups are written down.
std::vector<std::string> Expand(const std::string &prefix, std::initializer_list<int> arcs,
                                const std::string &suffix) {
    std::vector<std::string> names;
    for (int arc : arcs) names.push_back(prefix + std::to_string(arc) + suffix);
    return names;
}

std::vector<std::vector<std::string>> ObjectGroups() {
    const std::string mib2 = "1.3.6.1.2.1.";
    const std::string at = "1.3.6.1.2.1.13.";
    const std::string printer = "1.3.6.1.4.1.236.11.5.1.1.";
    const std::string server = "1.3.6.1.4.1.236.11.5.1.12.";
    auto join = [](std::vector<std::vector<std::string>> parts) {
        std::vector<std::string> all;
        for (auto &part : parts) all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    return {
        Expand(mib2 + "1.", {1, 2, 3, 4, 5, 6, 7}, ".0"),
        Expand(mib2 + "2.2.1.", {10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}, ".2"),
        {mib2 + "10.7.2.1.2.0"},
        Expand(mib2 + "4.", {3, 4, 5, 7, 8, 9, 10, 11, 12}, ".0"),
        Expand(mib2 + "5.", {1, 2, 8, 14, 15, 22}, ".0"),
        Expand(mib2 + "7.", {1, 2, 3, 4}, ".0"),
        Expand(mib2 + "6.", {10, 11}, ".0"),
        Expand("1.3.6.1.4.1.23.2.5.1.1.1.", {6, 7, 8, 9, 10, 11, 12, 16}, ".1"),
        Expand(at + "2.", {2, 3}, ".0"),
        Expand(at + "3.1.1.", {14, 15}, ".1"),
        Expand(at + "4.", {1, 4, 7, 9, 10, 14}, ".0"),
        Expand(at + "16.", {1, 2, 3}, ".0"),
        join({Expand(at + "17.1.1.", {1, 2, 3}, ".1"), {at + "17.2.0"}}),
        Expand(at + "8.", {2, 3, 4, 5, 6, 7, 8}, ".0"),
        Expand(at + "10.", {3, 4, 5, 6, 1, 2}, ".0"),
        Expand(at + "9.", {1, 2, 3, 4}, ".0"),
        join({Expand(at + "11.", {1, 3, 5, 7}, ".0"), Expand(at + "11.8.1.", {3, 4}, ".1")}),
        Expand(mib2 + "11.", {1, 2, 3, 4, 5, 6, 13, 14, 15, 16, 17, 20, 21, 22, 24, 28, 29}, ".0"),
        join({Expand(printer + "2.", {2, 4, 7, 9, 13}, ".0"), Expand(printer + "3.", {2, 4, 6, 8, 10, 12, 14, 16}, ".0"),
              Expand(printer + "4.", {2, 4, 6, 8}, ".0"), {printer + "5.2.0"}, Expand(printer + "6.", {2, 5}, ".0"),
              Expand(printer + "7.", {2, 5, 7, 9, 11, 13}, ".0"), Expand(printer + "8.", {2, 5, 7, 9, 11}, ".0")}),
        join({Expand(printer + "2.", {1, 3, 6, 8, 12}, ".0"), Expand(printer + "3.", {1, 3, 5, 7, 9, 11, 13, 15}, ".0"),
              Expand(printer + "4.", {1, 3, 5, 7}, ".0"), {printer + "5.1.0"}, Expand(printer + "6.", {1, 4}, ".0"),
              Expand(printer + "7.", {1, 4, 6, 8, 10, 12}, ".0"), Expand(printer + "8.", {1, 4, 6, 8, 10}, ".0")}),
        {server + "5.1.0", server + "5.5.0", server + "5.2.0", at + "3.1.1.17.1", server + "5.4.0", server + "5.5.0",
         server + "5.6.0"},
        join({{server + "3.1.0", server + "3.2.0", server + "6.1.1.0"},
              Expand(server + "2.", {1, 2, 3, 7, 8, 5, 6, 9}, ".0")}),
        {mib2 + "1.5.0", mib2 + "1.6.0", printer + "9.1.0", server + "4.2.0"},
        Expand(server + "8.1.", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, ".0"),
        join({{server + "7.1.1.2.1"}, Expand(server + "7.", {9, 3, 10, 11, 5, 6, 7, 8, 2, 4}, ".0")}),
        join({{server + "3.3.0"}, Expand(server + "2.", {10, 11, 12, 13, 14}, ".0")}),
    };
}

class PrinterSimTest : public ::testing::Test {
protected:
    void SetUp() override {
        // No MIB files: numeric names only, and no warnings about missing modules.
        setenv("MIBS", "", 1);
        setenv("MIBDIRS", "/nonexistent", 1);
    }
};

TEST_F(PrinterSimTest, EveryObjectOfEveryGroupAnswers) {
    Simulator sim;
    ASSERT_TRUE(sim.WaitReady());
    const auto groups = ObjectGroups();
    ASSERT_EQ(groups.size(), 26u);
    for (std::size_t group = 0; group < groups.size(); ++group) {
        const ToolResult result = Get(groups[group]);
        EXPECT_EQ(result.exitCode, 0) << "group " << group << ": " << result.err;
        EXPECT_EQ(Names(result.out), groups[group]) << "group " << group;
    }
    EXPECT_EQ(sim.Stop(), 0);
}

TEST_F(PrinterSimTest, WalkIsStrictlyIncreasingAndReachesEveryObject) {
    Simulator sim;
    ASSERT_TRUE(sim.WaitReady());
    auto args = Tool("snmpwalk");
    args.push_back(".1");
    const ToolResult walk = RunTool(args);
    ASSERT_EQ(walk.exitCode, 0) << walk.err;
    const auto names = Names(walk.out);
    for (std::size_t i = 1; i < names.size(); ++i)
        EXPECT_LT(Arcs(names[i - 1]), Arcs(names[i])) << names[i - 1] << " then " << names[i];
    // The walk meets exactly the objects the simulator lists.
    const ToolResult dump = RunTool({SimulatorPath(), "--dump"});
    std::vector<std::string> listed;
    std::istringstream lines(dump.out);
    for (std::string line; std::getline(lines, line);) listed.push_back(line.substr(0, line.find(' ')));
    EXPECT_EQ(names, listed);
    // The values come in the types the objects are declared with.
    EXPECT_NE(walk.out.find(".1.3.6.1.2.1.1.2.0 = OID: .1.3.6.1.4.1.236.11.5.1"), std::string::npos);
    EXPECT_NE(walk.out.find(".1.3.6.1.2.1.1.3.0 = Timeticks:"), std::string::npos);
    EXPECT_NE(walk.out.find(".1.3.6.1.4.1.236.11.5.1.12.2.1.0 = IpAddress: 127.0.0.1"), std::string::npos);
    EXPECT_NE(walk.out.find(".1.3.6.1.2.1.2.2.1.5.2 = Gauge32: 100000000"), std::string::npos);
}

TEST_F(PrinterSimTest, SetThenGetAndAtomicity) {
    Simulator sim;
    ASSERT_TRUE(sim.WaitReady());
    ToolResult set = Set({"1.3.6.1.2.1.1.5.0", "s", "front-desk", "1.3.6.1.4.1.236.11.5.1.1.9.1.0", "i", "300"});
    ASSERT_EQ(set.exitCode, 0) << set.err;
    ToolResult get = Get({"1.3.6.1.2.1.1.5.0", "1.3.6.1.4.1.236.11.5.1.1.9.1.0"});
    EXPECT_NE(get.out.find("= STRING: \"front-desk\""), std::string::npos) << get.out;
    EXPECT_NE(get.out.find("= INTEGER: 300"), std::string::npos) << get.out;

    // The second binding fails, so the first is not applied either.
    set = Set({"1.3.6.1.2.1.1.5.0", "s", "changed", "1.3.6.1.2.1.1.1.0", "s", "x"});
    EXPECT_NE(set.err.find("(readOnly)"), std::string::npos) << set.err;
    EXPECT_NE(set.err.find("Failed object: .1.3.6.1.2.1.1.1.0"), std::string::npos) << set.err;
    get = Get({"1.3.6.1.2.1.1.5.0"});
    EXPECT_NE(get.out.find("\"front-desk\""), std::string::npos) << get.out;
}

TEST_F(PrinterSimTest, ErrorStatusesNameTheFailingBinding) {
    Simulator sim;
    ASSERT_TRUE(sim.WaitReady());
    ToolResult result = Get({"1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.1.99.0"});
    EXPECT_NE(result.err.find("(noSuchName)"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Failed object: .1.3.6.1.2.1.1.99.0"), std::string::npos) << result.err;

    result = Set({"1.3.6.1.2.1.1.5.0", "i", "5"});  // INTEGER into a text
    EXPECT_NE(result.err.find("(badValue)"), std::string::npos) << result.err;
    result = Set({"1.3.6.1.2.1.2.2.1.7.2", "i", "7"});  // ifAdminStatus is 1 to 3
    EXPECT_NE(result.err.find("(badValue)"), std::string::npos) << result.err;
    result = Set({"1.3.6.1.2.1.1.5.0", "s", std::string(256, 'n')});  // DisplayString is at most 255
    EXPECT_NE(result.err.find("(badValue)"), std::string::npos) << result.err;
    result = Set({"1.3.6.1.2.1.1.7.0", "i", "72"});
    EXPECT_NE(result.err.find("(readOnly)"), std::string::npos) << result.err;
    result = Set({"1.3.6.1.2.1.1.99.0", "i", "1"});
    EXPECT_NE(result.err.find("(noSuchName)"), std::string::npos) << result.err;

    auto next = Tool("snmpgetnext");
    next.push_back("1.3.6.1.4.1.236.11.5.1.12.8.1.11.0");  // the last object
    result = RunTool(next);
    EXPECT_NE(result.err.find("(noSuchName)"), std::string::npos) << result.out << result.err;
}

TEST_F(PrinterSimTest, ReadOnlyCanBeAnsweredAsNoSuchName) {
    Simulator sim({"--read-only-as-no-such-name"});
    ASSERT_TRUE(sim.WaitReady());
    const ToolResult result = Set({"1.3.6.1.2.1.1.7.0", "i", "72"});
    EXPECT_NE(result.err.find("(noSuchName)"), std::string::npos) << result.err;
}

TEST_F(PrinterSimTest, WrongCommunityGetsNoAnswer) {
    Simulator sim;
    ASSERT_TRUE(sim.WaitReady());
    const ToolResult result = Get({"1.3.6.1.2.1.1.5.0"}, "public");
    EXPECT_NE(result.err.find("Timeout"), std::string::npos) << result.out << result.err;
    EXPECT_NE(sim.Log().find("outcome=bad-community"), std::string::npos);
    // The agent counted it in snmpInBadCommunityNames.
    EXPECT_NE(Get({"1.3.6.1.2.1.11.4.0"}).out.find("Counter32: 1"), std::string::npos);
}

TEST_F(PrinterSimTest, TooBigWhenTheReplyExceedsTheLimit) {
    Simulator sim({"--max-message", "100"});
    ASSERT_TRUE(sim.WaitReady());
    EXPECT_EQ(Get({"1.3.6.1.2.1.1.5.0"}).exitCode, 0);
    const ToolResult result = Get({"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.4.0"});
    EXPECT_NE(result.err.find("(tooBig)"), std::string::npos) << result.err;
}

TEST_F(PrinterSimTest, TrapDestinationRowLifecycle) {
    // A host listening for traps, on a port the simulator is told.
    const int trapSocket = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(trapSocket, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    getsockname(trapSocket, reinterpret_cast<sockaddr *>(&address), &length);
    Simulator sim({"--trap-port", std::to_string(ntohs(address.sin_port))});
    ASSERT_TRUE(sim.WaitReady());

    const std::string column = "1.3.6.1.4.1.236.11.5.1.12.6.2.4.1.";
    const std::string index = ".0.0.76.16.32.255";
    // Columns of a row that does not exist cannot be set.
    EXPECT_NE(Set({column + "2" + index, "a", "127.0.0.1"}).err.find("(noSuchName)"), std::string::npos);
    ASSERT_EQ(Set({column + "7" + index, "i", "2"}).exitCode, 0);
    const ToolResult row = Set({column + "2" + index, "a", "127.0.0.1", column + "3" + index, "x", "00002C00",
                                column + "5" + index, "i", "3", column + "4" + index, "i", "2"});
    ASSERT_EQ(row.exitCode, 0) << row.err;
    EXPECT_NE(Set({column + "7" + index, "i", "3"}).err.find("(badValue)"), std::string::npos);
    EXPECT_NE(Set({column + "3" + index, "x", "0000"}).err.find("(badValue)"), std::string::npos);
    ASSERT_EQ(Set({column + "7" + index, "i", "1"}).exitCode, 0);

    auto walk = Tool("snmpwalk");
    walk.push_back(column.substr(0, column.size() - 1));
    const ToolResult table = RunTool(walk);
    EXPECT_EQ(Names(table.out), (std::vector<std::string>{column + "2" + index, column + "3" + index,
                                                          column + "4" + index, column + "5" + index,
                                                          column + "7" + index}));
    EXPECT_NE(table.out.find("IpAddress: 127.0.0.1"), std::string::npos) << table.out;
    EXPECT_NE(table.out.find("00 00 2C 00"), std::string::npos) << table.out;

    // Completing the row sent the host a Trap-PDU.
    pollfd fd{trapSocket, POLLIN, 0};
    ASSERT_EQ(poll(&fd, 1, 5000), 1);
    unsigned char trap[512];
    const ssize_t received = recv(trapSocket, trap, sizeof trap, 0);
    ASSERT_GT(received, 10);
    EXPECT_EQ(trap[0], 0x30);
    EXPECT_NE(std::find(trap, trap + received, 0xA4), trap + received);
    close(trapSocket);

    // Withdrawal removes the row, and withdrawing again is accepted.
    ASSERT_EQ(Set({column + "7" + index, "i", "4"}).exitCode, 0);
    EXPECT_NE(Get({column + "7" + index}).err.find("(noSuchName)"), std::string::npos);
    EXPECT_EQ(Set({column + "7" + index, "i", "4"}).exitCode, 0);
}

TEST_F(PrinterSimTest, FaultsSeenFromTheManager) {
    {
        // The first request is dropped; net-snmp's retry is answered.
        Simulator sim({"--fault", "drop:1"});
        ASSERT_TRUE(sim.WaitReady());
        auto args = Tool("snmpget", kCommunity, "0.5", "1");
        args.push_back("1.3.6.1.2.1.1.5.0");
        EXPECT_EQ(RunTool(args).exitCode, 0);
        const std::string log = sim.Log();
        EXPECT_NE(log.find("outcome=dropped"), std::string::npos) << log;
        EXPECT_NE(log.find("outcome=answered"), std::string::npos) << log;
    }
    {
        Simulator sim({"--fault", "error-status:5"});
        ASSERT_TRUE(sim.WaitReady());
        EXPECT_NE(Get({"1.3.6.1.2.1.1.5.0"}).err.find("(genError)"), std::string::npos);
    }
    for (const char *fault : {"foreign-id", "garbage", "silent", "truncate"}) {
        // The manager discards what it cannot match or read, and times out.
        Simulator sim({"--fault", fault});
        ASSERT_TRUE(sim.WaitReady());
        auto args = Tool("snmpget", kCommunity, "0.5", "0");
        args.push_back("1.3.6.1.2.1.1.5.0");
        const ToolResult result = RunTool(args);
        EXPECT_NE(result.err.find("Timeout"), std::string::npos) << fault << ": " << result.out << result.err;
    }
}

TEST_F(PrinterSimTest, ObjectsFileWithAPerObjectFault) {
    const std::string path = MakeTempDir() + "/objects.txt";
    std::ofstream(path) << "# a test printer\n"
                           "1.3.6.1.4.1.99.1.0 STRING \"plain \\\"quoted\\\"\" rw\n"
                           "1.3.6.1.4.1.99.2.0 INTEGER 7 fault=error-status:2\n";
    Simulator sim({"--empty", "--objects", path});
    ASSERT_TRUE(sim.WaitReady());
    ToolResult result = Get({"1.3.6.1.4.1.99.1.0"});
    EXPECT_NE(result.out.find("STRING: \"plain \\\"quoted\\\"\""), std::string::npos) << result.out;
    result = Get({"1.3.6.1.4.1.99.2.0"});
    EXPECT_NE(result.err.find("(noSuchName)"), std::string::npos) << result.err;
    EXPECT_NE(Get({"1.3.6.1.2.1.1.5.0"}).err.find("(noSuchName)"), std::string::npos);  // --empty

    std::ofstream(path) << "1.3.6.1.4.1.99.1.0 STRING ok\n1.3.6.1.4.1.99.2.0 INTEGER seven\n";
    const ToolResult refused = RunTool({SimulatorPath(), "--objects", path, "--dump"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find(path + ":2: INTEGER"), std::string::npos) << refused.err;
}

}  // namespace
