// SPDX-License-Identifier: Apache-2.0
// WinSock's socket calls over BSD sockets: start-up counting, socket handles
// that are never 0, datagram sockets of the Internet and IPX families (IPX
// carried in user space, see ipx_socket.h), and WinSock's answers where BSD
// sockets differ. select is in winsock_select.cpp.
#include "wsock32/winsock_internal.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <type_traits>
#include <vector>

#include "wsock32/ipx_socket.h"
#include "wsock32/read_ahead.h"

namespace snmphelper::winsock {

static_assert(std::is_same_v<::socklen_t, detail::SystemAddressLength>);

using detail::BindIpx;
using detail::DescriptorOf;
using detail::Fail;
using detail::FailFromErrno;
using detail::ReceiveIpx;
using detail::SendIpx;
using detail::SetLastErrorFromErrno;
using detail::System;
using detail::TakeInjectedFailure;
using detail::ToIpxRecord;

namespace {

constexpr std::uint16_t kVersion11 = MakeVersion(1, 1);

std::mutex stateMutex;
int startupCount = 0;
std::set<int> openDescriptors;  // the descriptors behind the sockets handed out
// Internet sockets known to hold a local address, by descriptor: a socket
// never loses its address, so a receive need not ask the system again.
std::vector<bool> boundDescriptors;
// The IPX sockets among them, by their packet socket's descriptor. Shared so
// that a call under way keeps its socket alive through a closesocket.
std::map<int, std::shared_ptr<ipx::IpxSocket>> ipxSockets;
// What each Internet socket has read ahead, by descriptor; made at its first
// read. Shared so that a read under way keeps it through a closesocket.
std::vector<std::shared_ptr<detail::ReadAhead>> readAheads;

// IPX protocols are NSPROTO_IPX plus the packet type sent.
constexpr int kLastIpxProtocol = NSPROTO_IPX + 255;

// A socket handle is its descriptor plus one, so that no socket is 0.
SOCKET HandleFor(int descriptor) { return static_cast<SOCKET>(descriptor) + 1; }

// socket, bind, setsockopt and getsockname are looked up by name in the
// process's global scope rather than linked: a shim that exports this
// implementation under WinSock's names (socket, bind, ...) would otherwise
// reach its own exports here and call itself.
template <typename Function>
Function LookUpSystemCall(const char *name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_DEFAULT, name));
}

SOCKET FailSocket(int winsockError) {
    WSASetLastError(winsockError);
    return INVALID_SOCKET;
}

SOCKET FailSocketFromErrno(int errorNumber) {
    SetLastErrorFromErrno(errorNumber);
    return INVALID_SOCKET;
}

// WinSock's Internet address record to the system's; false, with the last
// error set, when the record is not one.
bool ToSystemAddress(const sockaddr *name, int nameLength, ::sockaddr_in &systemAddress) {
    if (name == nullptr || nameLength < static_cast<int>(sizeof(sockaddr_in))) {
        WSASetLastError(WSAEFAULT);
        return false;
    }
    sockaddr_in address;
    std::memcpy(&address, name, sizeof address);
    if (address.sin_family != detail::kWsAfInet) {
        WSASetLastError(WSAEAFNOSUPPORT);
        return false;
    }
    systemAddress = {};
    systemAddress.sin_family = AF_INET;
    systemAddress.sin_port = address.sin_port;
    systemAddress.sin_addr.s_addr = address.sin_addr.s_addr;
    return true;
}

// What sendto refuses of an Internet datagram before it reaches the system:
// a buffer that is not there, no address, or one that is not an Internet
// address. False, with the last error set, for those.
bool ReadDestination(const OutgoingDatagram &datagram, ::sockaddr_in &systemAddress) {
    if (datagram.length < 0 || (datagram.buffer == nullptr && datagram.length > 0)) {
        WSASetLastError(WSAEFAULT);
        return false;
    }
    if (datagram.to == nullptr) {
        WSASetLastError(WSAEDESTADDRREQ);
        return false;
    }
    return ToSystemAddress(datagram.to, datagram.toLength, systemAddress);
}

void FromSystemAddress(const ::sockaddr_in &systemAddress, sockaddr *name, int *nameLength) {
    sockaddr_in address{};
    address.sin_family = static_cast<std::int16_t>(detail::kWsAfInet);
    address.sin_port = systemAddress.sin_port;
    address.sin_addr.s_addr = systemAddress.sin_addr.s_addr;
    std::memcpy(name, &address, sizeof address);
    *nameLength = static_cast<int>(sizeof address);
}

int SystemGetSockName(int descriptor, ::sockaddr_in &address) {
    if (System().getsockname == nullptr) {
        errno = ENOSYS;
        return -1;
    }
    ::socklen_t length = sizeof address;
    address = {};
    return System().getsockname(descriptor, reinterpret_cast<::sockaddr *>(&address), &length);
}

void RememberBound(int descriptor) {
    const std::lock_guard lock(stateMutex);
    if (openDescriptors.count(descriptor) == 0) return;
    const auto index = static_cast<std::size_t>(descriptor);
    if (index >= boundDescriptors.size()) boundDescriptors.resize(index + 1, false);
    boundDescriptors[index] = true;
}

// What a closed descriptor's socket left: its bound state and what it read
// ahead, so that a socket the system gives the descriptor next starts clean.
void ForgetSocketState(int descriptor) {
    const auto index = static_cast<std::size_t>(descriptor);
    if (index < boundDescriptors.size()) boundDescriptors[index] = false;
    if (index < readAheads.size()) readAheads[index].reset();
}

// WinSock gives a socket its local address only through bind or a send. A
// bind through us is remembered; anything else (a send, connect) is asked.
bool IsBound(int descriptor) {
    {
        const std::lock_guard lock(stateMutex);
        const auto index = static_cast<std::size_t>(descriptor);
        if (index < boundDescriptors.size() && boundDescriptors[index]) return true;
    }
    ::sockaddr_in address;
    if (SystemGetSockName(descriptor, address) != 0 || address.sin_port == 0) return false;
    RememberBound(descriptor);
    return true;
}

// WinSock reports an ICMP port unreachable for an earlier datagram as
// WSAECONNRESET from the next send or receive; Linux reports it to an
// unconnected socket only with IP_RECVERR, as ECONNREFUSED plus an entry in
// the socket's error queue. Taking that entry keeps the socket from staying
// readable with nothing to read.
int ReportIcmpError(int descriptor) {
    char control[512];
    ::msghdr report{};
    report.msg_control = control;
    report.msg_controllen = sizeof control;
    (void)::recvmsg(descriptor, &report, MSG_ERRQUEUE | MSG_DONTWAIT);
    return Fail(WSAECONNRESET);
}

int FailTransfer(int descriptor, int errorNumber) {
    if (errorNumber == ECONNREFUSED) return ReportIcmpError(descriptor);
    return FailFromErrno(errorNumber);
}

// DescriptorOf with stateMutex held.
int DescriptorOfLocked(SOCKET s) {
    if (startupCount == 0) {
        WSASetLastError(WSANOTINITIALISED);
        return -1;
    }
    if (s == 0 || s - 1 > static_cast<SOCKET>(INT_MAX) ||
        openDescriptors.count(static_cast<int>(s - 1)) == 0) {
        WSASetLastError(WSAENOTSOCK);
        return -1;
    }
    return static_cast<int>(s - 1);
}

// The IPX socket behind `descriptor`, or null for an Internet socket.
std::shared_ptr<ipx::IpxSocket> IpxSocketOfLocked(int descriptor) {
    const auto found = ipxSockets.find(descriptor);
    return found == ipxSockets.end() ? nullptr : found->second;
}

std::shared_ptr<ipx::IpxSocket> IpxSocketOf(int descriptor) {
    const std::lock_guard lock(stateMutex);
    return IpxSocketOfLocked(descriptor);
}

// DescriptorOf and IpxSocketOf in one holding of the lock, as every transfer
// asks both.
int DescriptorAndIpxSocketOf(SOCKET s, std::shared_ptr<ipx::IpxSocket> &ipxSocket) {
    const std::lock_guard lock(stateMutex);
    const int descriptor = DescriptorOfLocked(s);
    if (descriptor >= 0) ipxSocket = IpxSocketOfLocked(descriptor);
    return descriptor;
}

SOCKET OpenIpxSocket(int type, int protocol) {
    if (type != detail::kWsSockDgram) return FailSocket(WSAESOCKTNOSUPPORT);
    if (protocol < NSPROTO_IPX || protocol > kLastIpxProtocol) {
        return FailSocket(WSAEPROTONOSUPPORT);
    }
    if (TakeInjectedFailure(SocketCall::Socket)) return INVALID_SOCKET;
    ipx::IpxSettings settings;
    std::string problem;
    if (const int error = ipx::ResolveSettings(settings, problem)) {
        // No adapter to carry IPX: WinSock's answer when no IPX stack is bound.
        return error == ENODEV ? FailSocket(WSAEAFNOSUPPORT) : FailSocketFromErrno(error);
    }
    std::unique_ptr<ipx::IpxSocket> opened;
    const auto packetType = static_cast<std::uint8_t>(protocol - NSPROTO_IPX);
    if (const int error = ipx::IpxSocket::Open(settings, packetType, opened)) {
        return FailSocketFromErrno(error);
    }
    const int descriptor = opened->Descriptor();
    const std::lock_guard lock(stateMutex);
    if (startupCount == 0) return FailSocket(WSANOTINITIALISED);  // `opened` closes it
    try {
        ipxSockets.emplace(descriptor, std::move(opened));
        openDescriptors.insert(descriptor);
    } catch (const std::bad_alloc &) {
        ipxSockets.erase(descriptor);
        return FailSocket(WSAENOBUFS);
    }
    return HandleFor(descriptor);
}

}  // namespace

int WSAStartup(std::uint16_t versionRequested, WSADATA *data) {
    if (data == nullptr) return WSAEFAULT;
    const unsigned major = versionRequested & 0xFFU;
    const unsigned minor = versionRequested >> 8;
    if (major < 1 || (major == 1 && minor < 1)) return WSAVERNOTSUPPORTED;
    *data = {};
    data->wVersion = kVersion11;
    data->wHighVersion = kVersion11;
    std::strcpy(data->szDescription, "WinSock 1.1 over BSD sockets");
    std::strcpy(data->szSystemStatus, "Running");
    data->iMaxSockets = 0xFFFF;
    data->iMaxUdpDg = 65507;  // IPv4's largest UDP payload
    const std::lock_guard lock(stateMutex);
    ++startupCount;
    return 0;
}

int WSACleanup() {
    const std::lock_guard lock(stateMutex);
    if (startupCount == 0) return Fail(WSANOTINITIALISED);
    if (--startupCount == 0) {
        // As WinSock does, the last cleanup closes what the process left open.
        for (const int descriptor : openDescriptors) {
            if (ipxSockets.count(descriptor) == 0) ::close(descriptor);
        }
        openDescriptors.clear();
        boundDescriptors.clear();
        readAheads.clear();
        ipxSockets.clear();  // closes their descriptors
    }
    return 0;
}

SOCKET socket(int af, int type, int protocol) {
    if (!detail::RequireStartup()) return INVALID_SOCKET;
    if (af == detail::kWsAfIpx) return OpenIpxSocket(type, protocol);
    if (af != detail::kWsAfInet) return FailSocket(WSAEAFNOSUPPORT);
    if (type != detail::kWsSockDgram) return FailSocket(WSAESOCKTNOSUPPORT);
    if (protocol != 0 && protocol != IPPROTO_UDP) return FailSocket(WSAEPROTONOSUPPORT);
    if (TakeInjectedFailure(SocketCall::Socket)) return INVALID_SOCKET;
    if (System().socket == nullptr) return FailSocketFromErrno(ENOSYS);
    const int descriptor = System().socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (descriptor < 0) return FailSocketFromErrno(errno);
    const int on = 1;
    if (System().setsockopt == nullptr ||
        System().setsockopt(descriptor, IPPROTO_IP, IP_RECVERR, &on, sizeof on) != 0) {
        const int error = System().setsockopt == nullptr ? ENOSYS : errno;
        ::close(descriptor);
        return FailSocketFromErrno(error);
    }
    const std::lock_guard lock(stateMutex);
    if (startupCount == 0) {  // the last cleanup came in between
        ::close(descriptor);
        return FailSocket(WSANOTINITIALISED);
    }
    openDescriptors.insert(descriptor);
    return HandleFor(descriptor);
}

int closesocket(SOCKET s) {
    const std::lock_guard lock(stateMutex);
    const int descriptor = DescriptorOfLocked(s);
    if (descriptor < 0) return SOCKET_ERROR;
    // Erased before closing, so a descriptor the system reuses is never
    // mistaken for this socket; the same holding of the lock found it open.
    openDescriptors.erase(descriptor);
    ForgetSocketState(descriptor);
    if (ipxSockets.erase(descriptor) == 0) ::close(descriptor);
    return 0;
}

int ioctlsocket(SOCKET s, std::int32_t command, std::uint32_t *argument) {
    const int descriptor = DescriptorOf(s);
    if (descriptor < 0) return SOCKET_ERROR;
    if (command != detail::kWsFionbio) return Fail(WSAEINVAL);
    if (argument == nullptr) return Fail(WSAEFAULT);
    if (TakeInjectedFailure(SocketCall::NonBlocking)) return SOCKET_ERROR;
    // FIONBIO sets or clears O_NONBLOCK in one call, where fcntl takes a
    // read and a write of the flags.
    int nonBlocking = *argument != 0 ? 1 : 0;
    if (::ioctl(descriptor, FIONBIO, &nonBlocking) != 0) return FailFromErrno(errno);
    return 0;
}

namespace {

// SO_RCVBUF: the room for datagrams not yet read, on the system socket that
// receives them (an IPX socket's packet socket). A privileged process is
// given what it asks even beyond the system's limit for others, as WinSock
// gives it.
int SetReceiveBuffer(int descriptor, const char *value, int valueLength) {
    int room = 0;
    if (value == nullptr || valueLength < static_cast<int>(sizeof room)) return Fail(WSAEFAULT);
    std::memcpy(&room, value, sizeof room);
    if (room < 0) return Fail(WSAEINVAL);
    if (TakeInjectedFailure(SocketCall::SetOption)) return SOCKET_ERROR;
    if (const auto ipxSocket = IpxSocketOf(descriptor)) descriptor = ipxSocket->Descriptor();
    if (System().setsockopt == nullptr) return FailFromErrno(ENOSYS);
    if (System().setsockopt(descriptor, SOL_SOCKET, SO_RCVBUFFORCE, &room, sizeof room) == 0) return 0;
    if (System().setsockopt(descriptor, SOL_SOCKET, SO_RCVBUF, &room, sizeof room) != 0) {
        return FailFromErrno(errno);
    }
    return 0;
}

}  // namespace

int setsockopt(SOCKET s, int level, int option, const char *value, int valueLength) {
    const int descriptor = DescriptorOf(s);
    if (descriptor < 0) return SOCKET_ERROR;
    if (level != detail::kWsSolSocket ||
        (option != detail::kWsSoBroadcast && option != detail::kWsSoRcvbuf)) {
        return Fail(WSAENOPROTOOPT);
    }
    if (option == detail::kWsSoRcvbuf) return SetReceiveBuffer(descriptor, value, valueLength);
    // A BOOL option: a 4-byte integer, any non-zero value enables it.
    int enabled = 0;
    if (value == nullptr || valueLength < static_cast<int>(sizeof enabled)) return Fail(WSAEFAULT);
    std::memcpy(&enabled, value, sizeof enabled);
    const int flag = enabled != 0 ? 1 : 0;
    if (TakeInjectedFailure(SocketCall::SetOption)) return SOCKET_ERROR;
    if (const auto ipxSocket = IpxSocketOf(descriptor)) {
        ipxSocket->SetBroadcast(flag != 0);
        return 0;
    }
    if (System().setsockopt == nullptr) return FailFromErrno(ENOSYS);
    if (System().setsockopt(descriptor, SOL_SOCKET, SO_BROADCAST, &flag, sizeof flag) != 0) {
        return FailFromErrno(errno);
    }
    return 0;
}

int bind(SOCKET s, const sockaddr *name, int nameLength) {
    std::shared_ptr<ipx::IpxSocket> ipxSocket;
    const int descriptor = DescriptorAndIpxSocketOf(s, ipxSocket);
    if (descriptor < 0) return SOCKET_ERROR;
    if (ipxSocket) return BindIpx(*ipxSocket, name, nameLength);
    ::sockaddr_in address;
    if (!ToSystemAddress(name, nameLength, address)) return SOCKET_ERROR;
    if (TakeInjectedFailure(SocketCall::Bind)) return SOCKET_ERROR;
    if (System().bind == nullptr) return FailFromErrno(ENOSYS);
    if (System().bind(descriptor, reinterpret_cast<const ::sockaddr *>(&address), sizeof address) !=
        0) {
        return FailFromErrno(errno);
    }
    RememberBound(descriptor);
    return 0;
}

int getsockname(SOCKET s, sockaddr *name, int *nameLength) {
    const int descriptor = DescriptorOf(s);
    if (descriptor < 0) return SOCKET_ERROR;
    if (const auto ipxSocket = IpxSocketOf(descriptor)) {
        if (name == nullptr || nameLength == nullptr ||
            *nameLength < static_cast<int>(sizeof(SOCKADDR_IPX))) {
            return Fail(WSAEFAULT);
        }
        if (!ipxSocket->IsBound()) return Fail(WSAEINVAL);
        ToIpxRecord(ipxSocket->LocalAddress(), name, nameLength);
        return 0;
    }
    if (name == nullptr || nameLength == nullptr ||
        *nameLength < static_cast<int>(sizeof(sockaddr_in))) {
        return Fail(WSAEFAULT);
    }
    ::sockaddr_in address;
    if (SystemGetSockName(descriptor, address) != 0) return FailFromErrno(errno);
    if (address.sin_port == 0) return Fail(WSAEINVAL);  // not bound yet
    FromSystemAddress(address, name, nameLength);
    return 0;
}

int sendto(SOCKET s, const char *buffer, int length, int flags, const sockaddr *to, int toLength) {
    std::shared_ptr<ipx::IpxSocket> ipxSocket;
    const int descriptor = DescriptorAndIpxSocketOf(s, ipxSocket);
    if (descriptor < 0) return SOCKET_ERROR;
    if (length < 0 || (buffer == nullptr && length > 0)) return Fail(WSAEFAULT);
    if (flags != 0) return Fail(WSAEOPNOTSUPP);
    if (to == nullptr) return Fail(WSAEDESTADDRREQ);
    if (ipxSocket) {
        return SendIpx(*ipxSocket, buffer, length, to, toLength);
    }
    ::sockaddr_in address;
    if (!ToSystemAddress(to, toLength, address)) return SOCKET_ERROR;
    if (TakeInjectedFailure(SocketCall::SendTo)) return SOCKET_ERROR;
    ::iovec data{const_cast<char *>(buffer), static_cast<std::size_t>(length)};
    ::msghdr message{};
    message.msg_name = &address;
    message.msg_namelen = sizeof address;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    ::ssize_t sent = 0;
    do {
        sent = ::sendmsg(descriptor, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent < 0) return FailTransfer(descriptor, errno);
    return static_cast<int>(sent);
}

int SendToMany(SOCKET s, const OutgoingDatagram *datagrams, int count) {
    std::shared_ptr<ipx::IpxSocket> ipxSocket;
    const int descriptor = DescriptorAndIpxSocketOf(s, ipxSocket);
    if (descriptor < 0) return SOCKET_ERROR;
    if (count < 0 || (datagrams == nullptr && count > 0)) return Fail(WSAEFAULT);
    if (count == 0) return 0;
    if (ipxSocket) {
        // IPX goes out a frame at a time, from user space.
        for (int sent = 0; sent < count; ++sent) {
            const OutgoingDatagram &datagram = datagrams[sent];
            if (sendto(s, datagram.buffer, datagram.length, 0, datagram.to, datagram.toLength) == SOCKET_ERROR) {
                return sent == 0 ? SOCKET_ERROR : sent;
            }
        }
        return count;
    }
    if (TakeInjectedFailure(SocketCall::SendTo)) return SOCKET_ERROR;
    constexpr int kPerCall = 64;
    int sent = 0;
    while (sent < count) {
        ::sockaddr_in addresses[kPerCall];
        ::iovec data[kPerCall];
        ::mmsghdr messages[kPerCall] = {};
        // Up to the first datagram sendto would refuse: those before it go.
        int ready = 0;
        for (; ready < std::min(kPerCall, count - sent); ++ready) {
            const OutgoingDatagram &datagram = datagrams[sent + ready];
            if (!ReadDestination(datagram, addresses[ready])) {
                if (sent + ready == 0) return SOCKET_ERROR;
                break;
            }
            data[ready] = {const_cast<char *>(datagram.buffer), static_cast<std::size_t>(datagram.length)};
            ::msghdr &message = messages[ready].msg_hdr;
            message.msg_name = &addresses[ready];
            message.msg_namelen = sizeof addresses[ready];
            message.msg_iov = &data[ready];
            message.msg_iovlen = 1;
        }
        if (ready == 0) break;
        int done = 0;
        do {
            done = ::sendmmsg(descriptor, messages, static_cast<unsigned>(ready), MSG_NOSIGNAL);
        } while (done < 0 && errno == EINTR);
        if (done < 0) return sent == 0 ? FailTransfer(descriptor, errno) : sent;
        sent += done;
        if (done < ready) break;
    }
    return sent;
}

int recvfrom(SOCKET s, char *buffer, int length, int flags, sockaddr *from, int *fromLength) {
    std::shared_ptr<ipx::IpxSocket> ipxSocket;
    const int descriptor = DescriptorAndIpxSocketOf(s, ipxSocket);
    if (descriptor < 0) return SOCKET_ERROR;
    if (length < 0 || (buffer == nullptr && length > 0)) return Fail(WSAEFAULT);
    if (ipxSocket) {
        return ReceiveIpx(*ipxSocket, buffer, length, flags, from, fromLength);
    }
    if (from != nullptr &&
        (fromLength == nullptr || *fromLength < static_cast<int>(sizeof(sockaddr_in)))) {
        return Fail(WSAEFAULT);
    }
    if (flags != 0) return Fail(WSAEOPNOTSUPP);
    if (!IsBound(descriptor)) return Fail(WSAEINVAL);
    if (TakeInjectedFailure(SocketCall::RecvFrom)) return SOCKET_ERROR;
    const std::shared_ptr<detail::ReadAhead> ahead = detail::ReadAheadOf(descriptor);
    if (ahead == nullptr) return Fail(WSAENOBUFS);
    ::sockaddr_in sender{};
    bool cut = false;
    const ::ssize_t received =
        ahead->Receive(descriptor, buffer, static_cast<std::size_t>(length), sender, cut);
    if (received < 0) return FailTransfer(descriptor, errno);
    if (from != nullptr) FromSystemAddress(sender, from, fromLength);
    // A datagram longer than the buffer: the buffer holds its first part and
    // the rest is lost, as WinSock does for unreliable protocols.
    if (cut) return Fail(WSAEMSGSIZE);
    return static_cast<int>(received);
}

std::size_t OpenSocketCount() {
    const std::lock_guard lock(stateMutex);
    return openDescriptors.size();
}

int StartupCount() {
    const std::lock_guard lock(stateMutex);
    return startupCount;
}

namespace detail {

const SystemCalls &System() {
    static const SystemCalls calls{
        LookUpSystemCall<decltype(SystemCalls::socket)>("socket"),
        LookUpSystemCall<decltype(SystemCalls::bind)>("bind"),
        LookUpSystemCall<decltype(SystemCalls::setsockopt)>("setsockopt"),
        LookUpSystemCall<decltype(SystemCalls::getsockname)>("getsockname"),
    };
    return calls;
}

int DescriptorOf(SOCKET s) {
    const std::lock_guard lock(stateMutex);
    return DescriptorOfLocked(s);
}

std::vector<std::shared_ptr<ipx::IpxSocket>> IpxSocketsIn(const std::vector<::pollfd> &polls) {
    std::vector<std::shared_ptr<ipx::IpxSocket>> found(polls.size());
    const std::lock_guard lock(stateMutex);
    for (std::size_t i = 0; i < polls.size(); ++i) {
        const auto entry = ipxSockets.find(polls[i].fd);
        if (entry != ipxSockets.end()) found[i] = entry->second;
    }
    return found;
}

std::shared_ptr<ReadAhead> ReadAheadOf(int descriptor) {
    const std::lock_guard lock(stateMutex);
    if (openDescriptors.count(descriptor) == 0) return nullptr;
    const auto index = static_cast<std::size_t>(descriptor);
    try {
        if (index >= readAheads.size()) readAheads.resize(index + 1);
        if (readAheads[index] == nullptr) readAheads[index] = std::make_shared<ReadAhead>();
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    return readAheads[index];
}

std::vector<std::shared_ptr<ReadAhead>> ReadAheadsIn(const std::vector<::pollfd> &polls) {
    std::vector<std::shared_ptr<ReadAhead>> found(polls.size());
    const std::lock_guard lock(stateMutex);
    for (std::size_t i = 0; i < polls.size(); ++i) {
        const auto index = static_cast<std::size_t>(polls[i].fd);
        if (index < readAheads.size()) found[i] = readAheads[index];
    }
    return found;
}

bool RequireStartup() {
    const std::lock_guard lock(stateMutex);
    if (startupCount != 0) return true;
    WSASetLastError(WSANOTINITIALISED);
    return false;
}

}  // namespace detail
}  // namespace snmphelper::winsock
