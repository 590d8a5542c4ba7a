// SPDX-License-Identifier: Apache-2.0
#include "bench/simulator_load.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ber_build.h"
#include "tests/support/child_process.h"

namespace snmphelper::bench {
namespace {

using test::Bytes;
using Clock = std::chrono::steady_clock;

constexpr char kCommunity[] = "t*o&r^e~l+d";
// Request-ids are 4-octet INTEGERs from here on, so that each is patched in place.
constexpr std::uint32_t kFirstRequestId = 0x10000000;
constexpr std::size_t kBatch = 64;
constexpr auto kResendAfter = std::chrono::milliseconds(200);
// Client threads driving the capacity figure; one alone is often the limit.
constexpr std::size_t kClients = 2;

// GetNextRequest of hrDeviceType, hrDeviceDescr, hrDeviceStatus and hrDeviceErrors.
Bytes GetNextRequest() {
    std::vector<Bytes> varBinds;
    for (const std::uint8_t column : {std::uint8_t{2}, std::uint8_t{3}, std::uint8_t{5}, std::uint8_t{6}}) {
        varBinds.push_back(test::VarBind({0x2B, 6, 1, 2, 1, 25, 3, 2, 1, column}, {0x05, 0x00}));
    }
    const Bytes pdu = test::Tlv(0xA1, test::Join({test::Tlv(0x02, {0x10, 0, 0, 0}), {0x02, 0x01, 0x00},
                                                  {0x02, 0x01, 0x00}, test::Tlv(0x30, test::Join(varBinds))}));
    return test::Message(Bytes(kCommunity, kCommunity + sizeof kCommunity - 1), pdu);
}

// Where an item's contents start, past its identifier and definite length;
// false when the message ends first.
bool EnterItem(const std::uint8_t *data, std::size_t size, std::size_t &at, std::size_t &length) {
    if (at + 2 > size) return false;
    std::size_t octets = data[at + 1];
    at += 2;
    if (octets < 0x80) {
        length = octets;
        return true;
    }
    octets &= 0x7F;
    if (octets == 0 || octets > 2 || at + octets > size) return false;
    length = 0;
    for (std::size_t i = 0; i < octets; ++i) length = (length << 8) | data[at++];
    return true;
}

// The request-id of a GetResponse, or false.
bool ReplyRequestId(const std::uint8_t *data, std::size_t size, std::uint32_t &id) {
    std::size_t at = 0;
    std::size_t length = 0;
    if (!EnterItem(data, size, at, length)) return false;  // the message
    for (int skip = 0; skip < 2; ++skip) {                // version, community
        if (!EnterItem(data, size, at, length)) return false;
        at += length;
    }
    if (!EnterItem(data, size, at, length) || !EnterItem(data, size, at, length) || length == 0 || length > 4 ||
        at + length > size)
        return false;
    id = 0;
    for (std::size_t i = 0; i < length; ++i) id = (id << 8) | data[at + i];
    return true;
}

std::size_t RequestIdOffset(const Bytes &request) {
    for (std::size_t i = 0; i + 6 <= request.size(); ++i) {
        if (request[i] == 0x02 && request[i + 1] == 0x04 && request[i + 2] == 0x10 && request[i + 3] == 0 &&
            request[i + 4] == 0 && request[i + 5] == 0)
            return i + 2;
    }
    return 0;
}

// Kilobytes of a /proc/PID/status line ("VmRSS:", "VmHWM:").
long StatusKilobytes(pid_t pid, const std::string &field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(field.size()));
    }
    return -1;
}

// User and system time of a process so far, every thread (/proc/PID/stat
// fields 14 and 15, in clock ticks).
double CpuSeconds(pid_t pid) {
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(file, stat);
    // The fields after the command name, which is in parentheses and may hold spaces.
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::vector<std::string> values;
    for (std::string value; fields >> value;) values.push_back(value);
    if (values.size() < 13) return 0;
    return static_cast<double>(std::stoull(values[11]) + std::stoull(values[12])) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

}  // namespace

LoadFigures DriveFleet(const std::string &firstAddress, std::size_t printers, std::size_t window, double seconds,
                       std::size_t clients) {
    if (clients > 1) {
        std::vector<LoadFigures> each(clients);
        std::vector<std::thread> threads;
        for (std::size_t c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                each[c] = DriveFleet(firstAddress, printers, std::max<std::size_t>(1, window / clients), seconds, 1);
            });
        }
        LoadFigures all;
        for (std::size_t c = 0; c < clients; ++c) {
            threads[c].join();
            all.answered += each[c].answered;
            all.resent += each[c].resent;
            all.seconds = std::max(all.seconds, each[c].seconds);
        }
        return all;
    }
    LoadFigures figures;
    in_addr first{};
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || printers == 0 || window == 0 || inet_pton(AF_INET, firstAddress.c_str(), &first) != 1) {
        if (fd >= 0) close(fd);
        return figures;
    }
    const int bufferSize = 8 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &bufferSize, sizeof bufferSize);
    const Bytes request = GetNextRequest();
    const std::size_t idAt = RequestIdOffset(request);

    // Slot s of the window holds request-id kFirstRequestId + n * window + s.
    std::vector<std::uint32_t> slotId(window, 0);
    std::vector<Clock::time_point> slotSent(window);
    std::vector<Bytes> outgoing(kBatch, request);
    std::vector<sockaddr_in> outgoingTo(kBatch);
    std::vector<iovec> outgoingIov(kBatch);
    std::vector<mmsghdr> outgoingHeaders(kBatch);
    std::size_t pending = 0;
    std::size_t nextPrinter = 0;
    std::uint32_t round = 0;

    const auto flush = [&] {
        std::size_t sent = 0;
        while (sent < pending) {
            const int n = sendmmsg(fd, outgoingHeaders.data() + sent, static_cast<unsigned>(pending - sent), 0);
            if (n <= 0) break;
            sent += static_cast<std::size_t>(n);
        }
        pending = 0;
    };
    const auto send = [&](std::size_t slot, Clock::time_point now) {
        const std::uint32_t id = kFirstRequestId + static_cast<std::uint32_t>((round++ % 0x1000000) * window + slot);
        slotId[slot] = id;
        slotSent[slot] = now;
        Bytes &message = outgoing[pending];
        for (int i = 0; i < 4; ++i) message[idAt + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(id >> (24 - 8 * i));
        sockaddr_in &to = outgoingTo[pending];
        to = {};
        to.sin_family = AF_INET;
        to.sin_port = htons(161);
        to.sin_addr.s_addr = htonl(ntohl(first.s_addr) + static_cast<std::uint32_t>(nextPrinter));
        nextPrinter = (nextPrinter + 1) % printers;
        outgoingIov[pending] = {message.data(), message.size()};
        outgoingHeaders[pending] = {};
        outgoingHeaders[pending].msg_hdr.msg_name = &to;
        outgoingHeaders[pending].msg_hdr.msg_namelen = sizeof to;
        outgoingHeaders[pending].msg_hdr.msg_iov = &outgoingIov[pending];
        outgoingHeaders[pending].msg_hdr.msg_iovlen = 1;
        if (++pending == kBatch) flush();
    };

    std::vector<std::array<std::uint8_t, 2048>> incoming(kBatch);
    std::vector<iovec> incomingIov(kBatch);
    std::vector<mmsghdr> incomingHeaders(kBatch);
    const Clock::time_point start = Clock::now();
    const Clock::time_point end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    for (std::size_t slot = 0; slot < window; ++slot) send(slot, start);
    flush();
    Clock::time_point now = start;
    while (now < end) {
        pollfd wait{fd, POLLIN, 0};
        poll(&wait, 1, 50);
        for (std::size_t i = 0; i < kBatch; ++i) {
            incomingIov[i] = {incoming[i].data(), incoming[i].size()};
            incomingHeaders[i] = {};
            incomingHeaders[i].msg_hdr.msg_iov = &incomingIov[i];
            incomingHeaders[i].msg_hdr.msg_iovlen = 1;
        }
        const int received = recvmmsg(fd, incomingHeaders.data(), kBatch, MSG_DONTWAIT, nullptr);
        now = Clock::now();
        for (int i = 0; i < received; ++i) {
            std::uint32_t id = 0;
            if (!ReplyRequestId(incoming[static_cast<std::size_t>(i)].data(), incomingHeaders[static_cast<std::size_t>(i)].msg_len, id) ||
                id < kFirstRequestId)
                continue;
            const std::size_t slot = (id - kFirstRequestId) % window;
            if (slotId[slot] != id) continue;  // a late answer to a request sent again
            ++figures.answered;
            send(slot, now);
        }
        for (std::size_t slot = 0; slot < window; ++slot) {
            if (now - slotSent[slot] < kResendAfter) continue;
            ++figures.resent;
            send(slot, now);
        }
        flush();
    }
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(fd);
    return figures;
}

void RunSimulatorCapacity(std::size_t printers) {
    constexpr char kFirst[] = "127.8.0.1";
    in_addr last{};
    inet_pton(AF_INET, kFirst, &last);
    last.s_addr = htonl(ntohl(last.s_addr) + static_cast<std::uint32_t>(printers - 1));
    char lastText[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &last, lastText, sizeof lastText);
    test::ChildProcess simulator({test::BuildTreePath("tools/snmphelper-printer-sim"), "--port", "161",
                                  "--addresses", std::string(kFirst) + "-" + lastText});
    if (!simulator.WaitForOutput("ready\n")) {
        std::printf("\nSimulator capacity: %zu printers did not start (not in a network namespace?)\n", printers);
        return;
    }
    const long startKb = StatusKilobytes(simulator.Pid(), "VmRSS:");
    DriveFleet(kFirst, printers, 256, 0.5, 1);  // every printer answered once or more
    const double cpuBefore = CpuSeconds(simulator.Pid());
    const LoadFigures figures = DriveFleet(kFirst, printers, 256, 3.0, kClients);
    const double cpu = CpuSeconds(simulator.Pid()) - cpuBefore;
    const long peakKb = StatusKilobytes(simulator.Pid(), "VmHWM:");
    std::printf("\nSimulator capacity: %zu printers in one process, %zu client threads, window 256 in all, get-next of "
                "4 objects\n  %.0f exchanges/s (%llu in %.1f s, %llu sent again), %.0f per CPU second of the "
                "simulator (%.2f s); resident %.1f MB at start, peak %.1f MB\n",
                printers, kClients, figures.ExchangesPerSecond(), static_cast<unsigned long long>(figures.answered),
                figures.seconds, static_cast<unsigned long long>(figures.resent),
                cpu > 0 ? static_cast<double>(figures.answered) / cpu : 0, cpu, static_cast<double>(startKb) / 1024,
                static_cast<double>(peakKb) / 1024);
}

}  // namespace snmphelper::bench
