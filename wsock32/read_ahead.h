/* SPDX-License-Identifier: Apache-2.0 */
// Datagrams an Internet socket has taken from the system but not yet handed
// to its reader. A socket that serves many peers reads every datagram that
// is queued with one recvmmsg instead of one recvmsg each; its reader still
// gets them one at a time, in order, each as a read of its own would.
#pragma once

#include "wsock32/winsock_internal.h"

#include <netinet/in.h>
#include <sys/types.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace snmphelper::winsock::detail {

class ReadAhead {
public:
    static constexpr std::size_t kSlots = kReadAheadSlots;
    // Every IPv4 datagram whole, so that a datagram read ahead is cut only
    // where the reader's own buffer would have cut it.
    static constexpr std::size_t kSlotSize = 65536;

    // Whether a datagram is waiting here: the socket is readable whatever
    // the system says. Read without the lock, so that a select is never held
    // up by a reader blocked in the system.
    bool Queued() const { return queued_.load(std::memory_order_acquire) != 0; }

    // The next datagram into `buffer` (`length` octets): the octets copied,
    // its sender, and `cut` when it was longer than the buffer (the rest is
    // lost). -1 with errno set when the system's read fails; a blocking
    // socket waits for the first datagram, as recvmsg does.
    ::ssize_t Receive(int descriptor, char *buffer, std::size_t length, ::sockaddr_in &sender, bool &cut);

private:
    ::ssize_t Serve(char *buffer, std::size_t length, ::sockaddr_in &sender, bool &cut);
    ::ssize_t ReceiveOne(int descriptor, char *buffer, std::size_t length, ::sockaddr_in &sender, bool &cut);

    std::mutex mutex_;
    std::atomic<std::size_t> queued_{0};
    std::uint32_t reads_ = 0;
    // kSlots datagrams of kSlotSize each, taken at the first read ahead and
    // never filled in advance: only the pages the system writes are touched.
    std::unique_ptr<std::uint8_t[]> room_;
    std::array<::sockaddr_in, kSlots> senders_{};
    std::array<std::size_t, kSlots> lengths_{};
    std::array<bool, kSlots> cuts_{};
    std::size_t next_ = 0;   // the next slot to hand out
    std::size_t filled_ = 0;  // slots the last read ahead filled
};

}  // namespace snmphelper::winsock::detail
