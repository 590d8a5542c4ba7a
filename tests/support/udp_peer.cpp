// SPDX-License-Identifier: Apache-2.0
#include "tests/support/udp_peer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace snmphelper::test {
namespace {

::sockaddr_in LoopbackAddress(const char *address, std::uint16_t port) {
    ::sockaddr_in result{};
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &result.sin_addr);
    return result;
}

}  // namespace

UdpPeer::UdpPeer(std::uint16_t port, const char *address) {
    descriptor_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (descriptor_ < 0) return;
    const ::sockaddr_in local = LoopbackAddress(address, port);
    if (::bind(descriptor_, reinterpret_cast<const ::sockaddr *>(&local), sizeof local) != 0) return;
    ::sockaddr_in bound{};
    ::socklen_t length = sizeof bound;
    ::getsockname(descriptor_, reinterpret_cast<::sockaddr *>(&bound), &length);
    port_ = ntohs(bound.sin_port);
    bound_ = true;
}

UdpPeer::~UdpPeer() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

std::optional<ReceivedDatagram> UdpPeer::Receive(int timeoutMilliseconds) {
    ::pollfd entry{descriptor_, POLLIN, 0};
    if (::poll(&entry, 1, timeoutMilliseconds) != 1) return std::nullopt;
    std::vector<std::uint8_t> buffer(65536);
    ::sockaddr_in from{};
    ::socklen_t fromLength = sizeof from;
    const ::ssize_t received = ::recvfrom(descriptor_, buffer.data(), buffer.size(), 0,
                                          reinterpret_cast<::sockaddr *>(&from), &fromLength);
    if (received < 0) return std::nullopt;
    buffer.resize(static_cast<std::size_t>(received));
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
    return ReceivedDatagram{std::move(buffer), text, ntohs(from.sin_port)};
}

bool UdpPeer::SendTo(const std::vector<std::uint8_t> &bytes, std::uint16_t port,
                     const char *address) {
    const ::sockaddr_in to = LoopbackAddress(address, port);
    return ::sendto(descriptor_, bytes.data(), bytes.size(), 0,
                    reinterpret_cast<const ::sockaddr *>(&to),
                    sizeof to) == static_cast<::ssize_t>(bytes.size());
}

std::optional<std::vector<std::uint8_t>> FirstIpv4AddressOf(const char *name) {
    ::hostent entry{};
    ::hostent *result = nullptr;
    std::vector<char> storage(65536);
    int hostError = 0;
    if (::gethostbyname_r(name, &entry, storage.data(), storage.size(), &result, &hostError) != 0 ||
        result == nullptr || result->h_addr_list[0] == nullptr) {
        return std::nullopt;
    }
    const auto *first = reinterpret_cast<const std::uint8_t *>(result->h_addr_list[0]);
    return std::vector<std::uint8_t>(first, first + 4);
}

std::string HostName() {
    char name[1024] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

std::uint16_t UnusedUdpPort() {
    const UdpPeer probe;
    return probe.Port();
}

}  // namespace snmphelper::test
