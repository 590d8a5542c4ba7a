/* SPDX-License-Identifier: Apache-2.0 */
// The receive buffers of one adapter open, carved from the memory the
// application gave BUFFER.CREATE: fixed-size buffers, each starting with the
// published receive-buffer header, lent out for received frames and given
// back by BUFFER.FREE.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/dlc_interface.h"

namespace snmphelper::dlcapi {

class BufferPool {
public:
    // Every buffer's size: the first buffer of a frame holds the headers and
    // the first data bytes, the others continue the data.
    static constexpr std::size_t kBufferSize = 256;
    static constexpr std::size_t kFirstDataOffset = sizeof(dlc::FirstReceiveBuffer);
    static constexpr std::size_t kNextDataOffset = sizeof(dlc::NextReceiveBuffer);

    // Carves `size` bytes at `memory`; false when they hold no whole buffer.
    bool Create(void *memory, std::size_t size);
    bool Created() const { return base_ != nullptr; }
    void *Handle() const { return base_; }

    std::uint16_t FreeCount() const { return static_cast<std::uint16_t>(free_.size()); }
    std::size_t TotalCount() const { return inUse_.size(); }

    // Buffers needed for a frame of `dataLength` data bytes.
    static std::size_t BuffersFor(std::size_t dataLength);

    // A chain holding `data` with its headers written (the first buffer's
    // frame fields left to the caller), or null when too few buffers are free.
    dlc::ReceiveBuffer *Lend(std::span<const std::uint8_t> data);

    // Takes back the chain from `first` (linked by nextBuffer). Nothing is
    // taken when a buffer is not one of the pool's, not lent, or the chain
    // loops: then the status says which (0 on success).
    std::uint8_t GiveBack(dlc::ReceiveBuffer *first);

private:
    // The buffer's index, or -1 when `buffer` is not the start of one.
    std::ptrdiff_t IndexOf(const dlc::ReceiveBuffer *buffer) const;
    dlc::ReceiveBuffer *At(std::size_t index) const;

    std::uint8_t *base_ = nullptr;
    std::vector<bool> inUse_;
    std::vector<std::size_t> free_;
};

}  // namespace snmphelper::dlcapi
