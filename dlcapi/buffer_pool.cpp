// SPDX-License-Identifier: Apache-2.0
// Receive buffer pool of dlcapi.so.
#include "dlcapi/buffer_pool.h"

#include <algorithm>
#include <cstring>

namespace snmphelper::dlcapi {

static_assert(BufferPool::kFirstDataOffset < BufferPool::kBufferSize);
static_assert(BufferPool::kBufferSize % alignof(dlc::ReceiveBuffer) == 0);

bool BufferPool::Create(void *memory, std::size_t size) {
    if (memory == nullptr) return false;
    // Buffers start on the headers' alignment, whatever the memory's.
    auto *bytes = static_cast<std::uint8_t *>(memory);
    const auto address = reinterpret_cast<std::uintptr_t>(bytes);
    const std::size_t skip = (alignof(dlc::ReceiveBuffer) - address % alignof(dlc::ReceiveBuffer)) %
                             alignof(dlc::ReceiveBuffer);
    if (size < skip + kBufferSize) return false;
    const std::size_t count = std::min<std::size_t>((size - skip) / kBufferSize, 0xFFFF);
    base_ = bytes + skip;
    inUse_.assign(count, false);
    free_.clear();
    // Lent from the front of the pool first.
    for (std::size_t i = count; i-- > 0;) free_.push_back(i);
    return true;
}

std::size_t BufferPool::BuffersFor(std::size_t dataLength) {
    const std::size_t first = kBufferSize - kFirstDataOffset;
    if (dataLength <= first) return 1;
    const std::size_t next = kBufferSize - kNextDataOffset;
    return 1 + (dataLength - first + next - 1) / next;
}

dlc::ReceiveBuffer *BufferPool::At(std::size_t index) const {
    return reinterpret_cast<dlc::ReceiveBuffer *>(base_ + index * kBufferSize);
}

std::ptrdiff_t BufferPool::IndexOf(const dlc::ReceiveBuffer *buffer) const {
    const auto address = reinterpret_cast<std::uintptr_t>(buffer);
    const auto start = reinterpret_cast<std::uintptr_t>(base_);
    if (base_ == nullptr || address < start) return -1;
    const std::uintptr_t offset = address - start;
    if (offset % kBufferSize != 0 || offset / kBufferSize >= inUse_.size()) return -1;
    return static_cast<std::ptrdiff_t>(offset / kBufferSize);
}

dlc::ReceiveBuffer *BufferPool::Lend(std::span<const std::uint8_t> data) {
    const std::size_t needed = BuffersFor(data.size());
    if (base_ == nullptr || needed > free_.size()) return nullptr;
    dlc::ReceiveBuffer *first = nullptr;
    dlc::ReceiveBuffer *previous = nullptr;
    std::size_t copied = 0;
    for (std::size_t n = 0; n < needed; ++n) {
        const std::size_t index = free_.back();
        free_.pop_back();
        inUse_[index] = true;
        dlc::ReceiveBuffer *buffer = At(index);
        const std::size_t offset = n == 0 ? kFirstDataOffset : kNextDataOffset;
        std::memset(buffer, 0, offset);
        const std::size_t part = std::min(data.size() - copied, kBufferSize - offset);
        if (part != 0) std::memcpy(reinterpret_cast<std::uint8_t *>(buffer) + offset, data.data() + copied, part);
        copied += part;
        buffer->header.bufferLength = static_cast<std::uint16_t>(kBufferSize);
        buffer->header.userDataOffset = static_cast<std::uint16_t>(offset);
        buffer->header.userDataLength = static_cast<std::uint16_t>(part);
        if (previous != nullptr) previous->header.nextBuffer = buffer;
        if (first == nullptr) first = buffer;
        previous = buffer;
    }
    return first;
}

std::uint8_t BufferPool::GiveBack(dlc::ReceiveBuffer *first) {
    if (first == nullptr) return dlc::kStatusParameterMissing;
    // Checked whole before anything is taken back; a chain cannot be longer
    // than the pool without looping.
    std::vector<std::size_t> chain;
    for (dlc::ReceiveBuffer *buffer = first; buffer != nullptr; buffer = buffer->header.nextBuffer) {
        const std::ptrdiff_t index = IndexOf(buffer);
        if (index < 0) return dlc::kStatusInvalidBufferAddress;
        const auto at = static_cast<std::size_t>(index);
        if (!inUse_[at] || std::find(chain.begin(), chain.end(), at) != chain.end()) {
            return dlc::kStatusBufferAlreadyReleased;
        }
        chain.push_back(at);
    }
    for (std::size_t index : chain) {
        inUse_[index] = false;
        free_.push_back(index);
    }
    return dlc::kStatusSuccess;
}

}  // namespace snmphelper::dlcapi
