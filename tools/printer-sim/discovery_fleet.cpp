// SPDX-License-Identifier: Apache-2.0
#include "tools/printer-sim/discovery_fleet.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <queue>
#include <map>
#include <sstream>
#include <tuple>

#include "tools/printer-sim/llc_frame.h"
#include "tools/printer-sim/mib_file.h"
#include "tools/printer-sim/packet_link.h"

namespace printersim {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint16_t kEveryFrame = 0x0003;  // ETH_P_ALL: IPX in its four framings and LLC alike
constexpr std::size_t kMacDigits = 12;
constexpr std::chrono::milliseconds kSameRequestWindow{100};

bool ParseMac(const std::string &text, MacAddress &mac) {
    if (text.size() != kMacDigits) return false;
    for (std::size_t i = 0; i < mac.size(); ++i) {
        unsigned value = 0;
        if (std::sscanf(text.c_str() + 2 * i, "%2x", &value) != 1 ||
            std::isxdigit(static_cast<unsigned char>(text[2 * i])) == 0 ||
            std::isxdigit(static_cast<unsigned char>(text[2 * i + 1])) == 0) {
            return false;
        }
        mac[i] = static_cast<std::uint8_t>(value);
    }
    return true;
}

std::string MacText(const MacAddress &mac) {
    char text[kMacDigits + 1];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x%02x%02x", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
    return text;
}

const char *TransportName(unsigned transport) {
    return transport == kAnswerIp ? "ip" : transport == kAnswerIpx ? "ipx" : "dlc";
}

bool ParseAnswer(const std::string &text, unsigned &transports) {
    transports = 0;
    if (text == "none") return true;
    std::stringstream list(text);
    std::string word;
    while (std::getline(list, word, ',')) {
        if (word == "ip") {
            transports |= kAnswerIp;
        } else if (word == "ipx") {
            transports |= kAnswerIpx;
        } else if (word == "dlc") {
            transports |= kAnswerDlc;
        } else {
            return false;
        }
    }
    return transports != 0;
}

bool ParseLine(const std::string &line, FleetPrinter &printer) {
    std::stringstream words(line);
    std::string word;
    bool haveMac = false;
    bool haveAnswer = false;
    while (words >> word) {
        const std::size_t equals = word.find('=');
        if (equals == std::string::npos) return false;
        const std::string key = word.substr(0, equals);
        const std::string value = word.substr(equals + 1);
        if (key == "ip") {
            in_addr parsed{};
            if (value != "-" && inet_pton(AF_INET, value.c_str(), &parsed) != 1) return false;
            printer.ip = value == "-" ? "" : value;
        } else if (key == "mac") {
            if (!ParseMac(value, printer.mac)) return false;
            haveMac = true;
        } else if (key == "answer") {
            if (!ParseAnswer(value, printer.transports)) return false;
            haveAnswer = true;
        } else if (key == "delay") {
            char *end = nullptr;
            const unsigned long delay = std::strtoul(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || delay > 60000) return false;
            printer.delayMs = static_cast<unsigned>(delay);
        } else if (key == "name") {
            printer.name = value;
        } else {
            return false;
        }
    }
    if ((printer.transports & kAnswerIp) != 0 && printer.ip.empty()) return false;
    return haveMac && haveAnswer;
}

// One datagram to or from `peer` through the fleet's socket, with room for
// the IP_PKTINFO that names the address it was sent to, or is sent from.
struct PacketInfoMessage {
    PacketInfoMessage(void *data, std::size_t size) : part{data, size} {
        header.msg_name = &peer;
        header.msg_namelen = sizeof peer;
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
    }
    PacketInfoMessage(const PacketInfoMessage &) = delete;
    PacketInfoMessage &operator=(const PacketInfoMessage &) = delete;

    sockaddr_in peer{};
    iovec part;
    alignas(cmsghdr) std::uint8_t control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr header{};
};

// An answer waiting for its printer's delay to pass.
struct PendingAnswer {
    Clock::time_point due{};
    std::uint64_t order = 0;  // first come, first sent among equal times
    std::vector<std::uint8_t> frameOrDatagram;
    std::size_t printer = 0;
    unsigned transport = 0;
    sockaddr_in to{};  // IP only
    bool operator>(const PendingAnswer &other) const { return std::tie(due, order) > std::tie(other.due, other.order); }
};

class FleetServer {
public:
    FleetServer(const DiscoveryFleetSettings &settings, const std::vector<FleetPrinter> &printers, const MibStore &base,
                const AgentSettings &agentSettings);
    ~FleetServer();
    bool SetUp(std::string &error);
    int Run();

private:
    void HandleUdp();
    void HandleFrame();
    void HandleIpx(const IpxDatagram &datagram);
    void HandleLlc(const LlcFrame &frame);
    // Lets printer `index` handle a request over `transport`; the answer is
    // queued. A printer answers each request once, however often a
    // broadcast reaches it.
    std::optional<std::vector<std::uint8_t>> Answer(std::size_t index, unsigned transport,
                                                    std::span<const std::uint8_t> request, const std::string &from);
    void Queue(PendingAnswer answer);
    void SendDue();
    void Log(const std::string &line);

    const DiscoveryFleetSettings &settings_;
    const std::vector<FleetPrinter> &printers_;
    std::vector<std::unique_ptr<MibStore>> stores_;
    std::vector<std::unique_ptr<Agent>> agents_;
    int udp_ = -1;
    int signals_ = -1;
    PacketLink link_;
    std::FILE *log_ = nullptr;
    std::vector<std::uint8_t> frame_;
    std::priority_queue<PendingAnswer, std::vector<PendingAnswer>, std::greater<>> pending_;
    std::uint64_t order_ = 0;
    std::uint64_t requests_ = 0;
    // When each (printer, transport, requester, request octets) was answered.
    std::map<std::tuple<std::size_t, unsigned, std::string, std::string>, Clock::time_point> answered_;
};

FleetServer::FleetServer(const DiscoveryFleetSettings &settings, const std::vector<FleetPrinter> &printers,
                         const MibStore &base, const AgentSettings &agentSettings)
    : settings_(settings), printers_(printers) {
    // Each printer keeps only what it shows of its own over the shared objects.
    const MibStore::SharedObjects shared = base.Share();
    for (const FleetPrinter &printer : printers) {
        auto store = std::make_unique<MibStore>(shared);
        const std::string mac = MacText(printer.mac);
        std::string objects = "1.3.6.1.2.1.43.5.1.1.17.1 STRING \"SIM" + mac + "\"\n" +
                              "1.3.6.1.4.1.236.11.5.1.12.3.3.0 HEX " + mac + "\n" +
                              "1.3.6.1.2.1.2.2.1.6.2 HEX " + mac + "\n";
        if (!printer.name.empty()) objects += "1.3.6.1.2.1.1.5.0 STRING \"" + printer.name + "\" rw\n";
        std::string error;
        LoadObjects(objects, "fleet", *store, error);
        agents_.push_back(std::make_unique<Agent>(*store, agentSettings));
        stores_.push_back(std::move(store));
    }
}

FleetServer::~FleetServer() {
    if (udp_ >= 0) close(udp_);
    if (signals_ >= 0) close(signals_);
    if (log_ != nullptr) std::fclose(log_);
}

bool FleetServer::SetUp(std::string &error) {
    if (!settings_.logFile.empty() && (log_ = std::fopen(settings_.logFile.c_str(), "a")) == nullptr) {
        error = "cannot open the log " + settings_.logFile + ": " + std::strerror(errno);
        return false;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGINT);
    sigprocmask(SIG_BLOCK, &stop, nullptr);
    signals_ = signalfd(-1, &stop, SFD_CLOEXEC | SFD_NONBLOCK);
    // One socket on every address: a broadcast reaches only a socket bound
    // to none; each printer answers from its own address (IP_PKTINFO).
    udp_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    const int on = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(settings_.port);
    if (signals_ < 0 || udp_ < 0 || setsockopt(udp_, IPPROTO_IP, IP_PKTINFO, &on, sizeof on) != 0 ||
        setsockopt(udp_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0 ||
        bind(udp_, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        error = std::string("cannot open the fleet's UDP socket: ") + std::strerror(errno);
        return false;
    }
    if (!settings_.interfaceName.empty()) {
        if (!link_.Open(settings_.interfaceName, kEveryFrame, "fleet", error)) return false;
        link_.AcceptOtherHosts();  // the printers' own adapter addresses are not the interface's
    }
    if (!settings_.readyFile.empty()) {
        socklen_t length = sizeof local;
        getsockname(udp_, reinterpret_cast<sockaddr *>(&local), &length);
        std::FILE *ready = std::fopen(settings_.readyFile.c_str(), "w");
        if (ready == nullptr) {
            error = "cannot write " + settings_.readyFile;
            return false;
        }
        std::fprintf(ready, "%u\n", static_cast<unsigned>(ntohs(local.sin_port)));
        std::fclose(ready);
    }
    return true;
}

void FleetServer::Log(const std::string &line) {
    if (log_ == nullptr) return;
    std::fprintf(log_, "%s\n", line.c_str());
    std::fflush(log_);
}

std::optional<std::vector<std::uint8_t>> FleetServer::Answer(std::size_t index, unsigned transport,
                                                             std::span<const std::uint8_t> request,
                                                             const std::string &from) {
    const FleetPrinter &printer = printers_[index];
    if ((printer.transports & transport) == 0) return std::nullopt;
    Outcome outcome = agents_[index]->Handle(request);
    if (outcome.disposition != Disposition::Answer) return std::nullopt;
    // The same request seen again at once is one broadcast that came by two
    // paths (the wire and the host's own loopback); a later one is a new ask.
    const Clock::time_point now = Clock::now();
    const auto key = std::make_tuple(index, transport, from, std::string(request.begin(), request.end()));
    if (const auto seen = answered_.find(key); seen != answered_.end() && now - seen->second < kSameRequestWindow) {
        return std::nullopt;
    }
    answered_[key] = now;
    agents_[index]->CountReply(outcome.reply);
    Log("request=" + std::to_string(++requests_) + " at=" + MacText(printer.mac) + " transport=" +
        TransportName(transport) + " from=" + from + " id=" + std::to_string(outcome.request.requestId) +
        " outcome=answered delay=" + std::to_string(printer.delayMs));
    return EncodeMessage(outcome.reply);
}

void FleetServer::Queue(PendingAnswer answer) {
    answer.due = Clock::now() + std::chrono::milliseconds(printers_[answer.printer].delayMs);
    answer.order = order_++;
    pending_.push(std::move(answer));
}

void FleetServer::HandleUdp() {
    for (;;) {
        std::uint8_t datagram[65536];
        PacketInfoMessage message(datagram, sizeof datagram);
        const ssize_t received = recvmsg(udp_, &message.header, 0);
        if (received < 0) return;
        const sockaddr_in &from = message.peer;
        in_addr destination{};
        for (cmsghdr *header = CMSG_FIRSTHDR(&message.header); header != nullptr;
             header = CMSG_NXTHDR(&message.header, header)) {
            if (header->cmsg_level == IPPROTO_IP && header->cmsg_type == IP_PKTINFO) {
                in_pktinfo info{};
                std::memcpy(&info, CMSG_DATA(header), sizeof info);
                destination = info.ipi_addr;
            }
        }
        char text[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &destination, text, sizeof text);
        const bool toOne = std::any_of(printers_.begin(), printers_.end(), [&](const FleetPrinter &p) { return p.ip == text; });
        char sender[INET_ADDRSTRLEN] = {};
        inet_ntop(AF_INET, &from.sin_addr, sender, sizeof sender);
        const std::string requester = std::string(sender) + ":" + std::to_string(ntohs(from.sin_port));
        const std::span<const std::uint8_t> request(datagram, static_cast<std::size_t>(received));
        for (std::size_t i = 0; i < printers_.size(); ++i) {
            if (printers_[i].ip.empty() || (toOne && printers_[i].ip != text)) continue;
            if (auto reply = Answer(i, kAnswerIp, request, requester)) {
                PendingAnswer answer;
                answer.frameOrDatagram = std::move(*reply);
                answer.printer = i;
                answer.transport = kAnswerIp;
                answer.to = from;
                Queue(std::move(answer));
            }
        }
    }
}

void FleetServer::HandleIpx(const IpxDatagram &datagram) {
    const IpxAddress &to = datagram.destination;
    if (to.socket != kIpxSocketSnmp || (to.network != 0 && to.network != settings_.ipxNetwork)) return;
    const std::string requester = FormatIpxAddress(datagram.source);
    for (std::size_t i = 0; i < printers_.size(); ++i) {
        if (to.node != kBroadcastNode && to.node != printers_[i].mac) continue;
        auto reply = Answer(i, kAnswerIpx, datagram.data, requester);
        if (!reply) continue;
        IpxOutgoing header;
        header.framing = datagram.framing;
        header.linkDestination = datagram.linkSource;
        header.linkSource = printers_[i].mac;
        header.destination = datagram.source;
        header.source = {settings_.ipxNetwork, printers_[i].mac, kIpxSocketSnmp};
        PendingAnswer answer;
        if (!BuildIpxFrame(header, *reply, answer.frameOrDatagram)) continue;
        answer.printer = i;
        answer.transport = kAnswerIpx;
        Queue(std::move(answer));
    }
}

void FleetServer::HandleLlc(const LlcFrame &frame) {
    if (frame.dsap != kLlcSnmpSap || frame.control != kLlcUiControl) return;
    const bool group = (frame.destination[0] & 0x01) != 0;  // IEEE 802: the group bit
    const std::string requester = FormatLlcAddress(frame.source, frame.ssap);
    for (std::size_t i = 0; i < printers_.size(); ++i) {
        if (!group && frame.destination != printers_[i].mac) continue;
        auto reply = Answer(i, kAnswerDlc, frame.data, requester);
        if (!reply) continue;
        PendingAnswer answer;
        if (!BuildLlcUiFrame(frame.source, printers_[i].mac, frame.ssap, kLlcSnmpSap, *reply, answer.frameOrDatagram)) {
            continue;
        }
        answer.printer = i;
        answer.transport = kAnswerDlc;
        Queue(std::move(answer));
    }
}

void FleetServer::HandleFrame() {
    while (link_.Receive(frame_)) {
        IpxDatagram datagram;
        LlcFrame llc;
        if (ParseIpxFrame(frame_, datagram)) {
            HandleIpx(datagram);
        } else if (ParseLlcFrame(frame_, llc)) {
            HandleLlc(llc);
        }
    }
}

void FleetServer::SendDue() {
    const Clock::time_point now = Clock::now();
    while (!pending_.empty() && pending_.top().due <= now) {
        const PendingAnswer &answer = pending_.top();
        if (answer.transport != kAnswerIp) {
            std::string error;
            link_.Send(answer.frameOrDatagram, error);
        } else {
            // From the printer's own address, whatever the request was sent to.
            in_pktinfo info{};
            inet_pton(AF_INET, printers_[answer.printer].ip.c_str(), &info.ipi_spec_dst);
            PacketInfoMessage message(const_cast<std::uint8_t *>(answer.frameOrDatagram.data()),
                                      answer.frameOrDatagram.size());
            message.peer = answer.to;
            cmsghdr *header = CMSG_FIRSTHDR(&message.header);
            header->cmsg_level = IPPROTO_IP;
            header->cmsg_type = IP_PKTINFO;
            header->cmsg_len = CMSG_LEN(sizeof info);
            std::memcpy(CMSG_DATA(header), &info, sizeof info);
            sendmsg(udp_, &message.header, 0);
        }
        pending_.pop();
    }
}

int FleetServer::Run() {
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        int waitMs = -1;
        if (!pending_.empty()) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(pending_.top().due - Clock::now());
            waitMs = static_cast<int>(std::max<std::int64_t>(0, left.count() + 1));
        }
        pollfd fds[3] = {{signals_, POLLIN, 0}, {udp_, POLLIN, 0}, {link_.Descriptor(), POLLIN, 0}};
        const int ready = poll(fds, 3, waitMs);
        if (ready < 0 && errno != EINTR) return 1;
        if (fds[0].revents != 0) return 0;
        if (fds[1].revents != 0) HandleUdp();
        if (fds[2].revents != 0) HandleFrame();
        SendDue();
    }
}

}  // namespace

bool LoadFleetFile(const std::string &path, std::vector<FleetPrinter> &printers, std::string &error) {
    std::ifstream file(path);
    if (!file) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    for (unsigned number = 1; std::getline(file, line); ++number) {
        if (const std::size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        FleetPrinter printer;
        if (!ParseLine(line, printer)) {
            error = path + ":" + std::to_string(number) +
                    ": expected ip=A|- mac=HEX12 answer=ip,ipx,dlc|none [delay=MS] [name=TEXT]";
            return false;
        }
        printers.push_back(printer);
    }
    return true;
}

int ServeDiscoveryFleet(const DiscoveryFleetSettings &settings, const std::vector<FleetPrinter> &printers,
                        const MibStore &base, const AgentSettings &agentSettings) {
    FleetServer server(settings, printers, base, agentSettings);
    std::string error;
    if (!server.SetUp(error)) {
        std::fprintf(stderr, "snmphelper-printer-sim: %s\n", error.c_str());
        return 1;
    }
    return server.Run();
}

}  // namespace printersim
