// SPDX-License-Identifier: Apache-2.0
#include "wsock32/winsock_internal.h"
#include "wsock32/read_ahead.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace snmphelper::winsock::detail {

::ssize_t ReadAhead::Receive(int descriptor, char *buffer, std::size_t length, ::sockaddr_in &sender, bool &cut) {
    const std::lock_guard lock(mutex_);
    if (next_ < filled_) return Serve(buffer, length, sender, cut);
    if (reads_ < kReadsBeforeReadingAhead) {
        const ::ssize_t received = ReceiveOne(descriptor, buffer, length, sender, cut);
        if (received >= 0) ++reads_;
        return received;
    }
    if (room_ == nullptr) {
        room_.reset(new (std::nothrow) std::uint8_t[kSlots * kSlotSize]);
        // Without the room, one at a time as before.
        if (room_ == nullptr) return ReceiveOne(descriptor, buffer, length, sender, cut);
    }
    std::array<::iovec, kSlots> data;
    std::array<::mmsghdr, kSlots> messages{};
    for (std::size_t i = 0; i < kSlots; ++i) {
        senders_[i] = {};
        data[i] = {room_.get() + i * kSlotSize, kSlotSize};
        messages[i].msg_hdr.msg_name = &senders_[i];
        messages[i].msg_hdr.msg_namelen = sizeof senders_[i];
        messages[i].msg_hdr.msg_iov = &data[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    int received = 0;
    do {
        // MSG_WAITFORONE: a blocking socket waits for the first datagram
        // only, and takes the rest that are already there.
        received = ::recvmmsg(descriptor, messages.data(), kSlots, MSG_WAITFORONE, nullptr);
    } while (received < 0 && errno == EINTR);
    if (received < 0) return -1;
    for (std::size_t i = 0; i < static_cast<std::size_t>(received); ++i) {
        lengths_[i] = messages[i].msg_len;
        cuts_[i] = (messages[i].msg_hdr.msg_flags & MSG_TRUNC) != 0;
    }
    next_ = 0;
    filled_ = static_cast<std::size_t>(received);
    return Serve(buffer, length, sender, cut);
}

::ssize_t ReadAhead::Serve(char *buffer, std::size_t length, ::sockaddr_in &sender, bool &cut) {
    const std::size_t slot = next_++;
    queued_.store(filled_ - next_, std::memory_order_release);
    const std::size_t copied = std::min(length, lengths_[slot]);
    if (copied != 0) std::memcpy(buffer, room_.get() + slot * kSlotSize, copied);
    sender = senders_[slot];
    cut = cuts_[slot] || lengths_[slot] > length;
    return static_cast<::ssize_t>(copied);
}

::ssize_t ReadAhead::ReceiveOne(int descriptor, char *buffer, std::size_t length, ::sockaddr_in &sender,
                                bool &cut) {
    sender = {};
    ::iovec data{buffer, length};
    ::msghdr message{};
    message.msg_name = &sender;
    message.msg_namelen = sizeof sender;
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    ::ssize_t received = 0;
    do {
        received = ::recvmsg(descriptor, &message, 0);
    } while (received < 0 && errno == EINTR);
    cut = received >= 0 && (message.msg_flags & MSG_TRUNC) != 0;
    return received;
}

}  // namespace snmphelper::winsock::detail
