// SPDX-License-Identifier: Apache-2.0
// The WinSock layer over BSD sockets, on loopback in a private network
// namespace: start-up counting, WinSock's error numbers, its datagram and
// select semantics, and its name calls.
#include "wsock32/winsock_internal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/hex.h"
#include "tests/support/udp_peer.h"
#include "wsock32/winsock_extras.h"

namespace snmphelper::winsock {
namespace {

using test::Hex;
using test::ToHex;
using test::UdpPeer;

constexpr std::uint16_t kVersion11 = MakeVersion(1, 1);

sockaddr_in Loopback(std::uint16_t port, const char *address = "127.0.0.1") {
    sockaddr_in result{};
    result.sin_family = static_cast<std::int16_t>(AF_INET);
    result.sin_port = htons(port);
    result.sin_addr.s_addr = inet_addr(address);
    return result;
}

const sockaddr *Generic(const sockaddr_in &address) {
    return reinterpret_cast<const sockaddr *>(&address);
}

std::string Bytes(const void *data, std::size_t length) {
    return ToHex(static_cast<const std::uint8_t *>(data), length);
}

// A started WinSock for the test's duration, ended even when the test fails.
class WinsockTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(StartupCount(), 0);
        WSADATA data;
        ASSERT_EQ(WSAStartup(kVersion11, &data), 0);
    }
    void TearDown() override {
        while (StartupCount() > 0) WSACleanup();
        EXPECT_EQ(OpenSocketCount(), 0U);
    }

    // A non-blocking datagram socket, bound to 127.0.0.1:`port` unless told not to.
    SOCKET NewSocket(std::uint16_t port = 0, bool bindIt = true) {
        const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
        EXPECT_NE(s, INVALID_SOCKET);
        std::uint32_t on = 1;
        EXPECT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
        if (bindIt) {
            const sockaddr_in local = Loopback(port);
            EXPECT_EQ(bind(s, Generic(local), sizeof local), 0) << WSAGetLastError();
        }
        return s;
    }

    static std::uint16_t PortOf(SOCKET s) {
        sockaddr_in local{};
        int length = sizeof local;
        EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr *>(&local), &length), 0);
        return ntohs(local.sin_port);
    }

    // True when `s` becomes readable within `seconds`.
    static bool WaitReadable(SOCKET s, std::int32_t seconds = 5) {
        fd_set readSet;
        FdSetClear(readSet);
        FdSetAdd(s, readSet);
        const timeval timeout{seconds, 0};
        return select(0, &readSet, nullptr, nullptr, &timeout) == 1;
    }
};

TEST(WinsockStartup, VersionsAndCounting) {
    WSADATA data;
    EXPECT_EQ(WSAStartup(MakeVersion(1, 0), &data), WSAVERNOTSUPPORTED);
    EXPECT_EQ(WSAStartup(kVersion11, nullptr), WSAEFAULT);
    EXPECT_EQ(StartupCount(), 0);

    // A later version is answered with the highest this layer has: 1.1.
    ASSERT_EQ(WSAStartup(MakeVersion(2, 2), &data), 0);
    EXPECT_EQ(data.wVersion, kVersion11);
    EXPECT_EQ(data.wHighVersion, kVersion11);
    ASSERT_EQ(WSAStartup(kVersion11, &data), 0);
    EXPECT_EQ(StartupCount(), 2);

    EXPECT_EQ(WSACleanup(), 0);
    const SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);  // still started once
    EXPECT_NE(s, INVALID_SOCKET);
    EXPECT_NE(s, SOCKET{0});
    EXPECT_EQ(OpenSocketCount(), 1U);

    // The last cleanup closes what is still open; after it nothing works.
    EXPECT_EQ(WSACleanup(), 0);
    EXPECT_EQ(OpenSocketCount(), 0U);
    EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    EXPECT_EQ(closesocket(s), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
    char name[64];
    EXPECT_EQ(gethostname(name, sizeof name), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
}

TEST(WinsockLastError, IsKeptPerThread) {
    WSASetLastError(WSAEWOULDBLOCK);
    int otherThreadSaw = -1;
    std::thread other([&] {
        otherThreadSaw = WSAGetLastError();
        WSASetLastError(WSAECONNRESET);
    });
    other.join();
    EXPECT_EQ(otherThreadSaw, 0);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(WinsockTest, SocketRefusesWhatItDoesNotCarry) {
    EXPECT_EQ(socket(AF_IPX, SOCK_DGRAM, NSPROTO_IPX + 4), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
    EXPECT_EQ(socket(AF_INET, 1 /* SOCK_STREAM */, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAESOCKTNOSUPPORT);
    EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, 6 /* TCP */), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEPROTONOSUPPORT);
}

TEST_F(WinsockTest, HandlesThatAreNoSocket) {
    const SOCKET s = NewSocket(0, false);
    EXPECT_EQ(closesocket(s), 0);
    for (const SOCKET notOurs : {s, SOCKET{0}, INVALID_SOCKET, SOCKET{1}}) {
        EXPECT_EQ(closesocket(notOurs), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
        const sockaddr_in local = Loopback(0);
        EXPECT_EQ(bind(notOurs, Generic(local), sizeof local), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    }
    fd_set readSet;
    FdSetClear(readSet);
    FdSetAdd(s, readSet);
    const timeval none{0, 0};
    EXPECT_EQ(select(0, &readSet, nullptr, nullptr, &none), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
}

TEST_F(WinsockTest, BindErrors) {
    // Port 161 is free in this namespace.
    const SOCKET agent = NewSocket(161);
    EXPECT_EQ(PortOf(agent), 161);

    const SOCKET second = NewSocket(0, false);
    const sockaddr_in taken = Loopback(161);
    EXPECT_EQ(bind(second, Generic(taken), sizeof taken), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);

    const sockaddr_in foreign = Loopback(0, "10.1.2.3");
    EXPECT_EQ(bind(second, Generic(foreign), sizeof foreign), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);

    EXPECT_EQ(bind(second, Generic(taken), sizeof taken - 1), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);

    // A socket is bound once.
    const sockaddr_in any = Loopback(0);
    EXPECT_EQ(bind(agent, Generic(any), sizeof any), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST_F(WinsockTest, UnboundSocketHasNoNameAndCannotReceive) {
    const SOCKET s = NewSocket(0, false);
    sockaddr_in local{};
    int length = sizeof local;
    EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr *>(&local), &length), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    char buffer[16];
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

// A receive remembers which sockets were bound; a socket that takes a closed
// one's descriptor, or one after the last cleanup, starts unbound again.
TEST_F(WinsockTest, BoundStateDiesWithTheSocket) {
    const SOCKET bound = NewSocket();
    char buffer[16];
    EXPECT_EQ(recvfrom(bound, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    ASSERT_EQ(closesocket(bound), 0);
    const SOCKET reused = NewSocket(0, false);
    ASSERT_EQ(reused, bound);  // the system hands out the lowest free descriptor
    EXPECT_EQ(recvfrom(reused, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);

    const SOCKET again = NewSocket();
    EXPECT_EQ(recvfrom(again, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    ASSERT_EQ(WSACleanup(), 0);
    WSADATA data;
    ASSERT_EQ(WSAStartup(kVersion11, &data), 0);
    const SOCKET afterCleanup = NewSocket(0, false);
    EXPECT_EQ(recvfrom(afterCleanup, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

// FIONBIO sets and clears the descriptor's O_NONBLOCK, nothing else.
TEST_F(WinsockTest, NonBlockingModeBothWays) {
    const SOCKET s = NewSocket(0, false);
    const int descriptor = static_cast<int>(s - 1);
    const int before = fcntl(descriptor, F_GETFL);
    EXPECT_NE(before & O_NONBLOCK, 0);
    std::uint32_t off = 0;
    ASSERT_EQ(ioctlsocket(s, FIONBIO, &off), 0);
    EXPECT_EQ(fcntl(descriptor, F_GETFL), before & ~O_NONBLOCK);
    std::uint32_t on = 7;
    ASSERT_EQ(ioctlsocket(s, FIONBIO, &on), 0);
    EXPECT_EQ(fcntl(descriptor, F_GETFL), before);
}

TEST_F(WinsockTest, DatagramRoundTripOnLoopback) {
    UdpPeer agent(161);
    ASSERT_TRUE(agent.Bound());
    const SOCKET s = NewSocket();
    const sockaddr_in to = Loopback(161);
    const std::vector<std::uint8_t> request = Hex("30 05 02 01 00 04 00");
    EXPECT_EQ(sendto(s, reinterpret_cast<const char *>(request.data()),
                     static_cast<int>(request.size()), 0, Generic(to), sizeof to),
              static_cast<int>(request.size()));
    const auto arrived = agent.Receive();
    ASSERT_TRUE(arrived.has_value());
    EXPECT_EQ(ToHex(arrived->bytes), ToHex(request));
    EXPECT_EQ(arrived->fromPort, PortOf(s));

    // Nothing queued: a non-blocking read would block.
    char buffer[64];
    sockaddr_in from{};
    int fromLength = sizeof from;
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromLength),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);

    ASSERT_TRUE(agent.SendTo(Hex("A2 01 7F"), PortOf(s)));
    ASSERT_TRUE(WaitReadable(s));
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromLength), 3);
    EXPECT_EQ(Bytes(buffer, 3), "A2 01 7F");
    EXPECT_EQ(from.sin_family, AF_INET);
    EXPECT_EQ(Bytes(&from.sin_addr, 4), "7F 00 00 01");
    EXPECT_EQ(ntohs(from.sin_port), 161);
    EXPECT_EQ(fromLength, 16);

    // A sender record too small for the address.
    int shortLength = 15;
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &shortLength),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

TEST_F(WinsockTest, OversizeDatagramFillsTheBufferAndLosesTheRest) {
    UdpPeer peer;
    const SOCKET s = NewSocket();
    std::vector<std::uint8_t> big(3000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i);
    ASSERT_TRUE(peer.SendTo(big, PortOf(s)));
    ASSERT_TRUE(peer.SendTo(Hex("01 02"), PortOf(s)));
    ASSERT_TRUE(WaitReadable(s));

    std::vector<char> buffer(2048 + 1, 0);
    sockaddr_in from{};
    int fromLength = sizeof from;
    EXPECT_EQ(recvfrom(s, buffer.data(), 2048, 0, reinterpret_cast<sockaddr *>(&from), &fromLength),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
    EXPECT_EQ(std::memcmp(buffer.data(), big.data(), 2048), 0);
    EXPECT_EQ(buffer[2048], 0) << "wrote past the length given";
    EXPECT_EQ(ntohs(from.sin_port), peer.Port());

    // The next read finds the next datagram, not the rest of the long one.
    ASSERT_TRUE(WaitReadable(s));
    EXPECT_EQ(recvfrom(s, buffer.data(), 2048, 0, nullptr, nullptr), 2);
    EXPECT_EQ(Bytes(buffer.data(), 2), "01 02");
}

// A socket that reads many datagrams takes all that are queued at once; its
// reader still gets them one at a time, in order, from their own senders,
// and select counts what was taken as readable.
TEST_F(WinsockTest, DatagramsReadAheadComeOutOneAtATimeInOrder) {
    UdpPeer first;
    UdpPeer second;
    const SOCKET s = NewSocket();
    const std::size_t count = detail::kReadsBeforeReadingAhead + detail::kReadAheadSlots;
    for (std::size_t i = 0; i < count; ++i) {
        UdpPeer &peer = i % 2 == 0 ? first : second;
        ASSERT_TRUE(peer.SendTo({static_cast<std::uint8_t>(i), 0xA5}, PortOf(s)));
    }
    const int descriptor = static_cast<int>(s - 1);
    char buffer[64];
    for (std::size_t i = 0; i < count; ++i) {
        ASSERT_TRUE(WaitReadable(s, 0)) << "datagram " << i;
        sockaddr_in from{};
        int fromLength = sizeof from;
        ASSERT_EQ(recvfrom(s, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &fromLength), 2)
            << "datagram " << i << ": " << WSAGetLastError();
        EXPECT_EQ(static_cast<std::uint8_t>(buffer[0]), i);
        EXPECT_EQ(ntohs(from.sin_port), (i % 2 == 0 ? first : second).Port());
        if (i == detail::kReadsBeforeReadingAhead) {
            // The rest was taken from the system in one read.
            ::pollfd system{descriptor, POLLIN, 0};
            EXPECT_EQ(::poll(&system, 1, 0), 0);
        }
    }
    EXPECT_FALSE(WaitReadable(s, 0));
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);

    // Read ahead, a datagram longer than the reader's buffer is cut where a
    // read of its own would cut it, and the next one comes whole.
    std::vector<std::uint8_t> big(3000);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_TRUE(first.SendTo(big, PortOf(s)));
    ASSERT_TRUE(first.SendTo(Hex("01 02"), PortOf(s)));
    ASSERT_TRUE(first.SendTo(Hex("03"), PortOf(s)));
    ASSERT_TRUE(first.SendTo(Hex("04"), PortOf(s)));
    ASSERT_TRUE(WaitReadable(s));
    std::vector<char> room(2048 + 1, 0);
    EXPECT_EQ(recvfrom(s, room.data(), 2048, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
    EXPECT_EQ(std::memcmp(room.data(), big.data(), 2048), 0);
    EXPECT_EQ(room[2048], 0) << "wrote past the length given";
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr), 2);
    EXPECT_EQ(Bytes(buffer, 2), "01 02");
    // The other receive calls take what was read ahead first.
    int flags = 0;
    EXPECT_EQ(WSARecvEx(s, buffer, sizeof buffer, &flags), 1);
    EXPECT_EQ(Bytes(buffer, 1), "03");
    EXPECT_EQ(recv(s, buffer, sizeof buffer, 0), 1);
    EXPECT_EQ(Bytes(buffer, 1), "04");
    EXPECT_FALSE(WaitReadable(s, 0));
}

TEST_F(WinsockTest, WhatWasReadAheadDiesWithTheSocket) {
    UdpPeer peer;
    const SOCKET s = NewSocket();
    for (std::size_t i = 0; i < detail::kReadsBeforeReadingAhead + 4; ++i) {
        ASSERT_TRUE(peer.SendTo({static_cast<std::uint8_t>(i)}, PortOf(s)));
    }
    char buffer[16];
    for (std::size_t i = 0; i <= detail::kReadsBeforeReadingAhead; ++i) {
        ASSERT_EQ(recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr), 1);
    }
    ASSERT_TRUE(WaitReadable(s, 0));
    ASSERT_EQ(closesocket(s), 0);
    // The system hands the descriptor out again; the new socket has read nothing.
    const SOCKET next = NewSocket();
    ASSERT_EQ(next, s);
    EXPECT_FALSE(WaitReadable(next, 0));
    EXPECT_EQ(recvfrom(next, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(WinsockTest, PortUnreachableIsReportedAsConnectionReset) {
    const SOCKET s = NewSocket();
    const sockaddr_in closed = Loopback(test::UnusedUdpPort());
    EXPECT_EQ(sendto(s, "x", 1, 0, Generic(closed), sizeof closed), 1);

    // The ICMP report makes the socket readable; the read reports it once.
    ASSERT_TRUE(WaitReadable(s));
    char buffer[16];
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    EXPECT_FALSE(WaitReadable(s, 0));
    EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(WinsockTest, BroadcastNeedsTheOption) {
    const SOCKET s = NewSocket();
    const sockaddr_in all = Loopback(161, "255.255.255.255");
    EXPECT_EQ(all.sin_addr.s_addr, INADDR_NONE);
    EXPECT_EQ(sendto(s, "x", 1, 0, Generic(all), sizeof all), SOCKET_ERROR);
    const int refused = WSAGetLastError();
    EXPECT_TRUE(refused == WSAEACCES || refused == WSAENETUNREACH) << refused;

    const std::int32_t on = 1;
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char *>(&on), 4), 0);
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char *>(&on), 2),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(setsockopt(s, SOL_SOCKET, 0x0004 /* SO_REUSEADDR */,
                         reinterpret_cast<const char *>(&on), 4),
              SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
}

// Many datagrams in one call go out in order to their own peers, past one
// system call's worth; a refused one stops the call after those before it,
// and sent alone tells why.
TEST_F(WinsockTest, SendToManyGoesInOrderAndStopsAtTheFirstRefused) {
    UdpPeer first;
    UdpPeer second;
    const SOCKET s = NewSocket();
    const sockaddr_in toFirst = Loopback(first.Port());
    const sockaddr_in toSecond = Loopback(second.Port());
    const sockaddr_in all = Loopback(161, "255.255.255.255");
    constexpr int kCount = 70;
    std::vector<std::uint8_t> payloads(kCount);
    std::vector<OutgoingDatagram> datagrams;
    for (int i = 0; i < kCount; ++i) {
        payloads[i] = static_cast<std::uint8_t>(i);
        const sockaddr_in &to = i % 2 == 0 ? toFirst : toSecond;
        datagrams.push_back({reinterpret_cast<const char *>(&payloads[i]), 1, Generic(to), sizeof to});
    }
    ASSERT_EQ(SendToMany(s, datagrams.data(), kCount), kCount) << WSAGetLastError();
    for (int i = 0; i < kCount; ++i) {
        const auto arrived = (i % 2 == 0 ? first : second).Receive();
        ASSERT_TRUE(arrived.has_value()) << "datagram " << i;
        EXPECT_EQ(ToHex(arrived->bytes), ToHex({static_cast<std::uint8_t>(i)}));
        EXPECT_EQ(arrived->fromPort, PortOf(s));
    }

    // What reached `peer` next (nothing: an empty list).
    const auto next = [](UdpPeer &peer) {
        const auto arrived = peer.Receive();
        return arrived ? arrived->bytes : std::vector<std::uint8_t>{};
    };
    const auto expectNothingMore = [&] {
        EXPECT_FALSE(first.Receive(0).has_value());
        EXPECT_FALSE(second.Receive(0).has_value());
    };
    struct Case {
        const char *name;
        OutgoingDatagram third;  // between two that can go, and before one that could
        int sentFirst;           // what a call from the first sends
        int error;               // the third's, sent alone (0: either refusal of a broadcast)
    };
    const Case cases[] = {
        {"broadcast without the option", {"x", 1, Generic(all), sizeof all}, 2, 0},
        {"no address", {"x", 1, nullptr, sizeof all}, 2, WSAEDESTADDRREQ},
        {"short address record", {"x", 1, Generic(toFirst), 8}, 2, WSAEFAULT},
        {"negative length", {"x", -1, Generic(toFirst), sizeof toFirst}, 2, WSAEFAULT},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const OutgoingDatagram list[] = {datagrams[0], datagrams[2], c.third, datagrams[4]};
        EXPECT_EQ(SendToMany(s, list, 4), c.sentFirst);
        EXPECT_EQ(next(first), std::vector<std::uint8_t>{0});
        EXPECT_EQ(next(first), std::vector<std::uint8_t>{2});
        EXPECT_EQ(SendToMany(s, &list[2], 2), SOCKET_ERROR);
        const int refused = WSAGetLastError();
        if (c.error == 0) {
            EXPECT_TRUE(refused == WSAEACCES || refused == WSAENETUNREACH) << refused;
        } else {
            EXPECT_EQ(refused, c.error);
        }
        expectNothingMore();
    }

    EXPECT_EQ(SendToMany(s, datagrams.data(), 0), 0);
    EXPECT_EQ(SendToMany(s, nullptr, 1), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(SendToMany(s, datagrams.data(), -1), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    EXPECT_EQ(SendToMany(0x7FFF, datagrams.data(), 1), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
    // A failure injected for sendto is the first datagram's.
    FailSocketCall(SocketCall::SendTo, WSAEHOSTDOWN, 1);
    EXPECT_EQ(SendToMany(s, datagrams.data(), 2), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEHOSTDOWN);
    expectNothingMore();
    EXPECT_EQ(SendToMany(s, datagrams.data(), 1), 1);
    EXPECT_EQ(next(first), std::vector<std::uint8_t>{0});
}

// SO_RCVBUF reaches the system: a socket given a small queue drops what a
// default one keeps.
TEST_F(WinsockTest, TheReceiveQueueIsSizedThroughTheOption) {
    UdpPeer peer;
    const SOCKET small = NewSocket();
    const SOCKET plain = NewSocket();
    const std::int32_t room = 4096;
    EXPECT_EQ(setsockopt(small, SOL_SOCKET, 0x1002 /* SO_RCVBUF */, reinterpret_cast<const char *>(&room), 4), 0);
    EXPECT_EQ(setsockopt(small, SOL_SOCKET, 0x1002, reinterpret_cast<const char *>(&room), 2), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
    const std::vector<std::uint8_t> datagram(1000, 0x30);
    constexpr int kSent = 50;
    for (int i = 0; i < kSent; ++i) {
        ASSERT_TRUE(peer.SendTo(datagram, PortOf(small)));
        ASSERT_TRUE(peer.SendTo(datagram, PortOf(plain)));
    }
    const auto queued = [](SOCKET s) {
        int count = 0;
        char buffer[2048];
        while (recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr) != SOCKET_ERROR) ++count;
        return count;
    };
    EXPECT_EQ(queued(plain), kSent);
    EXPECT_LT(queued(small), kSent / 2);
}

TEST_F(WinsockTest, SelectReducesTheSetsToTheReadySockets) {
    UdpPeer peer;
    const SOCKET quiet = NewSocket();
    const SOCKET busy = NewSocket();
    ASSERT_TRUE(peer.SendTo(Hex("05"), PortOf(busy)));
    ASSERT_TRUE(WaitReadable(busy));

    fd_set readSet;
    fd_set exceptSet;
    FdSetClear(readSet);
    FdSetClear(exceptSet);
    FdSetAdd(quiet, readSet);
    FdSetAdd(busy, readSet);
    FdSetAdd(quiet, exceptSet);
    FdSetAdd(busy, exceptSet);
    const timeval none{0, 0};
    EXPECT_EQ(select(0, &readSet, nullptr, &exceptSet, &none), 1);
    EXPECT_EQ(readSet.fd_count, 1U);
    EXPECT_TRUE(FdSetContains(busy, readSet));
    EXPECT_FALSE(FdSetContains(quiet, readSet));
    EXPECT_EQ(exceptSet.fd_count, 0U);

    // A zero timeout with nothing ready answers 0 at once.
    FdSetClear(readSet);
    FdSetAdd(quiet, readSet);
    EXPECT_EQ(select(0, &readSet, nullptr, nullptr, &none), 0);
    EXPECT_EQ(readSet.fd_count, 0U);

    // No socket in any set, or a negative timeout: WSAEINVAL.
    FdSetClear(readSet);
    EXPECT_EQ(select(0, &readSet, nullptr, nullptr, &none), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    FdSetAdd(quiet, readSet);
    const timeval negative{-1, 0};
    EXPECT_EQ(select(0, &readSet, nullptr, nullptr, &negative), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
}

TEST_F(WinsockTest, NonBlockingCommandOnly) {
    const SOCKET s = NewSocket(0, false);
    std::uint32_t on = 1;
    EXPECT_EQ(ioctlsocket(s, 0x4004667F /* FIONREAD */, &on), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
    EXPECT_EQ(ioctlsocket(s, FIONBIO, nullptr), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
}

struct ErrnoCase {
    int errorNumber;
    int winsockError;
};

TEST_F(WinsockTest, SystemErrorsBecomeWinsockNumbers) {
    const ErrnoCase cases[] = {
        {EWOULDBLOCK, WSAEWOULDBLOCK},   {EMSGSIZE, WSAEMSGSIZE},
        {EADDRINUSE, WSAEADDRINUSE},     {EADDRNOTAVAIL, WSAEADDRNOTAVAIL},
        {EINVAL, WSAEINVAL},             {EACCES, WSAEACCES},
        {EPERM, WSAEACCES},              {ECONNABORTED, WSAECONNABORTED},
        {ECONNRESET, WSAECONNRESET},     {ETIMEDOUT, WSAETIMEDOUT},
        {ENETUNREACH, WSAENETUNREACH},   {EHOSTUNREACH, WSAEHOSTUNREACH},
        {ENOBUFS, WSAENOBUFS},           {ENOMEM, WSAENOBUFS},
        {EMFILE, WSAEMFILE},             {ENOTDIR /* no counterpart */, WSAENETDOWN},
        // For a datagram socket a refused connection is a port unreachable
        // report: WinSock's connection reset.
        {ECONNREFUSED, WSAECONNRESET},
    };
    const SOCKET s = NewSocket();
    const sockaddr_in to = Loopback(9);
    for (const ErrnoCase &c : cases) {
        SCOPED_TRACE(c.errorNumber);
        detail::FailSystemCall(SocketCall::SendTo, c.errorNumber, 1);
        EXPECT_EQ(sendto(s, "x", 1, 0, Generic(to), sizeof to), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), c.winsockError);
        detail::FailSystemCall(SocketCall::RecvFrom, c.errorNumber, 1);
        char buffer[4];
        EXPECT_EQ(recvfrom(s, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
        EXPECT_EQ(WSAGetLastError(), c.winsockError);
    }
    detail::FailSystemCall(SocketCall::Socket, EMFILE, 1);
    EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, 0), INVALID_SOCKET);
    EXPECT_EQ(WSAGetLastError(), WSAEMFILE);
    // A WinSock error given as such reaches the caller unchanged.
    FailSocketCall(SocketCall::SendTo, WSAEHOSTDOWN, 1);
    EXPECT_EQ(sendto(s, "x", 1, 0, Generic(to), sizeof to), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEHOSTDOWN);
}

struct AddressCase {
    const char *text;
    const char *bytes;  // network order; empty for INADDR_NONE
};

TEST(WinsockNames, InetAddrForms) {
    const AddressCase cases[] = {
        {"10.1.2.3", "0A 01 02 03"},
        {"127.0.0.1", "7F 00 00 01"},
        {"192.168.0.5", "C0 A8 00 05"},
        {"1.2.3", "01 02 00 03"},  // last part fills the low 16 bits
        {"1.2", "01 00 00 02"},
        {"16909060", "01 02 03 04"},
        {"0x7f.1", "7F 00 00 01"},  // hexadecimal part
        {"010.0.0.1", "08 00 00 01"},  // octal part
        {"255.255.255.255", ""},
        {"1.2.3.256", ""},
        {"1.2.3.4.5", ""},
        {"printer", ""},
        {"", ""},
        {"1..2.3", ""},
    };
    for (const AddressCase &c : cases) {
        SCOPED_TRACE(c.text);
        const std::uint32_t address = inet_addr(c.text);
        if (*c.bytes == '\0') {
            EXPECT_EQ(address, INADDR_NONE);
        } else {
            EXPECT_EQ(Bytes(&address, 4), c.bytes);
        }
    }
    EXPECT_EQ(inet_addr(nullptr), INADDR_NONE);
}

TEST(WinsockNames, ByteOrder) {
    const std::uint16_t port = htons(161);
    EXPECT_EQ(Bytes(&port, 2), "00 A1");
    EXPECT_EQ(ntohs(port), 161);
    EXPECT_EQ(htons(0x900F), ntohs(0x900F));
}

TEST_F(WinsockTest, HostNameAndHostEntries) {
    const std::string expected = test::HostName();
    char name[1024];
    ASSERT_EQ(gethostname(name, sizeof name), 0);
    EXPECT_EQ(name, expected);
    // No room for the terminating zero.
    EXPECT_EQ(gethostname(name, static_cast<int>(expected.size())), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);

    const hostent *numeric = gethostbyname("192.168.0.5");
    ASSERT_NE(numeric, nullptr);
    EXPECT_EQ(numeric->h_addrtype, AF_INET);
    EXPECT_EQ(numeric->h_length, 4);
    ASSERT_NE(numeric->h_addr_list[0], nullptr);
    EXPECT_EQ(Bytes(numeric->h_addr_list[0], 4), "C0 A8 00 05");

    const auto local = test::FirstIpv4AddressOf("localhost");
    const hostent *localhost = gethostbyname("localhost");
    ASSERT_EQ(localhost != nullptr, local.has_value());
    if (localhost != nullptr) {
        EXPECT_EQ(Bytes(localhost->h_addr_list[0], 4), ToHex(*local));
    }

    EXPECT_EQ(gethostbyname("no-such-printer.invalid"), nullptr);
    const int error = WSAGetLastError();
    EXPECT_TRUE(error == WSAHOST_NOT_FOUND || error == WSATRY_AGAIN || error == WSANO_DATA) << error;
}

}  // namespace
}  // namespace snmphelper::winsock
