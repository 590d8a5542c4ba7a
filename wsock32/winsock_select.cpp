// SPDX-License-Identifier: Apache-2.0
// WinSock's select over its socket sets, as ppoll over the descriptors
// behind them; an IPX socket is ready only for a datagram of its own.
#include "wsock32/winsock_internal.h"

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <memory>
#include <vector>

#include "wsock32/ipx_socket.h"
#include "wsock32/read_ahead.h"

namespace snmphelper::winsock {

using detail::DescriptorOf;
using detail::Fail;
using detail::FailFromErrno;
using detail::IpxSocketsIn;
using detail::ReadAhead;
using detail::ReadAheadsIn;
using detail::TakeInjectedFailure;

namespace {

// Keeps in `set` only the sockets whose poll entry shows `ready`; returns
// how many stay.
int KeepReady(fd_set *set, const std::vector<::pollfd> &polls, short ready) {
    if (set == nullptr) return 0;
    std::uint32_t kept = 0;
    for (std::uint32_t i = 0; i < set->fd_count; ++i) {
        const int descriptor = static_cast<int>(set->fd_array[i] - 1);
        for (const ::pollfd &entry : polls) {
            if (entry.fd == descriptor && (entry.revents & ready) != 0) {
                set->fd_array[kept++] = set->fd_array[i];
                break;
            }
        }
    }
    set->fd_count = kept;
    return static_cast<int>(kept);
}

// Adds the sockets of `set` to the poll entries with `events`; false, with
// the last error set, for a socket that is not ours.
bool AddToPoll(const fd_set *set, short events, std::vector<::pollfd> &polls) {
    if (set == nullptr) return true;
    for (std::uint32_t i = 0; i < set->fd_count; ++i) {
        const int descriptor = DescriptorOf(set->fd_array[i]);
        if (descriptor < 0) return false;
        bool found = false;
        for (::pollfd &entry : polls) {
            if (entry.fd == descriptor) {
                entry.events = static_cast<short>(entry.events | events);
                found = true;
            }
        }
        if (!found) polls.push_back({descriptor, events, 0});
    }
    return true;
}

// A packet socket is readable for any IPX frame on its interface; its IPX
// socket is readable only when one of them was for it. Sorts what arrived
// and leaves POLLIN only where a datagram is queued.
void SettleIpx(std::vector<::pollfd> &polls,
               const std::vector<std::shared_ptr<ipx::IpxSocket>> &sockets) {
    for (std::size_t i = 0; i < polls.size(); ++i) {
        if (sockets[i] == nullptr) continue;
        ::pollfd &entry = polls[i];
        const bool arrived = (entry.revents & (POLLIN | POLLERR | POLLHUP)) != 0;
        const bool queued = arrived ? sockets[i]->Pump() : sockets[i]->HasDatagram();
        entry.revents = static_cast<short>(entry.revents & ~(POLLIN | POLLERR | POLLHUP));
        if (queued && (entry.events & POLLIN) != 0) {
            entry.revents = static_cast<short>(entry.revents | POLLIN);
        }
    }
}

// An Internet socket with datagrams read ahead is readable, whatever the
// system's queue holds.
void SettleReadAhead(std::vector<::pollfd> &polls, const std::vector<std::shared_ptr<ReadAhead>> &aheads) {
    for (std::size_t i = 0; i < polls.size(); ++i) {
        if (aheads[i] != nullptr && aheads[i]->Queued() && (polls[i].events & POLLIN) != 0) {
            polls[i].revents = static_cast<short>(polls[i].revents | POLLIN);
        }
    }
}

bool AnyReady(const std::vector<::pollfd> &polls) {
    for (const ::pollfd &entry : polls) {
        if ((entry.revents & (entry.events | POLLERR | POLLHUP | POLLNVAL)) != 0) return true;
    }
    return false;
}

// Polls until something is ready or the deadline passes. WinSock's select is
// not cut short by signals, so an interrupted wait resumes for what is left;
// nor by frames for other IPX sockets, so those make it wait on.
int PollUntil(std::vector<::pollfd> &polls, const timeval *timeout) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline =
        timeout == nullptr ? Clock::time_point::max()
                           : Clock::now() + std::chrono::seconds(timeout->tv_sec) +
                                 std::chrono::microseconds(timeout->tv_usec);
    const std::vector<std::shared_ptr<ipx::IpxSocket>> sockets = IpxSocketsIn(polls);
    const std::vector<std::shared_ptr<ReadAhead>> aheads = ReadAheadsIn(polls);
    for (;;) {
        bool queued = false;
        for (const auto &socket : sockets) queued = queued || (socket && socket->HasDatagram());
        for (const auto &ahead : aheads) queued = queued || (ahead && ahead->Queued());
        ::timespec remaining{};
        if (timeout != nullptr && !queued) {
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
                deadline - Clock::now());
            if (left.count() > 0) {
                remaining.tv_sec = static_cast<::time_t>(left.count() / 1'000'000'000);
                remaining.tv_nsec = static_cast<long>(left.count() % 1'000'000'000);
            }
        }
        // A queued datagram is ready now: only look at the others' state.
        const ::timespec *wait = timeout == nullptr && !queued ? nullptr : &remaining;
        const int ready = ::ppoll(polls.data(), polls.size(), wait, nullptr);
        if (ready < 0) {
            if (errno == EINTR) continue;
            return ready;
        }
        SettleIpx(polls, sockets);
        SettleReadAhead(polls, aheads);
        if (AnyReady(polls)) return 1;
        if (timeout != nullptr && Clock::now() >= deadline) return 0;
    }
}

}  // namespace

int select(int, fd_set *readSet, fd_set *writeSet, fd_set *exceptSet, const timeval *timeout) {
    if (!detail::RequireStartup()) return SOCKET_ERROR;
    std::uint32_t total = 0;
    for (const fd_set *set : {readSet, writeSet, exceptSet}) {
        if (set == nullptr) continue;
        if (set->fd_count > kFdSetCapacity) return Fail(WSAEINVAL);
        total += set->fd_count;
    }
    if (total == 0) return Fail(WSAEINVAL);
    if (timeout != nullptr && (timeout->tv_sec < 0 || timeout->tv_usec < 0)) return Fail(WSAEINVAL);
    std::vector<::pollfd> polls;
    polls.reserve(total);
    if (!AddToPoll(readSet, POLLIN, polls) || !AddToPoll(writeSet, POLLOUT, polls) ||
        !AddToPoll(exceptSet, POLLPRI, polls)) {
        return SOCKET_ERROR;
    }
    if (TakeInjectedFailure(SocketCall::Select)) return SOCKET_ERROR;
    if (PollUntil(polls, timeout) < 0) return FailFromErrno(errno);
    for (const ::pollfd &entry : polls) {
        if ((entry.revents & POLLNVAL) != 0) return Fail(WSAENOTSOCK);
    }
    // A pending error (such as a queued ICMP report) makes a socket readable:
    // the read that follows reports it.
    return KeepReady(readSet, polls, static_cast<short>(POLLIN | POLLERR | POLLHUP)) +
           KeepReady(writeSet, polls, POLLOUT) + KeepReady(exceptSet, polls, POLLPRI);
}

}  // namespace snmphelper::winsock
