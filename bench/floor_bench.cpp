// SPDX-License-Identifier: Apache-2.0
#include "bench/floor_bench.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <utility>

#include "bench/messages.h"
#include "snmphelper.h"

namespace snmphelper::bench {
namespace {

constexpr std::uint16_t kAgentPort = 161;
// The simulators' registry sets a 2-second wait.
constexpr int kWaitMilliseconds = 2000;

// Shared by every FloorGet of the run, so that the simulators' log sees each
// id once; apart from the library's ids, which count up from 1.
std::atomic<std::uint32_t> nextId{0x40000000};

std::uint64_t Now() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u + static_cast<std::uint64_t>(now.tv_nsec);
}

// The request-id INTEGER as the encoder writes kBenchRequestId: four octets.
std::vector<std::uint8_t> RequestIdItem(std::uint32_t id) {
    return {0x02, 0x04, static_cast<std::uint8_t>(id >> 24), static_cast<std::uint8_t>(id >> 16),
            static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
}

}  // namespace

FloorGet::FloorGet(std::string hivePath, const std::string &agent) : hivePath_(std::move(hivePath)) {
    agentAddress_ = inet_addr(agent.c_str());
    std::uint8_t message[512];
    std::uint16_t length = sizeof message;
    if (HelperSnmpEncodePdu(&RequestOf(1).record, message, &length) != SNMP_ENCODE_OK) return;
    const std::vector<std::uint8_t> id = RequestIdItem(static_cast<std::uint32_t>(kBenchRequestId));
    const auto found = std::search(message, message + length, id.begin(), id.end());
    if (found == message + length) return;
    request_.assign(message, message + length);
    requestIdAt_ = static_cast<std::size_t>(found - message) + 2;
}

bool FloorGet::Once(FloorPhases *phases) {
    if (request_.empty()) return false;
    const std::uint64_t started = Now();

    const int hive = open(hivePath_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (hive < 0) return false;
    struct stat status {};
    if (fstat(hive, &status) != 0) {
        close(hive);
        return false;
    }
    hive_.resize(static_cast<std::size_t>(status.st_size) + 1);
    const ssize_t filled = read(hive, hive_.data(), hive_.size());
    close(hive);
    if (filled != status.st_size) return false;
    const std::uint64_t hiveRead = Now();

    const int udp = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (udp < 0) return false;
    const int on = 1;
    int nonBlocking = 1;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    if (setsockopt(udp, IPPROTO_IP, IP_RECVERR, &on, sizeof on) != 0 || ioctl(udp, FIONBIO, &nonBlocking) != 0 ||
        bind(udp, reinterpret_cast<const sockaddr *>(&local), sizeof local) != 0) {
        close(udp);
        return false;
    }
    const std::uint64_t socketReady = Now();

    const std::uint32_t id = nextId.fetch_add(1);
    const std::vector<std::uint8_t> idItem = RequestIdItem(id);
    std::memcpy(request_.data() + requestIdAt_, idItem.data() + 2, 4);
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(kAgentPort);
    peer.sin_addr.s_addr = agentAddress_;
    std::uint8_t reply[4096];
    ssize_t received = -1;
    if (sendto(udp, request_.data(), request_.size(), 0, reinterpret_cast<const sockaddr *>(&peer), sizeof peer) ==
        static_cast<ssize_t>(request_.size())) {
        pollfd wait{udp, POLLIN, 0};
        if (poll(&wait, 1, kWaitMilliseconds) == 1) {
            sockaddr_in sender{};
            socklen_t senderLength = sizeof sender;
            received = recvfrom(udp, reply, sizeof reply, 0, reinterpret_cast<sockaddr *>(&sender), &senderLength);
        }
    }
    const std::uint64_t exchanged = Now();
    close(udp);
    const std::uint64_t closed = Now();

    if (phases != nullptr) {
        phases->hive = hiveRead - started;
        phases->socket = socketReady - hiveRead;
        phases->exchange = exchanged - socketReady;
        phases->close = closed - exchanged;
    }
    return received > 0 && std::search(reply, reply + received, idItem.begin(), idItem.end()) != reply + received;
}

}  // namespace snmphelper::bench
