/* SPDX-License-Identifier: Apache-2.0 */
// A UDP endpoint on plain BSD sockets, independent of the library's WinSock
// layer: the other side of the transport tests (an agent, a sender).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace snmphelper::test {

struct ReceivedDatagram {
    std::vector<std::uint8_t> bytes;
    std::string fromAddress;  // dotted decimal
    std::uint16_t fromPort = 0;
};

class UdpPeer {
public:
    // Binds `address`:`port` (port 0: any free port). Check Bound().
    explicit UdpPeer(std::uint16_t port = 0, const char *address = "127.0.0.1");
    ~UdpPeer();
    UdpPeer(const UdpPeer &) = delete;
    UdpPeer &operator=(const UdpPeer &) = delete;

    bool Bound() const { return bound_; }
    std::uint16_t Port() const { return port_; }

    // The next datagram, waiting up to `timeoutMilliseconds`; nothing on timeout.
    std::optional<ReceivedDatagram> Receive(int timeoutMilliseconds = 5000);
    // Sends one datagram; false when the system refuses it.
    bool SendTo(const std::vector<std::uint8_t> &bytes, std::uint16_t port,
                const char *address = "127.0.0.1");

private:
    int descriptor_ = -1;
    bool bound_ = false;
    std::uint16_t port_ = 0;
};

// The first IPv4 address the resolver lists for `name` (network order
// bytes), through the C library directly; nothing when it resolves to none.
std::optional<std::vector<std::uint8_t>> FirstIpv4AddressOf(const char *name);

// This host's name as the C library reports it.
std::string HostName();

// A UDP port on 127.0.0.1 where nothing listens (bound once, then released).
std::uint16_t UnusedUdpPort();

}  // namespace snmphelper::test
