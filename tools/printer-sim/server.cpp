// SPDX-License-Identifier: Apache-2.0
// Serving loop of the simulator: UDP (POSIX sockets), IPX and LLC (packet sockets).
#include "tools/printer-sim/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_ether.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "tools/printer-sim/ipx_frame.h"
#include "tools/printer-sim/llc_frame.h"
#include "tools/printer-sim/packet_link.h"
#include "tools/printer-sim/trap_table.h"

namespace printersim {

namespace {

// The kernel sorts IPX frames among three packet protocols by framing, so
// one socket of every protocol sees them all, in the order they arrived. An
// ETH_P_802_2 socket gets every length frame with an LLC header (not raw
// 802.3 IPX); the SAPs are sorted here.
constexpr std::uint16_t kAnyProtocol = ETH_P_ALL;
constexpr std::uint16_t kLlcFrames = ETH_P_802_2;

// Signals reach the loop through a pipe, so that poll() wakes for them and
// nothing is done inside the handler but one write.
int g_signalPipe[2] = {-1, -1};

extern "C" void OnSignal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t written = write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

// Once per process: every printer of a fleet shares the pipe.
bool InstallSignals(std::string &error) {
    if (g_signalPipe[0] >= 0) return true;
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

enum class Wake { Udp, Ipx, Llc, Stop, Trap, Timeout };

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

// Waits for a datagram on the UDP socket or a frame on the IPX or LLC
// socket (any -1 for none) or a signal, for at most timeoutMs (-1: no limit).
Wake WaitFor(int udpSocket, int ipxSocket, int timeoutMs, int llcSocket = -1) {
    // poll() passes over the entries whose descriptor is negative.
    pollfd fds[4] = {{g_signalPipe[0], POLLIN, 0}, {udpSocket, POLLIN, 0}, {ipxSocket, POLLIN, 0},
                     {llcSocket, POLLIN, 0}};
    while (true) {
        const int ready = poll(fds, 4, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return Wake::Timeout;
        if (fds[0].revents != 0) {
            const Wake wake = ReadSignals();
            if (wake != Wake::Timeout) return wake;
        }
        if (fds[1].revents != 0) return Wake::Udp;
        if (fds[2].revents != 0) return Wake::Ipx;
        if (fds[3].revents != 0) return Wake::Llc;
    }
}

// Only the signal pipe: a wait that a stop signal cuts short.
Wake Sleep(int timeoutMs) { return WaitFor(-1, -1, timeoutMs); }

// A fleet's printers share one log; a line is written whole.
std::mutex g_logLock;

// A socket per printer: a large fleet needs more descriptors than the usual
// soft limit of 1024, and may have up to the hard limit.
void RaiseDescriptorLimit(std::size_t printers) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, static_cast<rlim_t>(printers) * 2 + 64);
    if (wanted <= limit.rlim_cur) return;
    limit.rlim_cur = wanted;
    setrlimit(RLIMIT_NOFILE, &limit);
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

// Where a request came from, and so where its answer goes: one of the two.
struct Requester {
    const sockaddr_in *udp = nullptr;
    const IpxDatagram *ipx = nullptr;
    const LlcFrame *llc = nullptr;
};

class Server;

// An answer that a delay fault holds back, kept by a fleet's thread until it
// is due, so that a delayed printer holds up no other printer.
struct DelayedAnswer {
    Server *server = nullptr;
    Message reply;
    FaultPlan plan;
    sockaddr_in to{};
    std::string line;
};
using DelayedAnswers = std::multimap<std::chrono::steady_clock::time_point, DelayedAnswer>;

// Dynamic IPX sockets start here; other-port without a number answers from it.
constexpr std::uint16_t kFirstDynamicIpxSocket = 0x4000;

class Server {
public:
    // `sharedLog`: the log file of a whole fleet, kept open by the caller;
    // null opens settings.logFile for this printer alone.
    Server(const ServerSettings &settings, Agent &agent, std::FILE *sharedLog = nullptr)
        : settings_(settings), agent_(agent), log_(sharedLog), ownsLog_(sharedLog == nullptr) {}
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    bool SetUp(std::string &error);
    // Writes the ready file and says "ready" on standard output.
    bool Announce(std::string &error);
    void Run();

    // What a fleet's loop drives directly.
    int UdpDescriptor() const { return socket_; }
    // Receives one datagram into `room` (a thread's, shared by its printers) and answers it.
    void HandleUdp(std::span<std::uint8_t> room);
    // Where a fleet's thread keeps this printer's delayed answers (UDP).
    void DelayInto(DelayedAnswers &delayed) { delayed_ = &delayed; }
    void AnswerDelayed(const DelayedAnswer &delayed);
    void SendColdStart();
    void SendStatusTraps();
    void Log(const std::string &line);

private:
    bool OpenSocket(std::uint16_t port, int &fd, std::string &error);
    bool WriteReadyFile(std::string &error);
    void HandleIpx();
    void HandleLlc();
    bool IsForUs(const IpxDatagram &datagram) const;
    std::string RequestLineStart(const std::string &from) const;
    void HandleRequest(std::span<const std::uint8_t> message, const std::string &from, const Requester &requester);
    bool DropByCount(const Outcome &outcome);
    FaultPlan PlanFor(const Outcome &outcome) const;
    void Answer(const Outcome &outcome, const FaultPlan &plan, const Requester &requester,
                const std::string &line);
    void Send(const Message &answer, const FaultPlan &plan, const Requester &requester, const std::string &line);
    bool SendUdp(const std::vector<std::uint8_t> &octets, const FaultPlan &plan, const sockaddr_in &to,
                 const std::string &line, const std::string &result);
    bool SendIpx(const std::vector<std::uint8_t> &octets, const FaultPlan &plan, const IpxDatagram &to,
                 const std::string &line, const std::string &result);
    bool SendLlc(const std::vector<std::uint8_t> &octets, const FaultPlan &plan, const LlcFrame &to,
                 const std::string &line, const std::string &result);
    void SendTraps(const std::vector<std::array<std::uint8_t, 4>> &hosts, std::int32_t specific,
                   const std::vector<Oid> &names, std::int32_t generic = kGenericEnterpriseSpecific);
    bool Logging() const { return log_ != nullptr || settings_.verbose; }

    const ServerSettings &settings_;
    Agent &agent_;
    int socket_ = -1;
    int otherSocket_ = -1;
    sockaddr_in local_{};
    PacketLink ipx_;
    IpxAddress ipxLocal_;  // network and node; the socket is kIpxSocketSnmp
    PacketLink llc_;
    std::vector<std::uint8_t> frame_;  // the last frame received, its room kept between frames
    std::FILE *log_ = nullptr;
    bool ownsLog_ = true;
    unsigned long datagrams_ = 0;
    unsigned answerable_ = 0;                 // requests the run's drop:N counts
    std::map<Oid, unsigned> objectRequests_;  // requests naming an object, for its drop:N
    bool stop_ = false;
    DelayedAnswers *delayed_ = nullptr;  // a fleet thread's; null: a delay sleeps
};

Server::~Server() {
    if (socket_ >= 0) close(socket_);
    if (otherSocket_ >= 0) close(otherSocket_);
    if (ownsLog_ && log_ != nullptr) std::fclose(log_);
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
    if (ownsLog_ && !settings_.logFile.empty()) {
        log_ = std::fopen(settings_.logFile.c_str(), "a");
        if (log_ == nullptr) {
            error = "cannot open the log " + settings_.logFile + ": " + std::strerror(errno);
            return false;
        }
    }
    if (!InstallSignals(error) || !OpenSocket(settings_.port, socket_, error)) return false;
    socklen_t length = sizeof local_;
    getsockname(socket_, reinterpret_cast<sockaddr *>(&local_), &length);
    if (!settings_.ipxInterface.empty()) {
        if (!ipx_.Open(settings_.ipxInterface, kAnyProtocol, "IPX", error)) return false;
        ipxLocal_ = {settings_.ipxNetwork, ipx_.Address(), kIpxSocketSnmp};
    }
    return settings_.dlcInterface.empty() || llc_.Open(settings_.dlcInterface, kLlcFrames, "DLC", error);
}

bool Server::Announce(std::string &error) {
    if (!settings_.readyFile.empty() && !WriteReadyFile(error)) return false;
    std::printf("ready\n");
    std::fflush(stdout);
    return true;
}

void Server::Log(const std::string &line) {
    if (!Logging()) return;
    const std::lock_guard<std::mutex> hold(g_logLock);
    if (log_ != nullptr) {
        std::fprintf(log_, "%s\n", line.c_str());
        std::fflush(log_);
    }
    if (settings_.verbose) std::fprintf(stderr, "%s\n", line.c_str());
}

FaultPlan Server::PlanFor(const Outcome &outcome) const {
    FaultPlan plan = settings_.faults;
    if (!agent_.Store().MayHaveObjectFaults()) return plan;
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
    if (!agent_.Store().MayHaveObjectFaults()) return drop;
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

void Server::Answer(const Outcome &outcome, const FaultPlan &plan, const Requester &requester,
                    const std::string &line) {
    if (plan.delayMs != 0 && delayed_ != nullptr && requester.udp != nullptr) {
        const auto due = std::chrono::steady_clock::now() + std::chrono::milliseconds(plan.delayMs);
        delayed_->emplace(due, DelayedAnswer{this, outcome.reply, plan, *requester.udp, line});
        return;
    }
    if (plan.delayMs != 0 && Sleep(static_cast<int>(plan.delayMs)) == Wake::Stop) {
        stop_ = true;
        Log(line + " outcome=stopped");
        return;
    }
    Send(outcome.reply, plan, requester, line);
}

void Server::AnswerDelayed(const DelayedAnswer &delayed) {
    Requester requester;
    requester.udp = &delayed.to;
    Send(delayed.reply, delayed.plan, requester, delayed.line);
}

// Logs the request's line before the reply leaves, so that whoever reads the
// log after receiving the reply finds the line there.
void Server::Send(const Message &answer, const FaultPlan &plan, const Requester &requester, const std::string &line) {
    Message reply = answer;
    ApplyMessageFaults(plan, reply);
    const std::vector<std::uint8_t> octets = EncodeWithFaults(plan, reply);
    const std::string result = Logging() ? "answered size=" + std::to_string(octets.size()) +
                                               " status=" + std::to_string(reply.errorStatus)
                                         : std::string();
    const bool sent = requester.udp != nullptr   ? SendUdp(octets, plan, *requester.udp, line, result)
                      : requester.ipx != nullptr ? SendIpx(octets, plan, *requester.ipx, line, result)
                                                 : SendLlc(octets, plan, *requester.llc, line, result);
    if (sent) agent_.CountReply(reply);
}

bool Server::SendUdp(const std::vector<std::uint8_t> &octets, const FaultPlan &plan, const sockaddr_in &to,
                     const std::string &line, const std::string &result) {
    int from = socket_;
    std::string fromPort;
    if (plan.otherPort) {
        std::string error;
        if (otherSocket_ < 0 && !OpenSocket(*plan.otherPort, otherSocket_, error)) {
            Log(line + " outcome=send-failed (" + error + ")");
            otherSocket_ = -1;
            return false;
        }
        from = otherSocket_;
        sockaddr_in source{};
        socklen_t length = sizeof source;
        getsockname(from, reinterpret_cast<sockaddr *>(&source), &length);
        fromPort = " from-port=" + std::to_string(ntohs(source.sin_port));
    }
    Log(line + " outcome=" + result + fromPort);
    if (sendto(from, octets.data(), octets.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) < 0) {
        Log(line + " outcome=send-failed (" + std::strerror(errno) + ")");
        return false;
    }
    return true;
}

// RFC 1420: the answer goes to the request's source address and socket, in
// the request's framing, through the Ethernet station that sent it.
// other-port here answers from another IPX socket.
bool Server::SendIpx(const std::vector<std::uint8_t> &octets, const FaultPlan &plan, const IpxDatagram &to,
                     const std::string &line, const std::string &result) {
    IpxOutgoing header;
    header.framing = to.framing;
    header.linkDestination = to.linkSource;
    header.linkSource = ipxLocal_.node;
    header.destination = to.source;
    header.source = ipxLocal_;
    std::string fromSocket;
    if (plan.otherPort) {
        header.source.socket = *plan.otherPort != 0 ? *plan.otherPort : kFirstDynamicIpxSocket;
        char text[8];
        std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(header.source.socket));
        fromSocket = std::string(" from-socket=") + text;
    }
    std::vector<std::uint8_t> frame;
    if (!BuildIpxFrame(header, octets, frame)) {
        Log(line + " outcome=send-failed (" + std::to_string(octets.size()) +
            " octets do not fit an Ethernet frame)");
        return false;
    }
    Log(line + " outcome=" + result + fromSocket);
    std::string error;
    if (!ipx_.Send(frame, error)) {
        Log(line + " outcome=send-failed (" + error + ")");
        return false;
    }
    return true;
}

// IEEE 802.2: a UI answer from the SNMP SAP to the request's station and
// SAP. other-port here answers from another SAP: P's low byte, or 0C.
bool Server::SendLlc(const std::vector<std::uint8_t> &octets, const FaultPlan &plan, const LlcFrame &to,
                     const std::string &line, const std::string &result) {
    constexpr std::uint8_t kOtherSap = 0x0C;
    std::uint8_t sap = kLlcSnmpSap;
    std::string fromSap;
    if (plan.otherPort) {
        const auto low = static_cast<std::uint8_t>(*plan.otherPort & 0xFE);
        sap = low != 0 ? low : kOtherSap;
        char text[8];
        std::snprintf(text, sizeof text, "%02x", static_cast<unsigned>(sap));
        fromSap = std::string(" from-sap=") + text;
    }
    std::vector<std::uint8_t> frame;
    if (!BuildLlcUiFrame(to.source, llc_.Address(), to.ssap, sap, octets, frame)) {
        Log(line + " outcome=send-failed (" + std::to_string(octets.size()) +
            " octets do not fit an Ethernet frame)");
        return false;
    }
    Log(line + " outcome=" + result + fromSap);
    std::string error;
    if (!llc_.Send(frame, error)) {
        Log(line + " outcome=send-failed (" + error + ")");
        return false;
    }
    return true;
}

void Server::HandleUdp(std::span<std::uint8_t> room) {
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t received = recvfrom(socket_, room.data(), room.size(), MSG_DONTWAIT,
                                      reinterpret_cast<sockaddr *>(&from), &fromLength);
    if (received < 0) return;
    Requester requester;
    requester.udp = &from;
    HandleRequest({room.data(), static_cast<std::size_t>(received)}, Logging() ? AddressText(from) : std::string(),
                  requester);
}

// RFC 1420: the SNMP socket, at this node or every node, on this network or
// on network 0 ("this network").
bool Server::IsForUs(const IpxDatagram &datagram) const {
    const IpxAddress &to = datagram.destination;
    return to.socket == kIpxSocketSnmp && (to.node == ipxLocal_.node || to.node == kBroadcastNode) &&
           (to.network == ipxLocal_.network || to.network == 0);
}

// Frames that are not IPX, are malformed or are for someone else pass
// unlogged, as a station on a shared segment would ignore them.
void Server::HandleIpx() {
    IpxDatagram datagram;
    if (!ipx_.Receive(frame_) || !ParseIpxFrame(frame_, datagram) || !IsForUs(datagram)) return;
    Requester requester;
    requester.ipx = &datagram;
    HandleRequest(datagram.data,
                  FormatIpxAddress(datagram.source) + " frame=" + FramingName(datagram.framing), requester);
}

// Only UI frames to the SNMP SAP are requests; everything else on the
// segment passes unlogged.
void Server::HandleLlc() {
    LlcFrame request;
    if (!llc_.Receive(frame_) || !ParseLlcFrame(frame_, request)) return;
    if (request.dsap != kLlcSnmpSap || request.control != kLlcUiControl) return;
    Requester requester;
    requester.llc = &request;
    HandleRequest(request.data, FormatLlcAddress(request.source, request.ssap) + " frame=llc", requester);
}

std::string Server::RequestLineStart(const std::string &from) const {
    return "request=" + std::to_string(datagrams_) + (settings_.logTag ? " at=" + settings_.address : std::string()) +
           " from=" + from;
}

void Server::HandleRequest(std::span<const std::uint8_t> message, const std::string &from,
                           const Requester &requester) {
    const WatchSnapshot watchedBefore = SnapshotWatched(agent_.Store(), settings_.watched);
    const Outcome outcome = agent_.Handle(message);
    ++datagrams_;
    std::string line;
    if (!Logging()) {
        // Nothing reads the line.
    } else if (outcome.disposition == Disposition::Undecodable) {
        line = RequestLineStart(from) + " pdu=- id=- oids=-";
    } else {
        line = RequestLineStart(from);
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
            Answer(outcome, plan, requester, line);  // logs the line itself
            result.clear();
        }
    }
    if (!result.empty()) Log(line + " outcome=" + result);
    SendTraps(agent_.TakeNewTrapDestinations(), kSpecificRegistered, {TrapDestinationEntry()});
    const std::vector<Oid> changed =
        ChangedObjects(watchedBefore, SnapshotWatched(agent_.Store(), settings_.watched));
    if (!changed.empty()) SendTraps(CompleteTrapDestinations(agent_.Store()), kSpecificWatchedChange, changed);
}

// Traps (RFC 1157 4.1.6): coldStart at the start; enterprise-specific 1
// when a host's registration completes, 2 for a status report on SIGUSR1,
// 3 with the new values when watched objects changed.
void Server::SendTraps(const std::vector<std::array<std::uint8_t, 4>> &hosts, std::int32_t specific,
                       const std::vector<Oid> &names, std::int32_t generic) {
    if (hosts.empty()) return;
    TrapMessage trap;
    trap.community = agent_.Settings().community;
    trap.enterprise = {1, 3, 6, 1, 4, 1, 236, 11, 5, 1};
    std::memcpy(trap.agentAddress.data(), &local_.sin_addr, 4);
    trap.genericTrap = generic;
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
        Log("trap to=" + AddressText(to) + " generic=" + std::to_string(generic) +
            " specific=" + std::to_string(specific) +
            (sent ? " outcome=sent" : " outcome=send-failed"));
    }
}

// Rows that came with the objects file hear that the printer started.
void Server::SendColdStart() { SendTraps(CompleteTrapDestinations(agent_.Store()), 0, {}, kGenericColdStart); }

void Server::SendStatusTraps() {
    static const Oid kStatusCode{1, 3, 6, 1, 4, 1, 236, 11, 5, 1, 12, 5, 1, 0};
    static const Oid kStatusText{1, 3, 6, 1, 4, 1, 236, 11, 5, 1, 12, 5, 2, 0};
    SendTraps(CompleteTrapDestinations(agent_.Store()), kSpecificStatus, {kStatusCode, kStatusText});
}

void Server::Run() {
    SendColdStart();
    std::vector<std::uint8_t> room(65536);
    while (!stop_) {
        switch (WaitFor(socket_, ipx_.Descriptor(), -1, llc_.Descriptor())) {
        case Wake::Udp:
            HandleUdp(room);
            break;
        case Wake::Ipx:
            HandleIpx();
            break;
        case Wake::Llc:
            HandleLlc();
            break;
        case Wake::Trap:
            SendStatusTraps();
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
    if (!server.SetUp(error) || !server.Announce(error)) {
        std::fprintf(stderr, "snmphelper-printer-sim: %s\n", error.c_str());
        return 1;
    }
    server.Run();
    return 0;
}

namespace {

// What a fleet's threads share: a stop that stays signalled once given (an
// eventfd never read), and a count of status-trap requests that each thread
// answers for its own printers once its wake-up descriptor is written.
struct FleetControl {
    int stop = -1;
    std::atomic<unsigned> trapRequests{0};
};

// One thread's share of the fleet: it alone handles its printers, so a
// printer's agent, store, counters and faults need no lock.
class FleetWorker {
public:
    FleetWorker(FleetControl &control, std::vector<Server *> printers) : control_(control), printers_(std::move(printers)) {}
    ~FleetWorker() {
        if (epoll_ >= 0) close(epoll_);
        if (wake_ >= 0) close(wake_);
    }
    FleetWorker(const FleetWorker &) = delete;
    FleetWorker &operator=(const FleetWorker &) = delete;

    bool SetUp(std::string &error);
    void Wake() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(wake_, &one, sizeof one);
    }
    void Run();

private:
    static constexpr std::uint64_t kStopEvent = ~std::uint64_t{0};
    static constexpr std::uint64_t kWakeEvent = kStopEvent - 1;

    FleetControl &control_;
    std::vector<Server *> printers_;
    DelayedAnswers delayed_;  // its printers' answers held back by delay faults, by when they are due
    int epoll_ = -1;
    int wake_ = -1;
};

bool FleetWorker::SetUp(std::string &error) {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epoll_ < 0 || wake_ < 0) {
        error = std::string("cannot set up a serving thread: ") + std::strerror(errno);
        return false;
    }
    const auto add = [this](int fd, std::uint64_t data) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = data;
        return epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) == 0;
    };
    bool added = add(control_.stop, kStopEvent) && add(wake_, kWakeEvent);
    for (std::size_t i = 0; i < printers_.size() && added; ++i) {
        added = add(printers_[i]->UdpDescriptor(), i);
        printers_[i]->DelayInto(delayed_);
    }
    if (!added) error = std::string("cannot watch the printers' sockets: ") + std::strerror(errno);
    return added;
}

void FleetWorker::Run() {
    for (Server *printer : printers_) printer->SendColdStart();
    // One datagram's room for the thread, whichever printer it is for.
    std::vector<std::uint8_t> room(65536);
    std::array<epoll_event, 256> events{};
    unsigned trapsSent = 0;
    while (true) {
        int timeoutMs = -1;
        if (!delayed_.empty()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(delayed_.begin()->first -
                                                                           std::chrono::steady_clock::now());
            timeoutMs = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, wait.count()));
        }
        const int ready = epoll_wait(epoll_, events.data(), static_cast<int>(events.size()), timeoutMs);
        if (ready < 0 && errno != EINTR) return;
        for (int i = 0; i < ready; ++i) {
            const std::uint64_t data = events[static_cast<std::size_t>(i)].data.u64;
            if (data == kStopEvent) {
                for (const auto &[due, answer] : delayed_) answer.server->Log(answer.line + " outcome=stopped");
                return;
            }
            if (data == kWakeEvent) {
                std::uint64_t count = 0;
                [[maybe_unused]] ssize_t got = read(wake_, &count, sizeof count);
                for (const unsigned requested = control_.trapRequests.load(); trapsSent != requested; ++trapsSent) {
                    for (Server *printer : printers_) printer->SendStatusTraps();
                }
                continue;
            }
            printers_[data]->HandleUdp(room);
        }
        const auto now = std::chrono::steady_clock::now();
        while (!delayed_.empty() && delayed_.begin()->first <= now) {
            auto due = delayed_.extract(delayed_.begin());
            due.mapped().server->AnswerDelayed(due.mapped());
        }
    }
}

// The main thread waits for signals and passes them on; `threads` threads
// share the printers out, printer i to thread i mod threads.
bool RunFleet(std::vector<std::unique_ptr<Server>> &servers, unsigned threads, std::string &error) {
    FleetControl control;
    control.stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (control.stop < 0) {
        error = std::string("cannot create the stop event: ") + std::strerror(errno);
        return false;
    }
    threads = std::clamp<unsigned>(threads, 1, static_cast<unsigned>(servers.size()));
    std::vector<std::vector<Server *>> shares(threads);
    for (std::size_t i = 0; i < servers.size(); ++i) shares[i % threads].push_back(servers[i].get());
    std::vector<std::unique_ptr<FleetWorker>> workers;
    bool ready = true;
    for (auto &share : shares) {
        workers.push_back(std::make_unique<FleetWorker>(control, std::move(share)));
        ready = ready && workers.back()->SetUp(error);
    }
    ready = ready && servers.front()->Announce(error);
    if (ready) {
        std::vector<std::thread> running;
        for (auto &worker : workers) running.emplace_back([&worker] { worker->Run(); });
        bool stop = false;
        while (!stop) {
            const Wake wake = Sleep(-1);
            if (wake == Wake::Trap) {
                control.trapRequests.fetch_add(1);
                for (const auto &worker : workers) worker->Wake();
            }
            stop = wake == Wake::Stop;
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] ssize_t written = write(control.stop, &one, sizeof one);
        for (std::thread &thread : running) thread.join();
    }
    workers.clear();
    close(control.stop);
    return ready;
}

}  // namespace

int ServeFleet(const std::vector<ServerSettings> &settings, std::vector<std::unique_ptr<Agent>> &agents,
               unsigned threads) {
    std::FILE *log = nullptr;
    if (!settings.empty() && !settings.front().logFile.empty()) {
        log = std::fopen(settings.front().logFile.c_str(), "a");
        if (log == nullptr) {
            std::fprintf(stderr, "snmphelper-printer-sim: cannot open the log %s: %s\n",
                         settings.front().logFile.c_str(), std::strerror(errno));
            return 1;
        }
    }
    RaiseDescriptorLimit(settings.size());
    std::vector<std::unique_ptr<Server>> servers;
    std::string error;
    bool ready = true;
    for (std::size_t i = 0; i < settings.size() && ready; ++i) {
        servers.push_back(std::make_unique<Server>(settings[i], *agents[i], log));
        ready = servers.back()->SetUp(error);
    }
    ready = ready && !servers.empty() && RunFleet(servers, threads, error);
    servers.clear();
    if (log != nullptr) std::fclose(log);
    if (!ready) std::fprintf(stderr, "snmphelper-printer-sim: %s\n", error.c_str());
    return ready ? 0 : 1;
}

}  // namespace printersim
