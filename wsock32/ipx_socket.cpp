// SPDX-License-Identifier: Apache-2.0
// IPX sockets over packet sockets. socket, bind, setsockopt and getsockname
// are reached through the WinSock layer's system table, never by name: this
// code is also built into a library that exports WinSock's names.
#include "wsock32/winsock_internal.h"

#include <linux/filter.h>
#include <net/if.h>
#include <linux/if_ether.h>
#include <linux/if_packet.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "wsock32/ipx_socket.h"

namespace snmphelper::ipx {
namespace {

using winsock::detail::System;

constexpr std::uint16_t ToNetworkOrder(std::uint16_t value) {
    if constexpr (std::endian::native == std::endian::little) {
        return static_cast<std::uint16_t>((value >> 8) | (value << 8));
    } else {
        return value;
    }
}

// Frames read per Pump, so a flood of frames for other sockets cannot keep
// a caller in it.
constexpr int kMostFramesPerPump = 256;
// Room for an Ethernet II frame of the largest IPX datagram lo can carry.
constexpr std::size_t kReceiveBufferLength = kEthernetHeaderLength + 65535;

// Passes only frames in the four IPX framings; ParseFrame still checks each
// one whole. The kernel drops a frame for a load past its end.
constexpr std::uint16_t kLoadHalf = BPF_LD | BPF_H | BPF_ABS;
constexpr std::uint16_t kLoadByte = BPF_LD | BPF_B | BPF_ABS;
constexpr std::uint16_t kLoadWord = BPF_LD | BPF_W | BPF_ABS;
constexpr std::uint16_t kJumpEqual = BPF_JMP | BPF_JEQ | BPF_K;
constexpr std::uint16_t kJumpGreater = BPF_JMP | BPF_JGT | BPF_K;
constexpr std::uint16_t kReturn = BPF_RET | BPF_K;
::sock_filter kIpxFilter[] = {
    /* 0 */ {kLoadHalf, 0, 0, 12},            // type or length
    /* 1 */ {kJumpEqual, 11, 0, 0x8137},      // Ethernet II IPX: pass
    /* 2 */ {kJumpGreater, 11, 0, 1500},      // another ethertype: drop
    /* 3 */ {kLoadHalf, 0, 0, 14},
    /* 4 */ {kJumpEqual, 8, 0, 0xFFFF},       // raw 802.3: pass
    /* 5 */ {kJumpEqual, 1, 0, 0xE0E0},       // 802.2 SAPs E0
    /* 6 */ {kJumpEqual, 2, 7, 0xAAAA},       // SNAP, else drop
    /* 7 */ {kLoadByte, 0, 0, 16},
    /* 8 */ {kJumpEqual, 4, 5, 0x03},         // UI: pass, else drop
    /* 9 */ {kLoadWord, 0, 0, 16},
    /* 10 */ {kJumpEqual, 0, 3, 0x03000000},  // UI, OUI 000000
    /* 11 */ {kLoadHalf, 0, 0, 20},
    /* 12 */ {kJumpEqual, 0, 1, 0x8137},
    /* 13 */ {kReturn, 0, 0, 0x40000},        // pass the whole frame
    /* 14 */ {kReturn, 0, 0, 0},              // drop
};

int LastErrorOr(int fallback) { return errno != 0 ? errno : fallback; }

int AttachFilter(int descriptor) {
    ::sock_fprog program{};
    program.len = static_cast<unsigned short>(sizeof kIpxFilter / sizeof kIpxFilter[0]);
    program.filter = kIpxFilter;
    if (System().setsockopt == nullptr) return ENOSYS;
    if (System().setsockopt(descriptor, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) !=
        0) {
        return LastErrorOr(EINVAL);
    }
    return 0;
}

int BindToInterface(int descriptor, int interfaceIndex) {
    ::sockaddr_ll local{};
    local.sll_family = AF_PACKET;
    local.sll_protocol = ToNetworkOrder(ETH_P_ALL);
    local.sll_ifindex = interfaceIndex;
    if (System().bind == nullptr) return ENOSYS;
    if (System().bind(descriptor, reinterpret_cast<const ::sockaddr *>(&local), sizeof local) != 0) {
        return LastErrorOr(ENODEV);
    }
    return 0;
}

// The interface's hardware address as the packet socket sees it.
void ReadNode(int descriptor, NodeNumber &node) {
    if (System().getsockname == nullptr) return;
    ::sockaddr_ll local{};
    ::socklen_t length = sizeof local;
    if (System().getsockname(descriptor, reinterpret_cast<::sockaddr *>(&local), &length) == 0 &&
        local.sll_halen == node.size()) {
        std::memcpy(node.data(), local.sll_addr, node.size());
    }
}

// Closing a packet socket waits for the kernel's network grace period
// (about 10 ms here), and every request opens a fresh IPX socket: that wait
// would outweigh the exchange itself. So a closed IPX socket leaves its
// packet socket here, and the next one on the same interface takes it over,
// with whatever arrived in between thrown away (none of it was for the new
// socket, which did not exist yet).
constexpr std::size_t kMostIdlePacketSockets = 8;

struct IdlePacketSocket {
    int descriptor;
    int interfaceIndex;
};

std::mutex idleMutex;
std::vector<IdlePacketSocket> idlePacketSockets;

// Reads and drops every queued frame; false when the socket reports an error
// (its interface went away, say) rather than running dry.
bool Drain(int descriptor) {
    std::uint8_t frame[64];
    for (;;) {
        ::iovec data{frame, sizeof frame};
        ::msghdr message{};
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        if (::recvmsg(descriptor, &message, MSG_DONTWAIT | MSG_TRUNC) >= 0) continue;
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK;
    }
}

// An idle packet socket bound to `interfaceIndex`, still named
// `interfaceName`, with nothing queued; -1 when there is none.
int TakeIdlePacketSocket(int interfaceIndex, const std::string &interfaceName) {
    for (;;) {
        int descriptor = -1;
        {
            const std::lock_guard lock(idleMutex);
            for (auto it = idlePacketSockets.begin(); it != idlePacketSockets.end(); ++it) {
                if (it->interfaceIndex == interfaceIndex) {
                    descriptor = it->descriptor;
                    idlePacketSockets.erase(it);
                    break;
                }
            }
        }
        if (descriptor < 0) return -1;
        char name[IF_NAMESIZE] = {};
        if (::if_indextoname(static_cast<unsigned>(interfaceIndex), name) != nullptr &&
            interfaceName == name && Drain(descriptor)) {
            return descriptor;
        }
        ::close(descriptor);
    }
}

void LeaveIdlePacketSocket(int descriptor, int interfaceIndex) {
    {
        const std::lock_guard lock(idleMutex);
        if (idlePacketSockets.size() < kMostIdlePacketSockets) {
            idlePacketSockets.push_back({descriptor, interfaceIndex});
            return;
        }
    }
    ::close(descriptor);
}

bool IsBroadcast(const NodeNumber &node) { return node == kBroadcastNode; }

bool IsZero(const NetworkNumber &network) { return network == NetworkNumber{}; }

}  // namespace

IpxSocket::IpxSocket(const IpxSettings &settings, std::uint8_t packetType, int packet)
    : settings_(settings), packetType_(packetType), packet_(packet) {}

IpxSocket::~IpxSocket() {
    LeaveIdlePacketSocket(packet_, settings_.interfaceIndex);
    if (holder_ >= 0) ::close(holder_);
}

int IpxSocket::Open(const IpxSettings &settings, std::uint8_t packetType,
                    std::unique_ptr<IpxSocket> &opened) {
    int packet = TakeIdlePacketSocket(settings.interfaceIndex, settings.interfaceName);
    if (packet < 0) {
        if (System().socket == nullptr) return ENOSYS;
        // Protocol 0 until bound: nothing is queued before the filter is in place.
        packet = System().socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, 0);
        if (packet < 0) return LastErrorOr(EACCES);
        int error = AttachFilter(packet);
        if (error == 0) error = BindToInterface(packet, settings.interfaceIndex);
        if (error != 0) {
            ::close(packet);
            return error;
        }
    }
    IpxSettings actual = settings;
    ReadNode(packet, actual.node);
    IpxSocket *created = new (std::nothrow) IpxSocket(actual, packetType, packet);
    if (created == nullptr) {
        ::close(packet);
        return ENOMEM;
    }
    // Frames for this socket are only ever copied out of here, never grown.
    created->frame_.resize(kReceiveBufferLength);
    opened.reset(created);
    return 0;
}

int IpxSocket::Bind(std::uint16_t socketNumber) {
    const std::lock_guard lock(mutex_);
    return BindLocked(socketNumber);
}

int IpxSocket::BindLocked(std::uint16_t socketNumber) {
    if (socketNumber_ != 0) return EINVAL;
    if (socketNumber != 0) return HoldSocketNumber(socketNumber);
    // Dynamic numbers are tried from a point that moves on, so a number just
    // released is not handed out again at once.
    static std::atomic<unsigned> next{static_cast<unsigned>(::getpid())};
    constexpr unsigned kRange = kLastDynamicSocket - kFirstDynamicSocket + 1U;
    for (unsigned tried = 0; tried < kRange; ++tried) {
        const auto candidate = static_cast<std::uint16_t>(kFirstDynamicSocket + next++ % kRange);
        const int error = HoldSocketNumber(candidate);
        if (error != EADDRINUSE) return error;
    }
    return EADDRNOTAVAIL;
}

// Holds `socketNumber` for this socket by binding an abstract AF_UNIX name:
// the kernel keeps such names per network namespace, refuses a second holder
// and frees the name when its last descriptor closes, also when a process dies.
int IpxSocket::HoldSocketNumber(std::uint16_t socketNumber) {
    if (System().socket == nullptr || System().bind == nullptr) return ENOSYS;
    const int holder = System().socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (holder < 0) return LastErrorOr(ENOBUFS);
    ::sockaddr_un name{};
    name.sun_family = AF_UNIX;
    const int written = std::snprintf(name.sun_path + 1, sizeof name.sun_path - 1,
                                      "snmphelper-ipx-socket-%04X", socketNumber);
    const auto length =
        static_cast<::socklen_t>(offsetof(::sockaddr_un, sun_path) + 1 + static_cast<unsigned>(written));
    if (System().bind(holder, reinterpret_cast<const ::sockaddr *>(&name), length) != 0) {
        const int error = LastErrorOr(EADDRINUSE);
        ::close(holder);
        return error;
    }
    holder_ = holder;
    socketNumber_ = socketNumber;
    return 0;
}

bool IpxSocket::IsBound() const {
    const std::lock_guard lock(mutex_);
    return socketNumber_ != 0;
}

IpxAddress IpxSocket::LocalAddress() const {
    const std::lock_guard lock(mutex_);
    return {settings_.network, settings_.node, socketNumber_};
}

void IpxSocket::SetBroadcast(bool allowed) {
    const std::lock_guard lock(mutex_);
    broadcast_ = allowed;
}

int IpxSocket::SendTo(const std::uint8_t *data, std::size_t length, const IpxAddress &destination) {
    if (length > kLargestDatagram) return EMSGSIZE;
    if (data == nullptr && length != 0) return EFAULT;
    const std::lock_guard lock(mutex_);
    if (IsBroadcast(destination.node) && !broadcast_) return EACCES;
    if (socketNumber_ == 0) {
        if (const int error = BindLocked(0)) return error;
    }
    OutgoingDatagram datagram;
    datagram.frame = settings_.sendFrame;
    datagram.sourceMac = settings_.node;
    datagram.packetType = packetType_;
    datagram.destination = destination;
    datagram.source = {settings_.network, settings_.node, socketNumber_};
    datagram.data = data;
    datagram.dataLength = length;
    std::uint8_t frame[kLargestFrame];
    const std::size_t frameLength = WriteFrame(datagram, frame, sizeof frame);
    if (frameLength == 0) return EMSGSIZE;

    ::sockaddr_ll to{};
    to.sll_family = AF_PACKET;
    to.sll_protocol = ToNetworkOrder(settings_.sendFrame == FrameType::EthernetII
                                         ? static_cast<std::uint16_t>(ETH_P_IPX)
                                         : static_cast<std::uint16_t>(ETH_P_802_3));
    to.sll_ifindex = settings_.interfaceIndex;
    to.sll_halen = static_cast<unsigned char>(destination.node.size());
    std::memcpy(to.sll_addr, destination.node.data(), destination.node.size());
    ::iovec part{frame, frameLength};
    ::msghdr message{};
    message.msg_name = &to;
    message.msg_namelen = sizeof to;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    ::ssize_t sent = 0;
    do {
        sent = ::sendmsg(packet_, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) return LastErrorOr(ENETDOWN);
    return 0;
}

bool IpxSocket::IsForUs(const ParsedDatagram &datagram) const {
    if (socketNumber_ == 0 || datagram.destination.socket != socketNumber_) return false;
    if (datagram.destination.node != settings_.node && !IsBroadcast(datagram.destination.node)) {
        return false;
    }
    // Network 0 is "this network". Until told our number we cannot tell ours
    // from another, and anything on this segment for our node is ours.
    const NetworkNumber &network = datagram.destination.network;
    if (!IsZero(network) && !IsZero(settings_.network) && network != settings_.network) {
        return false;
    }
    // Our own frames, as lo echoes them back.
    return !(datagram.source.node == settings_.node && datagram.source.socket == socketNumber_);
}

void IpxSocket::PumpLocked() {
    // A full queue leaves the frames in the packet socket, whose buffer
    // (SO_RCVBUF) decides what is kept, as a socket buffer would.
    for (int frames = 0; frames < kMostFramesPerPump && queue_.size() < kMostQueuedDatagrams; ++frames) {
        ::sockaddr_ll from{};
        ::iovec part{frame_.data(), frame_.size()};
        ::msghdr message{};
        message.msg_name = &from;
        message.msg_namelen = sizeof from;
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ::ssize_t length = ::recvmsg(packet_, &message, MSG_DONTWAIT);
        if (length < 0) {
            if (errno == EINTR) continue;
            return;  // nothing more now; a pending error was taken with it
        }
        if (from.sll_pkttype == PACKET_OUTGOING || (message.msg_flags & MSG_TRUNC) != 0) continue;
        ParsedDatagram parsed;
        if (!ParseFrame(frame_.data(), static_cast<std::size_t>(length), parsed) ||
            !IsForUs(parsed)) {
            continue;
        }
        try {
            queue_.push_back({parsed.source,
                              std::vector<std::uint8_t>(parsed.data, parsed.data + parsed.dataLength)});
        } catch (const std::bad_alloc &) {
            // Dropped, as a full socket buffer would drop it.
        }
    }
}

bool IpxSocket::Pump() {
    const std::lock_guard lock(mutex_);
    PumpLocked();
    return !queue_.empty();
}

bool IpxSocket::HasDatagram() const {
    const std::lock_guard lock(mutex_);
    return !queue_.empty();
}

int IpxSocket::ReceiveFrom(std::uint8_t *buffer, std::size_t capacity, bool wait,
                           Received &received) {
    if (buffer == nullptr && capacity != 0) return EFAULT;
    std::unique_lock lock(mutex_);
    if (socketNumber_ == 0) return EINVAL;
    for (;;) {
        if (queue_.empty()) PumpLocked();
        if (!queue_.empty()) break;
        if (!wait) return EWOULDBLOCK;
        lock.unlock();
        ::pollfd entry{packet_, POLLIN, 0};
        if (::poll(&entry, 1, -1) < 0 && errno != EINTR) return LastErrorOr(ENETDOWN);
        lock.lock();
    }
    const Datagram &next = queue_.front();
    received.source = next.source;
    received.truncated = next.data.size() > capacity;
    received.length = received.truncated ? capacity : next.data.size();
    if (received.length != 0) std::memcpy(buffer, next.data.data(), received.length);
    queue_.pop_front();
    return 0;
}

}  // namespace snmphelper::ipx
