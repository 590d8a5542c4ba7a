// UDP serving loop of the simulator (POSIX sockets).
#include "tools/printer-sim/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

#include "tools/printer-sim/trap_table.h"

namespace printersim {

namespace {

// Signals reach the loop through a pipe, so that poll() wakes for them and
// nothing is done inside the handler but one write.
int g_signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t written = write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

bool InstallSignals(std::string &error) {
    if (pipe(g_signalPipe) != 0) {
        error = std::string("cannot create the signal pipe: ") + std::strerror(errno);
        return false;
    }
    for (int fd : g_signalPipe) {
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
        fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGUSR1}) sigaction(signal, &action, nullptr);
    return true;
}

enum class Wake { Datagram, Stop, Trap, Timeout };

// Drains the signal pipe: a stop signal wins over a trap request.
Wake ReadSignals() {
    Wake wake = Wake::Timeout;
    unsigned char byte = 0;
    while (read(g_signalPipe[0], &byte, 1) == 1) {
        if (byte == SIGUSR1 && wake != Wake::Stop) wake = Wake::Trap;
        if (byte == SIGTERM || byte == SIGINT) wake = Wake::Stop;
    }
    return wake;
}

// Waits for a datagram on `socket` (or, with socket -1, only for a signal)
// for at most timeoutMs (-1: no limit).
Wake WaitFor(int socket, int timeoutMs) {
    pollfd fds[2] = {{g_signalPipe[0], POLLIN, 0}, {socket, POLLIN, 0}};
    const nfds_t count = socket >= 0 ? 2 : 1;
    while (true) {
        const int ready = poll(fds, count, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return Wake::Timeout;
        if (fds[0].revents != 0) {
            const Wake wake = ReadSignals();
            if (wake != Wake::Timeout) return wake;
        }
        if (count == 2 && fds[1].revents != 0) return Wake::Datagram;
    }
}

std::string AddressText(const sockaddr_in &address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(address.sin_port));
}

const char *PduName(std::uint8_t pduType) {
    switch (pduType) {
    case kPduGetRequest:
        return "get";
    case kPduGetNextRequest:
        return "getnext";
    case kPduSetRequest:
        return "set";
    default:
        return "response";
    }
}

const char *DispositionName(Disposition disposition) {
    switch (disposition) {
    case Disposition::Answer:
        return "answered";
    case Disposition::BadVersion:
        return "bad-version";
    case Disposition::BadCommunity:
        return "bad-community";
    case Disposition::NotARequest:
        return "not-a-request";
    case Disposition::TooBig:
        return "too-big";
    default:
        return "undecodable";
    }
}

class Server {
public:
    Server(const ServerSettings &settings, Agent &agent) : settings_(settings), agent_(agent) {}
    ~Server();

    bool SetUp(std::string &error);
    void Run();

private:
    bool OpenSocket(std::uint16_t port, int &fd, std::string &error);
    bool WriteReadyFile(std::string &error);
    void HandleDatagram();
    bool DropByCount(const Outcome &outcome);
    FaultPlan PlanFor(const Outcome &outcome) const;
    void Answer(const Outcome &outcome, const FaultPlan &plan, const sockaddr_in &to,
                const std::string &line);
    void SendTraps(const std::vector<std::array<std::uint8_t, 4>> &hosts, std::int32_t specific,
                   const std::vector<Oid> &names);
    void Log(const std::string &line);

    const ServerSettings &settings_;
    Agent &agent_;
    int socket_ = -1;
    int otherSocket_ = -1;
    sockaddr_in local_{};
    std::FILE *log_ = nullptr;
    unsigned long datagrams_ = 0;
    unsigned answerable_ = 0;                 // requests the run's drop:N counts
    std::map<Oid, unsigned> objectRequests_;  // requests naming an object, for its drop:N
    bool stop_ = false;
};

Server::~Server() {
    if (socket_ >= 0) close(socket_);
    if (otherSocket_ >= 0) close(otherSocket_);
    if (log_ != nullptr) std::fclose(log_);
}

bool Server::OpenSocket(std::uint16_t port, int &fd, std::string &error) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, settings_.address.c_str(), &address.sin_addr) != 1) {
        error = "not an IPv4 address: " + settings_.address;
        return false;
    }
    fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        error = "cannot bind " + settings_.address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool Server::WriteReadyFile(std::string &error) {
    // Written aside and renamed, so a reader never sees it half written.
    const std::string temporary = settings_.readyFile + ".tmp";
    std::FILE *file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) {
        error = "cannot write " + temporary + ": " + std::strerror(errno);
        return false;
    }
    std::fprintf(file, "%u\n", static_cast<unsigned>(ntohs(local_.sin_port)));
    const bool written = std::fclose(file) == 0 && std::rename(temporary.c_str(), settings_.readyFile.c_str()) == 0;
    if (!written) error = "cannot write " + settings_.readyFile + ": " + std::strerror(errno);
    return written;
}

bool Server::SetUp(std::string &error) {
    if (!settings_.logFile.empty()) {
        log_ = std::fopen(settings_.logFile.c_str(), "a");
        if (log_ == nullptr) {
            error = "cannot open the log " + settings_.logFile + ": " + std::strerror(errno);
            return false;
        }
    }
    if (!InstallSignals(error) || !OpenSocket(settings_.port, socket_, error)) return false;
    socklen_t length = sizeof local_;
    getsockname(socket_, reinterpret_cast<sockaddr *>(&local_), &length);
    if (!settings_.readyFile.empty() && !WriteReadyFile(error)) return false;
    std::printf("ready\n");
    std::fflush(stdout);
    return true;
}

void Server::Log(const std::string &line) {
    if (log_ != nullptr) {
        std::fprintf(log_, "%s\n", line.c_str());
        std::fflush(log_);
    }
    if (settings_.verbose) std::fprintf(stderr, "%s\n", line.c_str());
}

FaultPlan Server::PlanFor(const Outcome &outcome) const {
    FaultPlan plan = settings_.faults;
    for (const Oid &name : outcome.touched) {
        const MibObject *object = agent_.Store().Find(name);
        if (object != nullptr) MergeFaults(plan, object->faults);
    }
    return plan;
}

// drop:N of the run counts every request; drop:N of an object counts the
// requests that name it. Each request counts once per object.
bool Server::DropByCount(const Outcome &outcome) {
    bool drop = ++answerable_ <= settings_.faults.dropFirst;
    std::vector<Oid> counted;
    for (const Oid &name : outcome.touched) {
        const MibObject *object = agent_.Store().Find(name);
        if (object == nullptr || object->faults.dropFirst == 0) continue;
        if (std::find(counted.begin(), counted.end(), name) != counted.end()) continue;
        counted.push_back(name);
        if (++objectRequests_[name] <= object->faults.dropFirst) drop = true;
    }
    return drop;
}

// Logs the request's line before the reply leaves, so that whoever reads the
// log after receiving the reply finds the line there.
void Server::Answer(const Outcome &outcome, const FaultPlan &plan, const sockaddr_in &to,
                    const std::string &line) {
    if (plan.delayMs != 0 && WaitFor(-1, static_cast<int>(plan.delayMs)) == Wake::Stop) {
        stop_ = true;
        Log(line + " outcome=stopped");
        return;
    }
    Message reply = outcome.reply;
    ApplyMessageFaults(plan, reply);
    const std::vector<std::uint8_t> octets = EncodeWithFaults(plan, reply);
    int from = socket_;
    if (plan.otherPort) {
        std::string error;
        if (otherSocket_ < 0 && !OpenSocket(*plan.otherPort, otherSocket_, error)) {
            Log(line + " outcome=send-failed (" + error + ")");
            otherSocket_ = -1;
            return;
        }
        from = otherSocket_;
    }
    std::string result = "answered size=" + std::to_string(octets.size()) +
                         " status=" + std::to_string(reply.errorStatus);
    if (from == otherSocket_) {
        sockaddr_in source{};
        socklen_t length = sizeof source;
        getsockname(from, reinterpret_cast<sockaddr *>(&source), &length);
        result += " from-port=" + std::to_string(ntohs(source.sin_port));
    }
    Log(line + " outcome=" + result);
    if (sendto(from, octets.data(), octets.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) < 0) {
        Log(line + " outcome=send-failed (" + std::strerror(errno) + ")");
        return;
    }
    agent_.CountReply(reply);
}

void Server::HandleDatagram() {
    std::vector<std::uint8_t> buffer(65536);
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t received =
        recvfrom(socket_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
    if (received < 0) return;
    const Outcome outcome = agent_.Handle({buffer.data(), static_cast<std::size_t>(received)});
    std::string line = "request=" + std::to_string(++datagrams_) + " from=" + AddressText(from);
    if (outcome.disposition == Disposition::Undecodable) {
        line += " pdu=- id=- oids=-";
    } else {
        line += std::string(" pdu=") + PduName(outcome.request.pduType) +
                " id=" + std::to_string(outcome.request.requestId) + " oids=";
        for (std::size_t i = 0; i < outcome.request.varBinds.size(); ++i) {
            if (i != 0) line += ',';
            line += FormatOid(outcome.request.varBinds[i].name);
        }
    }
    std::string result = DispositionName(outcome.disposition);
    if (outcome.disposition == Disposition::Answer) {
        const FaultPlan plan = PlanFor(outcome);
        if (plan.silent) {
            result = "silent";
        } else if (DropByCount(outcome)) {
            result = "dropped";
        } else {
            Answer(outcome, plan, from, line);  // logs the line itself
            result.clear();
        }
    }
    if (!result.empty()) Log(line + " outcome=" + result);
    SendTraps(agent_.TakeNewTrapDestinations(), 1, {TrapDestinationEntry()});
}

// Traps are enterprise-specific (RFC 1157 4.1.6): 1 when a host's
// registration completes, 2 for a status report on SIGUSR1.
void Server::SendTraps(const std::vector<std::array<std::uint8_t, 4>> &hosts, std::int32_t specific,
                       const std::vector<Oid> &names) {
    TrapMessage trap;
    trap.community = agent_.Settings().community;
    trap.enterprise = {1, 3, 6, 1, 4, 1, 236, 11, 5, 1};
    std::memcpy(trap.agentAddress.data(), &local_.sin_addr, 4);
    trap.genericTrap = 6;
    trap.specificTrap = specific;
    trap.timeStamp = agent_.Uptime();
    for (const Oid &name : names) {
        const MibObject *object = agent_.Store().Find(name);
        if (object != nullptr) trap.varBinds.push_back({name, agent_.Read(*object, name)});
    }
    const std::vector<std::uint8_t> octets = EncodeTrap(trap);
    for (const auto &host : hosts) {
        if (host == std::array<std::uint8_t, 4>{}) continue;  // a host without an IP address
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(settings_.trapPort);
        std::memcpy(&to.sin_addr, host.data(), 4);
        const bool sent = sendto(socket_, octets.data(), octets.size(), 0, reinterpret_cast<const sockaddr *>(&to),
                                 sizeof to) >= 0;
        if (sent) agent_.CountTrap();
        Log("trap to=" + AddressText(to) + " specific=" + std::to_string(specific) +
            (sent ? " outcome=sent" : " outcome=send-failed"));
    }
}

void Server::Run() {
    static const Oid kStatusCode{1, 3, 6, 1, 4, 1, 236, 11, 5, 1, 12, 5, 1, 0};
    static const Oid kStatusText{1, 3, 6, 1, 4, 1, 236, 11, 5, 1, 12, 5, 2, 0};
    while (!stop_) {
        switch (WaitFor(socket_, -1)) {
        case Wake::Datagram:
            HandleDatagram();
            break;
        case Wake::Trap:
            SendTraps(CompleteTrapDestinations(agent_.Store()), 2, {kStatusCode, kStatusText});
            break;
        case Wake::Stop:
            stop_ = true;
            break;
        case Wake::Timeout:
            break;
        }
    }
}

}  // namespace

int Serve(const ServerSettings &settings, Agent &agent) {
    Server server(settings, agent);
    std::string error;
    if (!server.SetUp(error)) {
        std::fprintf(stderr, "snmphelper-printer-sim: %s\n", error.c_str());
        return 1;
    }
    server.Run();
    return 0;
}

}  // namespace printersim
