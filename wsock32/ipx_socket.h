/* SPDX-License-Identifier: Apache-2.0 */
// IPX datagram sockets in user space: Linux has no IPX, so each socket is a
// packet socket on one Ethernet interface that writes and reads the IPX
// framing itself. Needs CAP_NET_RAW. Failures are C library error numbers.
//
// Settings come from the environment:
//   SNMPHELPER_IPX_INTERFACE  the interface; else the first that is up, not
//                             loopback, with an Ethernet address
//   SNMPHELPER_IPX_NETWORK    our network number, 8 hex digits; else 00000000
//   SNMPHELPER_IPX_FRAME      the framing sent: ethernet_ii (default), 802.3,
//                             802.2 or snap; all four are received
// A variable set to the empty string counts as not set.
//
// Socket numbers are shared by every process in the network namespace: a
// bound socket holds the abstract AF_UNIX name "snmphelper-ipx-socket-XXXX",
// which the kernel releases when the holder closes or dies.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "wsock32/ipx_frames.h"

namespace snmphelper::ipx {

struct IpxSettings {
    std::string interfaceName;
    int interfaceIndex = 0;
    std::array<std::uint8_t, 6> node{};
    std::array<std::uint8_t, 4> network{};
    FrameType sendFrame = FrameType::EthernetII;
};

// Reads the environment and picks the interface into `settings` (output);
// 0, or an errno value with `problem` (output) saying what: EINVAL for a bad
// SNMPHELPER_IPX_* value, ENODEV when there is no usable interface.
int ResolveSettings(IpxSettings &settings, std::string &problem);

// Whether this process may open packet sockets (tries one; CAP_NET_RAW).
bool MayOpenPacketSockets();

// The dynamic socket numbers bind hands out for socket number 0.
inline constexpr std::uint16_t kFirstDynamicSocket = 0x4000;
inline constexpr std::uint16_t kLastDynamicSocket = 0x7FFF;

// Datagrams taken from the packet socket ahead of the reader; later ones
// wait in the packet socket's buffer.
inline constexpr std::size_t kMostQueuedDatagrams = 64;

// What a receive delivered.
struct Received {
    std::size_t length = 0;  // octets copied to the caller's buffer
    bool truncated = false;  // the datagram was longer; the rest is lost
    IpxAddress source;
};

// One IPX datagram socket. Thread-safe; Descriptor() may be polled for
// readability, after which Pump() sorts out what arrived.
class IpxSocket {
public:
    ~IpxSocket();
    IpxSocket(const IpxSocket &) = delete;
    IpxSocket &operator=(const IpxSocket &) = delete;

    // Opens a socket sending `packetType` on the interface of `settings`
    // into `opened` (output); 0 or an errno value (EPERM or EACCES without
    // CAP_NET_RAW, ENOMEM).
    static int Open(const IpxSettings &settings, std::uint8_t packetType,
                    std::unique_ptr<IpxSocket> &opened);

    // The packet socket's descriptor: readable when frames arrived (not
    // necessarily ones for this socket), writable when a frame can be sent.
    int Descriptor() const { return packet_; }

    // Binds to `socketNumber`, or for 0 to a free dynamic number. EINVAL when
    // already bound, EADDRINUSE when the number is held, EADDRNOTAVAIL when
    // no dynamic number is free.
    int Bind(std::uint16_t socketNumber);
    bool IsBound() const;
    // Our network, node and bound socket number (0 before bind).
    IpxAddress LocalAddress() const;
    const IpxSettings &Settings() const { return settings_; }

    void SetBroadcast(bool allowed);

    // Sends `length` octets to `destination`, binding a dynamic number first
    // when unbound. EMSGSIZE above kLargestDatagram, EACCES for the broadcast
    // node without SetBroadcast(true), or the system's error.
    int SendTo(const std::uint8_t *data, std::size_t length, const IpxAddress &destination);

    // Takes the next datagram for this socket into `buffer` (`capacity`
    // octets), waiting for one when `wait`; EWOULDBLOCK when none is queued
    // and not waiting, EINVAL when unbound.
    int ReceiveFrom(std::uint8_t *buffer, std::size_t capacity, bool wait, Received &received);

    // Reads every frame waiting on the packet socket without blocking and
    // queues the datagrams addressed to this socket; whether one is queued.
    bool Pump();
    bool HasDatagram() const;

private:
    struct Datagram {
        IpxAddress source;
        std::vector<std::uint8_t> data;
    };

    IpxSocket(const IpxSettings &settings, std::uint8_t packetType, int packet);
    int BindLocked(std::uint16_t socketNumber);
    int HoldSocketNumber(std::uint16_t socketNumber);
    bool IsForUs(const ParsedDatagram &datagram) const;
    void PumpLocked();

    const IpxSettings settings_;
    const std::uint8_t packetType_;
    const int packet_;
    mutable std::mutex mutex_;
    int holder_ = -1;  // the AF_UNIX socket holding the socket number's name
    std::uint16_t socketNumber_ = 0;
    bool broadcast_ = false;
    std::deque<Datagram> queue_;
    std::vector<std::uint8_t> frame_;  // receive buffer
};

}  // namespace snmphelper::ipx
